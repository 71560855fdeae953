// The real program as a separate process: options, clean exit on SIGTERM, and the
// settings it writes at exit read back by the next start.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <glibmm/fileutils.h>
#include <glibmm/keyfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/pages/file_request.hpp"
#include "ui/ui_test_support.hpp"

extern char** environ;

namespace mev {
namespace {

// Runs a shell command and returns its standard output.
std::string Capture(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// Waits up to timeoutMs for the child to end; its wait status, or -1 if it did not.
int WaitForExit(pid_t pid, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        usleep(50 * 1000);
    }
    return -1;
}

class CProgram {
public:
    // extraEnv: "NAME=value" entries that replace the test's own. binary runs in folder
    // (nullptr: the test's own).
    CProgram(const std::string& configHome, std::vector<std::string> args, std::vector<std::string> extraEnv = {},
             const std::string& binary = MEV_BINARY, const char* folder = nullptr, bool termBlocked = false)
    {
        extraEnv.push_back("XDG_CONFIG_HOME=" + configHome);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            bool replaced = false;
            for (const auto& extra : extraEnv)
                replaced = replaced || entry.rfind(extra.substr(0, extra.find('=') + 1), 0) == 0;
            if (!replaced)
                env.push_back(entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        args.insert(args.begin(), binary);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (folder != nullptr)
            posix_spawn_file_actions_addchdir_np(&actions, folder);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        if (termBlocked) {
            sigset_t mask;
            sigemptyset(&mask);
            sigaddset(&mask, SIGTERM);
            posix_spawnattr_setsigmask(&attributes, &mask);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        }
        if (posix_spawn(&m_pid, binary.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CProgram()
    {
        if (m_pid > 0 && WaitForExit(m_pid, 0) == -1) {
            kill(m_pid, SIGKILL);
            WaitForExit(m_pid, 5000);
        }
    }

    // True once the program's main window is on screen. xdotool is asked again and again
    // rather than once with --sync: a window that vanishes while it walks the window tree
    // (the toolkit makes and drops short-lived ones at start-up) ends its search with an
    // X error, which says nothing about our window.
    bool WaitForWindow()
    {
        if (m_pid <= 0)
            return false;
        const std::string command = "xdotool search --onlyvisible --pid " + std::to_string(m_pid) +
                                    " --name '^MEV - Untitled$' 2>/dev/null";
        for (int waited = 0; waited < test::EVENT_WAIT_MS; waited += 200) {
            if (!Capture(command).empty())
                return true;
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                ADD_FAILURE() << "the program ended before its window showed, status " << status;
                m_pid = -1;
                return false;
            }
            usleep(200 * 1000);
        }
        return false;
    }

    // An X property of the main window, as xprop prints it.
    std::string WindowProperty(const std::string& name) const
    {
        return Capture("xprop -id $(xdotool search --onlyvisible --pid " + std::to_string(m_pid) +
                       " --name '^MEV - Untitled$' 2>/dev/null | head -n 1) " + name + " 2>/dev/null");
    }

    // True when the program has mapped a library whose file name holds part.
    bool HasLoaded(const std::string& part) const
    {
        try {
            return Glib::file_get_contents("/proc/" + std::to_string(m_pid) + "/maps").find(part) != std::string::npos;
        } catch (const Glib::Error&) {
            return false;
        }
    }

    // True once one of the program's web processes has mapped a library whose file name
    // holds part; without waiting, whether one has now.
    bool WebProcessHasLoaded(const std::string& part, bool wait = true) const
    {
        for (int waited = 0; m_pid > 0 && waited < (wait ? test::EVENT_WAIT_MS : 1); waited += 100) {
            for (const pid_t pid : Descendants()) {
                const std::string proc = "/proc/" + std::to_string(pid);
                try {
                    if (Glib::file_get_contents(proc + "/comm").starts_with("WebKitWebProces")
                        && Glib::file_get_contents(proc + "/maps").find(part) != std::string::npos)
                        return true;
                } catch (const Glib::Error&) {
                }
            }
            usleep(100 * 1000);
        }
        return false;
    }

    // True once the program catches SIGTERM. Before that the dynamic loader is still at
    // work, and nothing in the program could answer a signal yet.
    bool WaitForTermHandler()
    {
        const std::string status = "/proc/" + std::to_string(m_pid) + "/status";
        for (int waited = 0; m_pid > 0 && waited < test::EVENT_WAIT_MS; waited += 2) {
            std::string text;
            try {
                text = Glib::file_get_contents(status);
            } catch (const Glib::Error&) {
                return false;
            }
            const auto at = text.find("SigCgt:");
            if (at != std::string::npos && (std::stoull(text.substr(at + 7), nullptr, 16) & (1ULL << (SIGTERM - 1))) != 0)
                return true;
            usleep(2000);
        }
        return false;
    }

    // Sends SIGTERM; the exit status, or -1 when the program did not end in time (a
    // program that is still starting on a busy machine has to get through its start first).
    int Terminate()
    {
        kill(m_pid, SIGTERM);
        const int status = WaitForExit(m_pid, test::EVENT_WAIT_MS);
        if (status != -1)
            m_pid = -1;
        return status;
    }

private:
    // Every process started by the program, and by those, down to the web processes in
    // their sandbox.
    std::vector<pid_t> Descendants() const
    {
        std::vector<std::pair<pid_t, pid_t>> parents; // (pid, parent)
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            try {
                // "pid (comm) state ppid ...": the name in parentheses may hold anything.
                const std::string stat = Glib::file_get_contents(entry.path().string() + "/stat");
                const auto close = stat.rfind(')');
                if (close != std::string::npos)
                    parents.emplace_back(std::stoi(name), std::stoi(stat.substr(close + 4)));
            } catch (const std::exception&) {
            }
        }
        std::vector<pid_t> found = {m_pid};
        for (std::size_t i = 0; i < found.size(); ++i) {
            for (const auto& [pid, parent] : parents) {
                if (parent == found[i])
                    found.push_back(pid);
            }
        }
        found.erase(found.begin());
        return found;
    }

    pid_t m_pid = -1;
};

int ReadSavedTab(const std::string& configHome, std::string* imagesRoot = nullptr)
{
    auto file = Glib::KeyFile::create();
    try {
        file->load_from_file(configHome + "/mev/settings.ini");
        if (imagesRoot != nullptr)
            *imagesRoot = file->has_key("Settings", "fld_of_Images") ? file->get_string("Settings", "fld_of_Images") : "";
        return file->get_integer("Settings", "maintab_sel");
    } catch (const Glib::Error&) {
        return -1;
    }
}

TEST(Program, HelpAndVersionPrintWithoutStartingTheWindow)
{
    const std::string binary = MEV_BINARY;
    const std::string help = Capture("'" + binary + "' --help");
    for (const char* text : {"Images=", "Audios=", "Videos=", "show=", "--help", "--version"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
    EXPECT_EQ(Capture("'" + binary + "' --version"), std::string("mev ") + MEV_VERSION + "\n");
    EXPECT_NE(std::system(("'" + binary + "' --no-such-option 2>/dev/null").c_str()), 0);
}

TEST(Program, SettingsWrittenAtExitAreReadBackByTheNextStart)
{
    test::CTempFolder config;
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo";

    // First run on the Images tab while its index streams in; SIGTERM closes it cleanly.
    {
        CProgram program(config.Path(), {"show=Images", "Images=" + demo});
        ASSERT_TRUE(program.WaitForWindow());
        const int status = program.Terminate();
        ASSERT_NE(status, -1) << "no exit after SIGTERM";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(ReadSavedTab(config.Path()), 0);

    // A file manager passes a bare folder: it opens in the tab of the kind it holds most of.
    test::CTempFolder clips;
    clips.Write("a.webm");
    clips.Write("b.mpg");
    clips.Write("c.jpg");
    {
        CProgram program(config.Path(), {clips.Path()});
        ASSERT_TRUE(program.WaitForWindow());
        test::RunMainLoopFor(1000);
        ASSERT_NE(program.Terminate(), -1);
    }
    std::string rootAfterSecond;
    EXPECT_EQ(ReadSavedTab(config.Path(), &rootAfterSecond), 2);

    // No option now: the saved tab is the start tab, and it is saved again as it was.
    {
        CProgram program(config.Path(), {});
        ASSERT_TRUE(program.WaitForWindow());
        test::RunMainLoopFor(1000);
        ASSERT_NE(program.Terminate(), -1);
    }
    std::string rootAfterThird;
    EXPECT_EQ(ReadSavedTab(config.Path(), &rootAfterThird), 2);
    EXPECT_EQ(rootAfterThird, rootAfterSecond);
}

// A session that ends while the program starts: closed as cleanly as later on. The
// signal sent at once is held blocked until the program takes it, so that it is sure to
// come before the handlers.
TEST(Program, SigtermWhileStartingClosesCleanly)
{
    for (int delayMs : {-1, 0, 100, 300}) {
        test::CTempFolder config;
        CProgram program(config.Path(), {"show=Images"}, {}, MEV_BINARY, nullptr, delayMs < 0);
        if (delayMs >= 0) {
            ASSERT_TRUE(program.WaitForTermHandler());
            usleep(delayMs * 1000);
        }
        const int status = program.Terminate();
        ASSERT_NE(status, -1) << "no exit after SIGTERM at " << delayMs << " ms";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << " at " << delayMs << " ms";
    }
}

// No sound server (while a file plays), no session bus, user folders that cannot be
// made (below a file nothing can be made, not even by root): the program still starts,
// writes nothing there, and closes cleanly. The first two run side by side on one
// settings file, as two copies of the program may.
TEST(Program, HostileEnvironmentsStillStartAndCloseCleanly)
{
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo";
    test::CTempFolder config;
    CProgram noSound(config.Path(), {demo + "/Chime.mp3"},
                     {"PULSE_SERVER=unix:/nonexistent/pulse", "ALSA_CONFIG_PATH=/nonexistent/alsa.conf"});
    CProgram noBus(config.Path(), {"show=Videos", "Videos=" + demo}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"});
    test::CTempFolder folder;
    const std::string file = folder.Write("not-a-folder", "keep");
    CProgram noHome(file, {"show=Images", "Images=" + demo},
                    {"HOME=" + file + "/home", "XDG_CACHE_HOME=" + file, "XDG_DATA_HOME=" + file});
    const std::pair<const char*, CProgram*> programs[] = {
        {"no sound server", &noSound}, {"no session bus", &noBus}, {"no home", &noHome}};
    for (auto& [name, program] : programs) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(program->WaitForWindow());
    }
    // Let them run a while (the tune plays, the indexes stream), then close them.
    test::RunMainLoopFor(2000);
    for (auto& [name, program] : programs) {
        SCOPED_TRACE(name);
        const int status = program->Terminate();
        ASSERT_NE(status, -1) << "no exit after SIGTERM";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_TRUE(Glib::file_test(file, Glib::FileTest::IS_REGULAR));
    EXPECT_EQ(Glib::file_get_contents(file), "keep");
}

// Installed into a prefix of its own and started from another folder on an MP3, the
// program needs nothing of its build tree.
TEST(Program, InstalledCopyRunsFromAnyFolder)
{
    test::CTempFolder prefix;
    test::CTempFolder config;
    ASSERT_EQ(std::system(("cmake --install '" + std::string(MEV_BUILD_DIR) + "' --prefix '" + prefix.Path() +
                           "' >/dev/null").c_str()),
              0);
    CProgram program(config.Path(), {std::string(MEV_SOURCE_DIR) + "/demo/Chime.mp3"}, {}, prefix.Path() + "/bin/mev", "/");
    ASSERT_TRUE(program.WaitForWindow());
    EXPECT_NE(program.WindowProperty("_NET_WM_ICON").find("Icon (48 x 48)"), std::string::npos)
        << "the window shows the application icon";
    // The icon and the folder tree's arrows come as bitmaps: the SVG renderer is 7 MB.
    EXPECT_FALSE(program.HasLoaded("librsvg"));
    // Nor does its window side open a GL display of its own, which with a software
    // rasteriser maps a compiler of 17 MB. The web process still finds its GL driver.
    EXPECT_FALSE(program.HasLoaded("libLLVM"));
    EXPECT_TRUE(program.WebProcessHasLoaded("libEGL_mesa"));
    // The MP3 it plays is decoded without FFmpeg and its hundred libraries.
    EXPECT_TRUE(program.WebProcessHasLoaded("libgstmpg123"));
    EXPECT_FALSE(program.WebProcessHasLoaded("libavcodec", false));
    const int status = program.Terminate();
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A Flash movie given as the start argument is a video once the emulator is there.
TEST(Program, FlashMovieGivenAtStartOpensTheVideosTab)
{
    if (FindFlashPlayerFolder(MEV_PROGRAM_FOLDER).empty())
        GTEST_SKIP() << "no Flash emulator beside the program";
    test::CTempFolder config;
    CProgram program(config.Path(), {std::string(MEV_SOURCE_DIR) + "/demo/Sliding Square.swf"});
    ASSERT_TRUE(program.WaitForWindow());
    ASSERT_NE(program.Terminate(), -1);
    EXPECT_EQ(ReadSavedTab(config.Path()), 2);
}

} // namespace
} // namespace mev
