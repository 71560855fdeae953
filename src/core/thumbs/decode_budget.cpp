#include "core/thumbs/decode_budget.hpp"

#include <algorithm>

#include <unistd.h>

namespace mev {

namespace {

constexpr std::uint64_t DEFAULT_BUDGET = 512ull << 20;

} // namespace

std::uint64_t CDecodeBudget::GetDefaultBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return DEFAULT_BUDGET;
    const std::uint64_t physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    return std::min(DEFAULT_BUDGET, physical / 4);
}

CDecodeBudget& CDecodeBudget::Instance()
{
    // Never destroyed: decode workers may outlive the program's static objects.
    static auto* budget = new CDecodeBudget(GetDefaultBytes());
    return *budget;
}

bool CDecodeBudget::Take(std::uint64_t bytes)
{
    if (bytes > m_total)
        return false;
    std::unique_lock lock(m_mutex);
    // In turn: a large picture is not passed over for ever by small ones.
    const std::uint64_t ticket = m_nextTicket++;
    m_changed.wait(lock, [&] { return m_serving == ticket && m_free >= bytes; });
    m_free -= bytes;
    ++m_serving;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void CDecodeBudget::Give(std::uint64_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_free = std::min(m_total, m_free + bytes);
    }
    m_changed.notify_all();
}

std::uint64_t CDecodeBudget::GetWaitingCount()
{
    std::lock_guard lock(m_mutex);
    return m_nextTicket - m_serving;
}

std::uint64_t CDecodeBudget::GetFree()
{
    std::lock_guard lock(m_mutex);
    return m_free;
}

} // namespace mev
