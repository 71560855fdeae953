#include "platform/picture_types.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// ".jpg" from "type .jpg": a dot and a few lower-case letters or digits; "" for
// anything else (a cache edited by hand, a helper gone wrong).
std::string TypeOf(const std::string& line)
{
    if (line.rfind("type .", 0) != 0)
        return {};
    const std::string extension = line.substr(5);
    return PictureExtensionOf("picture" + extension) == extension ? extension : std::string();
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
            const std::string type = TypeOf(line);
            if (type.empty())
                return std::nullopt;
            types.push_back(type);
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

// What "mev-decode --list-types" writes; nothing when it fails or is not done in time
// (it is then killed).
std::optional<std::string> AskHelper(const std::string& helperPath, std::chrono::milliseconds limit)
{
    gchar* argv[] = {const_cast<gchar*>(helperPath.c_str()), const_cast<gchar*>(LIST_TYPES_OPTION), nullptr};
    GPid pid = 0;
    gint out = -1;
    if (!g_spawn_async_with_pipes(nullptr, argv, nullptr,
                                  static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                                  nullptr, &pid, nullptr, &out, nullptr, nullptr)) {
        return std::nullopt;
    }
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ended = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{out, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) == 0)
            break;
        char buffer[4096];
        const ssize_t got = read(out, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = got == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(out);
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    g_spawn_close_pid(pid);
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

} // namespace

std::vector<std::string> LoadPictureTypes(const std::string& helperPath, const std::string& cacheFile,
                                          std::chrono::milliseconds limit)
{
    if (!cacheFile.empty()) {
        if (auto types = ReadCache(helperPath, cacheFile))
            return *types;
    }
    const auto answer = AskHelper(helperPath, limit);
    if (!answer)
        return {};
    std::vector<std::string> types;
    std::string cache;
    bool complete = true;
    std::istringstream lines(*answer);
    for (std::string line; std::getline(lines, line);) {
        if (const std::string type = TypeOf(line); !type.empty()) {
            types.push_back(type);
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
