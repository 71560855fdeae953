#pragma once

// Files a person's folders can hold besides plain files: FIFOs and links to devices,
// under the names of pictures and tunes. Code that opens them the plain way blocks or
// reads for ever, so tests run that code under a time limit.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace mev::test {

inline bool MakeFifo(const std::string& path)
{
    return mkfifo(path.c_str(), 0600) == 0;
}

inline bool MakeLink(const std::string& target, const std::string& path)
{
    return symlink(target.c_str(), path.c_str()) == 0;
}

// Runs work on a thread of its own; false when it has not finished within the limit. The
// thread is then left to itself (stuck in a read, it cannot be stopped), and the test fails.
inline bool FinishesWithin(std::function<void()> work, std::chrono::seconds limit = std::chrono::seconds(30))
{
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    std::thread([state, work = std::move(work)] {
        work();
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->done.wait_for(lock, limit, [&] { return state->finished; });
}

} // namespace mev::test
