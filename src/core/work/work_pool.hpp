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
    // How long Stop waits for running tasks. A thread still in a call that cannot be
    // interrupted after it (a read from a dead network mount) is left to the process's
    // end rather than holding quitting up for ever; what it uses of the pool stays.
    static constexpr std::chrono::seconds JOIN_LIMIT{10};

    CWorkPool(unsigned threads, std::size_t capacity);
    ~CWorkPool();
    CWorkPool(const CWorkPool&) = delete;
    CWorkPool& operator=(const CWorkPool&) = delete;

    // False, with neither function called, when the pool has stopped or its queue is full.
    bool Post(Task run, CCancelToken token = {}, Task dropped = {}, int priority = 0);
    // True when every thread was joined within the limit.
    bool Stop(const Waker& waker = {}, std::chrono::milliseconds limit = JOIN_LIMIT);
    bool IsStopped() const;

    // True once nothing is queued or running, within the time.
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const;
    std::size_t GetQueuedCount() const;
    unsigned GetThreadLimit() const { return m_state->threadLimit; }

private:
    struct Entry {
        Task run;
        Task dropped;
        CCancelToken token;
    };
    using Key = std::pair<int, std::uint64_t>; // (priority, arrival)

    // Shared with the threads, so that one left running after Stop finds it in place.
    struct State {
        State(unsigned threads, std::size_t capacity) : threadLimit(threads), capacity(capacity) {}
        const unsigned threadLimit;
        const std::size_t capacity;
        std::mutex mutex;
        std::condition_variable changed;
        std::map<Key, Entry> queue;
        std::uint64_t sequence = 0;
        std::vector<std::thread> threads;
        std::map<std::uint64_t, CCancelToken> running; // the tokens of the tasks under way
        unsigned liveThreads = 0;
        unsigned idleThreads = 0;
        unsigned busy = 0; // threads running or dropping a task
        bool stopping = false;
    };

    static void Serve(const std::shared_ptr<State>& state);
    // Moves the cancelled entries out of the queue (under the lock).
    static std::vector<Entry> TakeCancelled(State& state);
    static void Drop(std::vector<Entry>& entries);

    const std::shared_ptr<State> m_state;
};

} // namespace mev
