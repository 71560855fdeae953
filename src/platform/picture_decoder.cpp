#include "platform/picture_decoder.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <dlfcn.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <vips/vips.h>

#include "core/files/user_file.hpp"
#include "core/thumbs/decode_budget.hpp"

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

// Set in a sandboxed helper: a read-only folder of links "picture.<ext>" to the picture
// descriptor, made by the sandbox.
const char* g_linkFolder = nullptr;

// Folders "mev-pictures-<pid>-*" in the temporary folder left empty by processes that
// have ended without tidying up (a decode helper stopped for taking too long, say).
void RemoveStaleAliasFolders(const std::string& tmp)
{
    GDir* dir = g_dir_open(tmp.c_str(), 0, nullptr);
    if (dir == nullptr)
        return;
    constexpr std::string_view PREFIX = "mev-pictures-";
    while (const char* name = g_dir_read_name(dir)) {
        const std::string_view entry(name);
        if (!entry.starts_with(PREFIX))
            continue;
        // Any other user may name a folder so: only "<pid>-" with a number that fits counts.
        const char* digits = name + PREFIX.size();
        const char* end = name + entry.size();
        long pid = 0;
        const auto [after, error] = std::from_chars(digits, end, pid);
        if (error != std::errc() || after == end || *after != '-' || pid == static_cast<long>(getpid())
            || g_file_test(("/proc/" + std::to_string(pid)).c_str(), G_FILE_TEST_EXISTS))
            continue;
        // Only an empty folder goes, and only one of this user's.
        const std::string path = tmp + "/" + name;
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid())
            rmdir(path.c_str());
    }
    g_dir_close(dir);
}

// A private folder for the names the readers open pictures by; "" when none could be made.
const std::string& AliasFolder()
{
    // Never destroyed: decodes still running when the program ends use it after static
    // objects have gone.
    static const auto* folder = [] {
        RemoveStaleAliasFolders(g_get_tmp_dir());
        const std::string pattern = "mev-pictures-" + std::to_string(getpid()) + "-XXXXXX";
        gchar* made = g_dir_make_tmp(pattern.c_str(), nullptr);
        auto* path = new std::string(made != nullptr ? made : "");
        g_free(made);
        // Gone with the program, unless a decode still holds a name in it then.
        if (!path->empty())
            std::atexit(&CPictureDecoder::RemoveAliasFolder);
        return path;
    }();
    return *folder;
}

// The picture file as the decoders see it: a regular file opened and checked by whoever
// asked for the decode. The readers open it through a link to that open file
// (/proc/self/fd/N) named with the file's own extension, which some loaders choose by.
// Whatever the name leads to later, a FIFO or a link to a device swapped in, the readers
// get the file that was checked.
class CPictureFile {
public:
    CPictureFile(int fd, const std::string& extension) : m_fd(fd)
    {
        const std::string target = "/proc/self/fd/" + std::to_string(fd);
        m_readerPath = target;
        if (g_linkFolder != nullptr) {
            // ImageMagick follows links to the name the file had outside the sandbox, which
            // is not there: its formats read a copy in the sandbox's private /tmp.
            if (IsMagickExtension(extension) && CopyToPrivateTmp(fd, "/tmp/picture" + extension))
                return;
            const std::string link = std::string(g_linkFolder) + "/picture" + extension;
            struct stat info {};
            if (fd == DECODE_PICTURE_FD && !extension.empty() && lstat(link.c_str(), &info) == 0)
                m_readerPath = link;
            return;
        }
        const std::string& folder = AliasFolder();
        if (folder.empty())
            return; // loaders then choose by the content alone
        static std::atomic<unsigned> counter{0};
        std::string alias = folder + "/" + std::to_string(counter.fetch_add(1)) + extension;
        if (symlink(target.c_str(), alias.c_str()) == 0) {
            m_alias = alias;
            m_readerPath = std::move(alias);
        }
    }
    ~CPictureFile()
    {
        if (!m_alias.empty())
            unlink(m_alias.c_str());
    }
    CPictureFile(const CPictureFile&) = delete;
    CPictureFile& operator=(const CPictureFile&) = delete;

