// Streams the index page of a folder of many pictures into the Images tab's list area
// and reports: first thumbnail shown after the folder was chosen, first screenful
// complete, whole page loaded, the longest main-loop stall meanwhile, then the page
// scrolled from top to bottom a screen at a time (each screen waited for) with the
// largest memory of the web process and of the whole program on the way, and the time
// to a complete screenful after a fast scroll to the end (with the decodes it took).
// Run under a display: xvfb-run -a build/bench/probe_image_index [count] [folder]
// A folder that holds pictures already is used as it is (bench/make_photo_folder.sh
// makes photo folders); otherwise count small PNGs are made in it (200 distinct ones,
// the rest hard links to them, so a million entries cost little disk). Set
// XDG_CACHE_HOME to choose a cold or a warm thumbnail cache; PROBE_SCREENS=n stops the
// scrolling after n screens (default 30). bench/index_scale.sh runs it over sizes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/window.h>
#include <webkit/webkit.h>

#include "core/pages/image_pane_state.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/pages/script_external.hpp"
#include "platform/platform_init.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/pages/image_page.hpp"
#include "ui/web/page_browser.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class CHost : public mev::CMediaPageHost, public mev::IScriptHost {
public:
    void SetStatusMessage(const std::string&) override {}
    void ToggleFullScreen() override {}
    bool RouteCommand(int) override { return false; }
    void SetCurrentPage(mev::CMediaPage*) override {}
    void PostPaneCommand(mev::ScriptPane pane, int id) override
    {
        if (pane == mev::ScriptPane::Image && page != nullptr)
            page->PostCommand(id);
    }
    void SetStatusText(const std::string&) override {}
    bool IsImagePaneVisible() const override { return std::getenv("PROBE_NO_PICTURE") == nullptr; }
    mev::CMediaPage* page = nullptr;
};

// Makes count small PNGs in folder unless it holds pictures already: DISTINCT different
// ones, the rest hard links to them (copies where links cannot be made).
bool MakeFolder(const std::string& folder, int count)
{
    constexpr int DISTINCT = 200;
    std::filesystem::create_directories(folder);
    int present = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        present += entry.path().extension() == ".png" || entry.path().extension() == ".jpg" ? 1 : 0;
    if (present >= count)
        return true;
    const auto nameOf = [&](int i) {
        char name[64];
        std::snprintf(name, sizeof name, "/pic%07d.png", i);
        return folder + name;
    };
    for (int i = 0; i < count; ++i) {
        const std::string name = nameOf(i);
        if (i >= DISTINCT) {
            if (link(nameOf(i % DISTINCT).c_str(), name.c_str()) == 0 || errno == EEXIST)
                continue;
            std::error_code ec;
            std::filesystem::copy_file(nameOf(i % DISTINCT), name, ec);
            continue;
        }
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 64, 48);
        gdk_pixbuf_fill(pixbuf, 0x3366ccffu + static_cast<unsigned>(i) * 0x01030500u);
        const bool ok = gdk_pixbuf_save(pixbuf, name.c_str(), "png", nullptr, nullptr);
        g_object_unref(pixbuf);
        if (!ok)
            return false;
    }
    return true;
}

long PssKb(const std::filesystem::path& process)
{
    std::ifstream smaps(process / "smaps_rollup");
    std::string line;
    while (std::getline(smaps, line)) {
        if (line.rfind("Pss:", 0) == 0)
            return std::atol(line.c_str() + 4);
    }
    return 0;
}

// Proportional set size in kB of this process's descendants whose name starts with
// prefix ("" for all of them).
long ChildPssKb(const std::string& prefix, int& found)
{
    long total = 0;
    found = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        long ppid = 0;
        rest >> state >> ppid;
        if (comm.rfind(prefix, 0) != 0)
            continue;
        // The web process may be started through a sandbox helper: walk up to us.
        bool ours = false;
        for (long p = ppid; p > 1 && !ours;) {
            if (p == getpid()) {
                ours = true;
                break;
            }
            std::ifstream up("/proc/" + std::to_string(p) + "/stat");
            std::string upLine;
            std::getline(up, upLine);
            const auto c = upLine.rfind(')');
            if (c == std::string::npos)
                break;
            std::istringstream upRest(upLine.substr(c + 2));
            char s = 0;
            upRest >> s >> p;
        }
        if (!ours)
            continue;
        total += PssKb(entry.path());
        ++found;
    }
    return total;
}

