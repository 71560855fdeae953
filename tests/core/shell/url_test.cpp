#include "core/shell/url.hpp"

#include <cctype>

#include <gtest/gtest.h>


namespace mev {
namespace {

using namespace std::string_literals;

TEST(Url, Decode)
{
    const std::pair<std::string, std::string> cases[] = {
        {"mev://audio/?/My%20Music/a.mp3", "mev://audio/?/My Music/a.mp3"},
        {"%41%62%2f", "Ab/"},
        {"100%", "100%"},
        {"%", "%"},
        {"%4", "%4"},
        {"a%4", "a%4"},
        {"%zz", "%zz"},
        {"%g1%1g", "%g1%1g"},
        {"%%41", "%A"},
        {"%2541", "%41"},
        {"a+b", "a+b"},
        {"%E9t%C3%A9", "\xE9t\xC3\xA9"},
        {"/pic.jpg%00.txt", "/pic.jpg%00.txt"},
        {"", ""},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(DecodeUrl(url), expected) << url;
}

// Names a user may well have on disk, each of which breaks naive HTML or URL building.
const std::string HOSTILE_NAMES[] = {
    "/p/\"><script>alert(1)</script>.jpg",
    "/p/a&b.jpg",
    "/p/100%.jpg",
    "/p/#1.jpg",
    "/p/what?.jpg",
    "/p/it's.jpg",
    "/p/sp ace.jpg",
    "/p/latin\xE9\xFF.jpg",
    "/p/\x01\x7F\x80.jpg",
    "/p/caf\xC3\xA9.jpg",
};

TEST(Url, FileUrlsSurviveHostileNames)
{
    for (const auto& path : HOSTILE_NAMES) {
        const std::string url = MakeFileUrl(path);
        ASSERT_EQ(url.rfind("file:///p/", 0), 0u) << url;
        for (char c : url.substr(7)) {
            const auto u = static_cast<unsigned char>(c);
            const bool plain = std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == '%';
            EXPECT_TRUE(plain && u < 0x80) << "raw byte " << int(u) << " in " << url;
        }
        std::string back;
        ASSERT_TRUE(FileUrlToPath(DecodeUrl(url), back));
        EXPECT_EQ(back, path);
    }
    EXPECT_EQ(MakeFileUrl("/a b/#1?.jpg"), "file:///a%20b/%231%3F.jpg");
    EXPECT_EQ(EncodeUrlPath("/x/100%~a-b_c.d"), "/x/100%25~a-b_c.d");
}

TEST(Url, EscapeHtml)
{
    EXPECT_EQ(EscapeHtml("\"><script>alert(1)</script>.jpg"), "&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;.jpg");
    EXPECT_EQ(EscapeHtml("a&b 'q'"), "a&amp;b &#39;q&#39;");
    EXPECT_EQ(EscapeHtml("100%#?\xE9"), "100%#?\xE9");
    for (const auto& name : HOSTILE_NAMES) {
        const std::string escaped = EscapeHtml(name);
        EXPECT_EQ(escaped.find_first_of("<>\"'"), std::string::npos) << escaped;
    }
}

TEST(Url, FileUrlToPath)
{
    struct Case {
        std::string url;
        bool ok;
        std::string path;
    };
    const Case cases[] = {
        {"file:///home/u/a.jpg", true, "/home/u/a.jpg"},
        {"FILE:///x", true, "/x"},
        {"File://///x//y", true, "/x//y"},
        {"file:/x", true, "/x"},
        {"file:x", true, "x"},
        {"file:", true, ""},
        {"file:///", true, "/"},
        {"file", false, ""},
        {"http://host/a.jpg", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        std::string path = "unchanged";
        EXPECT_EQ(FileUrlToPath(c.url, path), c.ok) << c.url;
        EXPECT_EQ(path, c.ok ? c.path : "unchanged"s) << c.url;
    }
}

} // namespace
} // namespace mev
