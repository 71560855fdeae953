#include "ui/widgets/audio_file_list_ctrl.hpp"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/media/playlist.hpp"
#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"
#include "core/tags/track_info.hpp"
#include "ui/pages/player_test_host.hpp"
#include "tag_fixtures.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/pages/audio_page.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

using Names = std::vector<std::string>;

Names ShownNames(const CFileListCtrl& list)
{
    Names names;
    for (std::size_t row = 0; row < list.GetModel().GetCount(); ++row)
        names.push_back(list.GetModel().GetNameText(row));
    return names;
}

// The Name column shows the ID3v1 title, else the title of the file's other tags, else
// the file name; the rows sort by what is shown.
TEST(AudioFileListCtrl, NamesComeFromEveryTagFormatWithId3v1First)
{
    test::CTempFolder dir;
    using TagLib::String;
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "v23 utf16.mp3", "Ärger im Paradies", 3, String::UTF16));
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "v23 latin1.mp3", "Café Latin", 3, String::Latin1));
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "v24 utf8.mp3", "日本の歌", 4, String::UTF8));
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "v24 utf16be.mp3", "Zebra Song", 4, String::UTF16BE));
    ASSERT_TRUE(test::WriteApeMp3(dir / "ape.mp3", "Ape Title"));
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "both.mp3", "Newer Title", 4, String::UTF8));
    CId3v1Tag older;
    older.SetTitle("Older Title");
    ASSERT_TRUE(older.Write(dir / "both.mp3"));
    ASSERT_TRUE(test::WriteEncodedClip(dir / "clip.ogg", "vorbisenc ! oggmux", "Ogg Title"));
    ASSERT_TRUE(test::WriteEncodedClip(dir / "clip.opus", "opusenc ! oggmux", "Opus Title"));
    ASSERT_TRUE(test::WriteEncodedClip(dir / "clip.flac", "flacenc", "Flac Title"));
    ASSERT_TRUE(test::WriteEncodedClip(dir / "clip.m4a", "avenc_aac ! mp4mux", "Mp4 Title"));
    dir.Write("broken.ogg", std::string(5000, '\x01'));
    test::WriteBareMp3(dir / "plain.mp3");

    Gtk::Window window;
    auto* list = Gtk::make_managed<CAudioFileListCtrl>();
    window.set_child(*list);
    list->FillFolder(dir.Path(), MediaKind::Audio, false);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return !list->IsFilling(); }));
    EXPECT_EQ(ShownNames(*list), (Names{"Ape Title", "broken", "Café Latin", "Flac Title", "Mp4 Title", "Ogg Title",
                                        "Older Title", "Opus Title", "plain", "Zebra Song", "Ärger im Paradies",
                                        "日本の歌"}));
    // The desktop's media controls name a playing file from the same tags.
    EXPECT_EQ(ReadTrackInfo(dir / "clip.flac").title, "Flac Title");
    window.destroy();
}

class AudioPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetScriptHost(&host);
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(900, 600);
        page = std::make_unique<CAudioPage>(host);
        host.page = page.get();
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return page->IsStarted() && page->GetFileList() != nullptr; }));
    }
    void TearDown() override
    {
        SetScriptHost(nullptr);
        window->unset_child();
        page.reset();
        window->destroy();
    }

    CAudioFileListCtrl& list() { return dynamic_cast<CAudioFileListCtrl&>(*page->GetFileList()); }

    void Fill(const std::string& folder)
    {
        list().FillFolder(folder, MediaKind::Audio, false);
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return !list().IsFilling(); }));
    }

    // A click on the row as the list reports it.
    void Click(const std::string& path)
    {
        list().SelectOnly(list().FindByPath(path));
        page->OnCommand(ID_PRIVATE_LIST_SELECTED);
    }

    test::CPlayerHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CAudioPage> page;
};

TEST_F(AudioPlaylistTest, AClickedPlaylistListsItsFilesCheckedAndSavingWritesThemBack)
{
    test::CTempFolder root;
    const std::string dir = root.MakeFolder("music");
    root.MakeFolder("music/sub");
    root.MakeFolder("other");
    for (const char* name : {"music/a.mp3", "music/b c.mp3", "music/#lead.mp3", "music/sub/d.mp3", "other/e.mp3"})
        root.Write(name, std::string(300, 'x'));
    ASSERT_TRUE(test::WriteId3v2Mp3(root / "music/titled.mp3", "A Tagged Song", 3, TagLib::String::UTF16));
    // As other programs write them: CR LF, comments, a file URL, absolute and relative
    // paths, a file that is gone, a playlist inside and a folder.
    const std::string playlist = root.Write(
        "music/mix.m3u8", "#EXTM3U\r\n#EXTINF:3,B C\r\nb c.mp3\r\n./#lead.mp3\r\nmissing.mp3\r\n" + MakeFileUrl(dir + "/sub/d.mp3")
                              + "\r\n\r\nsub\r\nmix.m3u8\r\ntitled.mp3\r\n" + dir + "/a.mp3\r\n../other/e.mp3\r\n");
    root.Write("music/empty.m3u", "#EXTM3U\n# nothing here\n");
    Fill(dir);
    ASSERT_NE(list().FindByPath(playlist), -1);

    Click(playlist);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return list().FindByPath(playlist) < 0 && !list().IsFilling(); }));
    const Names order{dir + "/b c.mp3", dir + "/#lead.mp3", dir + "/sub/d.mp3", dir + "/titled.mp3", dir + "/a.mp3",
                      root / "other/e.mp3"};
    EXPECT_EQ(list().GetCheckedPaths(), order);
    EXPECT_EQ(list().GetCount(), 6);
    EXPECT_EQ(list().GetModel().GetNameText(3), "A Tagged Song");
    // Nothing plays the playlist itself, and auto play is ready.
    EXPECT_NE(page->GetBrowser().GetLocationUrl(), page->GetPageUrl(playlist));
    CCmdUI ui;
    ui.id = ID_LIST_AUTOPLAY;
    ASSERT_TRUE(page->OnUpdateCommand(ui));
    EXPECT_TRUE(ui.enabled);

    // Saved elsewhere, the checked rows come back in their order with their titles.
    list().SetChecked(0, false);
    const std::string saved = root / "other/saved.m3u";
    ASSERT_TRUE(list().SavePlaylist(saved));
    const std::string text = test::CTempFolder::Read(saved);
    EXPECT_EQ(text.rfind("#EXTM3U\n#EXTINF:-1,#lead\n../music/#lead.mp3\n", 0), 0u) << text;
    EXPECT_NE(text.find("#EXTINF:1,A Tagged Song\n../music/titled.mp3\n"), std::string::npos) << text;
    Names read;
    ASSERT_TRUE(ReadPlaylistFile(saved, read));
    EXPECT_EQ(read, Names(order.begin() + 1, order.end()));

    // A playlist with nothing to list leaves the rows as they were.
    Fill(dir);
    const int rows = list().GetCount();
    Click(root / "music/empty.m3u");
    EXPECT_EQ(test::AnswerMessageBox(GTK_RESPONSE_OK), "The playlist empty.m3u lists no files.");
    EXPECT_EQ(list().GetCount(), rows);
}

} // namespace
} // namespace mev
