#include "core/media/folder_tree_model.hpp"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include "core/shell/command_line.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

class FolderTreeModelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.empty()); }
    void TearDown() override
    {
        std::error_code ec;
        for (auto& p : m_locked)
            fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
    }
    std::string Make(const std::string& rel)
    {
        fs::create_directories(m_dir + "/" + rel);
        return m_dir + "/" + rel;
    }
    void Touch(const std::string& rel) { std::ofstream(m_dir + "/" + rel) << "x"; }

    static std::vector<std::string> Names(const FolderListing& listing)
    {
        std::vector<std::string> names;
        for (const auto& e : listing.entries)
            names.push_back(e.name);
        return names;
    }

    test::CTempFolder m_temp;
    std::string m_dir = m_temp.Path();
    std::vector<std::string> m_locked;
};

TEST_F(FolderTreeModelTest, ListsVisibleFoldersSortedWithTheirPaths)
{
    Make("beta/inner");
    Make("Alpha");
    Make("alpha");
    Make("gamma/.hidden");
    Make(".cache");
    Make("Zeta/x");
    Touch("file.txt");
    Touch("beta/file.jpg");
    fs::create_directory_symlink(m_dir + "/beta", m_dir + "/link");
    fs::create_symlink(m_dir + "/file.txt", m_dir + "/filelink");
    fs::create_symlink(m_dir + "/nowhere", m_dir + "/dangling");

    FolderListing listing = ListSubFolders(m_dir);
    ASSERT_TRUE(listing.readable);
    EXPECT_FALSE(listing.cancelled);
    const std::vector<std::string> expected{"Alpha", "alpha", "beta", "gamma", "link", "Zeta"};
    EXPECT_EQ(Names(listing), expected);
    for (std::size_t i = 0; i < listing.entries.size(); ++i)
        EXPECT_EQ(listing.entries[i].path, m_dir + "/" + expected[i]);
}

TEST_F(FolderTreeModelTest, KeepsNamesThatAreNotUtf8Exactly)
{
    const std::string odd = std::string("caf\xe9") + "\xff";  // Latin-1 bytes, not UTF-8
    Make(odd + "/sub");
    Make("with\\backslash");
    FolderListing listing = ListSubFolders(m_dir + "//");
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].name, odd);
    EXPECT_EQ(listing.entries[0].path, m_dir + "/" + odd);
    EXPECT_TRUE(IsExistingFolder(listing.entries[0].path));
    EXPECT_EQ(listing.entries[1].name, "with\\backslash");
}

TEST_F(FolderTreeModelTest, FailuresGiveAnEmptyListing)
{
    Touch("plain");
    Make("empty");
    Make("onlyfiles");
    Touch("onlyfiles/a.jpg");
    std::string locked = Make("locked/sub");
    locked = m_dir + "/locked";
    ::chmod(locked.c_str(), 0);
    m_locked.push_back(locked);
    const bool asRoot = ::geteuid() == 0;  // permissions do not stop root

    struct Case { std::string path; bool readable; };
    const Case cases[] = {
        {m_dir + "/vanished", false},
        {m_dir + "/plain", false},
        {"", false},
        {m_dir + "/empty", true},
        {m_dir + "/onlyfiles", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FolderListing listing = ListSubFolders(c.path);
        EXPECT_EQ(listing.readable, c.readable);
        EXPECT_TRUE(listing.entries.empty());
    }
    if (!asRoot) {
        EXPECT_FALSE(ListSubFolders(locked).readable);
        // The locked folder itself is still listed by its parent.
        FolderListing parent = ListSubFolders(m_dir);
        ASSERT_EQ(Names(parent), (std::vector<std::string>{"empty", "locked", "onlyfiles"}));
    }
}

TEST_F(FolderTreeModelTest, CancelStopsTheListing)
{
    for (int i = 0; i < 20; ++i)
        Make("d" + std::to_string(i));
    std::atomic<bool> cancel{true};
    FolderListing listing = ListSubFolders(m_dir, &cancel);
    EXPECT_TRUE(listing.cancelled);
    EXPECT_TRUE(listing.entries.empty());
}

TEST(FolderNameOrder, IsTotalCaseFoldedForAsciiAndNumeric)
{
    struct Case { const char* a; const char* b; bool less; };
    const Case cases[] = {
        {"a", "B", true},   {"B", "a", false},  {"A", "a", true},  {"a", "A", false},
        {"a", "a", false},  {"ab", "abc", true}, {"Abc", "ab", false}, {"z", "\xc3\xa9", true},
        {"_x", "a", true},  {"9", "10", true},  {"10", "9", false}, {"p2.png", "p010.png", true},
        {"p10", "pa", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " < " + c.b);
        EXPECT_EQ(FolderNameLess(c.a, c.b), c.less);
    }
}

TEST_F(FolderTreeModelTest, ChoosesTheRootFromCommandLineSavedValueOrDefault)
{
    std::string cmd = Make("cmd");
    std::string saved = Make("saved");
    std::string def = Make("default");
    Touch("afile");
    struct Case { std::string cmd, saved, expected; };
    const Case cases[] = {
        {cmd, saved, cmd},
        {"", saved, saved},
        {"", m_dir + "/vanished", def},
        {"", m_dir + "/afile", def},
        {m_dir + "/afile", saved, def},  // a command-line file is no root, and hides the saved value
        {"", "", def},
        {cmd + "//", saved, cmd},  // shown and remembered without the trailing '/'
        {"", m_dir + "//saved/", saved},
        {"", "/", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd + " | " + c.saved);
        EXPECT_EQ(ChooseTreeRoot(c.cmd, c.saved, def), c.expected);
    }
}

TEST_F(FolderTreeModelTest, DefaultRootDependsOnWhereTheProgramRuns)
{
    std::string program = Make("unpacked");
    std::string pictures = Make("home/Pictures");
    std::string home = m_dir + "/home";
    struct Case { std::string program, user, home, expected; };
    const Case cases[] = {
        {program, pictures, home, program},
        {"/usr/bin", pictures, home, pictures},
        {"/usr/local/bin/", pictures, home, pictures},
        {"/usr/bin", m_dir + "/home/Music", home, home},  // user folder not created
        {"/usr/bin", "", "", "/"},
        {m_dir + "/gone", "", home, home},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " | " + c.user);
        EXPECT_EQ(ChooseDefaultRoot(c.program, c.user, c.home), c.expected);
    }
    EXPECT_TRUE(IsSystemProgramFolder("//usr//bin"));
    EXPECT_FALSE(IsSystemProgramFolder("/usr/bin/mev"));
    EXPECT_FALSE(IsSystemProgramFolder("/opt/mev"));
}

