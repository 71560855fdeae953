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
#include <sys/stat.h>
#include <unistd.h>

#include <dlfcn.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "core/files/user_file.hpp"
#include "core/shell/program_path.hpp"
#include "core/thumbs/decode_budget.hpp"
#include "platform/vips_pictures.hpp"

namespace mev {

namespace {

// The longest side a rendition gets: the single-image view fits pictures to the window,
// and the web view keeps every pixel it shows decoded.
constexpr int MAX_RENDITION_SIDE = 6000;

// Set in a sandboxed helper: a read-only folder of links "picture.<ext>" to the picture
// descriptor, made by the sandbox.
const char* g_linkFolder = nullptr;

// The libvips module, once loaded, and its file.
std::atomic<IVipsPictures*> g_vips{nullptr};
std::string g_vipsModule;

IVipsPictures* LoadedVips()
{
    return g_vips.load(std::memory_order_acquire);
}

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
    CPictureFile(int fd, const std::string& extension)
    {
        const std::string target = "/proc/self/fd/" + std::to_string(fd);
        m_readerPath = target;
        if (extension.empty())
            return; // loaders choose by the content alone
        if (g_linkFolder != nullptr) {
            // ImageMagick follows links to the name the file had outside the sandbox, which
            // is not there: its formats read a copy in the sandbox's private /tmp.
            if (IsMagickExtension(extension) && CopyToPrivateTmp(fd, "/tmp/picture" + extension))
                return;
            const std::string link = std::string(g_linkFolder) + "/picture" + extension;
            struct stat info {};
            if (fd == DECODE_PICTURE_FD && lstat(link.c_str(), &info) == 0)
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
bool HeaderAllows(IVipsPictures& vips, const CPictureFile& file, int side, int& width, int& height,
                  std::uint64_t& bytes)
{
    IVipsPictures::Header header;
    if (!vips.ReadHeader(file.ReaderPath(), header))
        return false;
    width = header.width;
    height = header.height;
    const auto w = static_cast<std::uint64_t>(std::max(width, 0));
    const auto h = static_cast<std::uint64_t>(std::max(height, 0));
    // The decoded picture is never smaller than 8-bit RGBA in the loaders' hands.
    bytes = DecodeBytes(header.loader, w, h, std::max<std::uint64_t>(header.pixelBytes, 4), side);
    if (IsVectorLoader(header.loader))
        return width > 0 && height > 0;
    return IsDecodeSizeAllowed(w, h);
}

// With the source size.
std::optional<EncodedPicture> Sized(std::optional<EncodedPicture> picture, int width, int height)
{
    if (picture) {
        picture->sourceWidth = width;
        picture->sourceHeight = height;
    }
    return picture;
}

// Only the calling thread is lowered, and it stays so: request workers end with their
// request.
void LowerThreadPriority()
{
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    LowerThreadNiceness(DECODE_NICENESS);
}

// The formats gdk-pixbuf decodes here, without libvips: whole JPEG, PNG, GIF and BMP
// files.
enum class PixbufFormat { None, Jpeg, Png, Gif, Bmp };

// A JPEG file with its end marker, a PNG file that ends with its end chunk, a GIF file
// that ends with its trailer, a BMP file as long as its header says: one that was cut
// short goes to libvips, which shows the part it has, marked (gdk-pixbuf would show a
// JPEG's part unmarked). A file with data after its end goes there too, and is read as
// usual.
PixbufFormat WholePixbufFormat(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size < 20)
        return PixbufFormat::None;
    unsigned char head[8] = {};
    unsigned char tail[8] = {};
    if (pread(fd, head, sizeof(head), 0) != sizeof(head)
        || pread(fd, tail, sizeof(tail), info.st_size - static_cast<off_t>(sizeof(tail))) != sizeof(tail))
        return PixbufFormat::None;
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && tail[6] == 0xFF && tail[7] == 0xD9)
        return PixbufFormat::Jpeg;
    static const unsigned char PNG_HEAD[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char PNG_TAIL[8] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    if (std::equal(head, head + 8, PNG_HEAD) && std::equal(tail, tail + 8, PNG_TAIL))
        return PixbufFormat::Png;
    const std::string_view start(reinterpret_cast<const char*>(head), sizeof(head));
    if ((start.starts_with("GIF87a") || start.starts_with("GIF89a")) && tail[7] == 0x3B)
        return PixbufFormat::Gif;
    const std::uint32_t declared = head[2] | head[3] << 8 | head[4] << 16 | static_cast<std::uint32_t>(head[5]) << 24;
    if (start.starts_with("BM") && declared >= 26 && declared <= static_cast<std::uint64_t>(info.st_size))
        return PixbufFormat::Bmp;
    return PixbufFormat::None;
}

// The thumbnail of a whole file gdk-pixbuf reads; nothing when it cannot read it
// (libvips then tries). 'refused' tells a picture over the pixel cap or the memory
// budget, which nobody may decode.
std::optional<EncodedPicture> PixbufThumbnail(const CPictureFile& file, PixbufFormat format, int size,
                                              const CPictureDecoder::ReserveRoom& reserve, bool& refused)
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
    // gdk-pixbuf keeps RGB (RGBA for the formats it reads whole), and scales from the
    // decode into a picture of its own.
    const bool jpeg = format == PixbufFormat::Jpeg;
    if (!reserve(DecodeBytes(jpeg ? "jpegload" : "pixbuf", w, h, jpeg ? 3 : 4, size) * 2)) {
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
    LowerThreadPriority();
    std::optional<EncodedPicture> result = decode();
    if (IVipsPictures* vips = LoadedVips())
        vips->EndDecode();
    return result;
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

IVipsPictures* LoadVipsPictures()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // In the helper's folder (installed, or the build's), or the one above it for a
        // test or benchmark in a folder of the build.
        const std::string folder = GetProgramFolder();
        for (const std::string& path : {folder + "/" + VIPS_MODULE_NAME, folder + "/../" + VIPS_MODULE_NAME}) {
            if (folder.empty() || access(path.c_str(), R_OK) != 0)
                continue;
            // For the life of the process: libvips cannot be shut down and started again.
            void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
            const auto open = module != nullptr
                ? reinterpret_cast<OpenVipsPictures>(dlsym(module, VIPS_PICTURES_ENTRY))
                : nullptr;
            if (open != nullptr)
                g_vips.store(open(), std::memory_order_release);
            if (LoadedVips() != nullptr) {
                char* resolved = realpath(path.c_str(), nullptr);
                g_vipsModule = resolved != nullptr ? resolved : path;
                free(resolved);
            }
            break;
        }
    });
    return g_vips.load(std::memory_order_acquire);
}

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
    return LoadVipsPictures() != nullptr;
}

