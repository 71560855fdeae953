// How fast the audio list shows a folder of 5,000 tagged MP3 files, and how long the
// window is kept from its other work meanwhile: the time from Fill to the rows in the
// list (sorted by title), with the folder's files in the page cache (warm) or evicted
// from it (cold), the longest stretch the main loop was blocked during that time, and
// the time of one sort by title from a header click. The files carry ID3v1 tags, or
// only ID3v2 tags (the tag library reads them; "/no_reader" lists the same files with
// ID3v1 alone, by name), or ID3v2 tags with a 64 KB cover picture. Run under a display:
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
#include "core/tags/title_reader.hpp"
#include "platform/platform_init.hpp"
#include "ui/app/mev_app.hpp"
#include "ui/widgets/audio_file_list_ctrl.hpp"

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

std::string SyncSafe(std::size_t size)
{
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i, size >>= 7)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(size & 0x7f);
    return bytes;
}

std::string BigEndian(std::size_t size)
{
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i, size >>= 8)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(size & 0xff);
    return bytes;
}

// An ID3v2.3 frame of UTF-16 text with a byte-order mark (ASCII text only).
std::string TextFrame(const char* id, const std::string& text)
{
    std::string body = "\x01\xFF\xFE";
    for (char c : text)
        body += std::string{c, '\0'};
    return std::string(id) + BigEndian(body.size()) + std::string(2, '\0') + body;
}

// An ID3v2.3 tag as common taggers write it: title, artist, album, optionally a cover
// picture, and 1 KB of padding.
std::string Id3v2Tag(const std::string& title, std::size_t pictureBytes)
{
    std::string frames = TextFrame("TIT2", title) + TextFrame("TPE1", "Bench Artist") + TextFrame("TALB", "Bench Album");
    if (pictureBytes > 0) {
        const std::string body = std::string("\0image/jpeg\0\x03\0", 14) + std::string(pictureBytes, '\x5a');
        frames += "APIC" + BigEndian(body.size()) + std::string(2, '\0') + body;
    }
    frames += std::string(1024, '\0');
    return "ID3\x03" + std::string(2, '\0') + SyncSafe(frames.size()) + frames;
}

enum Tags { ID3V1 = 0, ID3V2 = 1, ID3V2_PICTURE = 2 };

// On a real disk, so that evicting its pages means reading them again.
std::string MakeMp3Folder(Tags tags)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mev-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    for (int i = 0; i < FILE_COUNT; ++i) {
        // Titles in another order than the names, so the sort has work to do.
        const int key = (i * 7919) % FILE_COUNT;
        const std::string title = "Song " + std::to_string(key);
        std::ofstream out(pattern + "/track " + std::to_string(i) + ".mp3", std::ios::binary);
        if (tags == ID3V1)
            out << std::string(900, '\xff') << Tag(title);
        else
            out << Id3v2Tag(title, tags == ID3V2_PICTURE ? 65536 : 0) << std::string(900, '\xff');
    }
    return pattern;
}

const std::string& Mp3Folder(Tags tags = ID3V1)
{
    static std::string folders[3];
    if (folders[tags].empty())
        folders[tags] = MakeMp3Folder(tags);
    return folders[tags];
}

void EvictFolder(Tags tags)
{
    for (const auto& entry : std::filesystem::directory_iterator(Mp3Folder(tags))) {
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

void ShowFolder(benchmark::State& state, bool cold, Tags tags = ID3V1, bool withReader = true)
{
    Ui& ui = TheUi();
    const auto reader = mev::GetTitleReader();
    if (!withReader)
        mev::SetTitleReader(nullptr);
    double worstStall = 0;
    for (auto _ : state) {
        ui.list.FillFolder("", mev::MediaKind::Audio, false);
        Ui::Flush();
        if (cold)
            EvictFolder(tags);
        const auto start = Clock::now();
        ui.list.FillFolder(Mp3Folder(tags), mev::MediaKind::Audio, false);
        worstStall = std::max(worstStall, RunMeasuringStalls([&] { return !ui.list.IsFilling(); }));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (ui.list.GetCount() != FILE_COUNT)
            state.SkipWithError("rows missing");
        else if (withReader && ui.list.GetModel().GetNameText(0) != "Song 0")
            state.SkipWithError("titles not read");
    }
    mev::SetTitleReader(reader);
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

void BM_ShowId3v2FolderWarm(benchmark::State& state)
{
    ShowFolder(state, false, ID3V2);
}
BENCHMARK(BM_ShowId3v2FolderWarm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowId3v2FolderWarm_no_reader(benchmark::State& state)
{
    ShowFolder(state, false, ID3V2, false);
}
BENCHMARK(BM_ShowId3v2FolderWarm_no_reader)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowId3v2FolderCold(benchmark::State& state)
{
    ShowFolder(state, true, ID3V2);
}
BENCHMARK(BM_ShowId3v2FolderCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ShowId3v2PictureFolderWarm(benchmark::State& state)
{
    ShowFolder(state, false, ID3V2_PICTURE);
}
BENCHMARK(BM_ShowId3v2PictureFolderWarm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

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
    for (Tags tags : {ID3V1, ID3V2, ID3V2_PICTURE})
        std::filesystem::remove_all(Mp3Folder(tags), ec);
    return 0;
}
