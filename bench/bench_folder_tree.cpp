// How long the folder tree takes to show a folder's sub-folders: the time from the
// expansion of the root until every sub-folder is a row of the open folder and the
// window has painted it. The folders are listed once before timing, so the
// file system's cache is warm. Needs a display: run under xvfb-run -a.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include <gtkmm.h>

#include "core/media/folder_tree_model.hpp"
#include "platform/platform_init.hpp"
#include "ui/widgets/folder_tree_view.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// A folder with count sub-folders, made once per run (on a RAM disk when there is one).
const std::string& FolderWith(int count)
{
    static std::map<int, std::string> folders;
    auto found = folders.find(count);
    if (found != folders.end())
        return found->second;
    std::filesystem::path base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "mev-bench-tree-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    for (int i = 0; i < count; ++i)
        std::filesystem::create_directory(pattern + "/holiday " + std::to_string(i));
    mev::ListSubFolders(pattern);  // warm the cache
    return folders.emplace(count, pattern).first->second;
}

void RemoveFolders()
{
    for (int count : {3000, 20000, 100000}) {
        std::error_code ec;
        std::filesystem::remove_all(FolderWith(count), ec);
    }
}

void Iterate()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

void BM_ShowSubFolders(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string& folder = FolderWith(count);
    Gtk::Window window;
    window.set_default_size(300, 600);
    auto tree = std::make_unique<mev::CFolderTreeView>();
    window.set_child(*tree);
    window.present();
    Iterate();
    tree->Rebuild(folder);
    auto& view = tree->GetTreeView();
    const auto isShown = [&] {
        auto root = tree->GetRootRow();
        return !tree->IsBusy() && root && view.row_expanded(view.get_model()->get_path(root))
            && root->children().size() == static_cast<std::size_t>(count);
    };
    while (!isShown())
        g_main_context_iteration(nullptr, TRUE);
    for (auto _ : state) {
        // Closing the folder drops its rows; opening it reads the disk again.
        const auto rootPath = view.get_model()->get_path(tree->GetRootRow());
        view.collapse_row(rootPath);
        Iterate();
        const auto start = Clock::now();
        view.expand_row(rootPath, false);
        while (!isShown())
            g_main_context_iteration(nullptr, TRUE);
        // Until the frame with the rows is painted.
        bool painted = false;
        auto clock = window.get_frame_clock();
        auto after = clock->signal_paint().connect([&] { painted = true; }, true);
        window.queue_draw();
        while (!painted)
            g_main_context_iteration(nullptr, TRUE);
        after.disconnect();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    window.unset_child();
    tree.reset();
    Iterate();
}
BENCHMARK(BM_ShowSubFolders)->Arg(3000)->Arg(20000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    setenv("GTK_A11Y", "none", 1);
    if (!gtk_init_check()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    auto app = Gtk::Application::create("org.mev.benchtree", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    mev::InitPlatform();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolders();
    return 0;
}
