#pragma once

#include <string>
#include <string_view>

namespace mev {

// File names are bytes; pages and status lines want UTF-8. Valid UTF-8 stays as it is,
// every byte of an invalid sequence becomes U+FFFD.
std::string ToDisplayText(std::string_view bytes);

} // namespace mev
