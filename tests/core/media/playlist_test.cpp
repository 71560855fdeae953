#include "core/media/playlist.hpp"

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/shell/url.hpp"
#include "special_files.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

using Paths = std::vector<std::string>;

// Names a person's music folders hold, written and read back through a playlist file.
TEST(Playlist, HostileNamesSurviveTheRoundTripAndLineBreaksAreLeftOut)
{
    test::CTempFolder root;
    const std::string folder = root.MakeFolder("lists");
    const std::vector<std::string> names = {
        "plain.mp3", "with space .mp3", "#leading hash.mp3", "mid#hash.mp3", " leading blank.mp3",
        "Ünïcödé 日本語.mp3", "bad \xFF\xFE bytes.mp3", "per%20cent.mp3", "http:colon.mp3", "sub/deeper/song.mp3"};
    std::vector<PlaylistEntry> entries;
    Paths expected;
    for (const std::string& name : names) {
        expected.push_back(folder + "/" + name);
        entries.push_back({expected.back(), "Title of " + name, 61});
    }
    expected.push_back(root.File("beside/other.mp3"));  // outside the playlist's folder
    entries.push_back({expected.back(), "Line\nbreak in a title", -1});
    entries.push_back({folder + "/line\nbreak.mp3", "never written", 5});
    entries.push_back({folder + "/carriage\rreturn.mp3", "never written", 5});

    Paths skipped;
    const std::string text = FormatPlaylist(entries, folder, &skipped);
    EXPECT_EQ(skipped, (Paths{folder + "/line\nbreak.mp3", folder + "/carriage\rreturn.mp3"}));
    EXPECT_EQ(text.rfind("#EXTM3U\n#EXTINF:61,Title of plain.mp3\nplain.mp3\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n./#leading hash.mp3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n../beside/other.mp3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n./http:colon.mp3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("#EXTINF:-1,Line break in a title\n"), std::string::npos) << text;

    const std::string file = folder + "/saved.m3u8";
    ASSERT_TRUE(WritePlaylistFile(file, text));
    Paths read;
    ASSERT_TRUE(ReadPlaylistFile(file, read));
    EXPECT_EQ(read, expected);
}

TEST(Playlist, ReadsWhatOtherProgramsWrite)
{
    const std::string text = "\xEF\xBB\xBF#EXTM3U\r\n"
                             "#EXTINF:12,Someone - Something\r\n"
                             "relative.mp3\r\n"
                             "\r\n"
                             "  # not a comment: a name with blanks\r\n"
                             "./here/../there.ogg\r\n"
                             "/abs/olute.flac\r\n"
                             "file:///music/with%20space%23.mp3\r\n"
                             "FILE://localhost/music/local.mp3\r\n"
                             "file:relative-url.mp3\r\n"
                             "file:///music/cut%00/etc/passwd\r\n"
                             "http://example.com/stream.mp3\n"
                             "C:\\Music\\song.mp3\n"
                             "last-without-newline.mp3";
    EXPECT_EQ(ParsePlaylist(text, "/lists"),
              (Paths{"/lists/relative.mp3", "/lists/  # not a comment: a name with blanks", "/lists/there.ogg",
                     "/abs/olute.flac", "/music/with space#.mp3", "/music/local.mp3",
                     "/music/cut%00/etc/passwd", "/lists/C:\\Music\\song.mp3",
                     "/lists/last-without-newline.mp3"}));
    EXPECT_TRUE(ParsePlaylist("", "/lists").empty());
    EXPECT_TRUE(IsPlaylistName("/a/b.M3U8"));
    EXPECT_FALSE(IsPlaylistName("/a.m3u/b.mp3"));
}

TEST(Playlist, UnreadableFilesFailWithTheirReasonAndAFifoDoesNotStall)
{
    test::CTempFolder folder;
    Paths paths{"left over"};
    const CStatus missing = ReadPlaylistFile(folder.File("missing.m3u"), paths);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Code(), ENOENT);
    EXPECT_TRUE(paths.empty());
    ASSERT_TRUE(test::MakeFifo(folder.File("fifo.m3u")));
    EXPECT_TRUE(test::FinishesWithin([&] { ReadPlaylistFile(folder.File("fifo.m3u"), paths); }));
    EXPECT_FALSE(WritePlaylistFile(folder.File("no such folder/x.m3u"), "#EXTM3U\n"));
}

} // namespace
} // namespace mev
