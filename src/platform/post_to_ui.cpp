#include "platform/post_to_ui.hpp"

#include <glib.h>

namespace mev {

namespace {

struct Posted {
    std::weak_ptr<char> owner;
    std::function<void()> task;
};

gboolean RunPosted(gpointer data)
{
    auto* posted = static_cast<Posted*>(data);
    // The owner is destroyed on this same thread, so it cannot go while the task runs.
    if (!posted->owner.expired() && posted->task)
        posted->task();
    return G_SOURCE_REMOVE;
}

void FreePosted(gpointer data)
{
    delete static_cast<Posted*>(data);
}

} // namespace

void PostToUi(const CUiOwner& owner, std::function<void()> task, int priority)
{
    // An idle source rather than g_main_context_invoke, which runs the function at once
    // when the caller happens to own the context.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, priority);
    g_source_set_callback(source, &RunPosted, new Posted{owner.m_alive, std::move(task)}, &FreePosted);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

} // namespace mev
