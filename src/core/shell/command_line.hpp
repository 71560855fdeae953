#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mev {

// Stores the process's arguments (argv[0] first) for GetCommandLineValue.
void SetCommandLine(std::vector<std::string> args);

// The value of an option such as Images="/media/pics" or show=Videos: the first argument
// that begins with the name (any case); blanks, '=', and quotes after the name are
// skipped and quotes inside removed. With pathFlag the value must name an existing file
// or folder: absolute when it begins with '/', otherwise relative to the program folder;
// arguments that fail are passed over. "" when nothing matches.
std::string GetCommandLineValue(std::string_view name, bool pathFlag);

} // namespace mev
