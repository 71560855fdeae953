// The gap between tracks under Auto Play in the Audios pane: from the media element's
// 'ended' to the next file's 'playing' event, and to its play position first moving,
// timed in the page. Makes CLIPS tone clips of SECONDS each, checks them all and plays
// them in turn; prints one line per change and the median and maximum. Run under a
// display, from the build folder:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/probe_track_gap [clips] [seconds]
// BUSY=n keeps n processes spinning at nice 10 meanwhile (a build beside it); NOPRELOAD=1 takes the
// page's preloading away, for the figure without it.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/media/media_kinds.hpp"
#include "platform/platform_init.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/pages/audio_page.hpp"
#include "ui/pages/player_test_host.hpp"

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

std::string Evaluate(mev::CPageBrowser& browser, const std::string& code)
{
    bool done = false;
    std::string result;
    browser.EvaluateScript(code, [&](bool ok, const std::string& json) {
        result = ok ? json : "";
        done = true;
    });
    RunUntil([&] { return done; }, 10000);
    return result;
}

// Records, for each 'ended' of the shown element, the milliseconds until the next file's
// 'playing' and until its position moves. Installed once per document.
constexpr const char* RECORDER = R"JS((function () {
  if (window.gapProbe) return true;
  var probe = window.gapProbe = { playing: [], moving: [], asked: [], endedAt: 0, src: '', waitPlaying: false };
  var show = window.ShowMedia;
  window.ShowMedia = function (src, pageUrl) {
    if (probe.endedAt) probe.asked.push(performance.now() - probe.endedAt);
    return show(src, pageUrl);
  };
  document.addEventListener('ended', function (ev) {
    if (ev.target.id !== 'media') return;
    var endedAt = probe.endedAt = performance.now();
    probe.src = ev.target.currentSrc;
    probe.waitPlaying = true;
    var poll = setInterval(function () {
      var e = document.getElementById('media');
      if (probe.endedAt !== endedAt) { clearInterval(poll); return; }
      if (e && e.currentSrc !== probe.src && e.currentTime > 0) {
        probe.moving.push(performance.now() - endedAt);
        clearInterval(poll);
      }
    }, 2);
  }, true);
  document.addEventListener('playing', function (ev) {
    if (probe.waitPlaying && ev.target.id === 'media' && ev.target.currentSrc !== probe.src) {
      probe.playing.push(performance.now() - probe.endedAt);
      probe.waitPlaying = false;
    }
  }, true);
  return true;
})())JS";

std::vector<double> Numbers(const std::string& json)
{
    std::vector<double> values;
    std::string text = json;
    std::replace(text.begin(), text.end(), '[', ' ');
    std::replace(text.begin(), text.end(), ']', ' ');
    std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream in(text);
    double value = 0;
    while (in >> value)
        values.push_back(value);
    return values;
}

void Summary(const char* what, std::vector<double> gaps)
{
    std::printf("%-8s", what);
    for (double gap : gaps)
        std::printf(" %4.0f", gap);
    if (gaps.empty()) {
        std::printf(" (none)\n");
        return;
    }
    std::sort(gaps.begin(), gaps.end());
    std::printf("   median %.0f ms, max %.0f ms, over 300 ms: %ld of %zu\n", gaps[gaps.size() / 2], gaps.back(),
                static_cast<long>(std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 300; })),
                gaps.size());
}

} // namespace

int main(int argc, char** argv)
{
    const int clips = argc > 1 ? std::max(2, std::atoi(argv[1])) : 8;
    const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 2.0;
    const int busy = std::getenv("BUSY") != nullptr ? std::atoi(std::getenv("BUSY")) : 0;
    const bool noPreload = std::getenv("NOPRELOAD") != nullptr && std::string(std::getenv("NOPRELOAD")) == "1";

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("mev-gap-probe-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (int i = 0; i < clips; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d.mp3", i + 1);
        const std::string command = "gst-launch-1.0 -q audiotestsrc freq=" + std::to_string(330 + 110 * (i % 4))
            + " num-buffers=" + std::to_string(static_cast<int>(seconds * 44100 / 1024))
            + " samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! lamemp3enc ! filesink"
              " location='" + (folder / name).string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "gst-launch-1.0 could not make %s\n", name);
            return 1;
        }
    }

    auto app = Gtk::Application::create("org.mev.GapProbe", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    mev::InitPlatform();
    mev::InitBrowserEngine({folder.string()});
    mev::test::CPlayerHost host;
    mev::SetScriptHost(&host);
    auto window = std::make_unique<Gtk::Window>();
    window->set_default_size(1000, 700);
    auto page = std::make_unique<mev::CAudioPage>(host);
    host.page = page.get();
    window->set_child(*page);
    window->present();
    if (!RunUntil([&] { return page->IsStarted() && page->GetFileList() != nullptr; }, 30000))
        return 1;
    mev::CFileListCtrl& list = *page->GetFileList();
    list.FillFolder(folder.string(), mev::MediaKind::Audio, false);
    if (!RunUntil([&] { return !list.IsFilling() && list.GetCount() == clips; }, 30000))
        return 1;
    for (int row = 0; row < clips; ++row)
        list.SetChecked(row, true);

    std::vector<pid_t> spinners;
    for (int i = 0; i < busy; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            // As niced as the compilers of a build beside it.
            if (nice(10) < 0)
                _exit(1);
            volatile unsigned long spins = 0;
            for (;;)
                spins = spins + 1;
        }
        spinners.push_back(pid);
    }

    mev::CPageBrowser& browser = page->GetBrowser();
    // Installed with each page (the first file comes as a page, the rest in it).
    browser.signal_load_finished().connect([&] {
        std::string code = RECORDER;
        if (noPreload)
            code += "; window.PreloadMedia = function () { return false; };"
                    " if (window.spare) { spare.removeAttribute('src'); spare.load(); } spare = null; spareSrc = '';";
        browser.ExecScript(code);
    });
    page->OnCommand(mev::ID_LIST_AUTOPLAY);
    const bool ended = RunUntil([&] { return !page->IsAutoPlayOn(); }, static_cast<int>(clips * (seconds + 5) * 1000));
    const std::string playing = Evaluate(browser, "window.gapProbe ? window.gapProbe.playing : []");
    const std::string moving = Evaluate(browser, "window.gapProbe ? window.gapProbe.moving : []");
    const std::string asked = Evaluate(browser, "window.gapProbe ? window.gapProbe.asked : []");

    for (pid_t pid : spinners) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::printf("%d clips of %.1f s, %d busy processes, %s; ms from 'ended' to the next file:\n", clips, seconds, busy,
                noPreload ? "no preloading" : "preloading");
    Summary("playing", Numbers(playing));
    Summary("moving", Numbers(moving));
    // The program's part: from 'ended' until it asks the page for the next file.
    Summary("asked", Numbers(asked));
    if (!ended)
        std::printf("auto play did not finish in time\n");

    mev::SetScriptHost(nullptr);
    window->unset_child();
    page.reset();
    window->destroy();
    std::filesystem::remove_all(folder);
    return ended ? 0 : 1;
}
