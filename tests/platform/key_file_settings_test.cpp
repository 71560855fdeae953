#include "platform/key_file_settings.hpp"

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform_test_env.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

struct Pair {
    std::string name;
    std::string value;
};

// Names and values that an INI file cannot hold as they stand.
const Pair AWKWARD[] = {
    {"fld_of_Images", "/media/cdrom/Pictures"},
    {"My Viewer", "/usr/bin/viewer"},
    {"a=b", "x=y"},
    {"Name[de]", "[not a group]"},
    {"#not a comment", "; nor this"},
    {" lead", " leading and trailing blanks "},
    {"trail ", "\ttab"},
    {"100%", "%41%"},
    {"%41", "percent"},
    {"line\nbreak", "two\nlines\r\nand \\n literal"},
    {"empty", ""},
    {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    {"back\\slash", "C:\\dir\\"},
    {"latin1 \xE9\xFF", "name that is not UTF-8"},
    {std::string("nul\0inside", 10), "v"},
    // Paths that are not UTF-8 come back byte for byte.
    {"fld_of_Audios", "/media/caf\xE9/\xFF \\x41 \x01 "},
    {"nul value", std::string("a\0b\n", 4)},
};

TEST(KeyFileSettings, AwkwardNamesAndValuesRoundTrip)
{
    test::CTempFolder dir;
    const std::string file = dir / "cfg/mev/settings.ini";
    {
        CKeyFileSettings store(file);
        for (const auto& [name, value] : AWKWARD)
            EXPECT_TRUE(store.WriteString("open_image_with", name, value)) << name;
        EXPECT_TRUE(store.WriteString("Settings", "maintab_sel", "2"));
    }
    CKeyFileSettings reread(file);
    std::vector<std::string> expectedNames;
    for (const auto& [name, value] : AWKWARD) {
        EXPECT_EQ(reread.ReadString("open_image_with", name), value) << name;
        expectedNames.push_back(name);
    }
    EXPECT_EQ(reread.ListNames("open_image_with"), expectedNames) << "names come back in the order written";
    EXPECT_EQ(reread.ReadString("Settings", "maintab_sel"), "2");
    EXPECT_EQ(reread.ReadString("Settings", "fld_of_Images"), std::nullopt);
    EXPECT_EQ(reread.ReadString("open_audio_with", "My Viewer"), std::nullopt);
    EXPECT_TRUE(reread.ListNames("open_video_with").empty());
    const std::string text = ReadFile(file);
    EXPECT_TRUE(g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) << "the file stays text";
}

TEST(KeyFileSettings, RemoveAndOverwriteKeepOrder)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    CKeyFileSettings store(file);
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        ASSERT_TRUE(store.WriteString("open_audio_with", name, std::string("/opt/") + name));
    EXPECT_TRUE(store.WriteString("open_audio_with", "Alpha", "/opt/Alpha2"));
    EXPECT_TRUE(store.RemoveValue("open_audio_with", "Beta"));
    EXPECT_TRUE(store.RemoveValue("open_audio_with", "Beta")) << "removing what is not there succeeds";
    EXPECT_TRUE(store.RemoveValue("no_such_section", "x"));

    CKeyFileSettings reread(file);
    EXPECT_EQ(reread.ListNames("open_audio_with"), (std::vector<std::string>{"Alpha", "Gamma"}));
    EXPECT_EQ(reread.ReadString("open_audio_with", "Alpha"), "/opt/Alpha2");
}

TEST(KeyFileSettings, RefusesWhatItCannotStore)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    CKeyFileSettings store(file);
    EXPECT_FALSE(store.WriteString("Settings", "", "empty name"));
    for (const char* section : {"", "a]b", "[x", "line\nbreak"})
        EXPECT_FALSE(store.WriteString(section, "n", "v")) << section;
    EXPECT_FALSE(fs::exists(file)) << "refused writes leave no file";
}

TEST(KeyFileSettings, CommentsAndForeignValuesSurviveAWrite)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    WriteFile(file, "# kept by hand\n[Settings]\nfld_of_Audios=/music\nfld_of_Images=\\s/pics\\\\x41\\n\n\n[other]\nk=v\n");
    CKeyFileSettings store(file);
    EXPECT_EQ(store.ReadString("Settings", "fld_of_Audios"), "/music");
    EXPECT_EQ(store.ReadString("Settings", "fld_of_Images"), " /pics\\x41\n") << "plain values read as before";
    ASSERT_TRUE(store.WriteString("Settings", "maintab_sel", "1"));
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("# kept by hand"), std::string::npos) << text;
    EXPECT_NE(text.find("fld_of_Audios=/music"), std::string::npos) << text;
    EXPECT_NE(text.find("k=v"), std::string::npos) << text;
    // The write goes through a temporary file that is renamed: nothing else is left.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"settings.ini"});
}

