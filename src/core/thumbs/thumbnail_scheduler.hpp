#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <utility>

namespace mev {

// Hands out a few decode slots (one per processor) to the requests that wait for one:
// urgent ones (what is on screen) before the others (what is near it), each in the order
// they came, so a page fills from the top. A page cancels the requests it no longer
// needs, so whatever waits is still wanted.
class CThumbnailScheduler {
public:
    explicit CThumbnailScheduler(unsigned slots);

    // Waits for a slot; false as soon as cancelled() turns true (checked whenever Wake or
    // Release is called) without taking one.
    bool Acquire(const std::function<bool()>& cancelled, bool urgent = true);
    void Release();
    // Makes waiters look at their cancel checks again.
    void Wake();
    std::size_t GetWaitingCount();

private:
    // (0 for urgent, 1 for the others; arrival)
    using Ticket = std::pair<int, std::uint64_t>;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    unsigned m_free;
    std::uint64_t m_sequence = 0;
    std::set<Ticket> m_waiting;
};

} // namespace mev
