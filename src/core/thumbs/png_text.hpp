#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mev {

using PngTextEntries = std::vector<std::pair<std::string, std::string>>;

// The keyword/text pairs of a PNG's uncompressed text chunks (tEXt, and iTXt without
// compression) before its image data. Nothing for bytes that are not a PNG or whose
// chunks run past the end.
std::optional<PngTextEntries> ReadPngText(std::string_view png);

// The PNG with one tEXt chunk per entry placed right after its header chunk. Nothing for
// bytes that are not a PNG, and for keywords a PNG cannot hold (empty, over 79 bytes, or
// with a NUL); a text may hold any byte but NUL, which ends it.
std::optional<std::string> AddPngText(std::string_view png, const PngTextEntries& entries);

// The PNG chunk checksum (CRC-32 over the chunk type and data).
unsigned long PngCrc(std::string_view bytes);

} // namespace mev
