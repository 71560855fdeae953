// Built into the module VIPS_MODULE_NAME only: the decode helper loads it when a picture
// needs libvips.
#include "platform/vips_pictures.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include <dlfcn.h>
#include <vips/vips.h>

namespace mev {

namespace {

// What libvips says about the files it reads (a truncated JPEG, a bad checksum) is about
// the user's pictures, not about the program: the broken-picture placeholder says it.
void DropFileWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// Owns one reference of a GObject.
template <typename T>
struct ObjectRef {
    T* object = nullptr;
    ObjectRef() = default;
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ~ObjectRef()
    {
        if (object != nullptr)
            g_object_unref(object);
    }
    void Reset(T* next)
    {
        if (object != nullptr)
            g_object_unref(object);
        object = next;
    }
};
using ImageRef = ObjectRef<VipsImage>;

// A small red square with a white exclamation mark in the top right corner, drawn on a
// thumbnail of a picture that could be read only in part.
bool DrawDamageMark(ImageRef& picture)
{
    VipsImage* copy = vips_image_copy_memory(picture.object);
    if (copy == nullptr)
        return false;
    picture.Reset(copy);
    const int width = vips_image_get_width(picture.object);
    const int height = vips_image_get_height(picture.object);
    const int side = std::min({std::max(std::min(width, height) / 6, 10), 28, width, height});
    const int bands = vips_image_get_bands(picture.object);
    const bool colour = bands >= 3;
    std::vector<double> red(static_cast<std::size_t>(bands), 255.0);
    std::vector<double> white(static_cast<std::size_t>(bands), 255.0);
    if (colour) {
        red[0] = 200;
        red[1] = 30;
        red[2] = 30;
    } else {
        red[0] = 60;
    }
    const int left = width - side;
    const int bar = std::max(side / 6, 2);
    const int middle = left + (side - bar) / 2;
    return vips_draw_rect(picture.object, red.data(), bands, left, 0, side, side, "fill", TRUE, nullptr) == 0
        && vips_draw_rect(picture.object, white.data(), bands, middle, side / 6, bar, side * 5 / 12, "fill", TRUE, nullptr) == 0
        && vips_draw_rect(picture.object, white.data(), bands, middle, side * 2 / 3, bar, bar, "fill", TRUE, nullptr) == 0;
}

// To 8-bit sRGB (with alpha where the picture has it), as the encoders and the web view want it.
bool ToDisplayable(ImageRef& picture)
{
    VipsImage* out = nullptr;
    if (vips_image_get_interpretation(picture.object) != VIPS_INTERPRETATION_sRGB
        && vips_image_get_interpretation(picture.object) != VIPS_INTERPRETATION_B_W) {
        if (vips_colourspace(picture.object, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
            return false;
        picture.Reset(out);
    }
    if (vips_image_get_format(picture.object) != VIPS_FORMAT_UCHAR) {
        if (vips_cast_uchar(picture.object, &out, nullptr) != 0)
            return false;
        picture.Reset(out);
    }
    return true;
}

std::optional<EncodedPicture> Encode(ImageRef& picture, bool alwaysPng, bool damaged)
{
    if (!ToDisplayable(picture))
        return std::nullopt;
    if (damaged && !DrawDamageMark(picture))
        return std::nullopt;
    void* buffer = nullptr;
    size_t length = 0;
    EncodedPicture encoded;
    const bool png = alwaysPng || vips_image_hasalpha(picture.object);
    int result = 0;
    if (png) {
        result = vips_pngsave_buffer(picture.object, &buffer, &length, "compression", 3, "strip", TRUE, nullptr);
        encoded.mimeType = "image/png";
    } else {
        result = vips_jpegsave_buffer(picture.object, &buffer, &length, "Q", 90, "strip", TRUE, nullptr);
        encoded.mimeType = "image/jpeg";
    }
    if (result != 0 || buffer == nullptr)
        return std::nullopt;
    encoded.bytes.assign(static_cast<const char*>(buffer), length);
    g_free(buffer);
    encoded.damaged = damaged;
    return encoded;
}

class CVipsPictures final : public IVipsPictures {
public:
    bool ReadHeader(const char* path, Header& header) override
    {
        ImageRef image;
        image.object = vips_image_new_from_file(path, "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
        if (image.object == nullptr)
            return false;
        header.width = vips_image_get_width(image.object);
        header.height = vips_image_get_height(image.object);
        const char* loader = nullptr;
        if (vips_image_get_typeof(image.object, VIPS_META_LOADER) != 0)
            vips_image_get_string(image.object, VIPS_META_LOADER, &loader);
        header.loader = loader != nullptr ? loader : "";
        header.pixelBytes = static_cast<std::uint64_t>(vips_image_get_bands(image.object))
            * vips_format_sizeof(vips_image_get_format(image.object));
        return true;
    }

    std::optional<EncodedPicture> Shrink(const char* path, int side, bool whole, bool alwaysPng) override
    {
        ImageRef picture;
        // Pixels are read as the encoder asks for them: a file cut short fails there.
        if (vips_thumbnail(path, &picture.object, side, "height", side, "size", VIPS_SIZE_DOWN, "fail_on",
                           whole ? VIPS_FAIL_ON_ERROR : VIPS_FAIL_ON_NONE, nullptr)
            != 0)
            return std::nullopt;
        return Encode(picture, alwaysPng, !whole);
    }

    bool HasLoader(const char* operation) override { return vips_type_find("VipsOperation", operation) != 0; }

    std::vector<std::string> GetTypeStamps() override
    {
        std::vector<std::string> stamps;
        Dl_info library{};
        if (dladdr(reinterpret_cast<void*>(&vips_version), &library) == 0 || library.dli_fname == nullptr)
            return stamps;
        char* resolved = realpath(library.dli_fname, nullptr);
        if (resolved == nullptr)
            return stamps;
        const std::string path = resolved;
        free(resolved);
        stamps.push_back(path);
        // Where libvips looks for its loader modules (HEIF, JPEG XL, ImageMagick...).
        const std::string folder = path.substr(0, path.rfind('/'));
        stamps.push_back(folder + "/vips-modules-" + std::to_string(vips_version(0)) + "."
                         + std::to_string(vips_version(1)));
        return stamps;
    }

    bool ReadFields(int fd, const std::vector<const char*>& names, int& width, int& height,
                    std::vector<std::string>& values) override
    {
        ObjectRef<VipsSource> source;
        source.object = vips_source_new_from_descriptor(fd); // it holds its own duplicate
        if (source.object == nullptr)
            return false;
        ImageRef image;
        image.object = vips_image_new_from_source(source.object, "", "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
        if (image.object == nullptr) {
            vips_error_clear();
            return false;
        }
        width = vips_image_get_width(image.object);
        height = vips_image_get_height(image.object);
        if (vips_image_get_orientation_swap(image.object))
            std::swap(width, height);
        values.clear();
        for (const char* name : names) {
            const char* text = nullptr;
            if (vips_image_get_typeof(image.object, name) != 0 && vips_image_get_string(image.object, name, &text) == 0
                && text != nullptr)
                values.emplace_back(text);
            else
                values.emplace_back();
        }
        return true;
    }

    void EndDecode() override
    {
        vips_error_clear();
        vips_thread_shutdown();
    }
};

} // namespace

} // namespace mev

extern "C" __attribute__((visibility("default"))) mev::IVipsPictures* mev_open_vips_pictures()
{
    if (VIPS_INIT("mev") != 0) {
        vips_error_clear();
        return nullptr;
    }
    // Pictures are decoded side by side, each on one thread; operations are not kept
    // for reuse, since every picture is decoded once.
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
    vips_leak_set(FALSE);
    g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO),
                      &mev::DropFileWarning, nullptr);
    static mev::CVipsPictures pictures;
    return &pictures;
}
