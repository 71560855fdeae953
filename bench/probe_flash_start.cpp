// How long a Flash movie takes to show its first frame in a player pane: the first
// movie of a session (the emulator is fetched and compiled), the same movie again and
// another movie, each from the navigation until the stage shows the
// movie's background colour; then the CPU the whole process tree spends while a movie
// plays, and how many web processes exist. Run under a display, from the build folder:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/probe_flash_start [rounds]
// PHASES=1 first times fetching the emulator's WebAssembly over mev: and compiling it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtkmm.h>
#include <webkit/webkit.h>

#include "core/pages/file_request.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/url.hpp"
#include "platform/platform_init.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"

namespace {

using Clock = std::chrono::steady_clock;

template <class Done>
bool RunUntil(Done done, int limitMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        usleep(1000);
    }
    return true;
}

// The colour of the stage at the pane's top middle, above where the square passes.
long StagePixel(mev::CPageBrowser& browser)
{
    struct Shot {
        bool done = false;
        GdkTexture* texture = nullptr;
    };
    auto shot = std::make_shared<Shot>();
    webkit_web_view_get_snapshot(
        browser.GetWebView(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::shared_ptr<Shot>> owner(static_cast<std::shared_ptr<Shot>*>(data));
            (*owner)->texture = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
            (*owner)->done = true;
        },
        new std::shared_ptr<Shot>(shot));
    RunUntil([&] { return shot->done; }, 10000);
    if (shot->texture == nullptr)
        return -1;
    const int width = gdk_texture_get_width(shot->texture);
    const int height = gdk_texture_get_height(shot->texture);
    std::vector<guchar> pixels(static_cast<std::size_t>(width) * height * 4);
    gdk_texture_download(shot->texture, pixels.data(), static_cast<gsize>(width) * 4);
    g_object_unref(shot->texture);
    const std::size_t at = (static_cast<std::size_t>(height / 8) * width + width / 2) * 4;
    return (long(pixels[at + 2]) << 16) | (long(pixels[at + 1]) << 8) | long(pixels[at]);
}

std::vector<int> ProcessTree()
{
    std::vector<int> pids{getpid()};
    for (std::size_t i = 0; i < pids.size(); ++i) {
        for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pids[i]) + "/task")) {
            std::ifstream in(task.path() / "children");
            int child = 0;
            while (in >> child)
                pids.push_back(child);
        }
    }
    return pids;
}

std::string Comm(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// CPU seconds of the process tree, and the web processes' ids.
double TreeCpu(std::string* webPids = nullptr)
{
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (int pid : ProcessTree()) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double utime = 0;
        double stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stod(field);
            if (i == 15)
                stime = std::stod(field);
        }
        total += (utime + stime) / tick;
        if (webPids != nullptr && Comm(pid).rfind("WebKitWebProces", 0) == 0)
            *webPids += std::to_string(pid) + " ";
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2;
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo";
    const std::string folder = std::filesystem::temp_directory_path() / ("mev-flash-probe-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string first = demo + "/Sliding Square.swf";
    const std::string second = folder + "/Red Square.swf";
    const std::string make = std::string(MEV_SOURCE_DIR) + "/tools/make-swf.sh '" + second + "' 320 240 12 48 a02020 ffffff";
    if (std::system(make.c_str()) != 0)
        return 1;

    auto app = Gtk::Application::create("org.mev.FlashProbe", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    mev::InitPlatform();
    const std::string build = std::filesystem::path(mev::GetProgramFolder()).parent_path().string();
    mev::SetFlashPlayerFolder(mev::FindFlashPlayerFolder(build));
    if (mev::GetFlashPlayerFolder().empty()) {
        std::fprintf(stderr, "no Flash emulator next to %s\n", build.c_str());
        return 1;
    }
    mev::InitBrowserEngine({demo, folder});

    Gtk::Window window;
    window.set_default_size(800, 600);
    auto browser = std::make_unique<mev::CPageBrowser>();
    window.set_child(browser->GetWidget());
    window.present();
    browser->Navigate(mev::GetBlankPageUrl());
    RunUntil([&] { return !browser->IsLoading(); }, 20000);

    // With PHASES set: what fetching and compiling the emulator's WebAssembly take on
    // their own, in a page of the same web process, before any movie.
    if (std::getenv("PHASES") != nullptr) {
        for (const auto& entry : std::filesystem::directory_iterator(mev::GetFlashPlayerFolder())) {
            if (entry.path().extension() != ".wasm")
                continue;
            const std::string name = entry.path().filename().string();
            browser->ExecScript("window.phase = ''; var t0 = performance.now(); fetch('mev://flash/" + name
                                + "').then(function (r) { return r.arrayBuffer(); }).then(function (b) {"
                                  " var t1 = performance.now(); window.phase = 'fetch ' + Math.round(t1 - t0) + ' ms';"
                                  " return WebAssembly.compile(b).then(function () { window.phase += ', compile '"
                                  " + Math.round(performance.now() - t1) + ' ms'; }); }).catch(function (e) {"
                                  " window.phase = 'failed: ' + e; });");
            std::string phase;
            RunUntil(
                [&] {
                    bool done = false;
                    browser->EvaluateScript("window.phase || ''", [&](bool, std::string json) {
                        phase = json;
                        done = true;
                    });
                    RunUntil([&] { return done; }, 10000);
                    return phase.find("compile") != std::string::npos || phase.find("failed") != std::string::npos;
                },
                120000);
            std::printf("%s: %s\n", name.c_str(), phase.c_str());
        }
        browser->Navigate(mev::GetBlankPageUrl());
        RunUntil([&] { return !browser->IsLoading(); }, 20000);
    }

    struct Movie {
        std::string path;
        long colour;
    };
    const Movie movies[] = {{first, 0x1e3c72}, {first, 0x1e3c72}, {second, 0xa02020}};
    std::printf("%-26s %10s %s\n", "movie", "first frame", "web processes");
    for (int round = 0; round < rounds; ++round) {
        for (const Movie& movie : movies) {
            // As the Videos tab does: from a Flash page straight to the next movie, with
            // BLANK set from the blank page each time.
            if (std::getenv("BLANK") != nullptr) {
                browser->Navigate(mev::GetBlankPageUrl());
                RunUntil([&] { return !browser->IsLoading(); }, 20000);
            }
            const auto start = Clock::now();
            browser->NavigateInPage("mev://video/?" + movie.path, "ShowMovie", mev::MakeFileUrl(movie.path));
            const bool shown = RunUntil([&] { return StagePixel(*browser) == movie.colour; }, 60000);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::string web;
            TreeCpu(&web);
            std::printf("%-26s %9.2fs%s %s\n", mev::GetFileNamePart(movie.path).c_str(), seconds,
                        shown ? " " : "!", web.c_str());
        }
    }
    // A movie playing for five seconds: the process tree's CPU over that time.
    const double before = TreeCpu();
    const auto start = Clock::now();
    RunUntil([&] { return Clock::now() - start > std::chrono::seconds(5); }, 6000);
    const double cpu = (TreeCpu() - before) / std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("CPU while the movie plays: %.2f cores (the whole process tree)\n", cpu);

    browser.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
