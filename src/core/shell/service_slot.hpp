#pragma once

#include <memory>
#include <mutex>

namespace mev {

// A process-wide service installed once at start-up (or by a test) and read from any
// thread: readers take their own reference, so a replacement never frees one in use.
template <class T>
class CServiceSlot {
public:
    void Set(std::shared_ptr<T> value) { std::lock_guard lock(m_mutex); m_value = std::move(value); }
    std::shared_ptr<T> Get() const { std::lock_guard lock(m_mutex); return m_value; }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<T> m_value;
};

} // namespace mev
