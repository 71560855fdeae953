#include "platform/picture_types.hpp"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>
#include <glib/gstdio.h>

#include "platform/decode_protocol.hpp"

namespace mev {

namespace {

// "<device> <inode> <size> <seconds> <nanoseconds>" of a file or folder as it is now;
// nothing when it cannot be looked at.
std::optional<std::string> Stamp(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    std::ostringstream text;
    text << info.st_dev << ' ' << info.st_ino << ' ' << info.st_size << ' ' << info.st_mtim.tv_sec << ' '
         << info.st_mtim.tv_nsec;
    return text.str();
}

// The types kept in the cache, while every file named there is as it was; the helper
// itself must be one of them.
std::optional<std::vector<std::string>> ReadCache(const std::string& helperPath, const std::string& cacheFile)
{
    std::ifstream in(cacheFile);
    if (!in)
        return std::nullopt;
    std::vector<std::string> types;
    bool helperSeen = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("type ", 0) == 0) {
            types.push_back(line.substr(5));
            continue;
        }
        // "stamp <five numbers> <path>"
        if (line.rfind("stamp ", 0) != 0)
            return std::nullopt;
        std::size_t space = 5;
        for (int field = 0; field < 5 && space != std::string::npos; ++field)
            space = line.find(' ', space + 1);
        if (space == std::string::npos)
            return std::nullopt;
        const std::string path = line.substr(space + 1);
        const auto now = Stamp(path);
        if (!now || line.compare(6, space - 6, *now) != 0)
            return std::nullopt;
        helperSeen = helperSeen || path == helperPath;
    }
    if (!helperSeen)
        return std::nullopt;
    return types;
}

// What "mev-decode --list-types" writes; nothing when it fails.
std::optional<std::string> AskHelper(const std::string& helperPath)
{
    gchar* argv[] = {const_cast<gchar*>(helperPath.c_str()), const_cast<gchar*>(LIST_TYPES_OPTION), nullptr};
    gchar* output = nullptr;
    gint status = 0;
    if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &output, nullptr, &status,
                      nullptr)) {
        return std::nullopt;
    }
    std::string text = output != nullptr ? output : "";
    g_free(output);
    if (!g_spawn_check_wait_status(status, nullptr))
        return std::nullopt;
    return text;
}

} // namespace

std::vector<std::string> LoadPictureTypes(const std::string& helperPath, const std::string& cacheFile)
{
    if (!cacheFile.empty()) {
        if (auto types = ReadCache(helperPath, cacheFile))
            return *types;
    }
    const auto answer = AskHelper(helperPath);
    if (!answer)
        return {};
    std::vector<std::string> types;
    std::string cache;
    bool complete = true;
    std::istringstream lines(*answer);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("type .", 0) == 0 && line.find(' ', 5) == std::string::npos) {
            types.push_back(line.substr(5));
            cache += line + "\n";
        } else if (line.rfind("stamp /", 0) == 0) {
            const std::string path = line.substr(6);
            const auto stamp = Stamp(path);
            complete = complete && stamp.has_value();
            if (stamp)
                cache = "stamp " + *stamp + " " + path + "\n" + cache;
        }
    }
    // Written whole or not at all: a start that reads it half-written asks again.
    if (complete && !cacheFile.empty() && !types.empty()) {
        gchar* folder = g_path_get_dirname(cacheFile.c_str());
        g_mkdir_with_parents(folder, 0700);
        g_free(folder);
        const std::string temporary = cacheFile + "." + std::to_string(getpid());
        std::ofstream out(temporary, std::ios::trunc);
        out << cache;
        out.close();
        if (!out || std::rename(temporary.c_str(), cacheFile.c_str()) != 0)
            g_unlink(temporary.c_str());
    }
    return types;
}

std::string PictureTypesCacheFile()
{
    return std::string(g_get_user_cache_dir()) + "/mev/picture-types";
}

} // namespace mev
