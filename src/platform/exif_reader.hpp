#pragma once

#include "core/pages/picture_info.hpp"

namespace mev {

// Reads a picture's size and EXIF fields from its header with libvips, without decoding
// its pixels.
class CExifReader : public IPictureInfoReader {
public:
    std::optional<PictureInfo> ReadPictureInfo(const std::string& path) const override;
    // From a file open for reading; nothing unless it is a regular file.
    static std::optional<PictureInfo> ReadFrom(int fd);
};

// The value of one of libvips' EXIF fields as the file has it: libvips writes
// "<value> (<readable>, <format>, <n> components, <b> bytes)"; text fields repeat the
// text. Empty for anything else.
std::string ExifFieldValue(std::string_view field);

} // namespace mev
