#include "core/app/start_paths.hpp"

#include <gtest/gtest.h>

#include "temp_folder.hpp"

namespace mev {
namespace {

using Args = std::vector<std::string>;

TEST(StartPaths, FolderOpensInTheTabOfTheKindItHoldsMostOf)
{
    test::CTempFolder dir;
    dir.MakeFolder("music");
    dir.MakeFolder("music/album");
    dir.Write("music/cover.jpg");
    dir.Write("music/album/1.mp3");
    dir.Write("music/album/2.ogg");
    dir.MakeFolder("clips");
    dir.Write("clips/a.webm");
    dir.Write("clips/b.txt");
    dir.MakeFolder("empty");

    std::string file = "old";
    EXPECT_EQ(ExpandBarePaths({"mev", dir.File("music")}, "/", &file), (Args{"mev", "Audios=" + dir.File("music"), "show=Audios"}));
    EXPECT_EQ(file, "");
    EXPECT_EQ(ExpandBarePaths({"mev", "clips/"}, dir.Path(), &file), (Args{"mev", "Videos=" + dir.File("clips"), "show=Videos"}))
        << "relative to the current folder, without the trailing '/'";
    EXPECT_EQ(ExpandBarePaths({"mev", dir.File("empty")}, "/", &file), (Args{"mev", "Images=" + dir.File("empty"), "show=Images"}));
}

TEST(StartPaths, FileOpensItsFolderInItsOwnTabAndIsTheStartFile)
{
    test::CTempFolder dir;
    const std::string song = dir.Write("my song.mp3");
    dir.Write("a.jpg");
    dir.Write("b.jpg");
    std::string file;
    EXPECT_EQ(ExpandBarePaths({"mev", song}, "/", &file), (Args{"mev", "Audios=" + dir.Path(), "show=Audios"}));
    EXPECT_EQ(file, song);

    const std::string text = dir.Write("notes.txt");
    EXPECT_EQ(ExpandBarePaths({"mev", text}, "/", &file), (Args{"mev", "Images=" + dir.Path(), "show=Images"}))
        << "a file of no media kind opens its folder";
    EXPECT_EQ(file, "");
}

TEST(StartPaths, OptionsWrittenOutWinAndOnlyTheFirstPathCounts)
{
    test::CTempFolder dir;
    const std::string song = dir.Write("x.mp3");
    const std::string other = dir.MakeFolder("other");
    std::string file;
    EXPECT_EQ(ExpandBarePaths({"mev", "show=Videos", song, other}, "/", &file),
              (Args{"mev", "show=Videos", "Audios=" + dir.Path()}));
    EXPECT_EQ(file, song);
    EXPECT_EQ(ExpandBarePaths({"mev", "AUDIOS=/music", song}, "/", &file), (Args{"mev", "AUDIOS=/music", "show=Audios"}));
    EXPECT_EQ(file, "") << "the root given by option need not hold the file";
    // What names no path is left for the option parser, as before.
    EXPECT_EQ(ExpandBarePaths({"mev", "no-such-path", "Images=/x"}, dir.Path(), &file),
              (Args{"mev", "no-such-path", "Images=/x"}));
}

} // namespace
} // namespace mev
