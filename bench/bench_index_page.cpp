// How fast the thumbnail index of a folder of 10,000 pictures streams: the time from
// Start to the first data notification (which must not wait for the listing) and to the
// end of the page, read the way the browser reads it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/media/media_kinds.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/shell/resources.hpp"
#include "core/test_resources.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int FILE_COUNT = 10000;

// The folder of pictures, made once per run (on a RAM disk when there is one).
const std::string& PictureFolder()
{
    static const std::string folder = [] {
        std::filesystem::path base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "mev-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        for (int i = 0; i < FILE_COUNT; ++i)
            std::ofstream(pattern + "/holiday picture " + std::to_string(i) + ".jpg");
        std::atexit([] { std::filesystem::remove_all(PictureFolder()); });
        return pattern;
    }();
    return folder;
}

class CTimingSink : public mev::IPageSink {
public:
    void ReportData(std::uint32_t, std::uint64_t, std::uint64_t) override
    {
        std::lock_guard lock(m_mutex);
        if (m_count++ == 0)
            m_first = Clock::now();
        m_changed.notify_all();
    }
    void ReportResult(mev::HResult) override {}

    bool WaitBeyond(std::size_t seen, std::size_t& now)
    {
        std::unique_lock lock(m_mutex);
        const bool ok = m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_count > seen; });
        now = m_count;
        return ok;
    }
    Clock::time_point First()
    {
        std::lock_guard lock(m_mutex);
        return m_first;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_count = 0;
    Clock::time_point m_first;
};

void Setup()
{
    static const bool done = [] {
        mev::test::InstallSourceTreeResources();
        mev::CMediaKinds::Instance().EnsureBuilt();
        mev::ImageWidth = 80;
        PictureFolder();
        return true;
    }();
    (void)done;
}

void BM_IndexPageStreamed(benchmark::State& state)
{
    Setup();
    const std::string url = "mev://images/?" + PictureFolder();
    double firstTotal = 0;
    double allTotal = 0;
    double bytes = 0;
    std::vector<char> buffer(65536);
    for (auto _ : state) {
        auto sink = std::make_shared<CTimingSink>();
        auto protocol = mev::CPageProtocol::Create();
        const auto start = Clock::now();
        if (protocol->Start(url, sink) != mev::E_PENDING) {
            state.SkipWithError("Start failed");
            return;
        }
        std::size_t seen = 0;
        bool ended = false;
        while (!ended && sink->WaitBeyond(seen, seen)) {
            for (;;) {
                std::uint32_t count = 0;
                const auto hr = protocol->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()), count);
                if (hr == mev::S_OK) {
                    bytes += count;
                    continue;
                }
                ended = hr == mev::S_FALSE;
                break;
            }
        }
        const auto end = Clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        allTotal += seconds;
        firstTotal += std::chrono::duration<double, std::milli>(sink->First() - start).count();
        protocol->WaitForWorker(std::chrono::seconds(10));
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["first_notification_ms"] = firstTotal / runs;
    state.counters["last_piece_ms"] = allTotal * 1000 / runs;
    state.counters["entries_per_second"] = FILE_COUNT * runs / allTotal;
    state.counters["page_bytes"] = bytes / runs;
}
BENCHMARK(BM_IndexPageStreamed)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same page made on the calling thread with nobody reading until the end: the
// buffer then grows by 8192-byte steps to the whole page, the worst case for a browser
// that stops reading.
void BM_IndexPageUnread(benchmark::State& state)
{
    Setup();
    const std::string url = "mev://images/?" + PictureFolder();
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto page = mev::CPageProtocol::RenderPage(url);
        benchmark::DoNotOptimize(page);
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["entries_per_second"] = FILE_COUNT * static_cast<double>(state.iterations()) / total;
}
BENCHMARK(BM_IndexPageUnread)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
