#include "core/app/autorun_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "temp_folder.hpp"

namespace mev {
namespace {

std::vector<AutorunTab> Tabs(const std::string& images, const std::string& audios, const std::string& videos)
{
    // An empty folder stands for a page that was never opened.
    return {{"Images", !images.empty(), images}, {"Audios", !audios.empty(), audios},
            {"Videos", !videos.empty(), videos}};
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command and gives its standard output; -1 in status when it failed to run.
std::string RunShell(const std::string& command, int& status)
{
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    std::array<char, 256> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    status = ::pclose(pipe);
    return output;
}

TEST(AutorunFile, EnabledOnlyForFoldersInTheProgramFolder)
{
    struct Case {
        std::vector<AutorunTab> tabs;
        bool enabled;
    };
    const Case cases[] = {
        {Tabs("/media/cd/Photos", "", ""), true},
        {Tabs("/media/cd", "/media/cd/Music/Old", ""), true},
        {Tabs("/media/cd/Photos", "/home/me/Music", ""), false},
        {Tabs("/media/cdrom/Photos", "", ""), false},  // a sibling sharing the name's start
        {Tabs("/media", "", ""), false},
        {Tabs("/media/CD/Photos", "", ""), false},      // paths are exact
        {{{"Images", false, "/elsewhere"}, {"Audios", true, ""}}, true},  // never opened, or no folder
    };
    for (const Case& c : cases)
        EXPECT_EQ(CAutorunFile("/media/cd/mev", c.tabs, 0).CanCreate(), c.enabled) << c.tabs[0].folder;
    EXPECT_TRUE(CAutorunFile("/mev", Tabs("/Photos", "/", ""), 0).CanCreate());
}

TEST(AutorunFile, InfTextNamesTheShownFoldersAndTab)
{
    CAutorunFile file("/media/cd/mev", Tabs("/media/cd/Photos", "/media/cd", ""), 1);
    EXPECT_EQ(file.GetTargetPath(), "/media/cd/AUTORUN.INF");
    EXPECT_EQ(file.GetInfText(),
              "[AutoRun]\r\nOPEN=mev Images=\"Photos\" Audios=\".\" show=\"Audios\"\r\nICON=mev,0\r\n");
    EXPECT_EQ(CAutorunFile("/mev", Tabs("", "/Music", ""), -1).GetInfText(),
              "[AutoRun]\r\nOPEN=mev Audios=\"Music\"\r\nICON=mev,0\r\n");
    EXPECT_EQ(file.GetResultMessage(true), "Done.\nAutorun.inf has been saved as:\n/media/cd/AUTORUN.INF");
    EXPECT_EQ(file.GetResultMessage(false), "Failed.\nCan not create:\n/media/cd/AUTORUN.INF");
}

TEST(AutorunFile, ScriptStartsTheProgramWithExactlyTheFolders)
{
    test::CTempFolder medium;
    // Names that would run something or split apart if the shell saw them unquoted.
    const std::string hostile[] = {"it's $(touch pwned) `touch pwned`", "a \"b\" $HOME\\n", "line\nbreak ; rm x",
                                   "  spaced  "};
    std::vector<AutorunTab> tabs;
    for (int i = 0; i < 3; ++i) {
        const std::string folder = medium.MakeFolder(hostile[i] + "/" + hostile[3]);
        tabs.push_back({i == 0 ? "Images" : i == 1 ? "Audios" : "Videos", true, folder});
    }
    const std::string program = medium / "m'e v";
    // The stand-in program prints each argument on its own, ended by a NUL.
    std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);

    CAutorunFile file(program, tabs, 2);
    ASSERT_TRUE(file.CanCreate());
    ASSERT_TRUE(file.Write());
    const std::string script = medium / "autorun.sh";
    EXPECT_EQ(ReadFile(script), file.GetScriptText());
    // The INF file cannot carry quotes or line breaks: only the plain name is in it.
    EXPECT_EQ(file.GetInfText(), "[AutoRun]\r\nOPEN=m'e v Images=\"" + hostile[0] + "/" + hostile[3] +
                                     "\" show=\"Videos\"\r\nICON=m'e v,0\r\n");
    EXPECT_EQ(ReadFile(medium / "AUTORUN.INF"), file.GetInfText());
    const auto perms = std::filesystem::status(script).permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none);
    EXPECT_NE(perms & std::filesystem::perms::others_exec, std::filesystem::perms::none);

    int status = 0;
    RunShell("sh -n " + CAutorunFile::QuoteForShell(script), status);
    EXPECT_EQ(status, 0);
    std::string expected;
    for (int i = 0; i < 3; ++i)
        expected += std::string(tabs[static_cast<std::size_t>(i)].name) + "=" + hostile[i] + "/" + hostile[3] + '\0';
    expected += std::string("show=Videos") + '\0';
    // Started by path from elsewhere, as a desktop starts it, and by name from its folder.
    EXPECT_EQ(RunShell("cd / && " + CAutorunFile::QuoteForShell(script), status), expected);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunShell("cd " + CAutorunFile::QuoteForShell(medium.Path()) + " && sh autorun.sh", status), expected);
    EXPECT_FALSE(std::filesystem::exists(medium / "pwned"));
    EXPECT_FALSE(std::filesystem::exists("/pwned"));
}

TEST(AutorunFile, FailureLeavesNothingHalfWritten)
{
    test::CTempFolder medium;
    const auto Leftovers = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(medium.Path()))
            count += entry.path().filename().string().front() == '.' ? 1 : 0;
        return count;
    };
    // The target cannot be replaced: an existing AUTORUN.INF that is a folder.
    medium.MakeFolder("AUTORUN.INF/x");
    CAutorunFile file(medium / "mev", Tabs(medium.Path(), "", ""), 0);
    EXPECT_FALSE(file.Write());
    EXPECT_EQ(Leftovers(), 0);
    EXPECT_FALSE(std::filesystem::exists(medium / "autorun.sh"));

    // A program folder that is not writable (root writes anyway; the folder check stays).
    std::filesystem::remove_all(medium / "AUTORUN.INF");
    if (::geteuid() != 0) {
        ::chmod(medium.Path().c_str(), 0555);
        EXPECT_FALSE(file.Write());
        ::chmod(medium.Path().c_str(), 0755);
        EXPECT_EQ(Leftovers(), 0);
        EXPECT_FALSE(std::filesystem::exists(medium / "AUTORUN.INF"));
    }
    EXPECT_FALSE(CAutorunFile(medium / "gone/mev", Tabs("", "", ""), 0).Write());

    // An earlier file is replaced whole.
    medium.Write("AUTORUN.INF", std::string(5000, 'x'));
    ASSERT_TRUE(file.Write());
    EXPECT_EQ(ReadFile(medium / "AUTORUN.INF"), file.GetInfText());
    EXPECT_EQ(Leftovers(), 0);
}

} // namespace
} // namespace mev
