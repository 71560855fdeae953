#include "platform/exif_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vips/vips.h>

namespace mev {

namespace {

// Owns one reference of a GObject.
template <typename T>
struct ObjectRef {
    T* object = nullptr;
    ~ObjectRef()
    {
        if (object != nullptr)
            g_object_unref(object);
    }
};

std::string Field(VipsImage* image, const char* name)
{
    if (vips_image_get_typeof(image, name) == 0)
        return {};
    const char* text = nullptr;
    if (vips_image_get_string(image, name, &text) != 0 || text == nullptr)
        return {};
    return ExifFieldValue(text);
}

} // namespace

std::string ExifFieldValue(std::string_view field)
{
    if (field.empty() || field.back() != ')')
        return {};
    const auto components = field.rfind(" components, ");
    if (components == std::string_view::npos)
        return {};
    const auto count = field.rfind(", ", components);
    if (count == std::string_view::npos || count == 0)
        return {};
    const auto format = field.rfind(", ", count - 1);
    if (format == std::string_view::npos)
        return {};
    const std::string_view formatName = field.substr(format + 2, count - format - 2);
    const std::string_view inner = field.substr(0, format); // "<value> (<readable>"
    if (formatName == "ASCII") {
        // "<text> (<text>": the text may itself hold " (".
        if (inner.size() < 2 || (inner.size() - 2) % 2 != 0)
            return {};
        const std::size_t length = (inner.size() - 2) / 2;
        if (inner.substr(length, 2) != " (" || inner.substr(0, length) != inner.substr(length + 2))
            return {};
        return std::string(inner.substr(0, length));
    }
    const auto open = inner.find(" (");
    if (open == std::string_view::npos)
        return {};
    return std::string(inner.substr(0, open));
}

std::optional<PictureInfo> CExifReader::ReadPictureInfo(const std::string& path) const
{
    // Opened here, and only a regular file: a FIFO under a picture's name must not hang
    // the reader, and a name with brackets must not be read as load options.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    auto info = ReadFrom(fd);
    close(fd);
    return info;
}

std::optional<PictureInfo> CExifReader::ReadFrom(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    ObjectRef<VipsSource> source;
    source.object = vips_source_new_from_descriptor(fd); // it holds its own duplicate
    if (source.object == nullptr)
        return std::nullopt;
    ObjectRef<VipsImage> image;
    image.object = vips_image_new_from_source(source.object, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    if (image.object == nullptr) {
        vips_error_clear();
        return std::nullopt;
    }
    VipsImage* header = image.object;
    PictureInfo info;
    info.width = vips_image_get_width(header);
    info.height = vips_image_get_height(header);
    if (vips_image_get_orientation_swap(header))
        std::swap(info.width, info.height);
    info.fileSize = static_cast<std::uint64_t>(st.st_size);
    info.dateTaken = Field(header, "exif-ifd2-DateTimeOriginal");
    if (info.dateTaken.empty())
        info.dateTaken = Field(header, "exif-ifd0-DateTime");
    info.make = Field(header, "exif-ifd0-Make");
    info.model = Field(header, "exif-ifd0-Model");
    info.lens = Field(header, "exif-ifd2-LensModel");
    info.exposureTime = Field(header, "exif-ifd2-ExposureTime");
    info.fNumber = Field(header, "exif-ifd2-FNumber");
    info.iso = Field(header, "exif-ifd2-ISOSpeedRatings");
    info.focalLength = Field(header, "exif-ifd2-FocalLength");
    info.latitude = Field(header, "exif-ifd3-GPSLatitude");
    info.latitudeRef = Field(header, "exif-ifd3-GPSLatitudeRef");
    info.longitude = Field(header, "exif-ifd3-GPSLongitude");
    info.longitudeRef = Field(header, "exif-ifd3-GPSLongitudeRef");
    return info;
}

} // namespace mev
