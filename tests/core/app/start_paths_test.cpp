#include "core/app/start_paths.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

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

// The demo start: a newcomer sees the demo folder's thumbnails with a picture chosen,
// not a tab with nothing selected.
TEST(StartPaths, DemoStartShowsAPictureOfTheDemoFolder)
{
    test::CTempFolder dir;
    const std::string recorder = dir.Write("record.sh", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
    const std::string command = "DISPLAY= WAYLAND_DISPLAY=mev-test-none MEV_BIN='" + recorder + "' '" MEV_SOURCE_DIR "/tools/run-demo.sh'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream lines(test::CTempFolder::Read(recorder + ".args"));
    Args args{"mev"};
    for (std::string line; std::getline(lines, line);)
        args.push_back(line);
    std::string file;
    const Args expanded = ExpandBarePaths(args, "/", &file);
    const std::string demo = std::filesystem::path(MEV_SOURCE_DIR "/demo").lexically_normal().string();
    EXPECT_EQ(std::filesystem::path(file).parent_path().string(), demo);
    CMediaKinds::Instance().EnsureBuilt();
    EXPECT_TRUE(CMediaKinds::Instance().Contains(MediaKind::Image, CMediaKinds::KeyOf(file))) << file;
    EXPECT_NE(std::find(expanded.begin(), expanded.end(), "show=Images"), expanded.end());
}

} // namespace
} // namespace mev