std::optional<EncodedPicture> CPictureDecoder::DecodeThumbnail(int fd, const std::string& extension, int size,
                                                               const ReserveRoom& reserve)
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        if (size <= 0 || fd < 0)
            return std::nullopt;
        if (const PixbufFormat format = WholePixbufFormat(fd); format != PixbufFormat::None) {
            // gdk-pixbuf goes by the content alone: no name with the extension, nor a copy.
            const CPictureFile file(fd, {});
            bool refused = false;
            if (auto thumbnail = PixbufThumbnail(file, format, size, reserve, refused))
                return thumbnail;
            if (refused)
                return std::nullopt;
        }
        const CPictureFile file(fd, extension);
        IVipsPictures* vips = LoadVipsPictures();
        int width = 0;
        int height = 0;
        std::uint64_t bytes = 0;
        if (vips == nullptr || !HeaderAllows(*vips, file, size, width, height, bytes) || !reserve(bytes))
            return std::nullopt;
        if (auto whole = vips->Shrink(file.ReaderPath(), size, true, true))
            return Sized(std::move(whole), width, height);
        // What reads of a picture that libvips refuses whole, as a file cut short is.
        vips->EndDecode();
        return Sized(vips->Shrink(file.ReaderPath(), size, false, true), width, height);
    });
}

std::optional<EncodedPicture> CPictureDecoder::DecodeRendition(int fd, const std::string& extension,
                                                               const ReserveRoom& reserve)
{
    return Guarded([&]() -> std::optional<EncodedPicture> {
        if (fd < 0)
            return std::nullopt;
        const CPictureFile file(fd, extension);
        IVipsPictures* vips = LoadVipsPictures();
        int width = 0;
        int height = 0;
        std::uint64_t bytes = 0;
        if (vips == nullptr || !HeaderAllows(*vips, file, MAX_RENDITION_SIDE, width, height, bytes) || !reserve(bytes))
            return std::nullopt;
        return Sized(vips->Shrink(file.ReaderPath(), MAX_RENDITION_SIDE, true, false), width, height);
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
    // What gdk-pixbuf reads here is read with libvips or without.
    static const std::string_view PIXBUF_READS[] = {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".gif", ".bmp"};
    IVipsPictures* vips = LoadVipsPictures();
    std::vector<std::string> keys;
    for (const Format& format : FORMATS) {
        const bool read = vips != nullptr && vips->HasLoader(format.loader);
        for (const char* extension : format.extensions) {
            if (read || std::find(std::begin(PIXBUF_READS), std::end(PIXBUF_READS), extension) != std::end(PIXBUF_READS))
                keys.emplace_back(extension);
        }
    }
    return keys;
}

std::vector<std::string> CPictureDecoder::GetTypeStamps()
{
    IVipsPictures* vips = LoadVipsPictures();
    if (vips == nullptr)
        return {};
    std::vector<std::string> stamps = vips->GetTypeStamps();
    stamps.insert(stamps.begin(), g_vipsModule);
    return stamps;
}

} // namespace mev