    int Fd() const { return m_fd; }
    const char* ReaderPath() const { return m_readerPath.c_str(); }

private:
    static bool IsMagickExtension(const std::string& extension)
    {
        for (const char* key : {".bmp", ".ico", ".tga", ".psd", ".xcf", ".pcx"}) {
            if (extension == key)
                return true;
        }
        return false;
    }

    bool CopyToPrivateTmp(int fd, const std::string& path)
    {
        const int copy = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (copy < 0)
            return false;
        m_alias = path;
        std::vector<char> buffer(1 << 20);
        off_t from = 0;
        bool ok = true;
        for (;;) {
            const ssize_t got = pread(fd, buffer.data(), buffer.size(), from);
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            if (write(copy, buffer.data(), static_cast<std::size_t>(got)) != got) {
                ok = false; // over the private /tmp's size
                break;
            }
            from += got;
        }
        close(copy);
        if (ok)
            m_readerPath = path;
        return ok;
    }

    const int m_fd;
    std::string m_alias;
    std::string m_readerPath;
};

// Vector formats are drawn at the size asked for, whatever size they declare.
bool IsVectorLoader(std::string_view loader)
{
    return loader.find("svgload") != std::string_view::npos || loader.find("pdfload") != std::string_view::npos;
}

// The factor a JPEG decoder shrinks by on its own (1, 2, 4 or 8) for a picture of that
// size made to fit 'side'.
std::uint64_t JpegShrink(std::uint64_t width, std::uint64_t height, int side)
{
    const std::uint64_t longer = std::max(width, height);
    std::uint64_t shrink = 1;
    while (shrink < 8 && longer / (shrink * 2) >= static_cast<std::uint64_t>(std::max(side, 1)))
        shrink *= 2;
    return shrink;
}

// What decoding a picture to fit 'side' takes in memory, from its header: the decoded
// pixels at the size the loader makes them, plus the result.
std::uint64_t DecodeBytes(std::string_view loader, std::uint64_t width, std::uint64_t height,
                          std::uint64_t bytesPerPixel, int side)
{
    // The result, fitted to 'side' (never enlarged, vector formats apart), as RGBA.
    const auto fit = static_cast<std::uint64_t>(std::max(side, 1));
    const std::uint64_t longer = std::max<std::uint64_t>(std::max(width, height), 1);
    const std::uint64_t scale = IsVectorLoader(loader) || longer > fit ? fit : longer;
    const std::uint64_t target = (width * scale / longer + 1) * (height * scale / longer + 1) * 4;
    if (IsVectorLoader(loader))
        return target;
    std::uint64_t shrink = 1;
    if (loader.find("jpegload") != std::string_view::npos)
        shrink = JpegShrink(width, height, side);
    return ((width + shrink - 1) / shrink) * ((height + shrink - 1) / shrink) * std::max<std::uint64_t>(bytesPerPixel, 1)
        + target;
}

