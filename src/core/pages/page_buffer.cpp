#include "core/pages/page_buffer.hpp"

#include <cstring>
#include <limits>
#include <new>

namespace mev {

CPageBuffer::CPageBuffer()
    : m_data(new char[GROWTH_STEP])
    , m_capacity(GROWTH_STEP)
{
}

std::optional<std::uint32_t> CPageBuffer::Append(std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    constexpr std::uint64_t LIMIT = std::numeric_limits<std::uint32_t>::max() - GROWTH_STEP * 2ULL;
    const std::uint64_t needed = std::uint64_t(m_used) + bytes.size();
    if (needed > LIMIT)
        return std::nullopt;
    if (needed >= m_capacity) {
        // Grow in whole steps of 8192 bytes, always to more than is needed.
        std::uint64_t size = std::uint64_t(m_capacity) + GROWTH_STEP;
        if (size <= needed)
            size += (needed - m_capacity) / GROWTH_STEP * GROWTH_STEP;
        std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
        if (!block)
            return std::nullopt;
        if (m_used > 0)
            std::memcpy(block.get(), m_data.get() + m_start, m_used);
        m_data = std::move(block);
        m_capacity = static_cast<std::uint32_t>(size);
        m_start = 0;
    } else if (m_start + needed > m_capacity) {
        std::memmove(m_data.get(), m_data.get() + m_start, m_used);
        m_start = 0;
    }
    if (!bytes.empty())
        std::memcpy(m_data.get() + m_start + m_used, bytes.data(), bytes.size());
    m_used = static_cast<std::uint32_t>(needed);
    m_bytesWritten += bytes.size();
    return m_used;
}

std::uint32_t CPageBuffer::Take(void* dest, std::uint32_t size)
{
    std::lock_guard lock(m_mutex);
    if (m_used == 0 || size == 0 || dest == nullptr)
        return 0;
    const std::uint32_t count = size < m_used ? size : m_used;
    std::memcpy(dest, m_data.get() + m_start, count);
    m_used -= count;
    m_start = m_used == 0 ? 0 : m_start + count;
    m_bytesRead += count;
    return count;
}

void CPageBuffer::Clear()
{
    std::lock_guard lock(m_mutex);
    m_start = 0;
    m_used = 0;
}

std::uint32_t CPageBuffer::Capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_capacity;
}

std::uint32_t CPageBuffer::Used() const
{
    std::lock_guard lock(m_mutex);
    return m_used;
}

std::uint64_t CPageBuffer::BytesRead() const
{
    std::lock_guard lock(m_mutex);
    return m_bytesRead;
}

std::uint64_t CPageBuffer::BytesWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_bytesWritten;
}

} // namespace mev
