#pragma once

// Waiting in the tests whose other threads bring about what they wait for.
#include <chrono>
#include <functional>
#include <thread>

namespace mev::test {

// Polls cond about every millisecond until it holds (true) or timeoutMs passed (false).
// The limit is only reached when the code is wrong: it is there so that a fault fails
// the test instead of hanging the run, and is long enough for a busy machine.
inline bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 45000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace mev::test
