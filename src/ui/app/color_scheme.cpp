#include "ui/app/color_scheme.hpp"

#include <cstring>

#include <gtk/gtk.h>

namespace mev {
namespace {

constexpr const char* PORTAL_NAME = "org.freedesktop.portal.Desktop";
constexpr const char* PORTAL_PATH = "/org/freedesktop/portal/desktop";
constexpr const char* SETTINGS_INTERFACE = "org.freedesktop.portal.Settings";
constexpr const char* APPEARANCE = "org.freedesktop.appearance";
constexpr const char* COLOR_SCHEME_KEY = "color-scheme";
// A portal that does not answer in this time is taken as absent.
constexpr int READ_TIMEOUT_MS = 3000;

int g_ownPreference = -1;  // gtk-application-prefer-dark-theme before we set it; -1 unread

// The number in a value the portal wraps in one or more variants; -1 for anything else.
int SchemeOf(GVariant* value)
{
    GVariant* inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    const int scheme = g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32) ? static_cast<int>(g_variant_get_uint32(inner)) : -1;
    g_variant_unref(inner);
    return scheme;
}

void OnRead(GObject* source, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply == nullptr) {
        // No portal, or one without the appearance settings: the desktop has no say.
        g_clear_error(&error);
        return;
    }
    GVariant* value = g_variant_get_child_value(reply, 0);
    const int scheme = SchemeOf(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    if (scheme >= 0)
        ApplyDesktopColorScheme(scheme);
}

void OnSettingChanged(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                      gpointer)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)")))
        return;
    const char* group = nullptr;
    const char* key = nullptr;
    GVariant* value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &group, &key, &value);
    if (std::strcmp(group, APPEARANCE) == 0 && std::strcmp(key, COLOR_SCHEME_KEY) == 0) {
        const int scheme = SchemeOf(value);
        if (scheme >= 0)
            ApplyDesktopColorScheme(scheme);
    }
    g_variant_unref(value);
}

} // namespace

void FollowDesktopColorScheme(GDBusConnection* connection)
{
    if (connection == nullptr)
        return;
    g_dbus_connection_signal_subscribe(connection, PORTAL_NAME, SETTINGS_INTERFACE, "SettingChanged", PORTAL_PATH,
                                       APPEARANCE, G_DBUS_SIGNAL_FLAGS_NONE, &OnSettingChanged, nullptr, nullptr);
    g_dbus_connection_call(connection, PORTAL_NAME, PORTAL_PATH, SETTINGS_INTERFACE, "Read",
                           g_variant_new("(ss)", APPEARANCE, COLOR_SCHEME_KEY), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NONE, READ_TIMEOUT_MS, nullptr, &OnRead, nullptr);
}

void ApplyDesktopColorScheme(int value)
{
    GtkSettings* settings = gtk_settings_get_default();
    if (settings == nullptr)
        return;
    if (g_ownPreference < 0) {
        gboolean own = FALSE;
        g_object_get(settings, "gtk-application-prefer-dark-theme", &own, nullptr);
        g_ownPreference = own ? 1 : 0;
    }
    const gboolean dark = g_ownPreference == 1 || value == COLOR_SCHEME_DARK;
    g_object_set(settings, "gtk-application-prefer-dark-theme", dark, nullptr);
}

} // namespace mev
