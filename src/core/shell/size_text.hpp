#pragma once

#include <cstdint>
#include <string>

namespace mev {

// Sizes are shown in two styles on purpose: the file list's Size column is a fixed-width
// figure that lines up down the column; the picture information panel and the progress
// of a copy read as prose.
enum class SizeStyle {
    Column,  // "1023 B", "1.0 KB", "1024.0 KB", "4.5 GB": one decimal always, GB at most
    Prose,   // "512 bytes", "2.4 MB", "120 MB": one decimal below 100, trailing zeros dropped, up to TB
};

// A byte count in units of 1024.
std::string FormatSize(std::uint64_t bytes, SizeStyle style);

} // namespace mev
