#include "core/pages/file_request.hpp"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/media/media_kinds.hpp"
#include "core/shell/url.hpp"

namespace mev {

namespace {

constexpr std::string_view FLASH_LOADER = "ruffle.js";

std::mutex g_flashFolderMutex;
std::string g_strFlashFolder;

bool IsRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && !ec;
}

std::string ContentTypeOf(std::string_view name)
{
    const std::string key = CMediaKinds::KeyOf(name);
    if (key == ".js")
        return "text/javascript";
    if (key == ".wasm")
        return "application/wasm";
    return "application/octet-stream";
}

// A plain file name of the emulator's folder: no folder part, no dot file, nothing a
// path could be built to climb out with.
bool IsPlainName(std::string_view name)
{
    if (name.empty() || name.front() == '.')
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
            || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool ParseFileRequestUrl(std::string_view url, FileRequest& request)
{
    constexpr std::string_view FLASH_PREFIX = "mev://flash/";
    constexpr std::string_view MOVIE_PREFIX = "mev://movie/";
    // Whatever follows a '?' or '#' is not part of the file's path.
    url = url.substr(0, url.find_first_of("?#"));
    if (url.starts_with(FLASH_PREFIX)) {
        const std::string name = DecodeUrl(url.substr(FLASH_PREFIX.size()));
        const std::string folder = GetFlashPlayerFolder();
        if (folder.empty() || !IsPlainName(name))
            return false;
        const std::string path = folder + "/" + name;
        if (!IsRegularFile(path))
            return false;
        request = {path, ContentTypeOf(name)};
        return true;
    }
    if (url.starts_with(MOVIE_PREFIX)) {
        const std::string path = DecodeUrl(url.substr(MOVIE_PREFIX.size() - 1));
        if (path.find('\0') != std::string::npos || CMediaKinds::KeyOf(path) != ".swf" || !IsRegularFile(path))
            return false;
        request = {path, "application/x-shockwave-flash"};
        return true;
    }
    return false;
}

void SetFlashPlayerFolder(std::string folder)
{
    std::lock_guard lock(g_flashFolderMutex);
    g_strFlashFolder = std::move(folder);
}

std::string GetFlashPlayerFolder()
{
    std::lock_guard lock(g_flashFolderMutex);
    return g_strFlashFolder;
}

std::string FindFlashPlayerFolder(const std::string& programFolder)
{
    namespace fs = std::filesystem;
    if (programFolder.empty())
        return {};
    const fs::path program(programFolder);
    for (const fs::path& candidate : {program / "ruffle", program.parent_path() / "share" / "mev" / "ruffle"}) {
        std::error_code ec;
        if (!IsRegularFile((candidate / FLASH_LOADER).string()))
            continue;
        for (fs::directory_iterator it(candidate, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".wasm")
                return candidate.lexically_normal().string();
        }
    }
    return {};
}

} // namespace mev
