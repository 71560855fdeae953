#pragma once

#include <string>
#include <string_view>

namespace mev {

// The MD5 digest of bytes as 32 lower-case hex digits: the name the shared thumbnail
// cache gives a picture's thumbnail.
std::string Md5Hex(std::string_view bytes);

} // namespace mev
