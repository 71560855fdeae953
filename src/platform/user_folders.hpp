#pragma once

namespace mev {

// Checks the folders that GLib names for configuration, cache, data and runtime files
// (XDG_CONFIG_HOME and the rest, or their defaults under the home folder). Each one that
// is no usable folder (a file, or a place where no folder can be made or written) is
// replaced, for this process and the programs it starts, by a folder inside a private
// temporary folder that goes away at exit: the web engine would otherwise abort the
// program. Call once at start-up, before any other thread runs and before the toolkit,
// GStreamer or the web engine start, and after the settings store has chosen its file,
// so that the settings keep to their own rules (defaults, nothing written).
void EnsureUsableUserFolders();

// A home folder that is not there (or is a file) is replaced by a folder of the private
// temporary folder: the web engine crashes resolving a home folder that does not exist.
// Call first of all, before anything asks GLib for the home folder (it keeps the first
// answer).
void EnsureHomeFolder();

// Forgets a session bus address that names a socket file which is not there: the web
// engine's sandbox would abort the program trying to hand that file on. Without the
// address GLib looks for the bus where it usually is. Same timing as above.
void ForgetUnreachableSessionBus();

} // namespace mev
