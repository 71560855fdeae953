#include "core/tags/tag_editor.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"
#include "temp_folder.hpp"

namespace {

using mev::CId3v1Tag;
using mev::CTagEditor;
using mev::test::CTempFolder;
namespace fs = std::filesystem;

// A tag block with the given texts, year "1999", track 7 and genre 17.
std::string TagBlock(const std::string& title, const std::string& artist = "", const std::string& album = "")
{
    std::string block = "TAG";
    auto field = [&](const std::string& text, std::size_t n) { block += text + std::string(n - text.size(), '\0'); };
    field(title, 30);
    field(artist, 30);
    field(album, 30);
    block += "1999";
    field("", 28);
    block += '\0';
    block += '\x07';
    block += '\x11';
    return block;
}

class TagEditorTest : public ::testing::Test {
protected:
    // Files a, b, c with tags (b without one), listed in name order for the tests.
    void SetUp() override
    {
        m_dir.Write("a.mp3", std::string(200, 'x') + TagBlock("Alpha", "Ann", "First"));
        m_dir.Write("b.mp3", std::string(200, 'y'));
        m_dir.Write("c.MP3", std::string(200, 'z') + TagBlock("Gamma", "Cid", "Third"));
        m_dir.Write("notes.txt");
        m_dir.MakeFolder("folder.mp3");
        m_editor.navigate = [this](const std::string& url) { m_urls.push_back(url); };
        m_editor.Load();
    }
    int Row(const std::string& name) const
    {
        const auto& rows = m_editor.Rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].name == name)
                return static_cast<int>(i);
        }
        return -1;
    }

    CTempFolder m_dir;
    CTagEditor m_editor{m_dir.Path()};
    std::vector<std::string> m_urls;
};

TEST_F(TagEditorTest, ListsTheMp3FilesWithTheirTags)
{
    ASSERT_EQ(m_editor.Rows().size(), 3u);
    EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(Row("c.MP3"))].artist, "Cid");
    EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(Row("b.mp3"))].title, "");
    EXPECT_EQ(m_editor.PlayUrl(Row("a.mp3")), "mev://audio/?" + m_dir / "a.mp3");
}

TEST_F(TagEditorTest, LockedFieldsCarryOverAndUpdateWritesThem)
{
    m_editor.clickToPlay = true;
    m_editor.SelectRow(Row("a.mp3"));
    EXPECT_EQ(m_editor.Fields().album, "First");
    m_editor.lockAlbum = true;
    m_editor.Fields().album = "Shared";
    m_editor.SelectRow(Row("c.MP3"));
    EXPECT_EQ(m_editor.Fields().title, "Gamma");
    EXPECT_EQ(m_editor.Fields().artist, "Cid");
    EXPECT_EQ(m_editor.Fields().album, "Shared");
    EXPECT_EQ(m_urls.back(), m_editor.PlayUrl(Row("c.MP3")));
    EXPECT_EQ(m_editor.UpdateRow(m_editor.SelectedRow()), "");
    EXPECT_EQ(m_urls.back(), mev::GetBlankPageUrl());
    CId3v1Tag tag;
    ASSERT_TRUE(tag.Read(m_dir / "c.MP3"));
    EXPECT_EQ(tag.GetAlbum(), "Shared");
    EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(Row("c.MP3"))].album, "Shared");
    // a.mp3 was left without Auto Update: unchanged.
    ASSERT_TRUE(tag.Read(m_dir / "a.mp3"));
    EXPECT_EQ(tag.GetAlbum(), "First");
}

TEST_F(TagEditorTest, AutoUpdateWritesTheRowLeftBeforeTheNextLoads)
{
    m_editor.autoUpdate = true;
    m_editor.SelectRow(Row("a.mp3"));
    m_editor.Fields().title = "  Edited  ";
    m_editor.SelectRow(Row("b.mp3"));
    EXPECT_EQ(m_editor.Fields().title, "");
    EXPECT_EQ(m_editor.Fields().file, "b.mp3");
    CId3v1Tag tag;
    ASSERT_TRUE(tag.Read(m_dir / "a.mp3"));
    EXPECT_EQ(tag.GetTitle(), "Edited");
    EXPECT_EQ(tag.GetArtist(), "Ann");
}

