#include "platform/exif_reader.hpp"

#include <utility>
#include <vector>

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
    // The date the picture was taken, else the date it was last changed.
    static const std::pair<const char*, std::string PictureInfo::*> FIELDS[] = {
        {"exif-ifd2-DateTimeOriginal", &PictureInfo::dateTaken}, {"exif-ifd0-DateTime", &PictureInfo::dateTaken},
        {"exif-ifd0-Make", &PictureInfo::make},                  {"exif-ifd0-Model", &PictureInfo::model},
        {"exif-ifd2-LensModel", &PictureInfo::lens},             {"exif-ifd2-ExposureTime", &PictureInfo::exposureTime},
        {"exif-ifd2-FNumber", &PictureInfo::fNumber},            {"exif-ifd2-ISOSpeedRatings", &PictureInfo::iso},
        {"exif-ifd2-FocalLength", &PictureInfo::focalLength},    {"exif-ifd3-GPSLatitude", &PictureInfo::latitude},
        {"exif-ifd3-GPSLatitudeRef", &PictureInfo::latitudeRef}, {"exif-ifd3-GPSLongitude", &PictureInfo::longitude},
        {"exif-ifd3-GPSLongitudeRef", &PictureInfo::longitudeRef},
    };
    static const std::vector<const char*> NAMES = [] {
        std::vector<const char*> names;
        for (const auto& field : FIELDS)
            names.push_back(field.first);
        return names;
    }();
    IVipsPictures* vips = LoadVipsPictures();
    PictureInfo info;
    std::vector<std::string> values;
    if (vips == nullptr || !vips->ReadFields(fd, NAMES, info.width, info.height, values) || values.size() != NAMES.size())
        return std::nullopt;
    info.fileSize = static_cast<std::uint64_t>(st.st_size);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string& member = info.*FIELDS[i].second;
        if (member.empty())
            member = ExifFieldValue(values[i]);
    }
    return info;
}

} // namespace mev
