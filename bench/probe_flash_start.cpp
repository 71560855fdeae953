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

// Runs the main loop as the program's does, without sleeping while work is ready, until
// done() holds. done() is asked at most every checkMs: a check may itself cost the web
// process (a snapshot, a script), which would slow what is measured.
template <class Done>
bool RunUntil(Done done, int limitMs, int checkMs = 5)
{
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    const guint tick = g_timeout_add(static_cast<guint>(checkMs), +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    auto nextCheck = Clock::now();
    bool ok = true;
    for (;;) {
        if (Clock::now() >= nextCheck) {
            if (done())
                break;
            nextCheck = Clock::now() + std::chrono::milliseconds(checkMs);
        }
        if (Clock::now() > end) {
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    return ok;
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

double SelfCpu()
{
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
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
            const double cpuBefore = TreeCpu();
            const double selfBefore = SelfCpu();
            browser->ExecScript("window.phase = ''; var t0 = performance.now(), tf = 0, n = 0; fetch('mev://flash/" + name
                                + "').then(function (r) { var rd = r.body.getReader(), parts = [];"
                                  " function pump() { return rd.read().then(function (c) { if (c.done) { var t = 0; parts.forEach(function (p) { t += p.length; }); var o = new Uint8Array(t), at = 0; parts.forEach(function (p) { o.set(p, at); at += p.length; }); return o.buffer; }"
                                  " if (n++ == 0) tf = performance.now(); parts.push(c.value); return pump(); }); } return pump(); })"
                                  ".then(function (b) {"
                                  " var t1 = performance.now(); window.phase = 'first byte ' + Math.round(tf - t0) + ' ms, ' + n"
                                  " + ' chunks, fetch ' + Math.round(t1 - t0) + ' ms'; window.phaseCpu = 1;"
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
                120000, 100);
            std::printf("%s: %s (CPU %.2f s, %.2f s of it in this process)\n", name.c_str(), phase.c_str(),
                        TreeCpu() - cpuBefore, SelfCpu() - selfBefore);
        }
        browser->Navigate(mev::GetBlankPageUrl());
        RunUntil([&] { return !browser->IsLoading(); }, 20000);
        // The emulator's own steps in the first movie's page, as times since its navigation.
        WebKitUserScript* script = webkit_user_script_new(
            "window.steps = []; (function () { var W = WebAssembly;"
            " function wrap(name) { var f = W[name]; W[name] = function () { var t = performance.now();"
            " window.steps.push(name + ' ' + Math.round(t)); return f.apply(W, arguments).then(function (r) {"
            " window.steps.push(name + ' done ' + Math.round(performance.now())); return r; }); }; }"
            " ['instantiateStreaming', 'instantiate', 'compile', 'compileStreaming'].forEach(wrap); })();",
            WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(browser->GetWebView()), script);
        webkit_user_script_unref(script);
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
            const bool shown = RunUntil([&] { return StagePixel(*browser) == movie.colour; }, 60000, 50);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::string web;
            TreeCpu(&web);
            std::printf("%-26s %9.2fs%s %s\n", mev::GetFileNamePart(movie.path).c_str(), seconds,
                        shown ? " " : "!", web.c_str());
            if (std::getenv("PHASES") != nullptr && round == 0 && &movie == movies) {
                // When each of the page's files came, from the navigation on.
                std::string timeline;
                bool done = false;
                browser->EvaluateScript(
                    "(window.steps || []).join(', ') + ', shown ' + Math.round(performance.now()) + ' ms'",
                    [&](bool, std::string json) {
                        timeline = json;
                        done = true;
                    });
                RunUntil([&] { return done; }, 10000);
                std::printf("  %s\n", timeline.c_str());
            }
        }
    }
    // A movie playing for five seconds: the process tree's CPU over that time.
    const double before = TreeCpu();
    const auto start = Clock::now();
    RunUntil([&] { return Clock::now() - start > std::chrono::seconds(5); }, 6000, 100);
    const double cpu = (TreeCpu() - before) / std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("CPU while the movie plays: %.2f cores (the whole process tree)\n", cpu);

    browser.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
