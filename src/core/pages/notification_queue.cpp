#include "core/pages/notification_queue.hpp"

#include "core/work/background_work.hpp"

namespace mev {

void CNotificationQueue::Post(std::shared_ptr<IPageSink> sink, std::uint32_t flags,
                              std::uint64_t progress, std::uint64_t maximum)
{
    if (!sink)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back({std::move(sink), flags, progress, maximum});
        if (m_delivering)
            return;
        m_delivering = true;
    }
    auto self = shared_from_this();
    if (!CBackgroundWork::Get().GetPool(CBackgroundWork::Lane::Notices).Post([self] { self->Deliver(); }, {},
                                                                             [self] { self->Discard(); })) {
        // No room in the queue: deliver from the posting thread rather than lose the
        // notification and leave the browser waiting.
        Deliver();
    }
}

void CNotificationQueue::Discard()
{
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    m_delivering = false;
    m_idle.notify_all();
}

bool CNotificationQueue::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return !m_delivering; });
}

void CNotificationQueue::Deliver()
{
    for (;;) {
        Notification next;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                m_delivering = false;
                m_idle.notify_all();
                return;
            }
            next = std::move(m_pending.front());
            m_pending.pop_front();
        }
        try {
            next.sink->ReportData(next.flags, next.progress, next.maximum);
        } catch (...) {
            // A sink that throws loses this notification only; the thread must not die.
        }
    }
}

} // namespace mev