// Installed under any prefix, the program takes relative paths from the current folder
// and never offers its bin folder as a root; a copy beside its media keeps its folder.
TEST_F(FolderTreeModelTest, InstalledTreeUnderAnyPrefixCountsAsInstalled)
{
    const std::string prefix = Make("opt/mev/bin");
    Make("opt/mev/share/mev");
    const std::string stick = Make("stick/bin");  // a "bin" folder without the data beside it
    const std::string home = Make("home");
    EXPECT_TRUE(IsInstalledProgramFolder(prefix));
    EXPECT_TRUE(IsInstalledProgramFolder(prefix + "/"));
    EXPECT_TRUE(IsInstalledProgramFolder("/usr/bin"));
    EXPECT_FALSE(IsInstalledProgramFolder(stick));
    EXPECT_FALSE(IsInstalledProgramFolder(m_dir + "/opt/mev"));
    EXPECT_EQ(ChooseDefaultRoot(prefix, "", home), home);
    EXPECT_EQ(ChooseDefaultRoot(stick, "", home), stick);
    EXPECT_EQ(RelativePathBase(prefix, "/work"), "/work");
    EXPECT_EQ(RelativePathBase(stick, "/work"), stick);
    EXPECT_EQ(ResolveOptionPath("demo", prefix, "/work"), "/work/demo");
}

TEST(FolderTreeRoot, LabelsSettingNamesAndRememberRule)
{
    EXPECT_EQ(GetFolderLabel("/media/cd/Pictures"), "Pictures");
    EXPECT_EQ(GetFolderLabel("/"), "/");
    EXPECT_EQ(MakeRootSettingName("Images"), "fld_of_Images");

    struct Case { const char* root; DriveType type; const char* setting; bool remember; };
    const Case cases[] = {
        {"/home/u/Pictures", DriveType::Fixed, "fld_of_Images", true},
        {"/", DriveType::Fixed, "fld_of_Audios", true},
        {"/media/cdrom", DriveType::Disc, "fld_of_Images", false},
        {"/media/usb", DriveType::Removable, "fld_of_Images", false},
        {"/mnt/share", DriveType::Remote, "fld_of_Images", false},
        {"/x", DriveType::Unknown, "fld_of_Images", false},
        {"relative/dir", DriveType::Fixed, "fld_of_Images", false},
        {"/home/u", DriveType::Fixed, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        EXPECT_EQ(ShouldRememberRoot(c.root, c.type, c.setting), c.remember);
    }
}

} // namespace
} // namespace mev
