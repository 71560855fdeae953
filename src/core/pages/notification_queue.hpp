#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "core/pages/page_sink.hpp"

namespace mev {

// Delivers a request's data notifications as a job of the background work's notice lane,
// in the order they were posted, so the worker never waits for the browser. A delivering
// job holds the queue and each notification holds its sink, so neither outlives what it
// uses. When the background work stops first, what waits is dropped.
class CNotificationQueue : public std::enable_shared_from_this<CNotificationQueue> {
public:
    void Post(std::shared_ptr<IPageSink> sink, std::uint32_t flags, std::uint64_t progress,
              std::uint64_t maximum);

    // True once nothing is queued or being delivered, within the time.
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const;

private:
    struct Notification {
        std::shared_ptr<IPageSink> sink;
        std::uint32_t flags = 0;
        std::uint64_t progress = 0;
        std::uint64_t maximum = 0;
    };

    void Deliver();
    void Discard();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_idle;
    std::deque<Notification> m_pending;
    bool m_delivering = false;
};

} // namespace mev
