#pragma once

typedef struct _GAppLaunchContext GAppLaunchContext;
typedef struct _GDBusConnection GDBusConnection;

namespace mev {

// The program's own connection to the session bus, made on the first call; nullptr when
// there is no bus. That first call also takes the bus's address out of the environment:
// web processes started afterwards find no bus, so the web engine publishes no media
// player of its own beside the program's (it cannot name the program's desktop entry).
// Call it on the main thread before any other thread starts (InitPlatform does): a change
// of the environment while another thread reads it can crash that thread.
GDBusConnection* ClaimSessionBus();

// A variable the program set for itself alone (before any thread started); programs
// started from here do not inherit it.
void HideFromLaunchedPrograms(const char* name);

// Programs started from here get the bus address back through these, and miss what the
// program hid. A new launch context (g_object_unref it) and a new environment (g_strfreev it).
GAppLaunchContext* NewLaunchContext();
char** NewLaunchEnvironment();

} // namespace mev
