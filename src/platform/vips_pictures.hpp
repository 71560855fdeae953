#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/thumbs/picture_decoder.hpp"
#include "platform/decode_protocol.hpp"

namespace mev {

// The libvips half of the picture decoder, in a module of its own (VIPS_MODULE_NAME, next
// to the decode helper). libvips links a hundred libraries and loads its loader modules
// when it starts, which took a helper 80 ms and 30 MB before its first picture: a helper
// that only sees JPEG, PNG, GIF and BMP files, the bulk of any photo folder, decodes them
// with gdk-pixbuf and never loads this module.
class IVipsPictures {
public:
    struct Header {
        int width = 0;
        int height = 0;
        std::uint64_t pixelBytes = 0; // of one pixel as the loader gives it
        std::string loader;           // "jpegload", "svgload_source"...
    };

    // Reads the header only: false when no loader knows the picture.
    virtual bool ReadHeader(const char* path, Header& header) = 0;
    // The picture made to fit side x side (never enlarged; vector formats are drawn at
    // that size), upright, in 8-bit sRGB: PNG when 'alwaysPng' or it has alpha, JPEG
    // otherwise. 'whole' false reads what can be read of a damaged file and marks the
    // result. The source size is left for the caller.
    virtual std::optional<EncodedPicture> Shrink(const char* path, int side, bool whole, bool alwaysPng) = 0;
    // Whether libvips has the loader operation ("webpload").
    virtual bool HasLoader(const char* operation) = 0;
    // libvips itself and its folder of loader modules.
    virtual std::vector<std::string> GetTypeStamps() = 0;
    // The size (turned by the orientation tag) and the raw text of the named metadata
    // fields, "" for those missing, from a file open for reading.
    virtual bool ReadFields(int fd, const std::vector<const char*>& names, int& width, int& height,
                            std::vector<std::string>& values) = 0;
    // Forgets the calling thread's error text and per-thread state: called after each
    // decode, as decode threads end with their request.
    virtual void EndDecode() = 0;

protected:
    ~IVipsPictures() = default;
};

// The module's one entry point: starts libvips, or nothing when it cannot start.
using OpenVipsPictures = IVipsPictures* (*)();
inline constexpr const char* VIPS_PICTURES_ENTRY = "mev_open_vips_pictures";

// Loads the module once; nothing when it is missing or libvips does not start (pictures
// then decode as JPEG, PNG, GIF and BMP only).
IVipsPictures* LoadVipsPictures();

} // namespace mev