// Reads the header only and checks the size against the pixel cap; 'bytes' is what the
// decode to fit 'side' will take. The header says what the file claims, before any
// pixel memory is taken.
bool HeaderAllows(const CPictureFile& file, int side, int& width, int& height, std::uint64_t& bytes)
{
    ImageRef header;
    header.image = vips_image_new_from_file(file.ReaderPath(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    if (header.image == nullptr)
        return false;
    width = vips_image_get_width(header.image);
    height = vips_image_get_height(header.image);
    const char* loader = nullptr;
    if (vips_image_get_typeof(header.image, VIPS_META_LOADER) != 0)
        vips_image_get_string(header.image, VIPS_META_LOADER, &loader);
    const std::string_view loaderName(loader != nullptr ? loader : "");
    const auto w = static_cast<std::uint64_t>(std::max(width, 0));
    const auto h = static_cast<std::uint64_t>(std::max(height, 0));
    const std::uint64_t pixelBytes = static_cast<std::uint64_t>(vips_image_get_bands(header.image))
        * vips_format_sizeof(vips_image_get_format(header.image));
    // The decoded picture is never smaller than 8-bit RGBA in the loaders' hands.
    bytes = DecodeBytes(loaderName, w, h, std::max<std::uint64_t>(pixelBytes, 4), side);
    if (IsVectorLoader(loaderName))
        return width > 0 && height > 0;
    return IsDecodeSizeAllowed(w, h);
}

// A small red square with a white exclamation mark in the top right corner, drawn on a
// thumbnail of a picture that could be read only in part.
bool DrawDamageMark(ImageRef& picture)
{
    VipsImage* copy = vips_image_copy_memory(picture.image);
    if (copy == nullptr)
        return false;
    picture.Reset(copy);
    const int width = vips_image_get_width(picture.image);
    const int height = vips_image_get_height(picture.image);
    const int side = std::min({std::max(std::min(width, height) / 6, 10), 28, width, height});
    const int bands = vips_image_get_bands(picture.image);
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
    return vips_draw_rect(picture.image, red.data(), bands, left, 0, side, side, "fill", TRUE, nullptr) == 0
        && vips_draw_rect(picture.image, white.data(), bands, middle, side / 6, bar, side * 5 / 12, "fill", TRUE, nullptr) == 0
        && vips_draw_rect(picture.image, white.data(), bands, middle, side * 2 / 3, bar, bar, "fill", TRUE, nullptr) == 0;
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

std::optional<EncodedPicture> Encode(ImageRef& picture, bool alwaysPng, int sourceWidth, int sourceHeight,
                                     bool damaged = false)
{
    if (!ToDisplayable(picture))
        return std::nullopt;
    if (damaged && !DrawDamageMark(picture))
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
    encoded.damaged = damaged;
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
bool IsWholeJpeg(const CPictureFile& file)
{
    struct stat info {};
    if (fstat(file.Fd(), &info) != 0 || info.st_size < 5)
        return false;
    unsigned char head[3] = {};
    unsigned char tail[2] = {};
    return pread(file.Fd(), head, 3, 0) == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF
        && pread(file.Fd(), tail, 2, info.st_size - 2) == 2 && tail[0] == 0xFF && tail[1] == 0xD9;
}

// The thumbnail of a whole JPEG file; nothing when gdk-pixbuf cannot read it (libvips
// then tries). 'refused' tells a picture over the pixel cap or the memory budget, which
// nobody may decode.
std::optional<EncodedPicture> PixbufThumbnail(const CPictureFile& file, int size, const CPictureDecoder::ReserveRoom& reserve,
                                              bool& refused)
{
    int width = 0;
    int height = 0;
    if (gdk_pixbuf_get_file_info(file.ReaderPath(), &width, &height) == nullptr)
        return std::nullopt;
    const auto w = static_cast<std::uint64_t>(std::max(width, 0));
    const auto h = static_cast<std::uint64_t>(std::max(height, 0));
    if (!IsDecodeSizeAllowed(w, h)) {
        refused = true;
        return std::nullopt;
    }
    // gdk-pixbuf keeps RGB, and scales from the shrunk decode into a picture of its own.
    if (!reserve(DecodeBytes("jpegload", w, h, 3, size) * 2)) {
        refused = true;
        return std::nullopt;
    }
    GError* error = nullptr;
    GdkPixbuf* loaded = width <= size && height <= size
        ? gdk_pixbuf_new_from_file(file.ReaderPath(), &error)
        : gdk_pixbuf_new_from_file_at_scale(file.ReaderPath(), size, size, TRUE, &error);
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

// A thumbnail of what reads of a picture that libvips refuses whole, as a file cut short
// is; nothing when not even that reads.
bool ThumbnailOfPart(const CPictureFile& file, int side, ImageRef& thumbnail)
{
    vips_error_clear();
    return vips_thumbnail(file.ReaderPath(), &thumbnail.image, side, "height", side, "size", VIPS_SIZE_DOWN, "fail_on",
                          VIPS_FAIL_ON_NONE, nullptr)
        == 0;
}

// Holds room in the shared budget for in-process decodes, one decode after the other.
class CBudgetRoom {
public:
    bool Reserve(std::uint64_t bytes)
    {
        m_memory.reset();
        m_memory = std::make_unique<CDecodeMemory>(CDecodeBudget::Instance(), bytes);
        return m_memory->IsHeld();
    }

private:
    std::unique_ptr<CDecodeMemory> m_memory;
};

} // namespace

void CPictureDecoder::UseLinkFolder(const char* folder)
{
    g_linkFolder = folder;
}

void CPictureDecoder::RemoveAliasFolder()
{
    if (g_linkFolder == nullptr && !AliasFolder().empty())
        rmdir(AliasFolder().c_str());
}

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

std::optional<EncodedPicture> CPictureDecoder::DecodeThumbnail(int fd, const std::string& extension, int size,
                                                               const ReserveRoom& reserve)
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        if (size <= 0 || fd < 0)
            return std::nullopt;
        const CPictureFile file(fd, extension);
        if (IsWholeJpeg(file)) {
            bool refused = false;
            if (auto thumbnail = PixbufThumbnail(file, size, reserve, refused))
                return thumbnail;
            if (refused)
                return std::nullopt;
        }
        int width = 0;
        int height = 0;
        std::uint64_t bytes = 0;
        if (!HeaderAllows(file, size, width, height, bytes) || !reserve(bytes))
            return std::nullopt;
        ImageRef thumbnail;
        // Pixels are read as the encoder asks for them: a file cut short fails there.
        if (vips_thumbnail(file.ReaderPath(), &thumbnail.image, size, "height", size, "size", VIPS_SIZE_DOWN,
                           "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
            == 0) {
            if (auto encoded = Encode(thumbnail, true, width, height))
                return encoded;
        }
        thumbnail.Reset(nullptr);
        if (!ThumbnailOfPart(file, size, thumbnail))
            return std::nullopt;
        return Encode(thumbnail, true, width, height, true);
    });
}

std::optional<EncodedPicture> CPictureDecoder::DecodeRendition(int fd, const std::string& extension,
                                                               const ReserveRoom& reserve)
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        if (fd < 0)
            return std::nullopt;
        const CPictureFile file(fd, extension);
        int width = 0;
        int height = 0;
        std::uint64_t bytes = 0;
        if (!HeaderAllows(file, MAX_RENDITION_SIDE, width, height, bytes) || !reserve(bytes))
            return std::nullopt;
        ImageRef picture;
        if (vips_thumbnail(file.ReaderPath(), &picture.image, MAX_RENDITION_SIDE, "height", MAX_RENDITION_SIDE, "size",
                           VIPS_SIZE_DOWN, "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
            != 0)
            return std::nullopt;
        return Encode(picture, false, width, height);
    });
}

std::optional<EncodedPicture> CPictureDecoder::MakeThumbnail(const std::string& path, int size) const
{
    CUniqueFd fd;
    OpenRegularFile(path, fd);
    CBudgetRoom room;
    return DecodeThumbnail(fd.Get(), PictureExtensionOf(path), size, [&](std::uint64_t bytes) { return room.Reserve(bytes); });
}

std::optional<EncodedPicture> CPictureDecoder::MakeRendition(const std::string& path) const
{
    CUniqueFd fd;
    OpenRegularFile(path, fd);
    CBudgetRoom room;
    return DecodeRendition(fd.Get(), PictureExtensionOf(path), [&](std::uint64_t bytes) { return room.Reserve(bytes); });
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

std::vector<std::string> CPictureDecoder::GetTypeStamps()
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
    stamps.push_back(folder + "/vips-modules-" + std::to_string(vips_version(0)) + "." + std::to_string(vips_version(1)));
    return stamps;
}

} // namespace mev
