#include "platform/key_file_settings.hpp"

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/shell/url.hpp"

namespace mev {

namespace {

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct KeyFileDeleter {
    void operator()(GKeyFile* p) const { g_key_file_free(p); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct GErrorHolder {
    GError* error = nullptr;
    ~GErrorHolder() { g_clear_error(&error); }
};

bool IsValidGroup(const std::string& section)
{
    if (section.empty() || !g_utf8_validate(section.data(), static_cast<gssize>(section.size()), nullptr))
        return false;
    for (unsigned char c : section) {
        if (c < 0x20 || c == 0x7F || c == '[' || c == ']')
            return false;
    }
    return true;
}

// A value as it stands in the file. GKeyFile's own escapes for what it knows ("\s" for a
// blank at either end, "\n", "\t", "\r", "\\"), "\xHH" for every other control byte
// and, in a value that is not UTF-8, for every byte above 0x7E. GKeyFile trims white space
// (form feeds included) from both ends of a line, so nothing that could be trimmed is
// written raw. Older files never hold "\x" (GKeyFile would have doubled the backslash),
// so their values read as before.
std::string EncodeRawValue(std::string_view value, bool escapeHighBytes)
{
    std::string raw;
    raw.reserve(value.size() * 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c == '\\') {
            raw += "\\\\";
        } else if (c == ' ' && (i == 0 || i + 1 == value.size())) {
            raw += "\\s";
        } else if (c == '\n') {
            raw += "\\n";
        } else if (c == '\t') {
            raw += "\\t";
        } else if (c == '\r') {
            raw += "\\r";
        } else if (c < 0x20 || c == 0x7F || (c > 0x7F && escapeHighBytes)) {
            raw += "\\x";
            AppendHexByte(raw, c);
        } else {
            raw.push_back(static_cast<char>(c));
        }
    }
    return raw;
}

// Reads both forms: GKeyFile's escapes and ours. An escape that neither writes makes the
// value unreadable, as GKeyFile itself would have it.
std::optional<std::string> DecodeRawValue(std::string_view raw)
{
    std::string value;
    value.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            value.push_back(raw[i]);
            continue;
        }
        if (++i >= raw.size())
            return std::nullopt;
        switch (raw[i]) {
        case 's': value.push_back(' '); break;
        case 'n': value.push_back('\n'); break;
        case 't': value.push_back('\t'); break;
        case 'r': value.push_back('\r'); break;
        case '\\': value.push_back('\\'); break;
        case 'x': {
            const int high = i + 1 < raw.size() ? HexDigitValue(raw[i + 1]) : -1;
            const int low = i + 2 < raw.size() ? HexDigitValue(raw[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            value.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return value;
}

// Settings files are small; anything larger is not one of ours.
constexpr off_t MAX_FILE_SIZE = 16 * 1024 * 1024;

// Reads the settings file without ever blocking: a FIFO or device in its place would hang
// a plain open() or read(). Only a regular file of sane size is read. missing tells a
// first run (no file, no dangling link) from a file that is there but unusable.
bool ReadSettingsFile(const std::string& path, std::string& contents, bool& missing)
{
    missing = false;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        missing = errno == ENOENT && !g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK);
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MAX_FILE_SIZE;
    if (ok) {
        char buffer[16384];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            contents.append(buffer, static_cast<std::size_t>(got));
            if (contents.size() > static_cast<std::size_t>(MAX_FILE_SIZE)) {
                ok = false;
                break;
            }
        }
    }
    close(fd);
    return ok;
}

// An exclusive lock on the settings folder for as long as it lives, so that the file can
// be read, changed and replaced by one process at a time. The folder is locked rather
// than the file, which each save replaces. A lock that cannot be had within a few
// seconds (a stuck process, a file system without locks) is done without: the save
// still replaces the file whole.
class CFolderLock {
public:
    explicit CFolderLock(const char* folder)
        : m_fd(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd < 0)
            return;
        for (int i = 0; i < 600; ++i) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            g_usleep(5000);
        }
        close(m_fd);
        m_fd = -1;
    }
    ~CFolderLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

private:
    int m_fd;
};

} // namespace

CKeyFileSettings::CKeyFileSettings(std::string filePath)
    : m_filePath(std::move(filePath))
    , m_keyFile(g_key_file_new())
{
    Load();
}

CKeyFileSettings::~CKeyFileSettings()
{
    g_key_file_free(m_keyFile);
}

std::string CKeyFileSettings::DefaultPath()
{
    // Read each time rather than through g_get_user_config_dir, which keeps the first
    // answer for the life of the process.
    const char* config = g_getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/')
        folder = config;
    else
        folder = std::string(g_get_home_dir()) + "/.config";
    return folder + "/mev/settings.ini";
}

void CKeyFileSettings::Load()
{
    // A file that is not there or not usable gives the defaults; the first save sets an
    // unusable one aside (see Save).
    LoadKeyFile(m_filePath, m_keyFile);
}

bool CKeyFileSettings::LoadKeyFile(const std::string& path, GKeyFile* keyFile, bool* missing)
{
    std::string contents;
    bool absent = false;
    bool ok = false;
    if (ReadSettingsFile(path, contents, absent)) {
        // GKeyFile stops at a NUL byte and would take a damaged file for a short one.
        const bool text = contents.find('\0') == std::string::npos
            && g_utf8_validate(contents.data(), static_cast<gssize>(contents.size()), nullptr);
        ok = text && g_key_file_load_from_data(keyFile, contents.data(), contents.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    }
    if (missing != nullptr)
        *missing = absent;
    return ok;
}

bool CKeyFileSettings::SetAsideBadFile()
{
    for (int i = 0; i < 1000; ++i) {
        const std::string target = m_filePath + (i == 0 ? ".bad" : ".bad." + std::to_string(i));
        if (g_file_test(target.c_str(), G_FILE_TEST_EXISTS) || g_file_test(target.c_str(), G_FILE_TEST_IS_SYMLINK))
            continue;
        if (g_rename(m_filePath.c_str(), target.c_str()) == 0)
            return true;
        // Gone in the meantime: nothing left to protect.
        return errno == ENOENT && !g_file_test(m_filePath.c_str(), G_FILE_TEST_EXISTS);
    }
    return false;
}

bool CKeyFileSettings::Save(const std::function<bool(GKeyFile*)>& change)
{
    GCharPtr folder(g_path_get_dirname(m_filePath.c_str()));
    if (g_mkdir_with_parents(folder.get(), 0700) != 0)
        return false;
    // Other copies of the program save into the same file: each save applies only its
    // own change to the file as it is now, one process at a time.
    CFolderLock lock(folder.get());

    KeyFilePtr merged(g_key_file_new());
    bool missing = false;
    const bool onDisk = LoadKeyFile(m_filePath, merged.get(), &missing);
    if (!onDisk) {
        merged.reset(g_key_file_new());
        if (!missing) {
            // Not a key file, unreadable, a folder, a pipe or device: kept for the user
            // to look at rather than overwritten; what this process knows goes on.
            if (!SetAsideBadFile())
                return false;
            gsize length = 0;
            GCharPtr known(g_key_file_to_data(m_keyFile, &length, nullptr));
            g_key_file_load_from_data(merged.get(), known.get(), length, G_KEY_FILE_KEEP_COMMENTS, nullptr);
        }
    }
    if (!change(merged.get()) && (onDisk || missing)) {
        g_key_file_free(m_keyFile);
        m_keyFile = merged.release();
        return true;
    }
    gsize length = 0;
    GCharPtr data(g_key_file_to_data(merged.get(), &length, nullptr));
    if (!data)
        return false;
    GErrorHolder err;
    if (!g_file_set_contents_full(m_filePath.c_str(), data.get(), static_cast<gssize>(length),
                                  static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT
                                                                     | G_FILE_SET_CONTENTS_DURABLE),
                                  0666, &err.error))
        return false;
    // Memory now matches the disk, other processes' values included.
    g_key_file_free(m_keyFile);
    m_keyFile = merged.release();
    return true;
}

std::optional<std::string> CKeyFileSettings::ReadString(std::string_view section, std::string_view name) const
{
    const std::string group(section);
    const std::string key = EncodeKey(name);
    if (!IsValidGroup(group) || key.empty())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    GCharPtr value(g_key_file_get_value(m_keyFile, group.c_str(), key.c_str(), nullptr));
    if (!value)
        return std::nullopt;
    return DecodeRawValue(value.get());
}

bool CKeyFileSettings::WriteString(std::string_view section, std::string_view name, std::string_view value)
{
    const std::string group(section);
    const std::string key = EncodeKey(name);
    const std::string text(value);
    if (!IsValidGroup(group) || key.empty())
        return false;
    // Paths need not be UTF-8: such values are escaped so that they come back byte for byte.
    const std::string raw = EncodeRawValue(text, !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr));

