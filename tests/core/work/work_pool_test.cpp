#include "core/work/work_pool.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "wait_until.hpp"

namespace mev {
namespace {

using namespace std::chrono_literals;

// Holds the pool's only thread until opened.
class CGate {
public:
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    bool WaitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 30s, [this] { return m_waiting; });
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_waiting = false;
    bool m_open = false;
};

TEST(WorkPoolTest, ACancelledTaskIsDroppedAndTheOthersRunByPriorityThenArrival)
{
    CWorkPool pool(1, 16);
    CGate gate;
    std::string order;
    ASSERT_TRUE(pool.Post([&] { gate.Wait(); }));
    ASSERT_TRUE(gate.WaitUntilHeld());
    CCancelToken cancelled;
    bool dropped = false;
    ASSERT_TRUE(pool.Post([&] { order += 'x'; }, cancelled, [&] { dropped = true; }));
    ASSERT_TRUE(pool.Post([&] { order += 'b'; }, {}, {}, 1));
    ASSERT_TRUE(pool.Post([&] { order += 'c'; }, {}, {}, 1));
    ASSERT_TRUE(pool.Post([&] { order += 'a'; }, {}, {}, 0));
    cancelled.Cancel();
    gate.Open();
    ASSERT_TRUE(pool.WaitUntilIdle(30s));
    EXPECT_EQ(order, "abc");
    EXPECT_TRUE(dropped);
}

TEST(WorkPoolTest, TheQueueIsBoundedAndCalledOffTasksMakeRoom)
{
    CWorkPool pool(1, 2);
    CGate gate;
    ASSERT_TRUE(pool.Post([&] { gate.Wait(); }));
    ASSERT_TRUE(gate.WaitUntilHeld());
    CCancelToken token;
    std::atomic<int> ran{0};
    ASSERT_TRUE(pool.Post([&] { ++ran; }, token));
    ASSERT_TRUE(pool.Post([&] { ++ran; }));
    EXPECT_FALSE(pool.Post([&] { ++ran; }));
    token.Cancel();
    EXPECT_TRUE(pool.Post([&] { ++ran; }));
    gate.Open();
    ASSERT_TRUE(pool.WaitUntilIdle(30s));
    EXPECT_EQ(ran.load(), 2);
}

TEST(WorkPoolTest, StopCancelsTheRunningDropsTheQueuedAndJoins)
{
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> queuedDropped{false};
    bool woken = false;
    CWorkPool pool(1, 8);
    CCancelToken token;
    ASSERT_TRUE(pool.Post(
        [&, token] {
            started = true;
            while (!token.IsCancelled())
                std::this_thread::yield();
            std::this_thread::sleep_for(50ms); // Stop must still wait for this
            ended = true;
        },
        token));
    ASSERT_TRUE(pool.Post([&] { queuedRan = true; }, {}, [&] { queuedDropped = true; }));
    ASSERT_TRUE(test::WaitUntil([&] { return started.load(); }));
    pool.Stop([&] { woken = true; });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(woken);
    EXPECT_FALSE(queuedRan);
    EXPECT_TRUE(queuedDropped);
    EXPECT_FALSE(pool.Post([] {}));
}

// A task stuck where no token reaches it does not hold Stop up past its limit; its thread
// ends later on the pool's state, which stays in place for it.
TEST(WorkPoolTest, StopGivesUpOnAStuckTaskAndItEndsSafelyLater)
{
    auto gate = std::make_shared<CGate>();
    {
        CWorkPool pool(1, 4);
        ASSERT_TRUE(pool.Post([gate] { gate->Wait(); }));
        ASSERT_TRUE(gate->WaitUntilHeld());
        EXPECT_FALSE(pool.Stop({}, 50ms));
    }
    gate->Open();
    EXPECT_TRUE(test::WaitUntil([&] { return gate.use_count() == 1; }));
}

} // namespace
} // namespace mev
