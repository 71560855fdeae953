#include "core/files/huge_pages.hpp"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mev {
namespace {

TEST(HugePageBytes, RoomTakenStaysWhereItIsAndKeepsItsBytes)
{
    // Pieces from small to larger than any block: each keeps what was written to it
    // while the blocks behind it fill and new ones are added.
    CHugePageBytes bytes;
    std::vector<std::pair<char*, std::string>> taken;
    for (std::size_t i = 0; i < 1000; ++i) {
        const std::size_t size = i == 500 ? (std::size_t{20} << 20) : 1 + (i * 7919) % 20000;
        char* room = bytes.Take(size);
        std::string text(size, static_cast<char>('a' + i % 26));
        std::memcpy(room, text.data(), size);
        taken.emplace_back(room, std::move(text));
    }
    for (const auto& [room, text] : taken)
        ASSERT_EQ(std::memcmp(room, text.data(), text.size()), 0);
}

} // namespace
} // namespace mev