    std::lock_guard lock(m_mutex);
    return Save([&](GKeyFile* keyFile) {
        GCharPtr old(g_key_file_get_value(keyFile, group.c_str(), key.c_str(), nullptr));
        if (old && raw == old.get())
            return false;
        g_key_file_set_value(keyFile, group.c_str(), key.c_str(), raw.c_str());
        return true;
    });
}

bool CKeyFileSettings::RemoveValue(std::string_view section, std::string_view name)
{
    const std::string group(section);
    const std::string key = EncodeKey(name);
    if (!IsValidGroup(group) || key.empty())
        return false;

    std::lock_guard lock(m_mutex);
    return Save([&](GKeyFile* keyFile) {
        return static_cast<bool>(g_key_file_remove_key(keyFile, group.c_str(), key.c_str(), nullptr));
    });
}

std::vector<std::string> CKeyFileSettings::ListNames(std::string_view section) const
{
    std::vector<std::string> names;
    const std::string group(section);
    if (!IsValidGroup(group))
        return names;
    std::lock_guard lock(m_mutex);
    gsize count = 0;
    gchar** keys = g_key_file_get_keys(m_keyFile, group.c_str(), &count, nullptr);
    if (keys == nullptr)
        return names;
    for (gsize i = 0; i < count; ++i)
        names.push_back(DecodeKey(keys[i]));
    g_strfreev(keys);
    return names;
}

