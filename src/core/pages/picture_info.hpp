#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mev {

class CPageProtocol;

// What the picture information shows. EXIF values are kept as the file has them: text,
// or rationals written "n/d" (several separated by spaces); empty when absent.
struct PictureInfo {
    int width = 0;   // upright, as the picture is shown
    int height = 0;
    std::uint64_t fileSize = 0;
    std::string dateTaken;
    std::string make;
    std::string model;
    std::string lens;
    std::string exposureTime;
    std::string fNumber;
    std::string iso;
    std::string focalLength;
    std::string latitude;
    std::string latitudeRef;
    std::string longitude;
    std::string longitudeRef;
};

// Reads a picture's size and EXIF fields; the platform implements it. Called from page
// workers, several at once.
class IPictureInfoReader {
public:
    virtual ~IPictureInfoReader() = default;
    // Nothing for a file that is not a readable picture.
    virtual std::optional<PictureInfo> ReadPictureInfo(const std::string& path) const = 0;
};

void SetPictureInfoReader(std::shared_ptr<const IPictureInfoReader> reader);
std::shared_ptr<const IPictureInfoReader> GetPictureInfoReader();

// "1/250 s", "2 s", "0.5 s"; empty for anything that is not a positive rational.
std::string FormatExposureTime(std::string_view rational);
// "f/2.8", "f/8".
std::string FormatFNumber(std::string_view rational);
// "50 mm", "17.5 mm".
std::string FormatFocalLength(std::string_view rational);
// Degrees, minutes and seconds ("52/1 31/1 1230/100") with their reference ("N") as
// decimal degrees: "52.52008° N".
std::string FormatGpsCoordinate(std::string_view degreesMinutesSeconds, std::string_view reference);
// "2024:05:06 07:08:09" as "2024-05-06 07:08:09".
std::string FormatDateTaken(std::string_view exifDate);

// The rows the information panel shows, label and value, for the fields present.
std::vector<std::pair<std::string, std::string>> DescribePicture(const PictureInfo& info);

// The picture's line in the status bar: size, file size and zoom ratio; the zoom is left
// out when it is not positive.
std::string MakePictureStatus(int width, int height, std::uint64_t fileSize, int zoomPercent);

// mev://pictureinfo/?<path>: the information panel of a picture, as a small page.
void GeneratePictureInfoPage(CPageProtocol& protocol);

} // namespace mev
