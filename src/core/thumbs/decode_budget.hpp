#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace mev {

// The memory all decodes together may take, in bytes. A picture's header tells what its
// decode will need before any pixel memory is taken: more than the whole budget and it
// is never decoded; otherwise it waits until the decodes under way leave room for it.
// Caps by pixels alone let a few large pictures side by side take gigabytes.
class CDecodeBudget {
public:
    explicit CDecodeBudget(std::uint64_t bytes) : m_total(bytes), m_free(bytes) {}
    // 512 MB, or a quarter of the physical memory when that is less.
    static CDecodeBudget& Instance();
    static std::uint64_t GetDefaultBytes();

    // False at once when bytes exceed the whole budget; else waits for room and takes it.
    bool Take(std::uint64_t bytes);
    void Give(std::uint64_t bytes);
    std::uint64_t GetTotal() const { return m_total; }
    std::uint64_t GetFree();
    // How many wait for room.
    std::uint64_t GetWaitingCount();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::uint64_t m_total;
    std::uint64_t m_free;
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_serving = 0;
};

// Budget taken for one decode, given back when it goes.
class CDecodeMemory {
public:
    CDecodeMemory(CDecodeBudget& budget, std::uint64_t bytes) : m_budget(budget), m_bytes(bytes), m_held(budget.Take(bytes)) {}
    ~CDecodeMemory()
    {
        if (m_held)
            m_budget.Give(m_bytes);
    }
    CDecodeMemory(const CDecodeMemory&) = delete;
    CDecodeMemory& operator=(const CDecodeMemory&) = delete;
    bool IsHeld() const { return m_held; }

private:
    CDecodeBudget& m_budget;
    const std::uint64_t m_bytes;
    const bool m_held;
};

} // namespace mev
