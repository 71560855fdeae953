#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace mev {

// Shared by a task and whoever may call it off. Copies share one flag; a default one is
// fresh, not cancelled.
class CCancelToken {
public:
    CCancelToken();
    void Cancel() const;
    bool IsCancelled() const;

private:
    std::shared_ptr<std::atomic<bool>> m_flag;
};

// A fixed number of threads serving a bounded queue. Tasks run by priority (lower first),
// each priority in the order posted. A task whose token is cancelled before it starts
// does not run: its "dropped" function runs instead, so that its owner can tidy up.
// Stop cancels the running tasks' tokens, drops whatever waits and joins the threads;
// the destructor stops. Threads start as work arrives, up to the fixed number.
class CWorkPool {
public:
    using Task = std::function<void()>;
    // Called by Stop after the running tasks' tokens are cancelled and before it joins:
    // for tasks that wait on something other than their token.
    using Waker = std::function<void()>;

    CWorkPool(unsigned threads, std::size_t capacity);
    ~CWorkPool();
    CWorkPool(const CWorkPool&) = delete;
    CWorkPool& operator=(const CWorkPool&) = delete;

    // False, with neither function called, when the pool has stopped or its queue is full.
    bool Post(Task run, CCancelToken token = {}, Task dropped = {}, int priority = 0);
    void Stop(const Waker& waker = {});
    bool IsStopped() const;

    // True once nothing is queued or running, within the time.
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const;
    std::size_t GetQueuedCount() const;
    unsigned GetThreadLimit() const { return m_threadLimit; }

private:
    struct Entry {
        Task run;
        Task dropped;
        CCancelToken token;
    };
    using Key = std::pair<int, std::uint64_t>; // (priority, arrival)

    void Serve();
    // Moves the cancelled entries out of the queue (under the lock).
    std::vector<Entry> TakeCancelled();
    static void Drop(std::vector<Entry>& entries);

    const unsigned m_threadLimit;
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::map<Key, Entry> m_queue;
    std::uint64_t m_sequence = 0;
    std::vector<std::thread> m_threads;
    std::map<std::uint64_t, CCancelToken> m_running; // the tokens of the tasks under way
    unsigned m_idleThreads = 0;
    unsigned m_busy = 0; // threads running or dropping a task
    bool m_stopping = false;
};

} // namespace mev
