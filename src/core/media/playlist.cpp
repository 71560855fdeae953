#include "core/media/playlist.hpp"

#include <filesystem>

#include "core/files/file_writer.hpp"
#include "core/files/user_file.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/url.hpp"

namespace mev {

namespace {

bool IsAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "scheme:" as URLs begin ("http:", "file:"); a one-letter scheme would be a drive.
std::size_t SchemeLength(std::string_view line)
{
    if (line.empty() || !IsAsciiAlpha(line[0]))
        return 0;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ':')
            return i >= 2 ? i : 0;
        if (!IsAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

std::string Normalize(const std::filesystem::path& path)
{
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

bool IsPlaylistName(std::string_view name)
{
    const std::string extension = GetFileExtension(name);
    return extension == "m3u" || extension == "m3u8";
}

std::vector<std::string> ParsePlaylist(std::string_view text, std::string_view folder)
{
    std::vector<std::string> paths;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#' || line.find('\0') != std::string_view::npos)
            continue;
        std::string path;
        if (const std::size_t scheme = SchemeLength(line); scheme != 0) {
            if (!EqualsNoCase(line.substr(0, scheme), "file"))
                continue;
            std::string_view rest = line.substr(scheme + 1);
            // "file://localhost/x" names the same file as "file:///x".
            if (EqualsNoCase(rest.substr(0, 12), "//localhost/"))
                rest.remove_prefix(11);
            if (!FileUrlToPath(DecodeUrl(std::string("file:") + std::string(rest)), path) || path.empty() ||
                path[0] != '/')
                continue;
        } else if (line[0] == '/') {
            path.assign(line);
        } else {
            path = JoinPath(folder, line);
        }
        paths.push_back(Normalize(path));
    }
    return paths;
}

bool CanWritePlaylistPath(std::string_view path)
{
    return path.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string FormatPlaylist(const std::vector<PlaylistEntry>& entries, std::string_view folder,
                           std::vector<std::string>* skipped)
{
    std::string text = "#EXTM3U\n";
    const std::filesystem::path base = std::filesystem::path(std::string(folder)).lexically_normal();
    for (const PlaylistEntry& entry : entries) {
        if (!CanWritePlaylistPath(entry.path) || entry.path.empty()) {
            if (skipped != nullptr)
                skipped->push_back(entry.path);
            continue;
        }
        std::string line = std::filesystem::path(entry.path).lexically_normal().lexically_relative(base).string();
        if (line.empty())
            line = entry.path;
        else if (line[0] == '#' || SchemeLength(line) != 0)
            line = "./" + line;  // not a comment, not a URL
        // The title ends at the line's end: its own line breaks become blanks.
        std::string title = entry.title;
        for (char& c : title) {
            if (c == '\r' || c == '\n' || c == '\0')
                c = ' ';
        }
        text += "#EXTINF:" + std::to_string(entry.seconds < 0 ? -1 : entry.seconds) + "," + title + "\n";
        text += line + "\n";
    }
    return text;
}

CStatus ReadPlaylistFile(const std::string& path, std::vector<std::string>& paths)
{
    paths.clear();
    // Non-blocking, so a FIFO under a playlist's name cannot stall the reader.
    std::string text;
    if (const CStatus status = ReadFileNonBlocking(path, MAX_PLAYLIST_BYTES, text); !status)
        return status;
    if (text.size() > MAX_PLAYLIST_BYTES)
        text.resize(MAX_PLAYLIST_BYTES);
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    paths = ParsePlaylist(text, folder.empty() ? std::string("/") : folder);
    return {};
}

CStatus WritePlaylistFile(const std::string& path, std::string_view text)
{
    CFileWriter writer;
    CStatus status = writer.Open(path);
    if (status)
        status = writer.Write(text);
    if (status)
        status = writer.Commit();
    return status;
}

} // namespace mev
