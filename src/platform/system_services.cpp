#include "platform/system_services.hpp"

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "core/shell/file_names.hpp"
#include "platform/decode_protocol.hpp"
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

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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
    if (IsAscii(name)) {
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

// What the current locale asks of a key, worked out again only when it changes: asked
// for every name, GLib's character set query alone takes a lock twice.
struct LocaleKeyRules {
    bool utf8 = false;
    bool linguistic = false;
};

// The keys of the last few runs of text made on this thread. A folder's names mostly
// repeat theirs ("img_", "jpg"), and where the locale collates linguistically the C
// library's key of a run is most of what a name's key costs: a million names asked for it
// twice each. Forgotten when the locale changes.
class CRunKeyMemo {
public:
    static constexpr std::size_t LONGEST = 32;

    const std::string* Find(std::string_view text) const
    {
        for (std::size_t i = 0; i < m_used; ++i) {
            if (m_texts[i] == text)
                return &m_keys[i];
        }
        return nullptr;
    }

    void Keep(std::string_view text, std::string_view key)
    {
        m_texts[m_next].assign(text);
        m_keys[m_next].assign(key);
        m_next = (m_next + 1) % SIZE;
        m_used = std::max(m_used, m_next == 0 ? SIZE : m_next);
    }

    void Clear()
    {
        m_used = 0;
        m_next = 0;
    }

private:
    static constexpr std::size_t SIZE = 8;
    std::array<std::string, SIZE> m_texts;
    std::array<std::string, SIZE> m_keys;
    std::size_t m_next = 0;
    std::size_t m_used = 0;
};

CRunKeyMemo& RunKeys()
{
    thread_local CRunKeyMemo memo;
    return memo;
}

LocaleKeyRules CurrentLocaleKeyRules()
{
    thread_local std::string ctype;
    thread_local std::string collation;
    thread_local LocaleKeyRules rules;
    const char* nowCtype = std::setlocale(LC_CTYPE, nullptr);
    const char* nowCollation = std::setlocale(LC_COLLATE, nullptr);
    if (nowCtype == nullptr || nowCollation == nullptr)
        return {};
    // A locale's name is never empty, so the first call always works the rules out.
    if (ctype != nowCtype || collation != nowCollation) {
        ctype = nowCtype;
        collation = nowCollation;
        rules = {g_get_charset(nullptr) != FALSE, HasLinguisticCollation()};
        RunKeys().Clear();
    }
    return rules;
}

// Appends the C library's wide-character key of a run of ASCII text, each of its values
// written out as UTF-8, as GLib makes it: normalising ASCII changes nothing, so that step
// of GLib's is left out.
void MakeLinguisticKey(std::string& key, std::string_view text)
{
    wchar_t input[256];
    wchar_t output[1024];
    if (text.size() >= std::size(input)) {
        gchar* longKey = g_utf8_collate_key(text.data(), static_cast<gssize>(text.size()));
        key += longKey;
        g_free(longKey);
        return;
    }
    std::copy(text.begin(), text.end(), input);
    input[text.size()] = L'\0';
    std::size_t length = std::wcsxfrm(output, input, std::size(output));
    std::vector<wchar_t> larger;
    const wchar_t* values = output;
    if (length >= std::size(output)) {
        larger.resize(length + 1);
        length = std::wcsxfrm(larger.data(), input, larger.size());
        values = larger.data();
    }
    for (std::size_t i = 0; i < length && values[i] != L'\0'; ++i) {
        if (values[i] < 0x80) {
            key += static_cast<char>(values[i]);
            continue;
        }
        char utf8[8];
        key.append(utf8, static_cast<std::size_t>(g_unichar_to_utf8(static_cast<gunichar>(values[i]), utf8)));
    }
}

// A run of text's collation key, for ASCII text in a UTF-8 locale, as GLib makes it;
// where the collation is by code point the key is the text itself.
void AppendAsciiCollationKey(std::string& key, std::string_view text, bool linguistic)
{
    if (!linguistic) {
        key += text;
        return;
    }
    const bool memorable = text.size() <= CRunKeyMemo::LONGEST;
    if (memorable) {
        if (const std::string* known = RunKeys().Find(text)) {
            key += *known;
            return;
        }
    }
    const std::size_t start = key.size();
    MakeLinguisticKey(key, text);
    if (memorable)
        RunKeys().Keep(text, std::string_view(key).substr(start));
}


// The file name key of an ASCII name, made as GLib makes it (runs of digits compare as
// numbers, a dot sorts before anything else, leading zeros decide last), without the
// allocations and the normalisation GLib spends on every run of text: a folder of a
// million pictures waits on these keys before its first thumbnail.
std::string MakeAsciiFileNameKey(std::string_view name, bool linguistic)
{
    static constexpr char SENTINEL[] = "\1\1\1";
    std::string key;
    key.reserve(name.size() * 2);
    std::string zeros;
    std::size_t prev = 0;
    std::size_t p = 0;
    const std::size_t end = name.size();
    while (p < end) {
        const char c = name[p];
        if (c == '.') {
            if (prev != p)
                AppendAsciiCollationKey(key, name.substr(prev, p - prev), linguistic);
            key += SENTINEL;
            key += '\1';
            prev = ++p;
            continue;
        }
        if (c < '0' || c > '9') {
            ++p;
            continue;
        }
        if (prev != p)
            AppendAsciiCollationKey(key, name.substr(prev, p - prev), linguistic);
        key += SENTINEL;
        key += '\2';
        prev = p;
        int leadingZeros = c == '0' ? 1 : 0;
        int digits = c == '0' ? 0 : 1;
        while (++p < end) {
            if (name[p] == '0' && digits == 0) {
                ++leadingZeros;
            } else if (name[p] >= '0' && name[p] <= '9') {
                ++digits;
            } else {
                // Zeros followed by more text count as one digit plus leading zeros
                // (GLib does not do this for zeros that end the name).
                if (digits == 0) {
                    digits = 1;
                    --leadingZeros;
                }
                break;
            }
        }
        if (digits > 1)
            key.append(static_cast<std::size_t>(digits - 1), ':');
        if (leadingZeros > 0) {
            zeros += static_cast<char>(leadingZeros);
            prev += static_cast<std::size_t>(leadingZeros);
        }
        key.append(name.substr(prev, p - prev));
        prev = p;
    }
    if (prev != p)
        AppendAsciiCollationKey(key, name.substr(prev, p - prev), linguistic);
    key += zeros.c_str();
    return key;
}

} // namespace

std::string MakeLocaleFolderSortKey(std::string_view name)
{
    const std::string folded = FoldForSorting(name);
    // Not for a locale with another character set: GLib marks those keys as converted.
    if (const LocaleKeyRules rules = CurrentLocaleKeyRules(); rules.utf8 && IsAscii(folded))
        return MakeAsciiFileNameKey(folded, rules.linguistic);
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

void LowerToBackgroundPriority()
{
    // Below the decoders: the thumbnails on screen come first.
    LowerThreadNiceness(BACKGROUND_NICENESS);
}

} // namespace mev
