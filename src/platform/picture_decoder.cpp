#include "platform/picture_decoder.hpp"

#include <algorithm>
#include <mutex>
#include <string_view>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <vips/vips.h>

namespace mev {

namespace {

// The longest side a rendition gets: the single-image view fits pictures to the window,
// and the web view keeps every pixel it shows decoded.
constexpr int MAX_RENDITION_SIDE = 6000;

constexpr int DECODE_NICENESS = 10;

bool g_ready = false;

// What libvips says about the files it reads (a truncated JPEG, a bad checksum) is about
// the user's pictures, not about the program: the broken-picture placeholder says it.
void DropFileWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

struct ImageRef {
    VipsImage* image = nullptr;
    ImageRef() = default;
    ImageRef(const ImageRef&) = delete;
    ImageRef& operator=(const ImageRef&) = delete;
    ~ImageRef()
    {
        if (image != nullptr)
            g_object_unref(image);
    }
    void Reset(VipsImage* next)
    {
        if (image != nullptr)
            g_object_unref(image);
        image = next;
    }
};

// Vector formats are drawn at the size asked for, whatever size they declare.
bool IsVectorLoader(const char* loader)
{
    const std::string_view name(loader != nullptr ? loader : "");
    return name.find("svgload") != std::string_view::npos || name.find("pdfload") != std::string_view::npos;
}

// Reads the header only and checks the size against the cap. The header says what the
// file claims, before any pixel memory is taken.
bool HeaderAllows(const std::string& path, int& width, int& height)
{
    ImageRef header;
    header.image = vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    if (header.image == nullptr)
        return false;
    width = vips_image_get_width(header.image);
    height = vips_image_get_height(header.image);
    const char* loader = nullptr;
    if (vips_image_get_typeof(header.image, VIPS_META_LOADER) != 0)
        vips_image_get_string(header.image, VIPS_META_LOADER, &loader);
    if (IsVectorLoader(loader))
        return width > 0 && height > 0;
    return IsDecodeSizeAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
}

// To 8-bit sRGB (with alpha where the picture has it), as the encoders and the web view want it.
bool ToDisplayable(ImageRef& picture)
{
    VipsImage* out = nullptr;
    if (vips_image_get_interpretation(picture.image) != VIPS_INTERPRETATION_sRGB
        && vips_image_get_interpretation(picture.image) != VIPS_INTERPRETATION_B_W) {
        if (vips_colourspace(picture.image, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
            return false;
        picture.Reset(out);
    }
    if (vips_image_get_format(picture.image) != VIPS_FORMAT_UCHAR) {
        if (vips_cast_uchar(picture.image, &out, nullptr) != 0)
            return false;
        picture.Reset(out);
    }
    return true;
}

std::optional<EncodedPicture> Encode(ImageRef& picture, bool alwaysPng, int sourceWidth, int sourceHeight)
{
    if (!ToDisplayable(picture))
        return std::nullopt;
    void* buffer = nullptr;
    size_t length = 0;
    EncodedPicture encoded;
    const bool png = alwaysPng || vips_image_hasalpha(picture.image);
    int result = 0;
    if (png) {
        result = vips_pngsave_buffer(picture.image, &buffer, &length, "compression", 3, "strip", TRUE, nullptr);
        encoded.mimeType = "image/png";
    } else {
        result = vips_jpegsave_buffer(picture.image, &buffer, &length, "Q", 90, "strip", TRUE, nullptr);
        encoded.mimeType = "image/jpeg";
    }
    if (result != 0 || buffer == nullptr)
        return std::nullopt;
    encoded.bytes.assign(static_cast<const char*>(buffer), length);
    g_free(buffer);
    encoded.sourceWidth = sourceWidth;
    encoded.sourceHeight = sourceHeight;
    return encoded;
}

// Decoding runs below the window's priority, so that scrolling and clicks stay quick
// while both processors make thumbnails. Only the calling thread is lowered, and it
// stays so: request workers end with their request.
void LowerThreadPriority()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, thread);
    if (current < DECODE_NICENESS)
        setpriority(PRIO_PROCESS, thread, DECODE_NICENESS);
}

// A JPEG file with its end marker: one that was cut short goes to libvips, which refuses
// it (gdk-pixbuf would show the part it has). A file with data after its end marker
// goes there too, and is read as usual.
bool IsWholeJpeg(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char head[3] = {};
    unsigned char tail[2] = {};
    const bool whole = std::fread(head, 1, 3, file) == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF
        && std::fseek(file, -2, SEEK_END) == 0 && std::fread(tail, 1, 2, file) == 2 && tail[0] == 0xFF
        && tail[1] == 0xD9;
    std::fclose(file);
    return whole;
}

// The thumbnail of a whole JPEG file; nothing when gdk-pixbuf cannot read it (libvips
// then tries). 'refused' tells a picture over the pixel cap, which nobody may decode.
std::optional<EncodedPicture> PixbufThumbnail(const std::string& path, int size, bool& refused)
{
    int width = 0;
    int height = 0;
    if (gdk_pixbuf_get_file_info(path.c_str(), &width, &height) == nullptr)
        return std::nullopt;
    if (!IsDecodeSizeAllowed(static_cast<std::uint64_t>(std::max(width, 0)), static_cast<std::uint64_t>(std::max(height, 0)))) {
        refused = true;
        return std::nullopt;
    }
    GError* error = nullptr;
    GdkPixbuf* loaded = width <= size && height <= size
        ? gdk_pixbuf_new_from_file(path.c_str(), &error)
        : gdk_pixbuf_new_from_file_at_scale(path.c_str(), size, size, TRUE, &error);
    if (loaded == nullptr) {
        g_clear_error(&error);
        return std::nullopt;
    }
    GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(loaded);
    g_object_unref(loaded);
    if (upright == nullptr)
        return std::nullopt;
    gchar* buffer = nullptr;
    gsize length = 0;
    const gboolean saved =
        gdk_pixbuf_save_to_buffer(upright, &buffer, &length, "png", &error, "compression", "3", nullptr);
    g_object_unref(upright);
    if (!saved) {
        g_clear_error(&error);
        return std::nullopt;
    }
    EncodedPicture encoded;
    encoded.bytes.assign(buffer, length);
    g_free(buffer);
    encoded.mimeType = "image/png";
    encoded.sourceWidth = width;
    encoded.sourceHeight = height;
    return encoded;
}

// Runs a decode and leaves no error text behind on this thread.
template <typename Decode>
std::optional<EncodedPicture> Guarded(Decode decode)
{
    if (!g_ready)
        return std::nullopt;
    LowerThreadPriority();
    std::optional<EncodedPicture> result = decode();
    vips_error_clear();
    vips_thread_shutdown();
    return result;
}

} // namespace

bool CPictureDecoder::Initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("mev") != 0) {
            vips_error_clear();
            return;
        }
        // Pictures are decoded side by side, each on one thread; operations are not
        // kept for reuse, since every picture is decoded once.
        vips_concurrency_set(1);
        vips_cache_set_max(0);
        vips_cache_set_max_mem(0);
        vips_leak_set(FALSE);
        g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO),
                          &DropFileWarning, nullptr);
        g_ready = true;
    });
    return g_ready;
}

