#include "platform/exif_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/vips_pictures.hpp"

namespace mev {

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
    IVipsPictures* vips = LoadVipsPictures();
    static const std::vector<const char*> FIELDS = {
        "exif-ifd2-DateTimeOriginal", "exif-ifd0-DateTime", "exif-ifd0-Make",         "exif-ifd0-Model",
        "exif-ifd2-LensModel",        "exif-ifd2-ExposureTime", "exif-ifd2-FNumber",  "exif-ifd2-ISOSpeedRatings",
        "exif-ifd2-FocalLength",      "exif-ifd3-GPSLatitude",  "exif-ifd3-GPSLatitudeRef", "exif-ifd3-GPSLongitude",
        "exif-ifd3-GPSLongitudeRef",
    };
    PictureInfo info;
    std::vector<std::string> values;
    if (vips == nullptr || !vips->ReadFields(fd, FIELDS, info.width, info.height, values) || values.size() != FIELDS.size())
        return std::nullopt;
    std::vector<std::string> fields;
    for (const std::string& value : values)
        fields.push_back(ExifFieldValue(value));
    info.fileSize = static_cast<std::uint64_t>(st.st_size);
    info.dateTaken = !fields[0].empty() ? fields[0] : fields[1];
    info.make = fields[2];
    info.model = fields[3];
    info.lens = fields[4];
    info.exposureTime = fields[5];
    info.fNumber = fields[6];
    info.iso = fields[7];
    info.focalLength = fields[8];
    info.latitude = fields[9];
    info.latitudeRef = fields[10];
    info.longitude = fields[11];
    info.longitudeRef = fields[12];
    return info;
}

} // namespace mev
