// Makes the 128-pixel thumbnails of every picture in a folder as the index page asks for
// them (one request per picture, decodes on the scheduler's slots, stored in the shared
// cache) and reports pictures per second; then asks again and reports the cache's speed.
//   XDG_CACHE_HOME=$(mktemp -d) build/bench/probe_thumbnail_throughput FOLDER [LIMIT]
// bench/thumbnail_throughput.sh runs it beside gdk-pixbuf-thumbnailer on the same files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/pages/page_protocol.hpp"
#include "core/pages/picture_generators.hpp"
#include "platform/platform_init.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// All requests at once, as a screenful of thumbnails asks; returns seconds and failures.
double RunAll(const std::vector<std::string>& paths, int& failed)
{
    std::vector<std::thread> requests;
    std::vector<char> ok(paths.size(), 0);
    const auto t0 = Clock::now();
    // Requests arrive in waves of 64, as a page that is being scrolled asks for them.
    for (std::size_t first = 0; first < paths.size(); first += 64) {
        for (std::size_t i = first; i < paths.size() && i < first + 64; ++i) {
            requests.emplace_back([&, i] {
                ok[i] = !mev::CPageProtocol::RunGenerator(paths[i], mev::GenerateThumbnail128).empty();
            });
        }
        for (auto& request : requests)
            request.join();
        requests.clear();
    }
    failed = 0;
    for (char c : ok)
        failed += c ? 0 : 1;
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [LIMIT]\n", argv[0]);
        return 2;
    }
    const std::size_t limit = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000000;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.is_regular_file() && entry.path().extension() == ".jpg")
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    if (paths.size() > limit)
        paths.resize(limit);
    mev::InitPlatform();

    int failed = 0;
    const double cold = RunAll(paths, failed);
    const std::uint64_t decodes = mev::GetThumbnailDecodeCount();
    std::printf("mev cold   %zu pictures in %.2f s: %.1f pictures/s (%llu decodes, %d failed, %u threads)\n",
                paths.size(), cold, paths.size() / cold, static_cast<unsigned long long>(decodes), failed,
                std::thread::hardware_concurrency());
    const double warm = RunAll(paths, failed);
    std::printf("mev cached %zu pictures in %.2f s: %.1f pictures/s (%llu decodes)\n", paths.size(), warm,
                paths.size() / warm, static_cast<unsigned long long>(mev::GetThumbnailDecodeCount() - decodes));
    return 0;
}
