#include "core/shell/program_path.hpp"

#include <cerrno>
#include <filesystem>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/pages/page_url.hpp"
#include "core/shell/system_error.hpp"
#include "core/shell/url.hpp"
#include "core/shell/resources.hpp"
#include "core/shell/status.hpp"
#include "core/test_resources.hpp"

namespace mev {
namespace {

TEST(ProgramPath, NamesThisTestProgram)
{
    const std::string path = GetProgramPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "mev_core_tests");
    EXPECT_EQ(GetProgramFolder(), path.substr(0, path.rfind('/')));
}

// A package upgrade renames a new program file over the running one. This test program
// does that to itself (with an identical copy), as an upgrade would, and the pages that
// take the program path as their argument must still load.
TEST(ProgramPath, StaysUsableAfterTheProgramFileWasReplaced)
{
    const std::string path = GetProgramPath();
    ASSERT_FALSE(path.empty());
    const std::string copy = path + ".upgrade";
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(copy, path);
    ASSERT_NE(std::filesystem::read_symlink("/proc/self/exe").string().find(" (deleted)"), std::string::npos);

    EXPECT_EQ(GetProgramPath(), path);
    std::string host, argument;
    EXPECT_TRUE(ParsePageUrl(GetBlankPageUrl(), host, argument));
    EXPECT_EQ(argument, path);
    EXPECT_EQ(ProgramPathFromLink("/opt/mev/mev (deleted)"), "/opt/mev/mev");
    EXPECT_EQ(ProgramPathFromLink("/opt/mev/mev"), "/opt/mev/mev");
}

TEST(ProgramPath, FolderOf)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/mev/mev", "/opt/mev"}, {"/mev", "/"}, {"mev", "mev"}, {"a/b", "a"}, {"", ""}, {"/a/b/", "/a/b"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(GetFolderOf(path), expected) << path;
}

TEST(SystemError, TextsAndNumbers)
{
    EXPECT_EQ(GetSystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(GetSystemErrorText(EACCES), "Permission denied");
    for (unsigned long code : {4095ul, 99999ul, 2147483648ul, 4294967295ul})
        EXPECT_EQ(GetSystemErrorText(code), std::to_string(code));
}

TEST(SystemError, StatusTakesTheFailedCallsErrno)
{
    EXPECT_TRUE(CStatus());
    errno = 0;
    EXPECT_NE(::access("/no/such/path", F_OK), 0);
    const CStatus missing = CStatus::LastError();
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Code(), ENOENT);
    EXPECT_EQ(missing.Text(), "No such file or directory");
    // A failure that left no errno still fails.
    errno = 0;
    EXPECT_EQ(CStatus::LastError().Code(), EIO);
}

TEST(Resources, NothingWithoutSourceThenSourceTreeFiles)
{
    SetResourceSource(nullptr);
    EXPECT_FALSE(LoadResourceData("pages/anything.html").has_value());

    test::InstallSourceTreeResources();
    for (const char* bad : {"", "/etc/passwd", "../CMakeLists.txt", "pages/../../CMakeLists.txt", "pages", "no/such.html"})
        EXPECT_FALSE(LoadResourceData(bad).has_value()) << bad;

    const auto cmake = LoadResourceData("CMakeLists.txt");
    ASSERT_TRUE(cmake.has_value());
    EXPECT_NE(cmake->find("glib-compile-resources"), std::string_view::npos);
    const auto again = LoadResourceData("CMakeLists.txt");
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->data(), cmake->data()) << "the bytes stay where they were";
}

} // namespace
} // namespace mev
