#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace mev {

// The first-in-first-out byte buffer between a page worker (appending) and the browser
// (taking from the front). Every operation takes the mutex, so both sides may run at once.
class CPageBuffer {
public:
    static constexpr std::uint32_t GROWTH_STEP = 8192;

    CPageBuffer();
    CPageBuffer(const CPageBuffer&) = delete;
    CPageBuffer& operator=(const CPageBuffer&) = delete;

    // The number of unread bytes after the append, or nothing when the block could not
    // grow (the buffer is then unchanged).
    std::optional<std::uint32_t> Append(std::string_view bytes);

    // Copies up to size unread bytes from the front into dest; returns how many.
    std::uint32_t Take(void* dest, std::uint32_t size);

    void Clear();

    std::uint32_t Capacity() const;
    std::uint32_t Used() const;
    std::uint64_t BytesRead() const;
    std::uint64_t BytesWritten() const;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<char[]> m_data;
    std::uint32_t m_capacity = 0;
    // Unread bytes start at m_start; Take advances it instead of moving the rest forward
    // on every read, and the next growth or a tight append moves them back to the front.
    std::uint32_t m_start = 0;
    std::uint32_t m_used = 0;
    std::uint64_t m_bytesRead = 0;
    std::uint64_t m_bytesWritten = 0;
};

} // namespace mev
