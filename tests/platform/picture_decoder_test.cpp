#include "platform/picture_decoder.hpp"

#include <fstream>
#include <memory>

#include <fcntl.h>
#include <unistd.h>
#include <string>

#include <gtest/gtest.h>
#include <glib.h>
#include <vips/vips.h>

#include "core/thumbs/decode_budget.hpp"
#include "core/thumbs/png_text.hpp"
#include "core/thumbs/thumbnail_cache.hpp"
#include "special_files.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

// A picture of w x h written by libvips itself, with an orientation tag when asked.
bool WritePicture(const std::string& path, int width, int height, int orientation = 0)
{
    VipsImage* black = nullptr;
    if (vips_black(&black, width, height, "bands", 3, nullptr) != 0)
        return false;
    VipsImage* grey = nullptr;
    vips_linear1(black, &grey, 1.0, 90.0, nullptr);
    g_object_unref(black);
    VipsImage* picture = nullptr;
    vips_cast_uchar(grey, &picture, nullptr);
    g_object_unref(grey);
    if (orientation != 0)
        vips_image_set_int(picture, VIPS_META_ORIENTATION, orientation);
    const int result = vips_image_write_to_file(picture, path.c_str(), nullptr);
    g_object_unref(picture);
    return result == 0;
}

// A colour JPEG of noise, whose scan fills nearly all of the file.
bool WriteNoisyJpeg(const std::string& path, int width, int height)
{
    VipsImage* noise = nullptr;
    if (vips_gaussnoise(&noise, width, height, "mean", 128.0, "sigma", 40.0, nullptr) != 0)
        return false;
    VipsImage* grey = nullptr;
    vips_cast_uchar(noise, &grey, nullptr);
    g_object_unref(noise);
    VipsImage* channels[3] = {grey, grey, grey};
    VipsImage* colour = nullptr;
    vips_bandjoin(channels, &colour, 3, nullptr);
    g_object_unref(grey);
    const int result = vips_image_write_to_file(colour, path.c_str(), nullptr);
    g_object_unref(colour);
    return result == 0;
}

// The size of a PNG, from its header.
std::pair<int, int> PngSize(const std::string& png)
{
    auto at = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(png.at(i))); };
    return {(at(16) << 24) | (at(17) << 16) | (at(18) << 8) | at(19), (at(20) << 24) | (at(21) << 16) | (at(22) << 8) | at(23)};
}

class PictureDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CPictureDecoder::Initialise()); }
    test::CTempFolder temp;
    CPictureDecoder decoder;
};

TEST(ThumbnailUriTest, SameAsTheDesktopsForEveryByte)
{
    for (int c = 1; c < 256; ++c) {
        const std::string path = std::string("/p/a") + static_cast<char>(c) + "b.jpg";
        gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        ASSERT_NE(uri, nullptr);
        EXPECT_EQ(CThumbnailCache::MakeUri(path), uri) << c;
        g_free(uri);
    }
}

TEST_F(PictureDecoderTest, ThumbnailsShrinkAndTurnUpright)
{
    // Orientation 6: stored landscape, shown portrait.
    const std::string jpeg = temp.File("turned.jpg");
    ASSERT_TRUE(WritePicture(jpeg, 400, 200, 6));
    const auto thumbnail = decoder.MakeThumbnail(jpeg, 128);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->mimeType, "image/png");
    EXPECT_EQ(PngSize(thumbnail->bytes), std::make_pair(64, 128));
    EXPECT_EQ(thumbnail->sourceWidth, 400);

    for (const char* name : {"a.tif", "a.webp", "a.png", "a.gif", "a.bmp"}) {
        ASSERT_TRUE(WritePicture(temp.File(name), 300, 300)) << name;
        const auto small = decoder.MakeThumbnail(temp.File(name), 256);
        ASSERT_TRUE(small) << name;
        EXPECT_EQ(PngSize(small->bytes), std::make_pair(256, 256)) << name;
    }
    // Never enlarged.
    ASSERT_TRUE(WritePicture(temp.File("tiny.png"), 20, 10));
    EXPECT_EQ(PngSize(decoder.MakeThumbnail(temp.File("tiny.png"), 128)->bytes), std::make_pair(20, 10));

    const auto rendition = decoder.MakeRendition(temp.File("a.tif"));
    ASSERT_TRUE(rendition);
    EXPECT_EQ(rendition->mimeType, "image/jpeg");
}

TEST_F(PictureDecoderTest, BrokenAndHostileFilesGiveNothing)
{
    EXPECT_FALSE(decoder.MakeThumbnail(temp.Write("empty.jpg", ""), 128));
    EXPECT_FALSE(decoder.MakeThumbnail(temp.File("gone.jpg"), 128));
    EXPECT_FALSE(decoder.MakeThumbnail(temp.Write("text.png", "not a picture"), 128));


    // A PNG that claims 100000 x 100000 pixels in a few bytes: its header reads well.
    const auto chunk = [](const std::string& type, const std::string& data) {
        const auto bigEndian = [](unsigned long value) {
            std::string bytes;
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.push_back(static_cast<char>(value >> shift));
            return bytes;
        };
        return bigEndian(data.size()) + type + data + bigEndian(PngCrc(type + data));
    };
    const std::string bomb = std::string("\x89PNG\r\n\x1a\n", 8)
        + chunk("IHDR", std::string("\x00\x01\x86\xa0\x00\x01\x86\xa0\x08\x02\x00\x00\x00", 13))
        + chunk("IDAT", std::string("\x78\x9c\x63\x60\xa0\x0c\x00\x00\x00\x40\x00\x01", 12)) + chunk("IEND", "");
    EXPECT_FALSE(decoder.MakeThumbnail(temp.Write("bomb.png", bomb), 128));
    EXPECT_FALSE(decoder.MakeRendition(temp.File("bomb.png")));
}

