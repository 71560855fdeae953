#pragma once

#include <gio/gio.h>

namespace mev {

// The desktop's light or dark preference, as the settings portal gives it
// ("org.freedesktop.appearance" "color-scheme": 0 none, 1 dark, 2 light). GTK of this
// version reads it nowhere; the window's theme and the pages' prefers-color-scheme both
// follow gtk-application-prefer-dark-theme, so that is where it goes.
constexpr int COLOR_SCHEME_DARK = 1;

// Reads the preference over connection and follows its changes; without a portal (or a
// bus) nothing changes.
void FollowDesktopColorScheme(GDBusConnection* connection);

// Applies one preference value: dark when the desktop asks for it, else what the GTK
// settings (settings.ini, GTK_THEME) said at the first call.
void ApplyDesktopColorScheme(int value);

} // namespace mev
