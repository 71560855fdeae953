#include "core/media/file_list_model.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "special_files.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;
using test::CTempFolder;

// MP3 bytes ending in an ID3v1 block with the given title.
std::string TaggedMp3(const std::string& title)
{
    std::string block = "TAG" + title;
    block.resize(128, '\0');
    block[127] = static_cast<char>(255);
    return std::string(400, 'x') + block;
}

FileItem Row(std::string path, std::uint64_t size = 0, std::int64_t time = 0, std::string type = "MP3 audio")
{
    FileItem item;
    item.path = std::move(path);
    item.size = size;
    item.lastWriteTime = time;
    item.typeName = std::move(type);
    return item;
}

std::vector<std::string> Names(const CFileListModel& model)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < model.GetCount(); ++i)
        names.push_back(model.GetNameText(i));
    return names;
}

TEST(FileListModel, SizeAndTimeTexts)
{
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 B"},          {1023, "1023 B"},          {1024, "1.0 KB"},
        {1536, "1.5 KB"},    {1048575, "1024.0 KB"},    {1048576, "1.0 MB"},
        {5ull << 30, "5.0 GB"}, {(1ull << 32) + (1ull << 29), "4.5 GB"},
    };
    for (const auto& [size, text] : sizes)
        EXPECT_EQ(FormatSize(size, SizeStyle::Column), text) << size;
    // The test main fixes TZ=UTC: 2004-03-07 09:05:59.
    EXPECT_EQ(FormatTimeText(1078650359), "2004-03-07 09:05");
    EXPECT_EQ(FormatTimeText(0), "1970-01-01 00:00");
}

TEST(FileListModel, FillListsTheKindWithTypesAndTheTitleRule)
{
    CTempFolder folder;
    folder.Write("Track.MP3", TaggedMp3("Night Song"));
    folder.Write("blank title.mp3", TaggedMp3(""));
    folder.Write("untagged.mp3", std::string(300, 'x'));
    folder.Write("tune.wav", "RIFF");
    folder.Write("notes.txt", "text");
    folder.MakeFolder("sub.mp3");
    const auto namer = [](const std::string& name) { return name == "tune.wav" ? std::string("WAV audio") : ""; };

    CFileListModel audio(true);
    audio.Replace(CFileListModel::ListFolder(folder.Path(), MediaKind::Audio, true, namer));
    // Ascending by the sort name: blank title.mp3, Night Song, tune.wav, untagged.mp3.
    EXPECT_EQ(Names(audio), (std::vector<std::string>{"blank title", "Night Song", "tune", "untagged"}));
    EXPECT_EQ(audio.GetTypeText(0), "mp3 File");
    EXPECT_EQ(audio.GetTypeText(2), "WAV audio");
    EXPECT_EQ(audio.At(1).path, folder.File("Track.MP3"));
    EXPECT_EQ(audio.GetSizeText(1), "528 B");

    // The video list of the same folder has none of them; the plain list shows file names.
    CFileListModel plain(false);
    plain.Replace(CFileListModel::ListFolder(folder.Path(), MediaKind::Audio, false, namer));
    EXPECT_EQ(plain.GetNameText(0), "blank title");
    EXPECT_EQ(plain.GetNameText(1), "Track");
    EXPECT_TRUE(CFileListModel::ListFolder(folder.Path(), MediaKind::Video, false, namer).empty());
    EXPECT_TRUE(CFileListModel::ListFolder(folder.File("missing"), MediaKind::Audio, true, namer).empty());
}

// Opening a FIFO blocks and a device never ends: such files are not listed, whatever
// their names; a link to a regular file is.
TEST(FileListModel, ListsRegularFilesAndLinksToThemOnly)
{
    CTempFolder folder;
    folder.Write("tune.mp3", std::string(300, 'x'));
    ASSERT_TRUE(test::MakeLink(folder / "tune.mp3", folder / "link.mp3"));
    ASSERT_TRUE(test::MakeFifo(folder / "a fifo.mp3"));
    ASSERT_TRUE(test::MakeLink("/dev/zero", folder / "zero.mp3"));
    std::vector<std::string> paths;
    for (const FileItem& row : CFileListModel::ListFolder(folder.Path(), MediaKind::Audio, true, {}))
        paths.push_back(row.path);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{folder / "link.mp3", folder / "tune.mp3"}));
}

