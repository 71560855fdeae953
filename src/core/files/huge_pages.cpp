#include "core/files/huge_pages.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace mev {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{1} << 21;
// A small folder's keys fit in the first block, which is not worth a huge page.
constexpr std::size_t FIRST_BLOCK = HUGE_PAGE / 4;
constexpr std::size_t LARGEST_BLOCK = 8 * HUGE_PAGE;

} // namespace

void AdviseHugePages(const void* data, std::size_t size)
{
#ifdef MADV_HUGEPAGE
    const auto start = (reinterpret_cast<std::uintptr_t>(data) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(HUGE_PAGE - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void CHugePageBytes::Free::operator()(char* block) const
{
    std::free(block);
}

char* CHugePageBytes::Take(std::size_t size)
{
    if (m_blocks.empty() || m_size - m_used < size) {
        const std::size_t grown = m_blocks.empty() ? FIRST_BLOCK : std::min(2 * m_size, LARGEST_BLOCK);
        const std::size_t blockSize = size > grown ? (size + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1) : grown;
        const std::size_t alignment = blockSize >= HUGE_PAGE ? HUGE_PAGE : 64;
        char* block = static_cast<char*>(std::aligned_alloc(alignment, blockSize));
        if (block == nullptr)
            throw std::bad_alloc();
        AdviseHugePages(block, blockSize);
        m_blocks.emplace_back(block);
        m_used = 0;
        m_size = blockSize;
    }
    char* room = m_blocks.back().get() + m_used;
    m_used += size;
    return room;
}

} // namespace mev
