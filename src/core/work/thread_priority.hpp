#pragma once

#include <functional>

namespace mev {

// Runs job on a thread of its own and waits for it, so that the job may lower that
// thread's priority (LowerThisThreadPriority) without lowering a pool's thread for good.
// Runs it on the calling thread where no thread can be made.
void RunOnThreadOfItsOwn(const std::function<void()>& job);

// Lowers the calling thread's processor priority below the window's, the web views' and
// the picture decoders', for the rest of its life: for long work that nobody waits on.
// Does nothing until the platform says how (SetThreadLowering).
void LowerThisThreadPriority();
void SetThreadLowering(void (*lower)());

} // namespace mev