TEST(KeyFileSettings, UnreadableFileGivesDefaultsAndIsKeptAside)
{
    struct Case {
        const char* label;
        std::string bytes;
    };
    const Case cases[] = {
        {"no group", "maintab_sel=2\n"},
        {"not a key file", "[Settings]\nthis line has no equals sign\n"},
        {"binary", std::string("\x00\xFF\xFE[\x01", 5)},
        {"unterminated group", "[Settings\nx=1\n"},
    };
    for (const auto& c : cases) {
        test::CTempFolder dir;
        const std::string file = dir / "settings.ini";
        WriteFile(file, c.bytes);
        CKeyFileSettings store(file);
        EXPECT_EQ(store.ReadString("Settings", "maintab_sel"), std::nullopt) << c.label;
        EXPECT_EQ(ReadFile(file), c.bytes) << c.label << ": reading changes nothing";

        // A first set-aside copy from an earlier run is not replaced either.
        WriteFile(file + ".bad", "older");
        ASSERT_TRUE(store.WriteString("Settings", "maintab_sel", "1")) << c.label;
        EXPECT_EQ(ReadFile(file + ".bad"), "older") << c.label;
        EXPECT_EQ(ReadFile(file + ".bad.1"), c.bytes) << c.label;
        EXPECT_EQ(CKeyFileSettings(file).ReadString("Settings", "maintab_sel"), "1") << c.label;
        ASSERT_TRUE(store.WriteString("Settings", "other", "2"));
        EXPECT_FALSE(fs::exists(file + ".bad.2")) << c.label << ": only the bad file is kept aside";
    }
}

TEST(KeyFileSettings, FolderInPlaceOfTheFileIsKeptAside)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    fs::create_directories(file + "/inner");
    WriteFile(file + "/inner/keep.txt", "mine");
    CKeyFileSettings store(file);
    EXPECT_EQ(store.ReadString("Settings", "x"), std::nullopt);
    ASSERT_TRUE(store.WriteString("Settings", "x", "1"));
    EXPECT_EQ(ReadFile(file + ".bad/inner/keep.txt"), "mine");
    EXPECT_EQ(CKeyFileSettings(file).ReadString("Settings", "x"), "1");
}

TEST(KeyFileSettings, SpecialFileInPlaceOfTheFileDoesNotBlockAndIsKeptAside)
{
    for (const bool fifo : {true, false}) {
        test::CTempFolder dir;
        const std::string file = dir / "settings.ini";
        if (fifo)
            ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
        else
            fs::create_symlink("/dev/zero", file);
        // Opened the ordinary way, a pipe without a writer blocks for ever: the store is
        // made on a thread so that a hang fails the test instead of stopping the run.
        std::promise<std::unique_ptr<CKeyFileSettings>> made;
        auto result = made.get_future();
        std::thread([&made, file] { made.set_value(std::make_unique<CKeyFileSettings>(file)); }).detach();
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Unblock the stuck reader before failing.
            const int fd = open(file.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                close(fd);
            result.wait();
            FAIL() << "opening the settings blocked (fifo=" << fifo << ")";
        }
        auto store = result.get();
        EXPECT_EQ(store->ReadString("Settings", "x"), std::nullopt);
        ASSERT_TRUE(store->WriteString("Settings", "x", "1"));
        struct stat info {};
        ASSERT_EQ(lstat((file + ".bad").c_str(), &info), 0) << "the odd file is kept aside";
        EXPECT_TRUE(fifo ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode));
        ASSERT_EQ(lstat(file.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(CKeyFileSettings(file).ReadString("Settings", "x"), "1");
    }
}

TEST(KeyFileSettings, NamesGKeyFileReservesDoNotSpoilTheFile)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    {
        CKeyFileSettings store(file);
        // An Open With program called "Encoding" is written to the first group.
        ASSERT_TRUE(store.WriteString("open_image_with", "Encoding", "/usr/bin/enc"));
        ASSERT_TRUE(store.WriteString("open_image_with", "Encoding[de]", "2"));
        ASSERT_TRUE(store.WriteString("Settings", "maintab_sel", "2"));
        ASSERT_TRUE(store.WriteString("Settings", "Encoding", "UTF-8"));
    }
    CKeyFileSettings reread(file);
    EXPECT_EQ(reread.ReadString("open_image_with", "Encoding"), "/usr/bin/enc");
    EXPECT_EQ(reread.ReadString("open_image_with", "Encoding[de]"), "2");
    EXPECT_EQ(reread.ReadString("Settings", "maintab_sel"), "2");
    EXPECT_EQ(reread.ReadString("Settings", "Encoding"), "UTF-8");
    EXPECT_EQ(reread.ListNames("open_image_with"), (std::vector<std::string>{"Encoding", "Encoding[de]"}));
}

