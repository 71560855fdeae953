#include "core/shell/command_line.hpp"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_dir.empty());
        fs::create_directories(m_dir + "/My Pictures");
        fs::create_directories(m_dir + "/music");
        std::ofstream(m_dir + "/file.txt") << "x";
    }
    void TearDown() override
    {
        SetCommandLine({});
    }
    test::CTempFolder m_temp;
    std::string m_dir = m_temp.Path();
};

TEST_F(CommandLineTest, PlainValues)
{
    SetCommandLine({"mev", "show=\"Videos\"", "Images='/x'", "SHOWX=ignored"});
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"show", "Videos"},
        {"SHOW", "Videos"},
        {"images", "/x"},
        {"Audios", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetCommandLineValue(c.name, false), c.expected) << c.name;

    SetCommandLine({"mev", "show", "show=Images"});
    EXPECT_EQ(GetCommandLineValue("show", false), "") << "the first match counts, also when empty";
    // Quotes are name characters; only a pair around the whole value goes.
    SetCommandLine({"mev", "show = \"Au'dios\""});
    EXPECT_EQ(GetCommandLineValue("show", false), "Au'dios");
    SetCommandLine({"mev", "show='Au\"dios' "});
    EXPECT_EQ(GetCommandLineValue("show", false), "'Au\"dios' ");
    SetCommandLine({"mev", "show=\"Audios'"});
    EXPECT_EQ(GetCommandLineValue("show", false), "\"Audios'");
    SetCommandLine({"mev"});
    EXPECT_EQ(GetCommandLineValue("show", false), "");
    SetCommandLine({});
    EXPECT_EQ(GetCommandLineValue("show", false), "");
}

TEST_F(CommandLineTest, AbsolutePathsMustExist)
{
    SetCommandLine({"mev", "Images=" + m_dir + "/missing", "Images", "Images=\"" + m_dir + "/My Pictures\"",
                    "Images=" + m_dir + "/music"});
    EXPECT_EQ(GetCommandLineValue("Images", true), m_dir + "/My Pictures");

    SetCommandLine({"mev", "Audios=" + m_dir + "/file.txt"});
    EXPECT_EQ(GetCommandLineValue("Audios", true), m_dir + "/file.txt") << "an existing file counts";

    SetCommandLine({"mev", "Videos=" + m_dir + "/gone", "Videos="});
    EXPECT_EQ(GetCommandLineValue("Videos", true), "");

    // As a shell passes the folder on, bare or quoted (autorun.sh quotes it whole).
    const std::string band = m_dir + "/Guns N' Roses";
    fs::create_directories(band);
    for (const std::string& arg : {"Audios=" + band, "Audios=\"" + band + "\"", "Audios='" + band + "'"}) {
        SetCommandLine({"mev", arg});
        EXPECT_EQ(GetCommandLineValue("Audios", true), band) << arg;
    }
}

TEST_F(CommandLineTest, RelativePathsStartAtTheProgramFolder)
{
    const std::string folder = GetProgramFolder();
    const std::string program = GetFileNamePart(GetProgramPath());
    ASSERT_FALSE(program.empty());
    // The program's own file is certain to lie in its folder; the parent of the folder too.
    const std::string parentName = GetFileNamePart(folder);

    const std::pair<std::string, std::string> cases[] = {
        {"Images=" + program, folder + "/" + program},
        {"Images='" + program + "'", folder + "/" + program},
        {"Images=./" + program, folder + "/" + program},
        {"Images=../" + parentName + "/" + program, folder + "/" + program},
        {"Images=..", GetFolderOf(folder)},
        {"Images=no-such-thing-here", ""},
        {"Images=C:\\pics", ""},
    };
    for (const auto& [arg, expected] : cases) {
        SetCommandLine({"mev", arg});
        EXPECT_EQ(GetCommandLineValue("Images", true), expected) << arg;
    }
}

TEST(ResolveOptionPath, RelativeToTheProgramFolderUnlessInstalled)
{
    const struct {
        const char* value;
        const char* programFolder;
        const char* expected;
    } cases[] = {
        {"pics", "/media/disc", "/media/disc/pics"},
        {"./pics/../music/", "/media/disc", "/media/disc/music"},
        {".", "/media/disc", "/media/disc"},
        {"pics", "/usr/bin", "/home/me/work/pics"},
        {"..", "/usr/local/bin", "/home/me"},
        {"/abs/pics", "/usr/bin", "/abs/pics"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveOptionPath(c.value, c.programFolder, "/home/me/work"), c.expected) << c.value << " " << c.programFolder;
}

} // namespace
} // namespace mev
