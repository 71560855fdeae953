// Test main for the display tests: a fixed time zone and locale, a private configuration,
// cache and data folder, GTK and the browser engine started once for the whole run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtk/gtk.h>
#include <gtkmm/application.h>

#include "core/work/background_work.hpp"
#include "core/pages/file_request.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui_test_support.hpp"

#include "platform/platform_init.hpp"

namespace mev::test {

namespace {

std::string g_testRoot;
Glib::RefPtr<Gtk::Application> g_application;

} // namespace

const std::string& GetTestRoot()
{
    return g_testRoot;
}

Glib::RefPtr<Gtk::Application> GetTestApplication()
{
    return g_application;
}

} // namespace mev::test

namespace {

// GTK 4.8 disposes a file chooser dialog made through gtkmm by the template of the
// derived type, which has none, and says so: harmless, and not ours to avoid while the
// dialog is a Gtk::FileChooserDialog. Every other critical ends the run.
constexpr const char* TOOLKIT_DISPOSE_CRITICAL = "gtk_widget_dispose_template: assertion 'template != NULL' failed";

GLogWriterOutput WriteLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data)
{
    const GLogWriterOutput written = g_log_writer_default(level, fields, count, data);
    if ((level & G_LOG_LEVEL_CRITICAL) == 0)
        return written;
    for (gsize i = 0; i < count; ++i) {
        if (g_strcmp0(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0
            && g_strcmp0(static_cast<const char*>(fields[i].value), TOOLKIT_DISPOSE_CRITICAL) == 0)
            return written;
    }
    std::abort();
}

} // namespace

// Under AddressSanitizer: GTK, fontconfig and the web engine keep caches until exit and
// unload modules whose allocations can then not even be named, so leak reports of this
// process would be noise. The core and platform tests keep leak checking.
extern "C" const char* __lsan_default_options()
{
    return "detect_leaks=0";
}

int main(int argc, char** argv)
{
    setenv("TZ", "UTC", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("GTK_A11Y", "none", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    // Run by tools/run-tests.sh, CTest hands this test a screen of its own
    // ("id:dN,slots:1" for the display :N); the programs the tests start inherit it.
    if (const char* given = std::getenv("CTEST_RESOURCE_GROUP_0_DISPLAYS")) {
        const std::string spec = given;
        const auto id = spec.find("id:d");
        if (id != std::string::npos)
            setenv("DISPLAY", (":" + spec.substr(id + 4, spec.find(',', id) - id - 4)).c_str(), 1);
    }
    // A critical warning is a fault: it stops the test where it happens (as
    // G_DEBUG=fatal-criticals would), with the one exception WriteLog names. Only in this
    // process: the web engine's own processes report criticals of their own making
    // ("g_object_ref: assertion 'G_IS_OBJECT (object)' failed" in WebKitWebProcess) that
    // no code of ours can avoid or filter, and a web process stopped by one would only be
    // a recovered crash.
    g_log_set_writer_func(&WriteLog, nullptr, nullptr);
    // The web engine starts an accessibility bus that outlives this process and stays
    // announced on the display; its socket lives in the runtime folder, so that folder
    // must be one that the next test process on the same display still finds.
    if (g_getenv("XDG_RUNTIME_DIR") == nullptr) {
        const std::string runtime = std::filesystem::temp_directory_path() / ("mev-ui-runtime-" + std::to_string(getuid()));
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    std::string root = (std::filesystem::temp_directory_path() / "mev-ui-test-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) {
        perror("mkdtemp");
        return 2;
    }
    // A home folder of its own, outside the test root: the web engine's sandbox never
    // shows the home folder, and a test plays media from a folder made in it later.
    std::string home = (std::filesystem::temp_directory_path() / "mev-ui-home-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        perror("mkdtemp");
        return 2;
    }
    setenv("HOME", home.c_str(), 1);
    mev::test::g_testRoot = root;
    mev::test::CTempFolder::SetDefaultParent(root);
    for (const char* name : {"config", "cache", "data"})
        std::filesystem::create_directory(root + "/" + name);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);

    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest discovery at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests)) {
        const int rc = RUN_ALL_TESTS();
        std::filesystem::remove_all(root);
        std::filesystem::remove_all(home);
        return rc;
    }
    // As the program does: the environment takes its last change here, before GTK and
    // the platform start threads that read it.
    mev::InitPlatform();
    if (!gtk_init_check()) {
        std::fprintf(stderr, "no display: run the display tests under xvfb-run -a\n");
        std::filesystem::remove_all(root);
        std::filesystem::remove_all(home);
        return 1;
    }
    mev::test::g_application = Gtk::Application::create("org.mev.uitests", Gio::Application::Flags::NON_UNIQUE);
    mev::test::g_application->register_application();
    std::vector<std::string> sandbox{root};
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo";
    if (std::filesystem::is_directory(demo))
        sandbox.push_back(demo);
    mev::InitBrowserEngine(sandbox);
    // The Flash emulator fetched by this build, when the fetch succeeded.
    mev::SetFlashPlayerFolder(mev::FindFlashPlayerFolder(MEV_PROGRAM_FOLDER));

    const int rc = RUN_ALL_TESTS();
    // Background jobs end before their files are removed and before main returns.
    mev::CBackgroundWork::StopShared();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::filesystem::remove_all(home, ec);
    return rc;
}
