#include "platform/system_services.hpp"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <glib.h>
#include <gtest/gtest.h>

#include "core/work/thread_priority.hpp"
#include "platform/mount_table.hpp"
#include "platform_test_env.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

// A started program runs on its own; wait for its effect, within a generous limit.
bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 900; ++i) {
        if (fs::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(MakeLocaleFolderSortKey, PlainAndAccentedNamesShareOneOrder)
{
    // Plain names take a shorter way to their key: they must still sort among the others
    // by the same rules (case folded, numbers by value, accents with their letter).
    std::vector<std::string> names{"b.jpg", "A10.jpg", "a9.jpg", "\xc3\xa1" "1.jpg", "B2.jpg"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return MakeLocaleFolderSortKey(a) < MakeLocaleFolderSortKey(b);
    });
    const std::vector<std::string> expected{"\xc3\xa1" "1.jpg", "a9.jpg", "A10.jpg", "b.jpg", "B2.jpg"};
    EXPECT_EQ(names, expected);
}

TEST(MakeLocaleFolderSortKey, PlainNamesGetGLibsFileNameKey)
{
    // Plain names have their key made by hand; it must be GLib's own, byte for byte, or
    // the two kinds of name would not interleave as they should.
    std::vector<std::string> names{"", ".", "..", "0", "000", "007.jpg", "a.b.c", "IMG_0001.JPG", "x00y",
                                   "9" + std::string(300, 'z'), std::string(300, 'a') + ".png",
                                   std::string(260, '0') + "1"};
    GRand* random = g_rand_new_with_seed(7);
    const std::string alphabet = "aZz09_0.- ~";
    for (int i = 0; i < 5000; ++i) {
        std::string name;
        const int length = g_rand_int_range(random, 0, 16);
        for (int k = 0; k < length; ++k)
            name += alphabet[static_cast<std::size_t>(g_rand_int_range(random, 0, static_cast<gint32>(alphabet.size())))];
        names.push_back(name);
    }
    g_rand_free(random);
    const std::string before = std::setlocale(LC_ALL, nullptr);
    int tried = 0;
    for (const char* locale : {"C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, locale) == nullptr)
            continue;
        ++tried;
        for (const std::string& name : names) {
            std::string folded = name;
            for (char& c : folded)
                c = g_ascii_tolower(c);
            gchar* expected = g_utf8_collate_key_for_filename(folded.c_str(), -1);
            EXPECT_EQ(MakeLocaleFolderSortKey(name), expected) << locale << ": " << name;
            g_free(expected);
        }
    }
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_GT(tried, 0);
}

int ThisThreadsNiceness()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// A page's long work lowers the thread made for it, never the pool thread that waits.
TEST(LowerToBackgroundPriority, LowersTheJobsOwnThreadOnly)
{
    const int before = ThisThreadsNiceness();
    if (before >= 15)
        GTEST_SKIP() << "the tests run at niceness " << before << " already";
    SetThreadLowering(&LowerToBackgroundPriority);
    int inJob = before;
    RunOnThreadOfItsOwn([&] {
        LowerThisThreadPriority();
        inJob = ThisThreadsNiceness();
    });
    SetThreadLowering(nullptr);
    EXPECT_GT(inJob, 10); // below the picture decoders, which run at 10
    EXPECT_EQ(ThisThreadsNiceness(), before);
}

TEST(RunProgram, StartsTheProgramOnTheFile)
{
    test::CTempFolder dir;
    // Names that a shell would split, expand or redirect must arrive as one argument.
    const char* names[] = {"plain.txt", "two words.txt", "it's \"quoted\".txt", "$(echo no).txt", "a;b&c|d>e.txt",
                           "latin\xE9.txt", "-dash.txt"};
    for (const char* name : names) {
        const std::string target = dir / name;
        // "-dash.txt" would be read as an option by touch; give it a path form.
        const std::string argument = name[0] == '-' ? dir.Path() + "/./" + name : target;
        ASSERT_TRUE(RunProgram("/usr/bin/touch", argument)) << name;
        EXPECT_TRUE(WaitForFile(target)) << name;
    }
    EXPECT_FALSE(fs::exists(dir / "no).txt"));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries.size(), std::size(names)) << "nothing else was created";
}

TEST(RunProgram, WithoutAFileAndByName)
{
    test::CTempFolder dir;
    const std::string script = dir / "make-marker.sh";
    test::WriteFile(script, "#!/bin/sh\necho \"$#\" > \"$(dirname \"$0\")/marker\"\n");
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(RunProgram(script, ""));
    ASSERT_TRUE(WaitForFile(dir / "marker"));
    for (int i = 0; i < 900 && test::ReadFile(dir / "marker").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::ReadFile(dir / "marker"), "0\n") << "no argument at all";
    EXPECT_TRUE(RunProgram("true", "")) << "a bare name is looked up in PATH";
}

TEST(RunProgram, FailuresAreFalse)
{
    test::CTempFolder dir;
    test::WriteFile(dir / "not-executable.sh", "#!/bin/sh\n");
    fs::permissions(dir / "not-executable.sh", fs::perms::owner_read | fs::perms::owner_write);
    test::WriteFile(dir / "broken.desktop", "this is not a desktop entry\n");
    test::WriteFile(dir / "no-exec.desktop", "[Desktop Entry]\nType=Application\nName=X\nExec=/no/such/program %f\n");
    fs::create_directories(dir / "folder");
    const std::string programs[] = {
        "", "/no/such/program", "no-such-program-mev-test", dir / "not-executable.sh", dir / "folder",
        dir / "broken.desktop", dir / "missing.desktop", dir / "no-exec.desktop",
    };
    for (const auto& program : programs) {
        EXPECT_FALSE(RunProgram(program, dir / "file.jpg")) << program;
        EXPECT_FALSE(RunProgram(program, "")) << program;
    }
}

TEST(RunProgram, DesktopFileIsLaunchedAsItsApplication)
{
    test::CTempFolder dir;
    const std::string desktop = dir / "Touch Tool.desktop";
    test::WriteFile(desktop, "[Desktop Entry]\nType=Application\nName=Touch\nExec=/usr/bin/touch %f\n");
    const std::string target = dir / "made by desktop entry.txt";
    ASSERT_TRUE(RunProgram(desktop, target));
    EXPECT_TRUE(WaitForFile(target));
}

TEST(FindAssociatedProgram, DefaultsAndFallbacks)
{
    // The test environment made its own viewer the default for PNG and its browser the
    // default for web links.
    struct Case {
        const char* file;
        bool browserFallback;
        const char* expected;
    };
    const Case cases[] = {
        {"/pics/a.png", false, "/usr/bin/touch"},
        {"/pics/A.PNG", true, "/usr/bin/touch"},
        {"/pics/b.gif", false, "sandboxed"},
        {"/pics/no-extension", false, ""},
        {"/my.dir/readme", true, "browser"},
        {"/pics/a.mev-unknown-type", false, ""},
        {"/pics/a.mev-unknown-type", true, "browser"},
        {"", false, ""},
        {"", true, "browser"},
    };
    std::string browser;
    {
        gchar* cat = g_find_program_in_path("cat");
        ASSERT_NE(cat, nullptr);
        browser = cat;
        g_free(cat);
    }
    for (const auto& c : cases) {
        std::string expected = c.expected;
        if (expected == "browser")
            expected = browser;
        else if (expected == "sandboxed")
            expected = test::TestApplicationsFolder() + "/mev-test-sandboxed.desktop";
        EXPECT_EQ(FindAssociatedProgram(c.file, c.browserFallback), expected) << c.file << " " << c.browserFallback;
    }
}

TEST(GetPathDriveType, AgreesWithTheMountTable)
{
    for (const char* path : {"", "relative/path", "D:", "D:\\"})
        EXPECT_EQ(GetPathDriveType(path), DriveType::Unknown) << path;
    EXPECT_EQ(GetPathDriveType("/proc/self"), DriveType::Unknown);

    std::ifstream in("/proc/self/mountinfo");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto mounts = ParseMountInfo(text);
    ASSERT_FALSE(mounts.empty());
    test::CTempFolder dir;
    fs::create_directory_symlink("/proc", dir / "link-to-proc");
    const std::string paths[] = {"/", dir.Path(), dir / "not/yet/there", "/dev/shm", "/sys/kernel"};
    for (const auto& path : paths) {
        const std::string resolved = fs::weakly_canonical(path).string();
        const MountEntry* mount = FindMountFor(mounts, resolved);
        ASSERT_NE(mount, nullptr) << path;
        EXPECT_EQ(GetPathDriveType(path), ClassifyMount(*mount)) << path;
    }
    EXPECT_EQ(GetPathDriveType(dir / "link-to-proc"), DriveType::Unknown) << "a link counts where it points";
}

} // namespace
} // namespace mev
