#include "core/thumbs/thumbnail_scheduler.hpp"

#include <algorithm>

namespace mev {

CThumbnailScheduler::CThumbnailScheduler(unsigned slots) : m_free(std::max(1u, slots)) {}

bool CThumbnailScheduler::Acquire(const std::function<bool()>& cancelled, bool urgent)
{
    std::unique_lock lock(m_mutex);
    const Ticket ticket{urgent ? 0 : 1, m_sequence++};
    m_waiting.insert(ticket);
    m_changed.wait(lock, [&] { return cancelled() || (m_free > 0 && *m_waiting.begin() == ticket); });
    m_waiting.erase(ticket);
    if (cancelled()) {
        m_changed.notify_all(); // the next in line may be first now
        return false;
    }
    --m_free;
    if (m_free > 0)
        m_changed.notify_all();
    return true;
}

void CThumbnailScheduler::Release()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_free;
    }
    m_changed.notify_all();
}

std::size_t CThumbnailScheduler::GetWaitingCount()
{
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

void CThumbnailScheduler::Wake()
{
    {
        std::lock_guard lock(m_mutex); // a waiter between its check and its sleep sees it
    }
    m_changed.notify_all();
}

} // namespace mev
