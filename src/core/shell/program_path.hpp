#pragma once

#include <string>
#include <string_view>

namespace mev {

// Full path of the running program, "" when it cannot be read. Read from /proc/self/exe
// once, on the first call (the program makes it at start): a package upgrade that
// replaces the file while the program runs must not change the answer, and the link then
// reads "<path> (deleted)".
std::string GetProgramPath();

// The program path that a /proc/self/exe link target names: the target without the
// " (deleted)" that the kernel appends once the file was replaced or removed.
std::string ProgramPathFromLink(std::string_view target);

// The program path up to, not including, its last '/'; "/" for a program in the root.
std::string GetProgramFolder();
std::string GetFolderOf(std::string_view path);

} // namespace mev
