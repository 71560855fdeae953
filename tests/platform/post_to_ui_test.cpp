#include "platform/post_to_ui.hpp"

#include <memory>
#include <string>
#include <thread>

#include <glib.h>
#include <gtest/gtest.h>

namespace mev {
namespace {

// Turns the default main context until done, at most about 30 s.
bool RunUntil(const bool& done)
{
    const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    while (!done && g_get_monotonic_time() < deadline)
        g_main_context_iteration(nullptr, FALSE);
    return done;
}

TEST(PostToUiTest, RunsOnTheMainLoopInOrderAndNeverForADestroyedOwner)
{
    std::string ran;
    bool last = false;
    CLifetimeGuard living;
    auto gone = std::make_unique<CLifetimeGuard>();
    const CUiOwner goneOwner = gone->Owner();
    // Posted from another thread, as background jobs post.
    std::thread poster([&] {
        PostToUi(living.Owner(), [&] { ran += 'a'; });
        PostToUi(goneOwner, [&] { ran += 'x'; });
        PostToUi(living.Owner(), [&] { ran += 'b'; });
    });
    poster.join();
    PostToUi(living.Owner(), [&] { last = true; });
    EXPECT_EQ(ran, ""); // never inside the call
    gone.reset();
    ASSERT_TRUE(RunUntil(last));
    EXPECT_EQ(ran, "ab");
}

} // namespace
} // namespace mev
