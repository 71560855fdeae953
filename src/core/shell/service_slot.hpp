#pragma once

#include <memory>
#include <mutex>

namespace mev {

// A process-wide service installed once at start-up (or by a test) and read from any
// thread: readers take their own reference, so a replacement never frees one in use.
// The slot itself is never destroyed: workers that are still running when the program
// ends (a thumbnail being decoded, a folder being listed) may read it after static
// objects have gone, and must not find the service freed under them.
template <class T>
class CServiceSlot {
public:
    constexpr CServiceSlot() : m_state() {}
    // Leaves the service in place (see above).
    ~CServiceSlot() {}
    CServiceSlot(const CServiceSlot&) = delete;
    CServiceSlot& operator=(const CServiceSlot&) = delete;

    void Set(std::shared_ptr<T> value)
    {
        std::lock_guard lock(m_state.mutex);
        m_state.value = std::move(value);
    }
    std::shared_ptr<T> Get() const
    {
        std::lock_guard lock(m_state.mutex);
        return m_state.value;
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::shared_ptr<T> value;
    };
    // A union member is not destroyed with the slot; it is set up before any code runs.
    union {
        State m_state;
    };
};

} // namespace mev