TEST_F(TagEditorTest, UpdateKeepsYearTrackAndGenreAndWritesNothingWithoutAChange)
{
    const std::string path = m_dir / "a.mp3";
    m_editor.SelectRow(Row("a.mp3"));
    const auto before = fs::last_write_time(path);
    const std::string bytes = CTempFolder::Read(path);
    EXPECT_EQ(m_editor.UpdateRow(Row("a.mp3")), "");
    EXPECT_EQ(CTempFolder::Read(path), bytes);
    EXPECT_EQ(fs::last_write_time(path), before);
    EXPECT_EQ(m_urls.back(), mev::GetBlankPageUrl());

    m_editor.Fields().comment = "new comment";
    m_editor.UpdateRow(Row("a.mp3"));
    const std::string after = CTempFolder::Read(path);
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(after.size() - 128 + 93, 4), "1999");
    EXPECT_EQ(after[after.size() - 2], '\x07');
    EXPECT_EQ(after[after.size() - 1], '\x11');
    EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(Row("a.mp3"))].comment, "new comment");
}

TEST_F(TagEditorTest, RenamesWithoutReplacingAndStaysInTheFolder)
{
    const struct { std::string file; std::string result; } cases[] = {
        {" Renamed ", "Renamed.MP3"}, {"Lower.mp3", "Lower.mp3"}, {"Mixed.mP3", "Mixed.mP3"}, {"song.ogg", "song.ogg.MP3"}};
    int row = Row("b.mp3");
    for (const auto& c : cases) {
        m_editor.SelectRow(row);
        m_editor.Fields().file = c.file;
        EXPECT_EQ(m_editor.UpdateRow(row), "") << c.file;
        EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(row)].name, c.result);
        EXPECT_EQ(CTempFolder::Read(m_dir / c.result), std::string(200, 'y'));
    }
    // Renames and writes are told, in order, to whoever lists the files.
    m_editor.Fields().title = "Titled";
    EXPECT_EQ(m_editor.UpdateRow(row), "");
    const auto changes = m_editor.TakeFileChanges();
    ASSERT_EQ(changes.size(), 5u);
    EXPECT_EQ(changes[0].oldPath, m_dir / "b.mp3");
    EXPECT_EQ(changes[0].newPath, m_dir / "Renamed.MP3");
    EXPECT_EQ(changes[3].newPath, m_dir / "song.ogg.MP3");
    EXPECT_EQ(changes[4].oldPath, m_dir / "song.ogg.MP3");
    EXPECT_EQ(changes[4].newPath, m_dir / "song.ogg.MP3");
    EXPECT_TRUE(m_editor.TakeFileChanges().empty());
    // Onto an existing file: message, nothing replaced, no tag written.
    m_editor.Fields().file = "a.mp3";
    m_editor.Fields().title = "not written";
    EXPECT_EQ(m_editor.UpdateRow(row), "Can not rename [song.ogg.MP3] to [a.mp3]:\nFile exists");
    // The message names the file the rename tried to make.
    m_dir.Write("exist.MP3");
    m_editor.Fields().file = "exist";
    EXPECT_EQ(m_editor.UpdateRow(row), "Can not rename [song.ogg.MP3] to [exist.MP3]:\nFile exists");
    EXPECT_EQ(CTempFolder::Read(m_dir / "song.ogg.MP3").substr(0, 200), std::string(200, 'y'));
    EXPECT_EQ(CTempFolder::Read(m_dir / "a.mp3").substr(0, 200), std::string(200, 'x'));
    for (const char* bad : {"../up.mp3", "sub/x.mp3", "..", "."}) {
        m_editor.Fields().file = bad;
        EXPECT_NE(m_editor.UpdateRow(row), "") << bad;
    }
    EXPECT_EQ(m_editor.Rows()[static_cast<std::size_t>(row)].name, "song.ogg.MP3");
    EXPECT_FALSE(fs::exists(fs::path(m_dir.Path()).parent_path() / "up.mp3"));
}

