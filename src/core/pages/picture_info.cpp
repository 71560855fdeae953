#include "core/pages/picture_info.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/pages/display_text.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/size_text.hpp"
#include "core/shell/url.hpp"

namespace mev {

namespace {

std::mutex g_readerLock;
std::shared_ptr<const IPictureInfoReader> g_reader;

// The rationals of a value such as "52/1 31/1 1230/100"; a plain number counts as n/1.
std::vector<double> ParseRationals(std::string_view text)
{
    std::vector<double> values;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ')
            ++at;
        if (at >= text.size())
            break;
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view item = text.substr(at, end - at);
        at = end;
        const auto slash = item.find('/');
        long long num = 0;
        long long den = 1;
        const std::string_view numText = item.substr(0, slash);
        if (std::from_chars(numText.data(), numText.data() + numText.size(), num).ptr != numText.data() + numText.size())
            return {};
        if (slash != std::string_view::npos) {
            const std::string_view denText = item.substr(slash + 1);
            if (std::from_chars(denText.data(), denText.data() + denText.size(), den).ptr
                != denText.data() + denText.size())
                return {};
        }
        // A zero denominator marks an unknown value in EXIF.
        if (den == 0)
            return {};
        values.push_back(static_cast<double>(num) / static_cast<double>(den));
    }
    return values;
}

std::optional<double> ParseRational(std::string_view text)
{
    const auto values = ParseRationals(text);
    if (values.size() != 1)
        return std::nullopt;
    return values[0];
}

// At most `decimals` places, without trailing zeros: 2.80 -> "2.8", 8.0 -> "8".
std::string Trimmed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

std::string Shown(std::string_view exifText)
{
    // EXIF text is often padded with blanks or NULs.
    std::string text = ToDisplayText(exifText);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

} // namespace

void SetPictureInfoReader(std::shared_ptr<const IPictureInfoReader> reader)
{
    const std::lock_guard lock(g_readerLock);
    g_reader = std::move(reader);
}

std::shared_ptr<const IPictureInfoReader> GetPictureInfoReader()
{
    const std::lock_guard lock(g_readerLock);
    return g_reader;
}

std::string FormatExposureTime(std::string_view rational)
{
    const auto value = ParseRational(rational);
    if (!value || *value <= 0)
        return {};
    if (*value >= 0.3)
        return Trimmed(*value, 1) + " s";
    return "1/" + Trimmed(std::round(1.0 / *value), 0) + " s";
}

std::string FormatFNumber(std::string_view rational)
{
    const auto value = ParseRational(rational);
    if (!value || *value <= 0)
        return {};
    return "f/" + Trimmed(*value, 1);
}

std::string FormatFocalLength(std::string_view rational)
{
    const auto value = ParseRational(rational);
    if (!value || *value <= 0)
        return {};
    return Trimmed(*value, 1) + " mm";
}

std::string FormatGpsCoordinate(std::string_view degreesMinutesSeconds, std::string_view reference)
{
    const auto parts = ParseRationals(degreesMinutesSeconds);
    if (parts.empty() || parts.size() > 3)
        return {};
    double degrees = parts[0];
    if (parts.size() > 1)
        degrees += parts[1] / 60.0;
    if (parts.size() > 2)
        degrees += parts[2] / 3600.0;
    if (degrees < 0 || degrees > 180)
        return {};
    std::string text = Trimmed(degrees, 5) + "\u00b0";
    const std::string ref = Shown(reference);
    if (ref == "N" || ref == "S" || ref == "E" || ref == "W")
        text += " " + ref;
    return text;
}

std::string FormatDateTaken(std::string_view exifDate)
{
    std::string text = Shown(exifDate);
    // "YYYY:MM:DD HH:MM:SS": only the date's colons become dashes.
    if (text.size() >= 10 && text[4] == ':' && text[7] == ':') {
        text[4] = '-';
        text[7] = '-';
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> DescribePicture(const PictureInfo& info)
{
    std::vector<std::pair<std::string, std::string>> rows;
    const auto add = [&rows](const char* label, std::string value) {
        if (!value.empty())
            rows.emplace_back(label, std::move(value));
    };
    if (info.width > 0 && info.height > 0)
        add("Dimensions", std::to_string(info.width) + " \u00d7 " + std::to_string(info.height) + " pixels");
    add("File size", FormatSize(info.fileSize, SizeStyle::Prose));
    add("Date taken", FormatDateTaken(info.dateTaken));
    std::string camera = Shown(info.make);
    const std::string model = Shown(info.model);
    // Many cameras repeat the maker at the start of the model.
    if (!model.empty())
        camera = camera.empty() || model.rfind(camera, 0) == 0 ? model : camera + " " + model;
    add("Camera", camera);
    add("Lens", Shown(info.lens));
    add("Exposure", FormatExposureTime(info.exposureTime));
    add("Aperture", FormatFNumber(info.fNumber));
    if (const std::string iso = Shown(info.iso); !iso.empty())
        add("ISO", iso);
    add("Focal length", FormatFocalLength(info.focalLength));
    const std::string latitude = FormatGpsCoordinate(info.latitude, info.latitudeRef);
    const std::string longitude = FormatGpsCoordinate(info.longitude, info.longitudeRef);
    if (!latitude.empty() && !longitude.empty())
        add("GPS", latitude + ", " + longitude);
    return rows;
}

std::string MakePictureStatus(int width, int height, std::uint64_t fileSize, int zoomPercent)
{
    std::string text = std::to_string(width) + " \u00d7 " + std::to_string(height) + " pixels, " + FormatSize(fileSize, SizeStyle::Prose);
    if (zoomPercent > 0)
        text += ", zoom " + std::to_string(zoomPercent) + "%";
    return text;
}

void GeneratePictureInfoPage(CPageProtocol& protocol)
{
    const std::string& path = protocol.GetArgument();
    std::string page =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
        "<style type=\"text/css\">\r\n"
        "body { font-family: Verdana, Arial, Helvetica, sans-serif; font-size: x-small; margin: 6px;"
        " color: #f0f0f0; background-color: #202020; }\r\n"
        "th { text-align: left; font-weight: normal; color: #b0b0b0; padding-right: 8px; vertical-align: top; }\r\n"
        "th, td { font-size: x-small; word-break: break-word; }\r\n"
        "</style>\r\n</head>\r\n<body>\r\n<b>" + EscapeHtml(ToDisplayText(GetFileNamePart(path))) + "</b>\r\n<table>\r\n";
    std::optional<PictureInfo> info;
    if (const auto reader = GetPictureInfoReader())
        info = reader->ReadPictureInfo(path);
    if (info) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec)
            info->fileSize = size;
        for (const auto& [label, value] : DescribePicture(*info))
            page += "<tr><th>" + EscapeHtml(label) + "</th><td>" + EscapeHtml(value) + "</td></tr>\r\n";
    } else {
        page += "<tr><td>No information.</td></tr>\r\n";
    }
    page += "</table>\r\n</body>\r\n</html>\r\n";
    protocol.AppendPageData(page, true);
}

} // namespace mev
