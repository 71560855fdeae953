#pragma once

#include <functional>
#include <memory>

namespace mev {

class CLifetimeGuard;

// Names the owner of posted work without keeping it alive. Taken from the owner's guard
// on the main thread; copied to and used from any thread.
class CUiOwner {
public:
    CUiOwner() = default; // owns nothing: its tasks never run

private:
    friend class CLifetimeGuard;
    friend void PostToUi(const CUiOwner& owner, std::function<void()> task, int priority);
    explicit CUiOwner(std::weak_ptr<char> alive) : m_alive(std::move(alive)) {}
    std::weak_ptr<char> m_alive;
};

// What a window object holds, as a member, so that work started for it can hand results
// back. It is destroyed with its owner, on the main thread.
class CLifetimeGuard {
public:
    CLifetimeGuard() : m_alive(std::make_shared<char>(0)) {}
    CLifetimeGuard(const CLifetimeGuard&) = delete;
    CLifetimeGuard& operator=(const CLifetimeGuard&) = delete;
    CUiOwner Owner() const { return CUiOwner(m_alive); }

private:
    std::shared_ptr<char> m_alive;
};

// The one way back to the window from any thread: runs task on the main context's loop
// (never inside this call, even on the main thread), once, at the GLib priority given.
// The lifetime rule: the task runs only if the owner's guard still exists when its turn
// comes; a task for an owner destroyed meanwhile is destroyed, on the main thread,
// without running. Tasks posted from one thread at one priority run in that order.
void PostToUi(const CUiOwner& owner, std::function<void()> task, int priority = 0);

} // namespace mev