std::string CKeyFileSettings::EncodeKey(std::string_view name)
{
    // Bytes of a name that is not UTF-8 are all escaped, so the file stays valid text.
    const bool utf8 = g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr);
    // GKeyFile reads a key named "Encoding" as the file's character set and refuses the
    // whole file unless its value is "UTF-8".
    const bool reserved = name == "Encoding";
    return PercentEncode(name, [&](unsigned char c, std::size_t i) {
        // GKeyFile keys cannot hold '=', brackets or line breaks, lose blanks at their
        // ends, and a line starting with '#' is a comment.
        const bool edgeBlank = (c == ' ' || c == '\t') && (i == 0 || i + 1 == name.size());
        const bool escape = c < 0x20 || c == 0x7F || c == '%' || c == '=' || c == '[' || c == ']'
            || (c == '#' && i == 0) || (reserved && i == 0) || edgeBlank || (c >= 0x80 && !utf8);
        return !escape;
    });
}

std::string CKeyFileSettings::DecodeKey(std::string_view key)
{
    std::string name;
    name.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size()) {
            const int high = HexDigitValue(key[i + 1]);
            const int low = HexDigitValue(key[i + 2]);
            if (high >= 0 && low >= 0) {
                name.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        name.push_back(key[i]);
    }
    return name;
}

} // namespace mev
