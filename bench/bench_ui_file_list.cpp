// How fast the audio list shows a folder of 5,000 tagged MP3 files, and how long the
// window is kept from its other work meanwhile: the time from Fill to the rows in the
// list (sorted by title), with the folder's files in the page cache (warm) or evicted
// from it (cold), the longest stretch the main loop was blocked during that time, and
// the time of one sort by title from a header click. Run under a display:
//   xvfb-run -a build/bench/bench_ui_file_list
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtk/gtk.h>
#include <gtkmm.h>

#include "core/media/file_list_model.hpp"
#include "platform/platform_init.hpp"
#include "ui/app/mev_app.hpp"
#include "ui/media/audio_file_list_ctrl.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int FILE_COUNT = 5000;

std::string Tag(const std::string& title)
{
    std::string block = "TAG" + title;
    block.resize(128, '\0');
    block[127] = static_cast<char>(12);
    return block;
}

// On a real disk, so that evicting its pages means reading them again.
const std::string& Mp3Folder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "mev-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        for (int i = 0; i < FILE_COUNT; ++i) {
            // Titles in another order than the names, so the sort has work to do.
            const int key = (i * 7919) % FILE_COUNT;
            std::ofstream out(pattern + "/track " + std::to_string(i) + ".mp3", std::ios::binary);
            out << std::string(900, '\xff') << Tag("Song " + std::to_string(key));
        }
        return pattern;
    }();
    return folder;
}

void EvictFolder()
{
    for (const auto& entry : std::filesystem::directory_iterator(Mp3Folder())) {
        const int fd = open(entry.path().c_str(), O_RDONLY);
        if (fd >= 0) {
            fdatasync(fd);
            posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            close(fd);
        }
    }
}

struct Ui {
    Ui()
    {
        window.set_default_size(400, 600);
        window.set_child(list);
        window.present();
        Flush();
    }
    static void Flush()
    {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    Gtk::Window window;
    mev::CAudioFileListCtrl list;
};

Ui& TheUi()
{
    static Ui* ui = new Ui();
    return *ui;
}

// Runs the main loop until done() holds; returns the longest gap between two turns of a
// 1 ms timer, that is the longest time the loop could not answer.
template <class Done>
double RunMeasuringStalls(Done done)
{
    auto last = Clock::now();
    double worst = 0;
    auto timer = Glib::signal_timeout().connect(
        [&] {
            const auto now = Clock::now();
            worst = std::max(worst, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            return true;
        },
        1);
    while (!done())
        g_main_context_iteration(nullptr, TRUE);
    Ui::Flush();
    const auto now = Clock::now();
    worst = std::max(worst, std::chrono::duration<double, std::milli>(now - last).count());
    timer.disconnect();
    return worst;
}

void ShowFolder(benchmark::State& state, bool cold)
{
    Ui& ui = TheUi();
    double worstStall = 0;
    for (auto _ : state) {
        ui.list.FillFolder("", mev::MediaKind::Audio, false);
        Ui::Flush();
        if (cold)
            EvictFolder();
        const auto start = Clock::now();
        ui.list.FillFolder(Mp3Folder(), mev::MediaKind::Audio, false);
        worstStall = std::max(worstStall, RunMeasuringStalls([&] { return !ui.list.IsFilling(); }));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (ui.list.GetCount() != FILE_COUNT)
            state.SkipWithError("rows missing");
    }
    state.counters["max_stall_ms"] = worstStall;
}

// The first fill of a process also loads the MIME database and the icon theme: measured
// once, on its own.
void BM_ShowFolderFirst(benchmark::State& state)
{
    ShowFolder(state, false);
}
BENCHMARK(BM_ShowFolderFirst)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ShowFolderWarm(benchmark::State& state)
{
    ShowFolder(state, false);
}
BENCHMARK(BM_ShowFolderWarm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowFolderCold(benchmark::State& state)
{
    ShowFolder(state, true);
}
BENCHMARK(BM_ShowFolderCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SortByTitleFromHeaderClick(benchmark::State& state)
{
    Ui& ui = TheUi();
    if (ui.list.GetCount() != FILE_COUNT) {
        ui.list.FillFolder(Mp3Folder(), mev::MediaKind::Audio, false);
        RunMeasuringStalls([&] { return !ui.list.IsFilling(); });
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        ui.list.ClickColumn(mev::CFileListModel::COLUMN_NAME);
        Ui::Flush();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_SortByTitleFromHeaderClick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    setenv("GTK_A11Y", "none", 1);
    // The renderer the program draws with.
    mev::CMEVApp::ChooseRenderer();
    if (!gtk_init_check()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    // The application object also starts gtkmm's wrappers.
    auto app = Gtk::Application::create("org.mev.bench", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    mev::InitPlatform();
    Mp3Folder();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Removed here: the window and toolkit are still up, and nothing after this needs it.
    std::error_code ec;
    std::filesystem::remove_all(Mp3Folder(), ec);
    return 0;
}
