#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <utility>

namespace mev {

// Hands out a few decode slots (one per processor) to the requests that wait for one.
// The newest requests go first, since they are for what the user looks at now; requests
// that came within one short burst (a screenful asked for at once) go in the order they
// came, so a page fills from the top.
class CThumbnailScheduler {
public:
    explicit CThumbnailScheduler(unsigned slots);
    static CThumbnailScheduler& Instance();

    // Waits for a slot; false as soon as cancelled() turns true (checked whenever Wake or
    // Release is called) without taking one.
    bool Acquire(const std::function<bool()>& cancelled);
    void Release();
    // Makes waiters look at their cancel checks again.
    void Wake();

    // Holds a slot for a scope.
    class CSlot {
    public:
        CSlot(CThumbnailScheduler& scheduler, const std::function<bool()>& cancelled)
            : m_scheduler(scheduler), m_held(scheduler.Acquire(cancelled)) {}
        ~CSlot() { if (m_held) m_scheduler.Release(); }
        CSlot(const CSlot&) = delete;
        CSlot& operator=(const CSlot&) = delete;
        bool IsHeld() const { return m_held; }

    private:
        CThumbnailScheduler& m_scheduler;
        const bool m_held;
    };

private:
    // (burst, sequence): later bursts sort first, within a burst earlier requests do.
    using Ticket = std::pair<std::int64_t, std::uint64_t>;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    unsigned m_free;
    std::uint64_t m_sequence = 0;
    std::set<Ticket> m_waiting;
};

} // namespace mev
