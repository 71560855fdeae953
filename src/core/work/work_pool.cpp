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
    : m_state(std::make_shared<State>(std::max(1u, threads), std::max<std::size_t>(1, capacity)))
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
    State& state = *m_state;
    std::vector<Entry> purged;
    bool posted = false;
    {
        std::lock_guard lock(state.mutex);
        if (state.stopping)
            return false;
        // Requests that were called off while they waited make room first.
        if (state.queue.size() >= state.capacity)
            purged = TakeCancelled(state);
        if (state.queue.size() < state.capacity) {
            const Key key{priority, state.sequence++};
            state.queue.emplace(key, Entry{std::move(run), std::move(dropped), std::move(token)});
            posted = true;
            if (state.idleThreads < state.queue.size() && state.threads.size() < state.threadLimit) {
                try {
                    state.threads.emplace_back([shared = m_state] { Serve(shared); });
                    ++state.liveThreads;
                } catch (const std::system_error&) {
                    if (state.threads.empty()) {
                        // Nothing would ever run it.
                        state.queue.erase(key);
                        posted = false;
                    }
                }
            }
        }
    }
    if (posted)
        state.changed.notify_all();
    Drop(purged);
    return posted;
}

std::vector<CWorkPool::Entry> CWorkPool::TakeCancelled(State& state)
{
    std::vector<Entry> taken;
    for (auto it = state.queue.begin(); it != state.queue.end();) {
        if (it->second.token.IsCancelled()) {
            taken.push_back(std::move(it->second));
            it = state.queue.erase(it);
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

void CWorkPool::Serve(const std::shared_ptr<State>& shared)
{
    State& state = *shared;
    std::unique_lock lock(state.mutex);
    for (;;) {
        ++state.idleThreads;
        state.changed.wait(lock, [&] { return state.stopping || !state.queue.empty(); });
        --state.idleThreads;
        if (state.queue.empty())
            break; // stopping, and Stop has taken whatever waited
        auto first = state.queue.begin();
        const std::uint64_t id = first->first.second;
        Entry entry = std::move(first->second);
        state.queue.erase(first);
        ++state.busy;
        const bool cancelled = entry.token.IsCancelled() || state.stopping;
        if (!cancelled)
            state.running.emplace(id, entry.token);
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
        state.running.erase(id);
        --state.busy;
        state.changed.notify_all();
    }
    --state.liveThreads;
    state.changed.notify_all();
}

bool CWorkPool::Stop(const Waker& waker, std::chrono::milliseconds limit)
{
    State& state = *m_state;
    std::vector<Entry> queued;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(state.mutex);
        state.stopping = true;
        for (auto& entry : state.queue)
            queued.push_back(std::move(entry.second));
        state.queue.clear();
        for (const auto& running : state.running)
            running.second.Cancel();
        threads.swap(state.threads);
    }
    state.changed.notify_all();
    Drop(queued);
    if (waker)
        waker();
    bool ended = false;
    {
        std::unique_lock lock(state.mutex);
        // A task that stops its own pool: its thread cannot end before this returns.
        bool onPoolThread = false;
        for (const std::thread& thread : threads)
            onPoolThread = onPoolThread || thread.get_id() == std::this_thread::get_id();
        const unsigned self = onPoolThread ? 1 : 0;
        ended = state.changed.wait_for(lock, limit, [&] { return state.liveThreads <= self; }) && self == 0;
    }
    for (std::thread& thread : threads) {
        if (ended)
            thread.join();
        else
            thread.detach(); // see JOIN_LIMIT
    }
    return ended;
}

bool CWorkPool::IsStopped() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->stopping;
}

bool CWorkPool::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout, [this] { return m_state->queue.empty() && m_state->busy == 0; });
}

std::size_t CWorkPool::GetQueuedCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->queue.size();
}

} // namespace mev
