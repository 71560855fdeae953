#pragma once

#include <string>
#include <string_view>

namespace mev {

// Full path of the running program (/proc/self/exe), "" when it cannot be read.
std::string GetProgramPath();

// The program path up to, not including, its last '/'; "/" for a program in the root.
std::string GetProgramFolder();
std::string GetFolderOf(std::string_view path);

} // namespace mev
