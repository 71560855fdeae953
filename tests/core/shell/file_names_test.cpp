#include "core/shell/file_names.hpp"

#include <gtest/gtest.h>

namespace mev {
namespace {

TEST(FileNames, NamePart)
{
    struct Case {
        const char* path;
        bool withoutExtension;
        const char* expected;
    };
    const Case cases[] = {
        {"/dir/song.mp3", false, "song.mp3"},
        {"/dir/song.mp3", true, "song"},
        {"song.mp3", false, "song.mp3"},
        {"/song.mp3", false, "song.mp3"},
        {"/home/u/.profile", true, ".profile"},
        {"/a/archive.tar.gz", true, "archive.tar"},
        {"/a.dir/readme", true, "readme"},
        {"/music/back\\slash.mp3", false, "back\\slash.mp3"},
        {"/music/C:song.mp3", false, "C:song.mp3"},
        {"/folder/", false, ""},
        {"", true, ""},
        {"name.", true, "name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileNamePart(c.path, c.withoutExtension), c.expected) << c.path << " " << c.withoutExtension;
}

TEST(FileNames, Extension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/dir.x/file", ""},
        {"a.JPG", "jpg"},
        {"/pics/Photo.JpEg", "jpeg"},
        {".hidden", ""},
        {"/home/u/.hidden", "hidden"},   // the dot is not at the start of the path
        {"/music/.MP3", "mp3"},
        {"/a/b.tar.GZ", "gz"},
        {"/a/name.", ""},
        {"/a/caf\xC3\xA9.\xC3\x89XT", "\xC3\x89xt"}, // multibyte bytes are left alone
        {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(GetFileExtension(path), expected) << path;
}

TEST(FileNames, CollapseAndJoin)
{
    EXPECT_EQ(CollapseSlashes("//a///b/"), "/a/b/");
    EXPECT_EQ(CollapseSlashes("a\\\\b"), "a\\\\b");
    EXPECT_EQ(CollapseSlashes(""), "");
    EXPECT_EQ(JoinPath("/", "a"), "/a");
    EXPECT_EQ(JoinPath("/media/cd/", "x.jpg"), "/media/cd/x.jpg");
    EXPECT_EQ(JoinPath("/media/cd", "x.jpg"), "/media/cd/x.jpg");
    EXPECT_EQ(JoinPath("rel", "x"), "rel/x");
}

TEST(FileNames, Roots)
{
    EXPECT_EQ(GetRootLength("/"), 1);
    EXPECT_EQ(GetRootLength("/home/u"), 1);
    EXPECT_EQ(GetRootLength("home"), -1);
    EXPECT_EQ(GetRootLength(""), -1);
    EXPECT_TRUE(IsRootPath("/"));
    EXPECT_TRUE(IsRootPath("//"));
    EXPECT_FALSE(IsRootPath("/home"));
    EXPECT_FALSE(IsRootPath(""));
    EXPECT_FALSE(IsRootPath("C:\\"));
}

TEST(FileNames, IsPrime)
{
    for (unsigned n : {0u, 1u, 2u, 3u, 5u, 7u, 101u, 997u, 65521u, 4294967291u})
        EXPECT_TRUE(IsPrime(n)) << n;
    for (unsigned n : {4u, 9u, 25u, 100u, 1001u, 65535u, 4294967295u})
        EXPECT_FALSE(IsPrime(n)) << n;
}

} // namespace
} // namespace mev