TEST(KeyFileSettings, ValuesWithWhiteSpaceAtTheEndsComeBackByteForByte)
{
    const std::string values[] = {
        "\fform feed first", "\vvertical tab", "trailing form feed\f", " \t\f\r\n mixed \n\t ",
        "  two blanks  ", "\x1B[0m escape", "\\s literal \\x41", "\f\xE9 not UTF-8 \f",
    };
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    {
        CKeyFileSettings store(file);
        for (std::size_t i = 0; i < std::size(values); ++i)
            ASSERT_TRUE(store.WriteString("Settings", "v" + std::to_string(i), values[i]));
    }
    CKeyFileSettings reread(file);
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(reread.ReadString("Settings", "v" + std::to_string(i)), values[i]) << i;
}

TEST(KeyFileSettings, UnwritablePlacesGiveFalse)
{
    test::CTempFolder dir;
    WriteFile(dir / "plainfile", "x");
    std::vector<std::string> places = {dir / "plainfile/mev/settings.ini", "/proc/mev-no-such/settings.ini"};
    // Permissions do not stop root; the other places do.
    if (geteuid() != 0) {
        fs::create_directories(dir / "readonly");
        fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
        places.push_back(dir / "readonly/settings.ini");
        places.push_back(dir / "readonly/sub/settings.ini");
    }
    for (const auto& file : places) {
        CKeyFileSettings store(file);
        EXPECT_FALSE(store.WriteString("Settings", "x", "1")) << file;
        EXPECT_EQ(store.ReadString("Settings", "x"), std::nullopt) << file << ": memory matches the disk";
    }
}

TEST(KeyFileSettings, FailedWriteLeavesTheOldValue)
{
    test::CTempFolder dir;
    const std::string folder = dir / "cfg";
    const std::string file = folder + "/settings.ini";
    CKeyFileSettings store(file);
    ASSERT_TRUE(store.WriteString("Settings", "x", "old"));
    // Replacing the folder with a file makes every later save fail, also for root.
    fs::remove_all(folder);
    WriteFile(folder, "in the way");
    EXPECT_FALSE(store.WriteString("Settings", "x", "new"));
    EXPECT_EQ(store.ReadString("Settings", "x"), "old");
    EXPECT_FALSE(store.RemoveValue("Settings", "x"));
    EXPECT_EQ(store.ReadString("Settings", "x"), "old");
    EXPECT_EQ(store.ListNames("Settings"), std::vector<std::string>{"x"});
}

TEST(KeyFileSettings, WritesFromSeveralThreads)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    CKeyFileSettings store(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                store.WriteString("Settings", name, name);
                store.ReadString("Settings", name);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(CKeyFileSettings(file).ListNames("Settings").size(), 40u);
}

// Two copies of the program, each started before the other saved anything: every value
// either one writes is in the file afterwards, as is what neither touched.
TEST(KeyFileSettings, TwoProcessesSavingKeepEachOthersValues)
{
    test::CTempFolder dir;
    const std::string file = dir / "settings.ini";
    WriteFile(file, "[Settings]\nfld_of_Images=/pictures\nmaintab_sel=0\n");
    constexpr int WRITES = 40;
    int ready[2];
    int go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            CKeyFileSettings store(file);
            char byte = 'r';
            bool ok = write(ready[1], &byte, 1) == 1 && read(go[0], &byte, 1) == 1;
            const std::string own = p == 0 ? "fld_of_Audios" : "maintab_sel";
            ok = store.WriteString("Settings", own, p == 0 ? "/music" : "2") && ok;
            for (int i = 0; i < WRITES; ++i) {
                const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
                ok = store.WriteString("open_audio_with", name, name) && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    char byte = 0;
    for (int p = 0; p < 2; ++p)
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const int fd : {ready[0], ready[1], go[0], go[1]})
        close(fd);

    CKeyFileSettings reread(file);
    EXPECT_EQ(reread.ReadString("Settings", "fld_of_Images"), "/pictures");
    EXPECT_EQ(reread.ReadString("Settings", "fld_of_Audios"), "/music");
    EXPECT_EQ(reread.ReadString("Settings", "maintab_sel"), "2");
    EXPECT_EQ(reread.ListNames("open_audio_with").size(), 2u * WRITES) << ReadFile(file);
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"settings.ini"}) << "no temporary or lock file is left";
}

TEST(KeyFileSettings, DefaultPathFollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/somewhere", 1);
    EXPECT_EQ(CKeyFileSettings::DefaultPath(), "/tmp/somewhere/mev/settings.ini");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(CKeyFileSettings::DefaultPath(), std::string(g_get_home_dir()) + "/.config/mev/settings.ini");
    if (saved != nullptr)
        setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace mev
