#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace mev {

// The value of a hexadecimal digit, -1 for any other character.
int HexDigitValue(char c);

// Percent-decoding; a malformed escape ("%", "%4", "%zz") is kept as it stands, and so
// is "%00": a NUL would cut the path short wherever it reaches a C interface.
std::string DecodeUrl(std::string_view url);

// "file://" followed by the path with every byte outside the unreserved set and '/'
// percent-encoded, so any file name (not valid UTF-8 included) survives exactly.
std::string MakeFileUrl(std::string_view path);

// Percent-encodes every byte outside the unreserved set, '/' kept; "%" and blanks
// included. Used for the argument of mev: URLs before navigation.
std::string EncodeUrlPath(std::string_view text);

// Percent-encodes (upper-case hex) every byte for which keep(byte, its index) is false:
// the one encoder behind file URLs, mev: URL arguments, thumbnail URIs and settings keys.
std::string PercentEncode(std::string_view text, const std::function<bool(unsigned char c, std::size_t index)>& keep);

// Appends c as two upper-case hex digits.
void AppendHexByte(std::string& out, unsigned char c);

// Text and attribute escaping for HTML: & < > " '.
std::string EscapeHtml(std::string_view text);

// A decoded "file:" URL back to a path: the text after "file:" with its leading '/'
// run reduced to one. Returns false when the text does not begin with "file:" (any
// case) or is shorter than 5 characters.
bool FileUrlToPath(std::string_view decodedUrl, std::string& path);

// "mev://blank/?<program path>" and "mev://front/?<program path>".
std::string GetBlankPageUrl();
std::string GetFrontPageUrl();

} // namespace mev
