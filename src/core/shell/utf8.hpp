#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mev {

// Length of the well-formed UTF-8 sequence at the start of text (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none; cp receives its value.
std::size_t Utf8SequenceAt(std::string_view text, char32_t& cp);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

} // namespace mev
