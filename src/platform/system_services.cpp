#include "platform/system_services.hpp"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "core/shell/file_names.hpp"
#include "platform/mount_table.hpp"
#include "platform/session_bus.hpp"

namespace mev {

namespace {

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

bool EndsWith(const std::string& text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool LaunchDesktopFile(const std::string& desktopFile, const std::string& file)
{
    GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new_from_filename(desktopFile.c_str()));
    if (!app)
        return false;
    GList* files = nullptr;
    if (!file.empty())
        files = g_list_append(files, g_file_new_for_path(file.c_str()));
    GError* error = nullptr;
    GObjectPtr<GAppLaunchContext> context(NewLaunchContext());
    const bool started = g_app_info_launch(G_APP_INFO(app.get()), files, context.get(), &error);
    g_clear_error(&error);
    g_list_free_full(files, g_object_unref);
    return started;
}

// The program that opens the application's files: its executable as a full path, or its
// desktop file when the executable is only a launcher (flatpak, env, ...) that needs the
// rest of the command line; "" when neither can be found.
std::string ProgramOf(GAppInfo* app)
{
    if (app == nullptr)
        return {};
    const char* executable = g_app_info_get_executable(app);
    if (executable == nullptr || *executable == '\0')
        return {};
    GCharPtr base(g_path_get_basename(executable));
    const std::string_view name(base.get());
    if (name == "flatpak" || name == "snap" || name == "env" || name == "sh" || name == "bash") {
        const char* desktopFile =
            G_IS_DESKTOP_APP_INFO(app) ? g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app)) : nullptr;
        return desktopFile != nullptr ? std::string(desktopFile) : std::string();
    }
    GCharPtr full(g_find_program_in_path(executable));
    return full ? std::string(full.get()) : std::string();
}

std::string DefaultBrowser()
{
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_uri_scheme("http"));
    return ProgramOf(app.get());
}

} // namespace

bool RunProgram(const std::string& program, const std::string& file)
{
    if (program.empty())
        return false;
    if (EndsWith(program, ".desktop") && g_file_test(program.c_str(), G_FILE_TEST_IS_REGULAR))
        return LaunchDesktopFile(program, file);

    std::vector<gchar*> argv;
    argv.push_back(const_cast<gchar*>(program.c_str()));
    if (!file.empty())
        argv.push_back(const_cast<gchar*>(file.c_str()));
    argv.push_back(nullptr);
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib detaches the child, so no zombie is left and
    // a program that cannot be executed is still reported here.
    GError* error = nullptr;
    gchar** environment = NewLaunchEnvironment();
    const bool started = g_spawn_async(nullptr, argv.data(), environment, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                       nullptr, &error);
    g_strfreev(environment);
    g_clear_error(&error);
    return started;
}

std::string FindAssociatedProgram(const std::string& file, bool browserFallback)
{
    const auto fallback = [browserFallback] { return browserFallback ? DefaultBrowser() : std::string(); };
    // Like an extension lookup: a name without one (or a dot only in a folder) has no type.
    if (file.empty() || GetFileExtension(file).empty())
        return fallback();
    const std::string name = GetFileNamePart(file);
    gboolean uncertain = FALSE;
    GCharPtr type(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
    if (!type || g_content_type_is_unknown(type.get()))
        return fallback();
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(type.get(), FALSE));
    std::string program = ProgramOf(app.get());
    return program.empty() ? fallback() : program;
}

DriveType GetPathDriveType(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return DriveType::Unknown;
    // A symbolic link lies where it points; a path that does not exist (yet) is placed
    // by its text.
    std::error_code ec;
    std::string resolved = std::filesystem::canonical(path, ec).string();
    if (ec)
        resolved = std::filesystem::path(path).lexically_normal().string();

    std::ifstream in("/proc/self/mountinfo");
    if (!in)
        return DriveType::Unknown;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto mounts = ParseMountInfo(text);
    const MountEntry* mount = FindMountFor(mounts, resolved);
    return mount != nullptr ? ClassifyMount(*mount) : DriveType::Unknown;
}

namespace {

// False for the C and POSIX locales (also C.UTF-8), whose collation is the code points.
bool HasLinguisticCollation()
{
    const char* collation = std::setlocale(LC_COLLATE, nullptr);
    if (collation == nullptr)
        return false;
    const std::string_view name(collation);
    return name != "C" && name != "POSIX" && name.rfind("C.", 0) != 0;
}

} // namespace

namespace {

// The name as it is compared: letter case folded and, where the locale orders by code
// point, accents dropped.
std::string FoldForSorting(std::string_view name)
{
    // Most names are plain ASCII: folded by hand they skip the Unicode tables, whose
    // folding, decomposition and mark filter change nothing in them and cost more than
    // the key itself (a folder of 100,000 pictures waits on these keys before its first
    // thumbnail).
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string folded(name);
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return folded;
    }
    const std::string text(name);
    gchar* shown = g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)
        ? g_strndup(text.data(), text.size())
        : g_filename_display_name(text.c_str());
    // Folded first: letter case never decides the order.
    gchar* casefolded = g_utf8_casefold(shown, -1);
    g_free(shown);
    std::string folded = casefolded != nullptr ? casefolded : "";
    g_free(casefolded);
    if (HasLinguisticCollation())
        return folded;
    // The C locale orders by code point, which puts "\u00fcmlaut" after "zeta": there
    // accented letters sort with their base letter.
    gchar* decomposed = g_utf8_normalize(folded.c_str(), -1, G_NORMALIZE_ALL);
    std::string bases;
    for (const gchar* p = decomposed; p != nullptr && *p != '\0'; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (!g_unichar_ismark(c))
            bases.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    }
    g_free(decomposed);
    return bases;
}

} // namespace

std::string MakeLocaleFolderSortKey(std::string_view name)
{
    const std::string folded = FoldForSorting(name);
    gchar* key = g_utf8_collate_key_for_filename(folded.c_str(), static_cast<gssize>(folded.size()));
    std::string result = key != nullptr ? key : "";
    g_free(key);
    return result;
}

std::string GetFileTypeDescription(const std::string& fileName)
{
    gboolean uncertain = FALSE;
    GCharPtr type(g_content_type_guess(fileName.c_str(), nullptr, 0, &uncertain));
    if (!type || g_content_type_is_unknown(type.get()))
        return {};
    GCharPtr description(g_content_type_get_description(type.get()));
    if (!description || !g_utf8_validate(description.get(), -1, nullptr))
        return {};
    return description.get();
}

} // namespace mev
