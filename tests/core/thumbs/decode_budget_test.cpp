#include "core/thumbs/decode_budget.hpp"

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace mev {
namespace {

template <typename Condition>
void WaitUntil(Condition condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition() && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    ASSERT_TRUE(condition());
}

// A picture larger than the whole budget is refused at once; one that fits waits until
// the decodes under way have left room, and takes its turn before later ones.
TEST(DecodeBudget, RefusesWhatNeverFitsAndQueuesWhatFitsLater)
{
    CDecodeBudget budget(100);
    EXPECT_FALSE(budget.Take(101));
    ASSERT_TRUE(budget.Take(70));

    std::atomic<int> order{0};
    std::thread big([&] {
        ASSERT_TRUE(budget.Take(60));
        ++order;
        budget.Give(60);
    });
    // The big one waits for room; a small one after it, though it would fit, waits its turn.
    WaitUntil([&] { return budget.GetWaitingCount() == 1; });
    std::thread small([&] {
        ASSERT_TRUE(budget.Take(10));
        ++order;
        budget.Give(10);
    });
    // 10 would fit in the 30 left, but the big one is first.
    WaitUntil([&] { return budget.GetWaitingCount() == 2; });
    EXPECT_EQ(order, 0);
    budget.Give(70);
    big.join();
    small.join();
    EXPECT_EQ(budget.GetFree(), 100u);
    EXPECT_LE(CDecodeBudget::GetDefaultBytes(), 512ull << 20);
    EXPECT_GT(CDecodeBudget::GetDefaultBytes(), 0u);
}

} // namespace
} // namespace mev