long ProgramPssKb()
{
    int found = 0;
    return PssKb("/proc/self") + ChildPssKb("", found);
}

// True when every thumbnail in the visible part of the page has its picture.
constexpr const char* SCREEN_COMPLETE =
    "(function(){var p=document.images,n=0;for(var i=0;i<p.length;i++){if(p[i].style.display=='none')continue;"
    "var r=p[i].getBoundingClientRect();if(r.bottom<0||r.top>innerHeight)continue;n++;if(!p[i].complete||p[i].naturalWidth==0)return false;}"
    "return n>0;})()";

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string folder =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / ("mev-probe-" + std::to_string(count))).string();
    // The program draws with GTK's cairo renderer unless GSK_RENDERER says otherwise;
    // measure what it does.
    g_setenv("GSK_RENDERER", "cairo", FALSE);
    if (!gtk_init_check()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    if (!MakeFolder(folder, count)) {
        std::fprintf(stderr, "cannot write %s\n", folder.c_str());
        return 1;
    }
    auto app = Gtk::Application::create("org.mev.probe", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    mev::InitPlatform();
    mev::InitBrowserEngine({folder});

    CHost host;
    mev::SetScriptHost(&host);
    Gtk::Window window;
    window.set_default_size(1280, 800);
    auto page = std::make_unique<mev::CImagePage>(host);
    host.page = page.get();
    window.set_child(*page);
    window.present();
    auto context = Glib::MainContext::get_default();
    const auto until = [&](auto cond, double ms) {
        const auto t0 = Clock::now();
        while (!cond() && MsSince(t0) < ms)
            context->iteration(false) || (g_usleep(1000), true);
        return cond();
    };
    until([&] { return page->IsStarted() && !page->GetIndexBrowser(0)->IsLoading(); }, 20000);
    until([] { return false; }, 1000);

    // The longest gap between two turns of a 5 ms timer, beyond its period.
    double longest = 0;
    double longestAt = 0;
    int stallsOver50 = 0;
    Clock::time_point start = Clock::now();
    auto last = Clock::now();
    bool measuring = false;
    sigc::connection ticker = Glib::signal_timeout().connect(
        [&] {
            const double gap = MsSince(last) - 5;
            last = Clock::now();
            if (measuring && gap > longest) {
                longest = gap;
                longestAt = MsSince(start) - gap;
            }
            if (measuring && gap > 50)
                ++stallsOver50;
            return true;
        },
        5);

    // A fresh stall watch for one step: the longest gap and the gaps over 50 ms.
    const auto WatchStalls = [&] {
        longest = 0;
        stallsOver50 = 0;
        last = Clock::now();
        return Glib::signal_timeout().connect(
            [&] {
                const double gap = MsSince(last) - 5;
                last = Clock::now();
                longest = std::max(longest, gap);
                stallsOver50 += gap > 50 ? 1 : 0;
                return true;
            },
            5);
    };

    // The same timer with nothing to do, for comparison on a busy machine.
    start = Clock::now();
    last = start;
    measuring = true;
    until([] { return false; }, 3000);
    measuring = false;
    const double idleLongest = longest;
    const int idleStalls = stallsOver50;
    longest = 0;
    stallsOver50 = 0;

    mev::CPageBrowser* index = page->GetIndexBrowser(0);
    // Inside each page, the moments its first thumbnail and its first complete screenful
    // came, on the page's own clock, each also told to the probe as it happens: asking the
    // page over and over would keep the web process busy while the folder is listed.
    const std::string pageTiming =
        "(function(){window.__probe={};function complete(){return " + std::string(SCREEN_COMPLETE) + ";}"
        "function tell(what){try{webkit.messageHandlers.probe.postMessage(what);}catch(e){}}"
        "document.addEventListener('load',function(e){if(e.target.tagName!='IMG')return;var t=performance.now();"
        "if(!__probe.first){__probe.first=t;tell('first');}"
        "if(!__probe.screen&&complete()){__probe.screen=t;tell('screen');}},true);})();";
    WebKitUserContentManager* contents = webkit_web_view_get_user_content_manager(index->GetWebView());
    WebKitUserScript* timingScript =
        webkit_user_script_new(pageTiming.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(contents, timingScript);
    webkit_user_script_unref(timingScript);
    bool loaded = false;
    index->signal_load_finished().connect([&] { loaded = true; });
    struct Told {
        Clock::time_point t0;
        double first = -1;
        double screen = -1;
    } told;
    webkit_user_content_manager_register_script_message_handler(contents, "probe", nullptr);
    g_signal_connect(contents, "script-message-received::probe",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer data) {
                         auto* state = static_cast<Told*>(data);
                         char* what = jsc_value_to_string(value);
                         const double at = MsSince(state->t0);
                         if (g_strcmp0(what, "first") == 0 && state->first < 0)
                             state->first = at;
                         if (g_strcmp0(what, "screen") == 0 && state->screen < 0)
                             state->screen = at;
                         g_free(what);
                     }),
                     &told);

    const auto t0 = Clock::now();
    const long long choiceEpochMs = g_get_real_time() / 1000;
    told.t0 = t0;
    start = t0;
    last = t0;
    measuring = true;
    page->OnFolderSelected(folder);  // what the tree's selection change does
    until([&] { return loaded && mev::IndexTotal == count && told.screen >= 0; }, 600000);
    const double firstShown = told.first;
    const double screenShown = told.screen;
    const double wholePage = MsSince(t0);
    const double streamingLongest = longest;
    until([] { return false; }, 2000);
    measuring = false;
    ticker.disconnect();
    int processes = 0;
    const long pss = ChildPssKb("WebKitWebProces", processes);

    std::printf("pictures           %d in %s\n", count, folder.c_str());
    std::printf("first thumbnail    %.0f ms after the folder was chosen\n", firstShown);
    std::printf("first screenful    %.0f ms after the folder was chosen\n", screenShown);
    std::printf("whole page loaded  %.0f ms (%d thumbnails reported)\n", wholePage, mev::IndexTotal);
    std::printf("longest stall      %.0f ms of the main loop (starting %.0f ms after the choice; %d stalls over 50 ms),"
                " from the choice to 2 s after the load\n",
                longest, longestAt, stallsOver50);
    std::printf("while streaming    %.0f ms longest stall until the page had loaded\n", streamingLongest);
    std::printf("idle baseline      %.0f ms longest gap, %d over 50 ms, in 3 s before the choice\n", idleLongest,
                idleStalls);
    std::printf("web process        %.0f MB proportional set size (%d process%s)\n", pss / 1024.0, processes,
                processes == 1 ? "" : "es");

    std::printf("whole program      %.0f MB proportional set size, all processes\n", ProgramPssKb() / 1024.0);
    {
        // The same seen from inside the page, free of the delay of asking it: its first
        // thumbnail and first complete screenful after the click.
        std::string timing;
        bool asked = false;
        index->EvaluateScript("window.__probe ? [performance.timeOrigin - " + std::to_string(choiceEpochMs) +
                                  ", __probe.first || -1, __probe.screen || -1].map(Math.round).join(' ') : ''",
                              [&](bool, std::string json) {
                                  asked = true;
                                  timing = json;
                              });
        until([&] { return asked; }, 5000);
        double origin = -1;
        double first = -1;
        double screen = -1;
        if (std::sscanf(timing.c_str(), "\"%lf %lf %lf", &origin, &first, &screen) == 3)
            std::printf("in the page        first thumbnail %.0f ms, first screenful %.0f ms after the choice"
                        " (navigation began at %.0f ms)\n",
                        origin + first, origin + screen, origin);
    }

    // At once to the end, as a drag of the scroll bar does: the time until the screen
    // there is complete, the decodes it took, and the main loop meanwhile.
    {
        ticker = WatchStalls();
        const std::uint64_t decodes = mev::GetThumbnailDecodeCount();
        bool answered = false;
        index->EvaluateScript("scrollTo(0, document.body.scrollHeight); 1", [&](bool, std::string) { answered = true; });
        const auto jumped = Clock::now();
        until([&] { return answered; }, 5000);
        bool complete = false;
        while (!complete && MsSince(jumped) < 60000) {
            bool asked = false;
            index->EvaluateScript(SCREEN_COMPLETE, [&](bool ok, std::string json) {
                asked = true;
                complete = ok && json == "true";
            });
            until([&] { return asked; }, 5000);
        }
        const double screenAfterJump = MsSince(jumped);
        const std::uint64_t screenDecodes = mev::GetThumbnailDecodeCount() - decodes;
        until([] { return false; }, 2000);
        ticker.disconnect();
        std::string tiles;
        bool asked = false;
        index->EvaluateScript("document.images.length", [&](bool, std::string json) {
            asked = true;
            tiles = json;
        });
        until([&] { return asked; }, 5000);
        std::printf("fast scroll to end screenful %s in %.0f ms, %llu decodes by then, %llu within 2 s more; "
                    "%s tiles in the page; longest stall %.0f ms (%d over 50 ms)\n",
                    complete ? "complete" : "NOT complete", screenAfterJump,
                    static_cast<unsigned long long>(screenDecodes),
                    static_cast<unsigned long long>(mev::GetThumbnailDecodeCount() - decodes), tiles.c_str(), longest,
                    stallsOver50);
        int found = 0;
        std::printf("memory at the end  web process %.0f MB, whole program %.0f MB (PSS)\n",
                    ChildPssKb("WebKitWebProces", found) / 1024.0, ProgramPssKb() / 1024.0);
        answered = false;
        index->EvaluateScript("scrollTo(0, 0); 1", [&](bool, std::string) { answered = true; });
        until([&] { return answered; }, 5000);
    }

    // Down the page a screen at a time, each screen waited for (at most 10 s).
    if (std::getenv("PROBE_NO_SCROLL") == nullptr) {
        ticker = WatchStalls();
        long webPeak = 0;
        long programPeak = 0;
        int screens = 0;
        int incomplete = 0;
        const auto scrollStart = Clock::now();
        const char* screenLimit = std::getenv("PROBE_SCREENS");
        const int maxScreens = screenLimit != nullptr ? std::atoi(screenLimit) : 30;
        for (bool atEnd = false; !atEnd && screens < maxScreens;) {
            bool answered = false;
            index->EvaluateScript("scrollBy(0, innerHeight); scrollY + innerHeight >= document.body.scrollHeight - 2",
                                  [&](bool ok, std::string json) {
                                      answered = true;
                                      atEnd = !ok || json == "true";
                                  });
            until([&] { return answered; }, 5000);
            ++screens;
            bool complete = false;
            const auto screenStart = Clock::now();
            while (!complete && MsSince(screenStart) < 10000) {
                bool asked = false;
                index->EvaluateScript(SCREEN_COMPLETE, [&](bool ok, std::string json) {
                    asked = true;
                    complete = ok && json == "true";
                });
                until([&] { return asked; }, 5000);
                if (!complete)
                    until([] { return false; }, 20);
            }
            incomplete += complete ? 0 : 1;
            if (screens % 10 == 0 || atEnd || screens == maxScreens) {
                int found = 0;
                webPeak = std::max(webPeak, ChildPssKb("WebKitWebProces", found));
                programPeak = std::max(programPeak, ProgramPssKb());
                last = Clock::now(); // reading the memory maps is the probe's time, not the page's
            }
        }
        ticker.disconnect();
        std::printf("scrolled down      %d screens in %.1f s (%d not complete within 10 s), longest stall %.0f ms"
                    " (%d over 50 ms)\n",
                    screens, MsSince(scrollStart) / 1000.0, incomplete, longest, stallsOver50);
        std::printf("memory scrolling   web process at most %.0f MB, whole program at most %.0f MB (PSS)\n",
                    webPeak / 1024.0, programPeak / 1024.0);
    }
    if (std::getenv("PROBE_NO_LEAVE") != nullptr)
        return 0;

    // Leaving the folder while its page streams cancels that page.
    page->OnFolderSelected(folder);
    const std::string other = folder + "-small";
    MakeFolder(other, 3);
    index->Refresh();
    until([&] { return index->IsLoading(); }, 5000);
    until([] { return false; }, 300);
    const auto left = Clock::now();
    page->OnFolderSelected(other);
    const bool stopped = until([&] { return !index->IsLoading(); }, 20000);
    std::printf("left mid-stream    the page left behind %s %.0f ms later (now %s)\n",
                stopped ? "stopped loading" : "was still loading", MsSince(left), index->GetLocationUrl().c_str());

    mev::SetScriptHost(nullptr);
    host.page = nullptr;
    window.unset_child();
    page.reset();
    return 0;
}
