// How responsive the window stays while a large file is copied: copies one file (1 GB
// unless MEV_BENCH_COPY_MB says otherwise) with the File menu's copy, behind its progress
// window, and reports the copy time and the longest gap between turns of the main loop.
// Needs a display (xvfb-run). Usage: probe_file_copy [folder on the disk to test]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtkmm.h>

#include "temp_folder.hpp"
#include "ui/dialogs/file_operation_dlg.hpp"

namespace {

using Clock = std::chrono::steady_clock;

bool WriteBigFile(const std::string& path, std::size_t megabytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 31 + 7);
    bool ok = true;
    for (std::size_t i = 0; i < megabytes && ok; ++i)
        ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    ok = fsync(fd) == 0 && ok;
    return close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    const char* size = std::getenv("MEV_BENCH_COPY_MB");
    const std::size_t megabytes = size != nullptr ? std::strtoul(size, nullptr, 10) : 1024;
    mev::test::CTempFolder dir(argc > 1 ? argv[1] : "/var/tmp");
    if (dir.Path().empty() || !WriteBigFile(dir / "big.bin", megabytes)) {
        std::fprintf(stderr, "cannot write the test file\n");
        return 1;
    }
    const std::string dest = dir.MakeFolder("dest");

    auto app = Gtk::Application::create("org.mev.BenchFileCopy", Gio::Application::Flags::NON_UNIQUE);
    app->register_application();
    auto loop = Glib::MainLoop::create();
    Gtk::Window window;
    window.set_default_size(400, 300);
    window.show();

    Clock::duration longest{};
    const Clock::time_point start = Clock::now();
    Clock::time_point last = Clock::now();
    // A 5 ms heartbeat: any gap well beyond it is time the main loop could not run.
    Glib::signal_timeout().connect(
        [&] {
            const Clock::time_point now = Clock::now();
            if (std::getenv("MEV_BENCH_VERBOSE") != nullptr && now - last > std::chrono::milliseconds(30))
                std::printf("gap %lld ms at %lld ms\n",
                            static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count()),
                            static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count()));
            longest = std::max(longest, now - last);
            last = now;
            return true;
        },
        5);

    Clock::time_point end{};
    bool ok = false;
    Glib::signal_idle().connect_once([&] {
        last = Clock::now();
        mev::CFileOperationDlg::Start(&window,
                                      std::make_shared<mev::CFileOperation>(mev::FileOpKind::Copy,
                                                                            std::vector<std::string>{dir / "big.bin"}, dest),
                                      [&](const mev::CFileOperation& op) {
                                          end = Clock::now();
                                          ok = op.CountOf(mev::FileOpResult::Done) == 1;
                                          loop->quit();
                                      });
    });
    loop->run();
    using ms = std::chrono::milliseconds;
    std::printf("copied %zu MB: %s in %lld ms; longest main-loop gap %lld ms (heartbeat 5 ms)\n", megabytes,
                ok ? "done" : "FAILED", static_cast<long long>(std::chrono::duration_cast<ms>(end - start).count()),
                static_cast<long long>(std::chrono::duration_cast<ms>(longest).count()));
    return ok ? 0 : 1;
}
