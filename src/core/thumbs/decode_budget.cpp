#include "core/thumbs/decode_budget.hpp"

#include <algorithm>
#include <fstream>
#include <string>

namespace mev {

namespace {

constexpr std::uint64_t DEFAULT_BUDGET = 512ull << 20;

} // namespace

std::uint64_t CDecodeBudget::GetDefaultBytes()
{
    // The kernel's "MemTotal:  16318480 kB" line: the machine's physical memory.
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    while (meminfo >> key) {
        if (key == "MemTotal:" && meminfo >> kilobytes)
            break;
        meminfo.ignore(256, '\n');
    }
    if (kilobytes == 0)
        return DEFAULT_BUDGET;
    return std::min(DEFAULT_BUDGET, kilobytes * 1024 / 4);
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
