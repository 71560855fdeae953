#include "core/pages/page_buffer.hpp"

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace mev {
namespace {

TEST(PageBuffer, GrowsInStepsOf8192)
{
    struct Case {
        std::uint32_t first;
        std::uint32_t second;
        std::uint32_t capacity;
    };
    const Case cases[] = {
        {0, 0, 8192},
        {8191, 0, 8192},
        {8191, 1, 16384},     // used + length reaching the capacity grows it
        {8192, 0, 16384},
        {20000, 0, 24576},    // more than one step at once
        {16384, 0, 24576},
        {100, 40000, 40960},
    };
    for (const auto& c : cases) {
        CPageBuffer buffer;
        EXPECT_EQ(buffer.Capacity(), 8192u);
        EXPECT_EQ(buffer.Append(std::string(c.first, 'a')), c.first);
        EXPECT_EQ(buffer.Append(std::string(c.second, 'b')), c.first + c.second);
        EXPECT_EQ(buffer.Capacity(), c.capacity) << c.first << "+" << c.second;
        EXPECT_GT(buffer.Capacity(), buffer.Used());
    }
}

TEST(PageBuffer, FirstInFirstOutWithCounters)
{
    CPageBuffer buffer;
    char out[16] = {};
    EXPECT_EQ(buffer.Take(out, sizeof out), 0u);
    buffer.Append("hello ");
    buffer.Append("world");
    EXPECT_EQ(buffer.Take(out, 0), 0u);
    EXPECT_EQ(buffer.Take(out, 3), 3u);
    EXPECT_EQ(std::string(out, 3), "hel");
    buffer.Append("!");
    EXPECT_EQ(buffer.Used(), 9u);
    // Asking for more than waits gives everything that waits.
    EXPECT_EQ(buffer.Take(out, sizeof out), 9u);
    EXPECT_EQ(std::string(out, 9), "lo world!");
    EXPECT_EQ(buffer.Used(), 0u);
    EXPECT_EQ(buffer.BytesWritten(), 12u);
    EXPECT_EQ(buffer.BytesRead(), 12u);
}

// Data read in small pieces while more is appended (and the block moves) stays in order.
TEST(PageBuffer, PartialReadsAcrossGrowthKeepOrder)
{
    CPageBuffer buffer;
    std::string expected;
    std::string got;
    char out[700];
    for (int i = 0; i < 400; ++i) {
        const std::string piece = std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), char('a' + i % 26)) + ";";
        expected += piece;
        ASSERT_TRUE(buffer.Append(piece));
        if (i % 3 == 0) {
            const auto n = buffer.Take(out, static_cast<std::uint32_t>(50 + i % 600));
            got.append(out, n);
        }
    }
    while (auto n = buffer.Take(out, sizeof out))
        got.append(out, n);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(buffer.BytesRead(), expected.size());
}

TEST(PageBuffer, ConcurrentAppendAndTake)
{
    CPageBuffer buffer;
    std::string expected;
    for (int i = 0; i < 20000; ++i)
        expected += std::to_string(i) + ",";
    std::thread writer([&] {
        for (std::size_t pos = 0; pos < expected.size(); pos += 37)
            buffer.Append(std::string_view(expected).substr(pos, 37));
    });
    std::string got;
    char out[1000];
    // A writer that stalls fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
    while (got.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        const auto n = buffer.Take(out, sizeof out);
        got.append(out, n);
        if (n == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(got, expected);
}

} // namespace
} // namespace mev
