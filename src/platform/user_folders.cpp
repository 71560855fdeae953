#include "platform/user_folders.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mev {

namespace {

std::string g_privateFolder;

bool IsUsableFolder(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return false;
    if (g_mkdir_with_parents(path.c_str(), 0700) != 0)
        return false;
    return g_file_test(path.c_str(), G_FILE_TEST_IS_DIR) && access(path.c_str(), W_OK | X_OK) == 0;
}

void RemovePrivateFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(g_privateFolder, ec);
}

// A folder of the private temporary folder, made on first use.
std::string PrivateFolder(const char* name)
{
    if (g_privateFolder.empty()) {
        gchar* made = g_dir_make_tmp("mev-XXXXXX", nullptr);
        if (made == nullptr)
            return {};
        g_privateFolder = made;
        g_free(made);
        std::atexit(&RemovePrivateFolder);
    }
    const std::string folder = g_privateFolder + "/" + name;
    return g_mkdir_with_parents(folder.c_str(), 0700) == 0 ? folder : std::string();
}

} // namespace

void EnsureUsableUserFolders()
{
    struct Folder {
        const char* variable;
        const char* underHome;  // the default when the variable is not set
    };
    static constexpr Folder FOLDERS[] = {
        {"XDG_CONFIG_HOME", ".config"},
        {"XDG_CACHE_HOME", ".cache"},
        {"XDG_DATA_HOME", ".local/share"},
        {"XDG_RUNTIME_DIR", nullptr},  // unset: GLib uses the cache folder
    };
    const char* home = g_getenv("HOME");
    for (const Folder& folder : FOLDERS) {
        const char* value = g_getenv(folder.variable);
        std::string path;
        if (value != nullptr && *value != '\0')
            path = value;
        else if (folder.underHome == nullptr)
            continue;
        else
            path = std::string(home != nullptr && *home != '\0' ? home : g_get_home_dir()) + "/" + folder.underHome;
        if (IsUsableFolder(path))
            continue;
        const std::string replacement = PrivateFolder(folder.variable);
        if (!replacement.empty())
            g_setenv(folder.variable, replacement.c_str(), TRUE);
    }
}

void EnsureHomeFolder()
{
    const char* home = g_getenv("HOME");
    if (home != nullptr && *home != '\0' && g_file_test(home, G_FILE_TEST_IS_DIR))
        return;
    const std::string replacement = PrivateFolder("home");
    if (!replacement.empty())
        g_setenv("HOME", replacement.c_str(), TRUE);
}

void ForgetUnreachableSessionBus()
{
    const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr)
        return;
    // "unix:path=/run/user/1000/bus,guid=..." (several addresses may follow after ';').
    const std::string text = address;
    if (text.find(';') != std::string::npos || text.rfind("unix:", 0) != 0)
        return;
    const auto start = text.find("path=");
    if (start == std::string::npos)
        return;
    const std::string escaped = text.substr(start + 5, text.find(',', start) - start - 5);
    gchar* path = g_uri_unescape_string(escaped.c_str(), nullptr);
    struct stat info {};
    const bool there = path == nullptr || *path == '\0' || stat(path, &info) == 0;
    g_free(path);
    if (there)
        return;
    g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace mev
