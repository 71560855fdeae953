#pragma once

#include <string>
#include <string_view>

#include "core/shell/drive_type.hpp"

namespace mev {

// Starts the program on the file (argv {program, file}, or {program} when the file is
// empty) without a shell, and does not wait for it. A ".desktop" file is launched as the
// application it describes. False when nothing could be started.
bool RunProgram(const std::string& program, const std::string& file);

// The executable of the desktop's default application for the file's type (its desktop
// file when the executable is a launcher such as flatpak); with browserFallback, the
// default web browser's when there is none. "" when nothing is found.
std::string FindAssociatedProgram(const std::string& file, bool browserFallback);

// The description of a file's content type judged from its name alone ("MP3 audio");
// "" when the type is unknown. Safe on any thread.
std::string GetFileTypeDescription(const std::string& fileName);

// The kind of storage that holds an absolute path, from the mount table.
DriveType GetPathDriveType(const std::string& path);

// The order of a folder name in the user's locale, with numbers in numeric order and
// letter case ignored; names that are not UTF-8 are ordered by their displayed form.
std::string MakeLocaleFolderSortKey(std::string_view name);

// Lowers the calling thread alone to the niceness of work nobody waits on, below the
// picture decoders', once and for good: an unprivileged thread cannot raise it again.
void LowerToBackgroundPriority();

} // namespace mev
