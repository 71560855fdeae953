#include "core/tags/id3v1_tag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include "temp_folder.hpp"

namespace fs = std::filesystem;
using mev::CId3v1Tag;
using mev::DecodeTagText;
using mev::EncodeTagText;

namespace {

// A 128-byte tag block with space-padded fields.
std::string Block(const std::string& title, const std::string& artist = "", const std::string& album = "",
                  const std::string& year = "1999", const std::string& comment = "",
                  unsigned char zero = 0, unsigned char track = 7, unsigned char genre = 17,
                  const std::string& marker = "TAG")
{
    auto pad = [](std::string s, std::size_t n) {
        s.resize(n, ' ');
        return s;
    };
    std::string b = marker + pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4)
                    + pad(comment, 28);
    b += static_cast<char>(zero);
    b += static_cast<char>(track);
    b += static_cast<char>(genre);
    return b;
}

std::string Audio(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

bool IsValidUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2
                         : c >= 0xF0 && c <= 0xF4 ? 3 : 9;
        if (more == 9 || more >= s.size() - i)
            return false;
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += more + 1;
    }
    return true;
}

class Id3v1File : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_temp.Path().empty()); }
    std::string Put(const std::string& bytes, const std::string& name = "song.mp3")
    {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return (m_dir / name).string();
    }
    static std::string Get(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    mev::test::CTempFolder m_temp;
    fs::path m_dir = m_temp.Path();
};

} // namespace

TEST(Id3v1Text, DecodesWindows1252AndPassesUtf8Through)
{
    const struct { std::string bytes; std::string text; } cases[] = {
        {"plain", "plain"},
        {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},                      // été in Latin-1
        {"\x80 \x99 \x9F", "\xE2\x82\xAC \xE2\x84\xA2 \xC5\xB8"}, // € ™ Ÿ
        {"\x81\x8D", "\xC2\x81\xC2\x8D"},                        // undefined: same C1 value
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},              // été already UTF-8
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC"},  // 日本
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},                // 🎵
        {"ab\xC3", "ab\xC3\x83"},                                // cut sequence: Ã
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                        // overlong form: À¯
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},        // surrogate: í nbsp €
        {"\xE9\xC3\xA9", "\xC3\xA9\xC3\xA9"},                    // mixed
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeTagText(c.bytes), c.text) << c.bytes;
}

TEST(Id3v1Text, EveryByteDecodesToUtf8AndEncodesBack)
{
    for (int b = 1; b < 256; ++b) {
        std::string byte(1, static_cast<char>(b));
        std::string text = DecodeTagText(byte);
        EXPECT_TRUE(IsValidUtf8(text)) << b;
        EXPECT_EQ(EncodeTagText(text, 30), byte) << b;
    }
    std::string noise;
    for (int i = 0; i < 4000; ++i)
        noise += static_cast<char>((i * 7919 + i / 3) % 255 + 1);
    EXPECT_TRUE(IsValidUtf8(DecodeTagText(noise)));
}