TEST(TagEditor, NameThatIsNotUtf8StaysWhenTheFileTextIsLeftAsShown)
{
    CTempFolder dir;
    dir.Write("caf\xE9.mp3", std::string(200, 'q'));
    CTagEditor editor(dir.Path());
    editor.Load();
    editor.SelectRow(0);
    editor.Fields().title = "T";
    EXPECT_EQ(editor.UpdateRow(0), "");
    EXPECT_TRUE(fs::exists(dir / "caf\xE9.mp3"));
    CId3v1Tag tag;
    ASSERT_TRUE(tag.Read(dir / "caf\xE9.mp3"));
    EXPECT_EQ(tag.GetTitle(), "T");
}

TEST(TagEditor, TextsReadBackAsTheyWereWrittenWithinTheByteLimits)
{
    CTempFolder dir;
    dir.Write("x.mp3", std::string(200, 'q'));
    std::string thirtyOneE;
    for (int i = 0; i < 31; ++i)
        thirtyOneE += "\xC3\xA9";
    const std::string texts[] = {
        "CAF\xC3\x89\xE2\x80\x93" "BAR",     // CAFÉ–BAR: its Windows-1252 bytes are UTF-8 for other text
        "\xC3\x83\xC2\xA9t\xC3\xA9",         // Ã©té
        "Caf\xC3\xA9 \xE2\x82\xAC 5",          // Café € 5
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", // 日本語
        thirtyOneE,                            // 31 × é: 30 fit as Windows-1252
    };
    CTagEditor editor(dir.Path());
    editor.Load();
    for (const std::string& text : texts) {
        const std::string fitted = mev::FitTagText(text, CTagEditor::TEXT_LIMIT);
        EXPECT_EQ(text.compare(0, fitted.size(), fitted), 0) << text;
        editor.SelectRow(0);
        editor.Fields().title = text;
        editor.UpdateRow(0);
        editor.SelectRow(-1);
        CId3v1Tag tag;
        ASSERT_TRUE(tag.Read(dir / "x.mp3"));
        EXPECT_EQ(tag.GetTitle(), fitted) << text;
        EXPECT_LE(tag.RawTitle().size(), 30u);
        EXPECT_EQ(editor.Rows()[0].title, fitted);
    }
    EXPECT_EQ(mev::FitTagText(thirtyOneE, 30), thirtyOneE.substr(0, 60));
    // UTF-8 that does not fit is cut before a character, never inside one.
    EXPECT_EQ(mev::FitTagText("ab\xE6\x97\xA5\xE6\x97\xA5", 7), "ab\xE6\x97\xA5");
}

