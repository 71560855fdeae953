#include "core/work/work_pool.hpp"

#include <algorithm>
#include <system_error>

namespace mev {

CCancelToken::CCancelToken() : m_flag(std::make_shared<std::atomic<bool>>(false)) {}

void CCancelToken::Cancel() const
{
    m_flag->store(true, std::memory_order_release);
}

bool CCancelToken::IsCancelled() const
{
    return m_flag->load(std::memory_order_acquire);
}

CWorkPool::CWorkPool(unsigned threads, std::size_t capacity)
    : m_threadLimit(std::max(1u, threads)), m_capacity(std::max<std::size_t>(1, capacity))
{
}

CWorkPool::~CWorkPool()
{
    Stop();
}

bool CWorkPool::Post(Task run, CCancelToken token, Task dropped, int priority)
{
    if (!run)
        return false;
    std::vector<Entry> purged;
    bool posted = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        // Requests that were called off while they waited make room first.
        if (m_queue.size() >= m_capacity)
            purged = TakeCancelled();
        if (m_queue.size() < m_capacity) {
            const Key key{priority, m_sequence++};
            m_queue.emplace(key, Entry{std::move(run), std::move(dropped), std::move(token)});
            posted = true;
            if (m_idleThreads < m_queue.size() && m_threads.size() < m_threadLimit) {
                try {
                    m_threads.emplace_back([this] { Serve(); });
                } catch (const std::system_error&) {
                    if (m_threads.empty()) {
                        // Nothing would ever run it.
                        m_queue.erase(key);
                        posted = false;
                    }
                }
            }
        }
    }
    if (posted)
        m_changed.notify_all();
    Drop(purged);
    return posted;
}

std::vector<CWorkPool::Entry> CWorkPool::TakeCancelled()
{
    std::vector<Entry> taken;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->second.token.IsCancelled()) {
            taken.push_back(std::move(it->second));
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void CWorkPool::Drop(std::vector<Entry>& entries)
{
    for (Entry& entry : entries) {
        if (!entry.dropped)
            continue;
        try {
            entry.dropped();
        } catch (...) {
        }
    }
    entries.clear();
}

void CWorkPool::Serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idleThreads;
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        --m_idleThreads;
        if (m_queue.empty())
            return; // stopping, and Stop has taken whatever waited
        auto first = m_queue.begin();
        const std::uint64_t id = first->first.second;
        Entry entry = std::move(first->second);
        m_queue.erase(first);
        ++m_busy;
        const bool cancelled = entry.token.IsCancelled() || m_stopping;
        if (!cancelled)
            m_running.emplace(id, entry.token);
        lock.unlock();
        try {
            if (cancelled) {
                if (entry.dropped)
                    entry.dropped();
            } else {
                entry.run();
            }
        } catch (...) {
            // A task that throws ends; the thread serves the next one.
        }
        entry = Entry{}; // what the task held goes before it counts as done
        lock.lock();
        m_running.erase(id);
        --m_busy;
        m_changed.notify_all();
    }
}

void CWorkPool::Stop(const Waker& waker)
{
    std::vector<Entry> queued;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto& entry : m_queue)
            queued.push_back(std::move(entry.second));
        m_queue.clear();
        for (const auto& running : m_running)
            running.second.Cancel();
        threads.swap(m_threads);
    }
    m_changed.notify_all();
    Drop(queued);
    if (waker)
        waker();
    for (std::thread& thread : threads) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach(); // a task stopping its own pool: the rest are joined
        else if (thread.joinable())
            thread.join();
    }
}

bool CWorkPool::IsStopped() const
{
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

bool CWorkPool::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_queue.empty() && m_busy == 0; });
}

std::size_t CWorkPool::GetQueuedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

} // namespace mev
