#pragma once

#include <string>
#include <utility>
#include <vector>

#include <vips/vips.h>

namespace mev::test {

// Writes a black 64 x 48 JPEG whose EXIF data holds the fields given, named as libvips
// names them ("exif-ifd0-Make"); false when it cannot.
inline bool WriteCameraJpeg(const std::string& path, const std::vector<std::pair<const char*, const char*>>& fields)
{
    VipsImage* black = nullptr;
    if (vips_black(&black, 64, 48, "bands", 3, nullptr) != 0)
        return false;
    VipsImage* picture = nullptr;
    const int cast = vips_cast_uchar(black, &picture, nullptr);
    g_object_unref(black);
    if (cast != 0)
        return false;
    for (const auto& [name, value] : fields)
        vips_image_set_string(picture, name, value);
    const bool saved = vips_jpegsave(picture, path.c_str(), nullptr) == 0;
    g_object_unref(picture);
    return saved;
}

} // namespace mev::test
