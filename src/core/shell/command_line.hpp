#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mev {

// Stores the process's arguments (argv[0] first) for GetCommandLineValue.
void SetCommandLine(std::vector<std::string> args);

// The value of an option such as Images="/media/pics" or show=Videos: the first argument
// that begins with the name (any case); blanks and '=' after the name are skipped and a
// pair of quotes around the rest removed. With pathFlag the value must name an existing file
// or folder (see ResolveOptionPath); arguments that fail are passed over. "" when nothing
// matches.
std::string GetCommandLineValue(std::string_view name, bool pathFlag);

// Whether text begins with prefix, ASCII letters compared without regard to case, as
// option names are.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Whether two texts are equal, ASCII letters compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The folder relative paths on the command line are taken from: the current folder for
// an installed program (IsInstalledProgramFolder), as a command-line user expects; the
// program's folder otherwise, since a disc or an unpacked copy carries its media beside
// it. Option values follow it; bare paths, as a shell passes them, always come from the
// current folder, which is the same for an installed program.
std::string RelativePathBase(const std::string& programFolder, const std::string& currentFolder);

// The folder a path option names: a relative value is taken from RelativePathBase; "."
// and ".." are resolved.
std::string ResolveOptionPath(const std::string& value, const std::string& programFolder,
                              const std::string& currentFolder);

} // namespace mev
