#include "core/thumbs/thumbnail_cache.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "core/shell/url.hpp"
#include "core/thumbs/md5.hpp"
#include "core/thumbs/png_text.hpp"

namespace mev {

namespace {

namespace fs = std::filesystem;

constexpr std::array<ThumbnailSize, 4> ALL_SIZES = {ThumbnailSize::Normal, ThumbnailSize::Large,
                                                    ThumbnailSize::XLarge, ThumbnailSize::XXLarge};

// Thumbnails larger than this are not ours to read: the biggest standard size as PNG
// stays far below it.
constexpr std::uintmax_t MAX_THUMBNAIL_BYTES = 64u << 20;

// A 1x1 transparent PNG: what the failure records carry besides their text.
constexpr std::string_view EMPTY_PNG(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01"
    "\x08\x06\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0b\x49\x44\x41\x54\x78\x9c\x63\x60\x00\x02\x00"
    "\x00\x05\x00\x01\x7a\x5e\xab\x3f\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    68);

bool IsKeptInUri(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case '/': case '!': case '$': case '&': case '\'':
    case '(': case ')': case '*': case '+': case ',': case ':': case '=': case '@':
        return true;
    default:
        return false;
    }
}

std::optional<std::string> ReadSmallFile(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    const auto size = fs::file_size(path, ec);
    if (ec || size > MAX_THUMBNAIL_BYTES)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Creates the folder and the ones above it up to the cache root, each private to the user.
bool MakePrivateFolder(const fs::path& folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return true;
    if (folder.has_parent_path() && folder.parent_path() != folder && !MakePrivateFolder(folder.parent_path()))
        return false;
    if (!fs::create_directory(folder, ec) && !fs::is_directory(folder, ec))
        return false;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return true;
}

std::string RandomSuffix()
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char DIGITS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < 10; ++i)
        suffix.push_back(DIGITS[generator() % (sizeof(DIGITS) - 1)]);
    return suffix;
}

} // namespace

int GetThumbnailPixels(ThumbnailSize size)
{
    switch (size) {
    case ThumbnailSize::Normal: return 128;
    case ThumbnailSize::Large: return 256;
    case ThumbnailSize::XLarge: return 512;
    case ThumbnailSize::XXLarge: return 1024;
    }
    return 128;
}

const char* GetThumbnailFolderName(ThumbnailSize size)
{
    switch (size) {
    case ThumbnailSize::Normal: return "normal";
    case ThumbnailSize::Large: return "large";
    case ThumbnailSize::XLarge: return "x-large";
    case ThumbnailSize::XXLarge: return "xx-large";
    }
    return "normal";
}

ThumbnailSize ChooseThumbnailSize(int displayedPixels)
{
    for (ThumbnailSize size : ALL_SIZES) {
        if (displayedPixels <= GetThumbnailPixels(size))
            return size;
    }
    return ThumbnailSize::XXLarge;
}

std::optional<std::int64_t> GetModificationTime(const std::string& path)
{
    std::error_code ec;
    const auto time = fs::last_write_time(path, ec);
    if (ec)
        return std::nullopt;
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

CThumbnailCache::CThumbnailCache(std::string root) : m_root(std::move(root)) {}

std::string CThumbnailCache::GetDefaultRoot()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/')
        return (fs::path(cache) / "thumbnails").string();
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return (fs::path(home) / ".cache" / "thumbnails").string();
    return {};
}

std::string CThumbnailCache::MakeUri(std::string_view path)
{
    if (path.empty() || path[0] != '/')
        return {};
    return "file://" + PercentEncode(path, [](unsigned char c, std::size_t) { return IsKeptInUri(c); });
}

std::string CThumbnailCache::GetPath(ThumbnailSize size, const std::string& uri) const
{
    if (m_root.empty())
        return {};
    return (fs::path(m_root) / GetThumbnailFolderName(size) / (Md5Hex(uri) + ".png")).string();
}

std::string CThumbnailCache::GetFailPath(const std::string& uri) const
{
    if (m_root.empty())
        return {};
    return (fs::path(m_root) / "fail" / ("mev-" MEV_VERSION) / (Md5Hex(uri) + ".png")).string();
}

bool IsThumbnailValid(std::string_view png, const std::string& uri, std::int64_t mtime)
{
    const auto entries = ReadPngText(png);
    if (!entries)
        return false;
    bool uriMatches = false;
    bool timeMatches = false;
    for (const auto& [keyword, text] : *entries) {
        if (keyword == "Thumb::URI")
            uriMatches = text == uri;
        else if (keyword == "Thumb::MTime")
            timeMatches = text == std::to_string(mtime);
    }
    return uriMatches && timeMatches;
}

std::optional<std::string> CThumbnailCache::Load(ThumbnailSize size, const std::string& uri, std::int64_t mtime) const
{
    if (m_root.empty() || uri.empty())
        return std::nullopt;
    for (ThumbnailSize candidate : ALL_SIZES) {
        if (GetThumbnailPixels(candidate) < GetThumbnailPixels(size))
            continue;
        auto bytes = ReadSmallFile(GetPath(candidate, uri));
        if (bytes && IsThumbnailValid(*bytes, uri, mtime))
            return bytes;
    }
    return std::nullopt;
}

bool CThumbnailCache::Store(ThumbnailSize size, const std::string& uri, std::int64_t mtime, std::string_view png) const
{
    if (m_root.empty() || uri.empty())
        return false;
    return WriteTagged(GetPath(size, uri), uri, mtime, png);
}

bool CThumbnailCache::HasFailed(const std::string& uri, std::int64_t mtime) const
{
    if (m_root.empty() || uri.empty())
        return false;
    const auto bytes = ReadSmallFile(GetFailPath(uri));
    return bytes && IsThumbnailValid(*bytes, uri, mtime);
}

void CThumbnailCache::RecordFailure(const std::string& uri, std::int64_t mtime) const
{
    if (!m_root.empty() && !uri.empty())
        WriteTagged(GetFailPath(uri), uri, mtime, EMPTY_PNG);
}

bool CThumbnailCache::WriteTagged(const std::string& path, const std::string& uri, std::int64_t mtime,
                                  std::string_view png) const
{
    const auto tagged = AddPngText(png, {{"Thumb::URI", uri}, {"Thumb::MTime", std::to_string(mtime)},
                                         {"Software", "MEV " MEV_VERSION}});
    if (!tagged)
        return false;
    const fs::path target(path);
    if (!MakePrivateFolder(target.parent_path()))
        return false;
    // A private file beside the target, renamed over it once complete: readers see the
    // old thumbnail or the new one, never a part.
    const std::string temporary = path + "." + RandomSuffix() + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wbx");
    if (file == nullptr)
        return false;
    std::error_code ec;
    fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
    const bool written = std::fwrite(tagged->data(), 1, tagged->size(), file) == tagged->size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || ec) {
        fs::remove(temporary, ec);
        return false;
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

} // namespace mev