TEST(TagEditor, WriteWaitsWhileTheFileIsHeldAndGivesUpAfterTheTimeLimit)
{
    CTempFolder dir;
    const std::string path = dir.Write("held.mp3", std::string(200, 'q'));
    CTagEditor editor(dir.Path());
    editor.Load();
    const int holder = open(path.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    editor.SelectRow(0);
    editor.Fields().title = "Later";
    editor.UpdateRow(0);
    EXPECT_TRUE(editor.HasPendingWrites());
    EXPECT_FALSE(editor.RetryWrites());
    EXPECT_EQ(CTempFolder::Read(path).size(), 200u);
    close(holder);
    EXPECT_TRUE(editor.RetryWrites());
    EXPECT_FALSE(editor.HasPendingWrites());
    EXPECT_EQ(editor.Rows()[0].title, "Later");

    const int again = open(path.c_str(), O_RDONLY);
    flock(again, LOCK_SH);
    editor.Fields().title = "Never";
    editor.UpdateRow(0);
    std::string message;
    EXPECT_FALSE(editor.RetryWrites(std::chrono::steady_clock::now() + CTagEditor::WRITE_TIMEOUT, &message));
    EXPECT_FALSE(editor.HasPendingWrites());
    close(again);
    EXPECT_EQ(editor.Rows()[0].title, "Later");
    EXPECT_EQ(editor.Fields().title, "Later");
    EXPECT_EQ(message, "Can not write [held.mp3]:\n" + std::string(strerror(EWOULDBLOCK)));
}

// A write that cannot be done is said at once, in the system's words, and the row and
// the fields go back to the tag the file holds.
TEST(TagEditor, WriteThatCannotBeDoneSaysSoAndShowsTheFileTag)
{
    CTempFolder dir;
    const std::string locked = dir.Write("locked.mp3", std::string(200, 'q') + TagBlock("Old"));
    dir.Write("gone.mp3", std::string(200, 'q'));
    CTagEditor editor(dir.Path());
    editor.Load();
    ASSERT_EQ(editor.Rows().size(), 2u);
    const int lockedRow = editor.Rows()[0].name == "locked.mp3" ? 0 : 1;

    // Immutable (as root) or read-only: the system refuses the write.
    int error = EACCES;
    const int fd = open(locked.c_str(), O_RDONLY);
    int flags = 0;
    if (geteuid() == 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags |= FS_IMMUTABLE_FL;
        if (ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
            GTEST_SKIP() << "no immutable files here";
        error = EPERM;
    } else {
        fs::permissions(locked, fs::perms::owner_write, fs::perm_options::remove);
    }
    editor.SelectRow(lockedRow);
    editor.Fields().title = "New";
    editor.lockAlbum = true;
    editor.Fields().album = "Kept";
    const std::string message = editor.UpdateRow(lockedRow);
    if (error == EPERM) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
    EXPECT_EQ(message, "Can not write [locked.mp3]:\n" + std::string(strerror(error)));
    EXPECT_FALSE(editor.HasPendingWrites());
    EXPECT_EQ(editor.Rows()[static_cast<std::size_t>(lockedRow)].title, "Old");
    EXPECT_EQ(editor.Fields().title, "Old");
    EXPECT_EQ(editor.Fields().album, "Kept");
    EXPECT_TRUE(editor.TakeFileChanges().empty());

    // A file gone since the list was read.
    const int goneRow = 1 - lockedRow;
    fs::remove(dir / "gone.mp3");
    editor.SelectRow(goneRow);
    editor.Fields().title = "Lost";
    EXPECT_EQ(editor.UpdateRow(goneRow), "Can not write [gone.mp3]:\n" + std::string(strerror(ENOENT)));
    EXPECT_EQ(editor.Fields().title, "");
    EXPECT_FALSE(fs::exists(dir / "gone.mp3"));
}

TEST(TagEditor, IndexPageEscapesNamesInFiveColumnRows)
{
    CTempFolder dir;
    const std::string folder = dir.MakeFolder("My <Songs> & more.v2");
    const std::vector<std::string> names = {"a \"q\" #1.mp3", "b 100%.mp3", "c<i>?.mp3", "d&e.mp3",
                                            "caf\xE9.mp3",     "f'g.mp3",    "plain.mp3"};
    for (const std::string& name : names)
        dir.Write("My <Songs> & more.v2/" + name, std::string(200, 'q'));
    dir.Write("My <Songs> & more.v2/index.htm", "earlier");
    CTagEditor editor(folder);
    editor.Load();
    ASSERT_EQ(editor.Rows().size(), 7u);
    ASSERT_TRUE(editor.MakeHtml());
    const std::string page = CTempFolder::Read(folder + "/index.htm");
    EXPECT_NE(page.find("charset=UTF-8"), std::string::npos);
    EXPECT_NE(page.find("<TITLE>My &lt;Songs&gt; &amp; more</TITLE>"), std::string::npos);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("<tr>"), 2u);
    EXPECT_EQ(count("<td><a href="), 7u);
    EXPECT_NE(page.find("</a></td>\r\n&nbsp;\r\n&nbsp;\r\n&nbsp;\r\n</tr>\r\n</table>"), std::string::npos);
    for (std::size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && page[at - 1] == '\r') << "bare line feed at " << at;
    EXPECT_EQ(count("&nbsp;"), 3u);
    EXPECT_NE(page.find("<a href=\"a%20%22q%22%20%231.mp3\">a &quot;q&quot; #1.mp3</a>"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"b%20100%25.mp3\">"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"c%3Ci%3E%3F.mp3\">c&lt;i&gt;?.mp3</a>"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"caf%E9.mp3\">caf\xEF\xBF\xBD.mp3</a>"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);

    // A page that cannot be written leaves the earlier one.
    if (geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_FALSE(editor.MakeHtml());
        EXPECT_EQ(CTempFolder::Read(folder + "/index.htm"), page);
    }
}

} // namespace