std::optional<EncodedPicture> CPictureDecoder::MakeThumbnail(const std::string& path, int size) const
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        if (size <= 0)
            return std::nullopt;
        if (IsWholeJpeg(path)) {
            bool refused = false;
            if (auto thumbnail = PixbufThumbnail(path, size, refused))
                return thumbnail;
            if (refused)
                return std::nullopt;
        }
        int width = 0;
        int height = 0;
        if (!HeaderAllows(path, width, height))
            return std::nullopt;
        ImageRef thumbnail;
        if (vips_thumbnail(path.c_str(), &thumbnail.image, size, "height", size, "size", VIPS_SIZE_DOWN, "fail_on",
                           VIPS_FAIL_ON_ERROR, nullptr)
            != 0)
            return std::nullopt;
        return Encode(thumbnail, true, width, height);
    });
}

std::optional<EncodedPicture> CPictureDecoder::MakeRendition(const std::string& path) const
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        int width = 0;
        int height = 0;
        if (!HeaderAllows(path, width, height))
            return std::nullopt;
        ImageRef picture;
        if (vips_thumbnail(path.c_str(), &picture.image, MAX_RENDITION_SIDE, "height", MAX_RENDITION_SIDE, "size",
                           VIPS_SIZE_DOWN, "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
            != 0)
            return std::nullopt;
        return Encode(picture, false, width, height);
    });
}

std::vector<std::string> CPictureDecoder::GetPictureExtensions() const
{
    struct Format {
        const char* loader;
        std::vector<const char*> extensions;
    };
    static const Format FORMATS[] = {
        {"jpegload", {".jpg", ".jpeg", ".jpe", ".jfif"}},
        {"pngload", {".png"}},
        {"gifload", {".gif"}},
        {"webpload", {".webp"}},
        {"tiffload", {".tif", ".tiff"}},
        {"heifload", {".heic", ".heif", ".avif"}},
        {"jxlload", {".jxl"}},
        {"jp2kload", {".jp2", ".j2k", ".jpx", ".jpf"}},
        {"svgload", {".svg", ".svgz"}},
        {"ppmload", {".ppm", ".pgm", ".pbm", ".pnm", ".pfm"}},
        {"radload", {".hdr"}},
        {"openexrload", {".exr"}},
        {"magickload", {".bmp", ".ico", ".tga", ".psd", ".xcf", ".pcx"}},
    };
    std::vector<std::string> keys;
    if (!g_ready)
        return keys;
    for (const Format& format : FORMATS) {
        if (vips_type_find("VipsOperation", format.loader) == 0)
            continue;
        for (const char* extension : format.extensions)
            keys.emplace_back(extension);
    }
    return keys;
}

} // namespace mev
