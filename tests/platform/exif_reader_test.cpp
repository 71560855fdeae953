#include "platform/exif_reader.hpp"

#include <map>
#include <string>

#include <gtest/gtest.h>
#include <vips/vips.h>

#include "special_files.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

// A 64 x 48 JPEG written by libvips with the EXIF fields a camera sets, turned by its
// orientation tag (6: the camera was held upright).
bool WriteCameraJpeg(const std::string& path)
{
    VipsImage* black = nullptr;
    if (vips_black(&black, 64, 48, "bands", 3, nullptr) != 0)
        return false;
    VipsImage* picture = nullptr;
    vips_cast_uchar(black, &picture, nullptr);
    g_object_unref(black);
    const char* const fields[][2] = {
        {"exif-ifd0-Make", "Testmaker"},
        {"exif-ifd0-Model", "Model (X) 100"},
        {"exif-ifd2-ExposureTime", "1/250"},
        {"exif-ifd2-FNumber", "28/10"},
        {"exif-ifd2-ISOSpeedRatings", "400"},
        {"exif-ifd2-FocalLength", "50/1"},
        {"exif-ifd2-DateTimeOriginal", "2024:05:06 07:08:09"},
        {"exif-ifd2-LensModel", "Lens 50mm F1.8"},
        {"exif-ifd3-GPSLatitudeRef", "N"},
        {"exif-ifd3-GPSLatitude", "52/1 31/1 1230/100"},
        {"exif-ifd3-GPSLongitudeRef", "W"},
        {"exif-ifd3-GPSLongitude", "13/1 24/1 0/1"},
    };
    for (const auto& field : fields)
        vips_image_set_string(picture, field[0], field[1]);
    vips_image_set_int(picture, VIPS_META_ORIENTATION, 6);
    const int result = vips_jpegsave(picture, path.c_str(), nullptr);
    g_object_unref(picture);
    return result == 0;
}

TEST(ExifReader, ReadsTheCameraFieldsOfARealJpeg)
{
    test::CTempFolder temp;
    // Brackets would be load options to libvips if the name were passed as it is.
    const std::string path = temp.File("photo [1].jpg");
    ASSERT_TRUE(WriteCameraJpeg(path));
    const auto info = CExifReader().ReadPictureInfo(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 48);  // upright
    EXPECT_EQ(info->height, 64);
    std::map<std::string, std::string> rows;
    for (const auto& [label, value] : DescribePicture(*info))
        rows[label] = value;
    EXPECT_EQ(rows["Camera"], "Testmaker Model (X) 100");
    EXPECT_EQ(rows["Lens"], "Lens 50mm F1.8");
    EXPECT_EQ(rows["Exposure"], "1/250 s");
    EXPECT_EQ(rows["Aperture"], "f/2.8");
    EXPECT_EQ(rows["ISO"], "400");
    EXPECT_EQ(rows["Focal length"], "50 mm");
    EXPECT_EQ(rows["Date taken"], "2024-05-06 07:08:09");
    EXPECT_EQ(rows["GPS"], "52.52008\u00b0 N, 13.4\u00b0 W");

    // Not pictures: nothing, and no hang on a FIFO.
    EXPECT_FALSE(CExifReader().ReadPictureInfo(temp.Write("text.jpg", "not a picture")));
    EXPECT_FALSE(CExifReader().ReadPictureInfo(temp.File("gone.jpg")));
    ASSERT_TRUE(test::MakeFifo(temp.File("pipe.jpg")));
    EXPECT_FALSE(CExifReader().ReadPictureInfo(temp.File("pipe.jpg")));
}

} // namespace
} // namespace mev
