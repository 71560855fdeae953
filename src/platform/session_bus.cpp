#include "platform/session_bus.hpp"

#include <string>
#include <vector>

#include <gio/gio.h>

namespace mev {

namespace {

std::string& SavedAddress()
{
    static std::string address;
    return address;
}

std::vector<std::string>& Hidden()
{
    static std::vector<std::string> names;
    return names;
}

} // namespace

GDBusConnection* ClaimSessionBus()
{
    static GDBusConnection* connection = nullptr;
    static bool claimed = false;
    if (claimed)
        return connection;
    claimed = true;
    // GLib keeps this connection for the whole process: later calls get it back without
    // looking at the environment again.
    connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS")) {
        SavedAddress() = address;
        g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    return connection;
}

void HideFromLaunchedPrograms(const char* name)
{
    Hidden().emplace_back(name);
}

GAppLaunchContext* NewLaunchContext()
{
    GAppLaunchContext* context = g_app_launch_context_new();
    if (!SavedAddress().empty())
        g_app_launch_context_setenv(context, "DBUS_SESSION_BUS_ADDRESS", SavedAddress().c_str());
    for (const std::string& name : Hidden())
        g_app_launch_context_unsetenv(context, name.c_str());
    return context;
}

char** NewLaunchEnvironment()
{
    char** environment = g_get_environ();
    if (!SavedAddress().empty())
        environment = g_environ_setenv(environment, "DBUS_SESSION_BUS_ADDRESS", SavedAddress().c_str(), TRUE);
    for (const std::string& name : Hidden())
        environment = g_environ_unsetenv(environment, name.c_str());
    return environment;
}

} // namespace mev