TEST(FileListModel, OneDirectionFlagForAllColumns)
{
    CFileListModel model;
    model.Replace({Row("/m/B.mp3", 30, 1), Row("/m/a.mp3", 10, 3), Row("/m/\xC3\x89t\xC3\xA9.mp3", 20, 2),
                   Row("/m/\xC3\xA9t\xC3\xA9z.mp3", 5, 4)});
    // Case-insensitive UTF-8: a, B, Été, été 2.
    EXPECT_EQ(Names(model), (std::vector<std::string>{"a", "B", "\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9z"}));
    EXPECT_TRUE(model.IsSortAscending());

    ASSERT_TRUE(model.ClickColumn(CFileListModel::COLUMN_SIZE));
    EXPECT_FALSE(model.IsSortAscending());
    EXPECT_EQ(Names(model), (std::vector<std::string>{"B", "\xC3\x89t\xC3\xA9", "a", "\xC3\xA9t\xC3\xA9z"}));
    ASSERT_TRUE(model.ClickColumn(CFileListModel::COLUMN_TIME));
    EXPECT_TRUE(model.IsSortAscending());
    EXPECT_EQ(Names(model), (std::vector<std::string>{"B", "\xC3\x89t\xC3\xA9", "a", "\xC3\xA9t\xC3\xA9z"}));

    CFileListModel one;
    one.Replace({Row("/m/a.mp3")});
    EXPECT_FALSE(one.ClickColumn(CFileListModel::COLUMN_NAME));
    EXPECT_TRUE(one.IsSortAscending());
}

TEST(FileListModel, AppendPrefixRuleComparesPathsExactly)
{
    CFileListModel model;
    model.Replace({Row("/m/music2/a.mp3")});
    EXPECT_TRUE(model.BlocksAppend("/m/music"));   // a plain prefix test
    EXPECT_TRUE(model.BlocksAppend("/m/music2"));
    EXPECT_FALSE(model.BlocksAppend("/m/Music2")); // letter case counts
    EXPECT_FALSE(model.BlocksAppend("/m/other"));
    EXPECT_EQ(model.Append({Row("/m/other/z.mp3"), Row("/m/other/b.mp3")}), 1u);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"a", "z", "b"}));
}

TEST(FileListModel, NextToPlayWithAndWithoutLoop)
{
    CTempFolder folder;
    std::vector<FileItem> rows;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3"})
        rows.push_back(Row(folder.Write(name)));
    const auto url = [](const std::string& path) { return "mev://audio/?" + path; };

    for (bool loop : {false, true}) {
        CFileListModel model;
        model.Replace(rows);
        model.SetChecked(0, true);
        model.SetChecked(2, true);
        EXPECT_EQ(model.NextToPlay("", loop), 0);
        // What the page is told follows is what then follows, and telling counts nothing.
        EXPECT_EQ(model.PeekNextToPlay(url(model.At(0).path), loop), 2);
        EXPECT_EQ(model.PeekNextToPlay(url(model.At(0).path), loop), 2);
        EXPECT_EQ(model.NextToPlay(url(model.At(0).path), loop), 2);
        EXPECT_EQ(model.PeekNextToPlay(url(model.At(2).path), loop), loop ? 0 : -1);
        EXPECT_EQ(model.NextToPlay(url(model.At(2).path), loop), loop ? 0 : -1);
        EXPECT_EQ(model.At(0).playCount, 1u);
        EXPECT_EQ(model.At(2).playCount, 1u);
        // An unchecked row played by a click counts too; a page of no row counts nothing.
        model.NextToPlay(url(model.At(1).path), loop);
        model.NextToPlay(url(folder.Path()), loop);
        model.NextToPlay("mev://audio/?" + folder.File("gone.mp3"), loop);
        EXPECT_EQ(model.At(1).playCount, 1u);
    }
    CFileListModel none;
    none.Replace(rows);
    EXPECT_EQ(none.NextToPlay("", true), -1);
}

TEST(FileListModel, CheckAllAndReverseCheck)
{
    CFileListModel model;
    model.Replace({Row("/m/1"), Row("/m/2"), Row("/m/3"), Row("/m/4"), Row("/m/5")});
    EXPECT_FALSE(model.AnyChecked());
    for (std::size_t row : {0, 2, 4})
        model.SetChecked(row, true);
    model.ReverseCheck();
    EXPECT_EQ(model.CountChecked(), 2);
    EXPECT_TRUE(model.IsChecked(1));
    EXPECT_TRUE(model.IsChecked(3));
    model.CheckAll();
    EXPECT_EQ(model.CountChecked(), 5);
}

} // namespace
} // namespace mev
