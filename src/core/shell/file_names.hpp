#pragma once

#include <string>
#include <string_view>

namespace mev {

// The text after the last '/' (the whole path when it has none); withoutExtension cuts
// the name before its last '.' when that dot is not its first character.
std::string GetFileNamePart(std::string_view path, bool withoutExtension = false);

// Lower-case extension without its dot, or "" when the last '.' is not in the file name
// or begins it.
std::string GetFileExtension(std::string_view path);

// Runs of '/' become one '/'.
std::string CollapseSlashes(std::string_view path);

// folder + '/' + name with runs of '/' collapsed, so "/" + "a" gives "/a".
std::string JoinPath(std::string_view folder, std::string_view name);

// Length of the path's root ("/") including its separator, or -1 for a relative path.
int GetRootLength(std::string_view path);
bool IsRootPath(std::string_view path);

// True for n < 4; false for even n; otherwise true unless an odd i, 3 <= i < n/2+1,
// divides n.
bool IsPrime(unsigned n);

} // namespace mev