// A JPEG cut short gets a thumbnail of what reads, marked in its top right corner.
TEST_F(PictureDecoderTest, PictureCutShortShowsItsPartMarked)
{
    ASSERT_TRUE(WriteNoisyJpeg(temp.File("whole.jpg"), 1200, 900));
    const std::string whole = test::CTempFolder::Read(temp.File("whole.jpg"));
    const auto intact = decoder.MakeThumbnail(temp.File("whole.jpg"), 128);
    ASSERT_TRUE(intact);
    EXPECT_FALSE(intact->damaged);
    const auto part = decoder.MakeThumbnail(temp.Write("half.jpg", whole.substr(0, whole.size() / 2)), 128);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->damaged);
    EXPECT_EQ(PngSize(part->bytes), std::make_pair(128, 96));
    EXPECT_EQ(part->sourceWidth, 1200);
    VipsImage* shown = vips_image_new_from_buffer(part->bytes.data(), part->bytes.size(), "", nullptr);
    ASSERT_NE(shown, nullptr);
    double* corner = nullptr;
    int bands = 0;
    ASSERT_EQ(vips_getpoint(shown, &corner, &bands, 126, 1, nullptr), 0);
    ASSERT_GE(bands, 3);
    EXPECT_GT(corner[0], 150);
    EXPECT_LT(corner[1], 80);
    g_free(corner);
    g_object_unref(shown);
    // PNG and GIF files cut short too, though whole ones are read by another decoder.
    VipsImage* noise = vips_image_new_from_file(temp.File("whole.jpg").c_str(), nullptr);
    ASSERT_NE(noise, nullptr);
    for (const std::string name : {"whole.png", "whole.gif"}) {
        ASSERT_EQ(vips_image_write_to_file(noise, temp.File(name).c_str(), nullptr), 0) << name;
        const std::string bytes = test::CTempFolder::Read(temp.File(name));
        const auto cut = decoder.MakeThumbnail(temp.Write("cut-" + name, bytes.substr(0, bytes.size() * 2 / 3)), 128);
        ASSERT_TRUE(cut) << name;
        EXPECT_TRUE(cut->damaged) << name;
        EXPECT_FALSE(decoder.MakeThumbnail(temp.File(name), 128)->damaged) << name;
    }
    g_object_unref(noise);
    // Not a picture at all: still nothing.
    EXPECT_FALSE(decoder.MakeThumbnail(temp.Write("cut.jpg", whole.substr(0, 40)), 128));
}

// A FIFO or a link to a device named like a picture: the decoder gives nothing, at once,
// instead of waiting for a writer or reading zeros for ever with a decode slot held.
TEST_F(PictureDecoderTest, FifosAndDevicesGiveNothingAtOnce)
{
    auto folder = std::make_shared<test::CTempFolder>();
    ASSERT_TRUE(test::MakeLink("/dev/zero", folder->File("zz1.jpg")));
    ASSERT_TRUE(test::MakeLink("/dev/zero", folder->File("zz2.png")));
    ASSERT_TRUE(test::MakeFifo(folder->File("zz3.gif")));
    for (const char* name : {"zz1.jpg", "zz2.png", "zz3.gif"}) {
        const std::string path = folder->File(name);
        auto results = std::make_shared<std::pair<bool, bool>>(true, true);
        const bool finished = test::FinishesWithin([path, results, folder] {
            CPictureDecoder decoder;
            results->first = decoder.MakeThumbnail(path, 128).has_value();
            results->second = decoder.MakeRendition(path).has_value();
        });
        if (!finished) {
            close(open(folder->File("zz3.gif").c_str(), O_RDWR | O_NONBLOCK)); // lets a stuck reader go
            FAIL() << name << " hangs the decoder";
        }
        EXPECT_FALSE(results->first) << name;
        EXPECT_FALSE(results->second) << name;
    }
}

// 35 bytes of GIF that declare 14000 x 14000 pixels: under the pixel cap, but decoding it
// would take some 800 MB. More than the whole memory budget: nothing, without decoding.
TEST_F(PictureDecoderTest, PictureOverTheMemoryBudgetGivesNothing)
{
    const std::string gif = std::string("GIF89a\xb0\x36\xb0\x36\x80\x00\x00", 13) + std::string("\0\0\0\xff\xff\xff", 6)
        + std::string("\x2c\0\0\0\0\xb0\x36\xb0\x36\x00", 10) + std::string("\x02\x02\x4c\x01\x00\x3b", 6);
    ASSERT_EQ(gif.size(), 35u);
    const std::string path = temp.Write("bomb.gif", gif);
    ASSERT_GT(14000ull * 14000 * 3, CDecodeBudget::Instance().GetTotal());
    EXPECT_FALSE(decoder.MakeThumbnail(path, 128));
    EXPECT_FALSE(decoder.MakeRendition(path));
    EXPECT_EQ(CDecodeBudget::Instance().GetFree(), CDecodeBudget::Instance().GetTotal());
    // A picture within the budget is made as before.
    ASSERT_TRUE(WritePicture(temp.File("fine.gif"), 2000, 1000));
    EXPECT_TRUE(decoder.MakeThumbnail(temp.File("fine.gif"), 128));
}

} // namespace
} // namespace mev
