#include "core/shell/size_text.hpp"

#include <cstdio>

namespace mev {

std::string FormatSize(std::uint64_t bytes, SizeStyle style)
{
    const bool column = style == SizeStyle::Column;
    if (bytes < 1024)
        return std::to_string(bytes) + (column ? " B" : " bytes");
    static const char* const UNITS[] = {"KB", "MB", "GB", "TB"};
    const unsigned lastUnit = column ? 2 : 3;
    unsigned unit = 0;
    while (unit < lastUnit && (bytes >> (10 * (unit + 2))) != 0)
        ++unit;
    // Whole units and their fraction apart, so the value stays exact for any real file.
    const unsigned shift = 10 * (unit + 1);
    const std::uint64_t whole = bytes >> shift;
    const std::uint64_t part = bytes & ((std::uint64_t{1} << shift) - 1);
    const double value = static_cast<double>(whole) + static_cast<double>(part) / static_cast<double>(std::uint64_t{1} << shift);

    char text[64];
    if (column) {
        std::snprintf(text, sizeof text, "%.1f %s", value, UNITS[unit]);
        return text;
    }
    std::snprintf(text, sizeof text, "%.*f", value < 100 ? 1 : 0, value);
    std::string shown = text;
    if (shown.find('.') != std::string::npos) {
        while (shown.back() == '0')
            shown.pop_back();
        if (shown.back() == '.')
            shown.pop_back();
    }
    return shown + " " + UNITS[unit];
}

} // namespace mev