TEST(Id3v1Text, EncodesToWindows1252WithQuestionMarksWithinTheLimit)
{
    std::string e30, e31;
    for (int i = 0; i < 30; ++i)
        e30 += "\xC3\xA9";
    e31 = e30 + "\xC3\xA9";
    const struct { std::string text; std::size_t limit; std::string bytes; } cases[] = {
        {"Caf\xC3\xA9 \xE2\x80\x94 \xE2\x82\xAC", 30, "Caf\xE9 \x97 \x80"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", 30, "??"},
        {"a\xF0\x9F\x8E\xB5" "b", 30, "a?b"},
        {"x\xFFy", 30, "x?y"},                        // not UTF-8: one '?'
        {e31, 30, std::string(30, '\xE9')},           // 62 UTF-8 bytes, 30 encoded
        {"abc\xE6\x97\xA5" "d", 3, "abc"},
        {"abcdefghij", 4, "abcd"},
        {"", 30, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeTagText(c.text, c.limit), c.bytes) << c.text;
}

TEST(Id3v1Setters, CutAtTheFieldLimitAndKeepNullAsNoChange)
{
    CId3v1Tag tag;
    EXPECT_EQ(tag.Genre(), 255);
    EXPECT_EQ(tag.GetTitle(), "");
    std::string forty(40, 'c');
    tag.SetComment(forty.c_str());
    EXPECT_EQ(tag.RawComment(), std::string(28, 'c'));
    tag.SetTitle(std::string(35, 't').c_str());
    EXPECT_EQ(tag.RawTitle(), std::string(30, 't'));
    tag.SetTitle(nullptr);
    EXPECT_EQ(tag.RawTitle(), std::string(30, 't'));
    tag.SetTitle("Zo\xC3\xAB");
    EXPECT_EQ(tag.RawTitle(), "Zo\xEB");
    EXPECT_EQ(tag.GetTitle(), "Zo\xC3\xAB");
    tag.SetTitle("");
    EXPECT_EQ(tag.GetTitle(), "");
    tag.SetArtist("  padded  ");
    EXPECT_EQ(tag.GetArtist(), "  padded  "); // setters never trim or pad
    tag.Clear();
    EXPECT_EQ(tag.GetArtist(), "");
    EXPECT_EQ(tag.GetComment(), "");
    EXPECT_EQ(tag.Genre(), 255);
}

TEST_F(Id3v1File, WritesTheExactLayout)
{
    std::string path = Put(Audio(1000));
    CId3v1Tag tag;
    tag.SetTitle("Title");
    tag.SetArtist("Artist");
    tag.SetAlbum("Album");
    tag.SetComment("Comment \xE2\x82\xAC");
    ASSERT_TRUE(tag.Write(path));
    std::string data = Get(path);
    ASSERT_EQ(data.size(), 1128u);
    EXPECT_EQ(data.substr(0, 1000), Audio(1000));
    std::string t = data.substr(1000);
    auto field = [](const std::string& s, std::size_t n) { return s + std::string(n - s.size(), '\0'); };
    EXPECT_EQ(t.substr(0, 3), "TAG");
    EXPECT_EQ(t.substr(3, 30), field("Title", 30));
    EXPECT_EQ(t.substr(33, 30), field("Artist", 30));
    EXPECT_EQ(t.substr(63, 30), field("Album", 30));
    EXPECT_EQ(t.substr(93, 4), std::string(4, '\0'));
    EXPECT_EQ(t.substr(97, 28), field("Comment \x80", 28));
    EXPECT_EQ(t[125], '\0');
    EXPECT_EQ(t[126], '\0');
    EXPECT_EQ(static_cast<unsigned char>(t[127]), 255);

    // A second write replaces the tag and does not grow the file.
    tag.SetTitle("Other");
    ASSERT_TRUE(tag.Write(path));
    data = Get(path);
    ASSERT_EQ(data.size(), 1128u);
    EXPECT_EQ(data.substr(1003, 6), std::string("Other\0", 6));
}

TEST_F(Id3v1File, ReadsAtEitherPosition)
{
    const std::string tag = Block("Song");
    const struct { const char* what; std::string bytes; bool found; } cases[] = {
        {"tag at the end", Audio(500) + tag, true},
        {"tag then two bytes", Audio(500) + tag + "xy", true},
        {"130 bytes, tag at the end", "ab" + tag, true},
        {"130 bytes, tag first", tag + "ab", true},
        {"129 bytes", tag + "a", false},
        {"128 bytes", tag, false},
        {"tag then three bytes", Audio(500) + tag + "xyz", false},
        {"lower-case marker", Audio(500) + Block("Song", "", "", "1999", "", 0, 7, 17, "tag"), false},
        {"no tag", Audio(500), false},
        {"empty file", "", false},
    };
    for (const auto& c : cases) {
        CId3v1Tag record;
        record.SetTitle("stale");
        EXPECT_EQ(record.Read(Put(c.bytes)), c.found) << c.what;
        EXPECT_EQ(record.GetTitle(), c.found ? "Song" : "") << c.what;
        EXPECT_EQ(record.Genre(), c.found ? 17 : 255) << c.what;
    }
}

TEST_F(Id3v1File, TrimsTrailingSpacesAndNulsOnly)
{
    const struct { std::string field; std::string text; } cases[] = {
        {"Word" + std::string(26, ' '), "Word"},
        {"  Word  ", "  Word"},
        {std::string(30, 'x'), std::string(30, 'x')},
        {"two  words \0\0 ", "two  words"},
        {std::string(30, ' '), ""},
        {std::string("A\0tail   ", 9), "A"},
    };
    for (const auto& c : cases) {
        CId3v1Tag record;
        ASSERT_TRUE(record.Read(Put(Audio(200) + Block(c.field, c.field, c.field, "1999", c.field))));
        EXPECT_EQ(record.GetTitle(), c.text);
        EXPECT_EQ(record.GetArtist(), c.text);
        EXPECT_EQ(record.GetAlbum(), c.text);
        EXPECT_EQ(record.GetComment(), c.text.substr(0, 28));
    }
}

TEST_F(Id3v1File, ReadThenWriteKeepsTheOtherBytes)
{
    std::string path = Put(Audio(300) + Block(std::string("A\0tail   ", 9), "Art  ", "", "19 9", "c", 0, 4, 80));
    CId3v1Tag record;
    ASSERT_TRUE(record.Read(path));
    record.SetAlbum("New");
    ASSERT_TRUE(record.Write(path));
    std::string t = Get(path).substr(300);
    ASSERT_EQ(t.size(), 128u);
    // Trailing spaces became NULs; what follows an embedded NUL is kept byte for byte.
    EXPECT_EQ(t.substr(3, 30), std::string("A\0tail", 6) + std::string(24, ' '));
    EXPECT_EQ(t.substr(33, 5), std::string("Art\0\0", 5));
    EXPECT_EQ(t.substr(63, 4), std::string("New\0", 4));
    EXPECT_EQ(t.substr(93, 4), "19 9");
    EXPECT_EQ(t[126], 4);
    EXPECT_EQ(t[127], 80);
}

TEST_F(Id3v1File, WriteFindsThePlace)
{
    const std::string old = Block("Old");
    const struct { const char* what; std::string bytes; std::size_t keep; std::size_t size; } cases[] = {
        {"no tag", Audio(400), 400, 528},
        {"tag at the end", Audio(400) + old, 400, 528},
        {"tag then two bytes", Audio(400) + old + "xy", 400, 528},
        {"tag then three bytes", Audio(400) + old + "xyz", 531, 659},
        {"short file", Audio(10), 10, 138},
        {"empty file", "", 0, 128},
    };
    for (const auto& c : cases) {
        std::string path = Put(c.bytes);
        CId3v1Tag record;
        record.SetTitle("New");
        ASSERT_TRUE(record.Write(path)) << c.what;
        std::string data = Get(path);
        EXPECT_EQ(data.size(), c.size) << c.what;
        EXPECT_EQ(data.substr(0, c.keep), c.bytes.substr(0, c.keep)) << c.what;
        CId3v1Tag back;
        EXPECT_EQ(back.Read(path), c.size >= 130) << c.what; // a lone tag is too short to read
        EXPECT_EQ(back.GetTitle(), c.size >= 130 ? "New" : "") << c.what;
    }
}

TEST_F(Id3v1File, TextOutsideWindows1252IsStoredAsUtf8AndReadsBackExactly)
{
    std::string path = Put(Audio(200));
    CId3v1Tag record;
    record.SetTitle("\xC3\x9C" "ber \xE6\x97\xA5 \xE2\x80\x9Cq\xE2\x80\x9D");
    record.SetArtist("\xC3\x9C" "ber \xE2\x80\x9Cq\xE2\x80\x9D");
    ASSERT_TRUE(record.Write(path));
    CId3v1Tag back;
    ASSERT_TRUE(back.Read(path));
    EXPECT_EQ(back.GetTitle(), "\xC3\x9C" "ber \xE6\x97\xA5 \xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(back.RawArtist(), "\xDC" "ber \x93q\x94"); // Windows-1252 wherever it reads back
}

TEST_F(Id3v1File, BadFilesGiveFalseAndAreLeftAlone)
{
    const std::string good = Audio(300) + Block("Song");
    std::string dir = (m_dir / "folder.mp3").string();
    fs::create_directory(dir);
    std::string fifo = (m_dir / "pipe.mp3").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string vanished = Put(good, "gone.mp3");
    fs::remove(vanished);
    std::string dangling = (m_dir / "link.mp3").string();
    fs::create_symlink(m_dir / "nowhere.mp3", dangling);

    for (const std::string& path : {std::string(), dir, fifo, vanished, dangling}) {
        CId3v1Tag record;
        ASSERT_TRUE(record.Read(Put(good, "ok.mp3")));
        EXPECT_FALSE(record.Read(path)) << path;
        EXPECT_EQ(record.GetTitle(), "") << path;
        record.SetTitle("x");
        EXPECT_FALSE(record.Write(path)) << path;
    }
    EXPECT_FALSE(fs::exists(vanished));
    EXPECT_FALSE(fs::exists(m_dir / "nowhere.mp3"));
    EXPECT_TRUE(fs::is_directory(dir));
}

TEST_F(Id3v1File, ReadOnlyFileIsNotWritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write read-only files";
    const std::string bytes = Audio(300) + Block("Song");
    std::string path = Put(bytes);
    fs::permissions(path, fs::perms::owner_read);
    CId3v1Tag record;
    EXPECT_TRUE(record.Read(path));
    record.SetTitle("Changed");
    EXPECT_FALSE(record.Write(path));
    EXPECT_EQ(Get(path), bytes);
}

TEST_F(Id3v1File, LockedFileIsRefused)
{
    const std::string bytes = Audio(300) + Block("Song");
    std::string path = Put(bytes);
    int holder = open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);

    // Another reader: reading goes on, writing waits for it to finish.
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    CId3v1Tag record;
    EXPECT_TRUE(record.Read(path));
    record.SetTitle("Changed");
    EXPECT_FALSE(record.Write(path));
    EXPECT_EQ(Get(path), bytes);

    // A writer: neither reading nor writing.
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(record.Read(path));
    record.SetTitle("Changed");
    EXPECT_FALSE(record.Write(path));
    EXPECT_EQ(Get(path), bytes);

    close(holder);
    EXPECT_TRUE(record.Write(path));
    EXPECT_TRUE(record.Read(path));
    EXPECT_EQ(record.GetTitle(), "Changed");
}

// Someone who ignores locks cuts and refills the file while we read it: no crash, and a
// failed read leaves the record cleared.
TEST_F(Id3v1File, FileChangingUnderTheReader)
{
    const std::string full = Audio(2000) + Block("Song", "Artist");
    std::string path = Put(full);
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; i < 300; ++i) {
            int fd = open(path.c_str(), O_WRONLY);
            if (fd < 0)
                continue;
            if (ftruncate(fd, (i % 2) ? 100 : 0) == 0 && i % 3 == 0) {
                if (pwrite(fd, full.data(), full.size(), 0) < 0) {
                }
            }
            close(fd);
        }
        stop = true;
    });
    while (!stop) {
        CId3v1Tag record;
        if (!record.Read(path)) {
            EXPECT_EQ(record.GetTitle(), "");
            EXPECT_EQ(record.Genre(), 255);
        }
    }
    changer.join();
}
