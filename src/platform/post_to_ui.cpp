#include "platform/post_to_ui.hpp"

#include <glib.h>

// GLib's locks are invisible to ThreadSanitizer: the hand-over is declared to it, so that
// what a job wrote before posting is seen as ordered before the task that reads it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define MEV_TSAN_ACQUIRE(address) __tsan_acquire(address)
#define MEV_TSAN_RELEASE(address) __tsan_release(address)
#else
#define MEV_TSAN_ACQUIRE(address) ((void)(address))
#define MEV_TSAN_RELEASE(address) ((void)(address))
#endif

namespace mev {

namespace {

struct Posted {
    std::weak_ptr<char> owner;
    std::function<void()> task;
};

gboolean RunPosted(gpointer data)
{
    auto* posted = static_cast<Posted*>(data);
    MEV_TSAN_ACQUIRE(posted);
    // The owner is destroyed on this same thread, so it cannot go while the task runs.
    if (!posted->owner.expired() && posted->task)
        posted->task();
    return G_SOURCE_REMOVE;
}

void FreePosted(gpointer data)
{
    MEV_TSAN_ACQUIRE(data);
    delete static_cast<Posted*>(data);
}

} // namespace

void PostToUi(const CUiOwner& owner, std::function<void()> task, int priority)
{
    // An idle source rather than g_main_context_invoke, which runs the function at once
    // when the caller happens to own the context.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, priority);
    auto* posted = new Posted{owner.m_alive, std::move(task)};
    MEV_TSAN_RELEASE(posted);
    g_source_set_callback(source, &RunPosted, posted, &FreePosted);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

} // namespace mev
