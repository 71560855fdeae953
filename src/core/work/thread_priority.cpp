#include "core/work/thread_priority.hpp"

#include <atomic>
#include <system_error>
#include <thread>

namespace mev {

namespace {
std::atomic<void (*)()> g_lower{nullptr};
} // namespace

void RunOnThreadOfItsOwn(const std::function<void()>& job)
{
    std::thread thread;
    try {
        thread = std::thread(job);
    } catch (const std::system_error&) {
        job();
        return;
    }
    thread.join();
}

void LowerThisThreadPriority()
{
    if (auto lower = g_lower.load())
        lower();
}

void SetThreadLowering(void (*lower)())
{
    g_lower.store(lower);
}

} // namespace mev
