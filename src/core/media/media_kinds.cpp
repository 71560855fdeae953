#include "core/media/media_kinds.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mev {

namespace {

// Each set starts with the smallest prime number of buckets not below 100.
constexpr std::size_t SET_BUCKETS = 101;

const char* const BUILT_IN_IMAGE_KEYS[] = {".gif", ".jpg", ".jpeg", ".wmf", ".bmp", ".ico"};

void LowerAscii(std::string& text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

// The kind of a content type such as "image/png": only the three five-letter major types
// count, compared without regard to case.
bool KindOfType(std::string_view type, int& kind)
{
    if (type.size() < 6 || type[5] != '/')
        return false;
    std::string major(type.substr(0, 5));
    LowerAscii(major);
    if (major == "image")
        kind = static_cast<int>(MediaKind::Image);
    else if (major == "audio")
        kind = static_cast<int>(MediaKind::Audio);
    else if (major == "video")
        kind = static_cast<int>(MediaKind::Video);
    else
        return false;
    return true;
}

// "*.ext" with no further wildcard gives ".ext"; anything else is not a plain extension.
bool KeyOfGlob(std::string_view glob, std::string& key)
{
    if (glob.size() < 3 || glob[0] != '*' || glob[1] != '.')
        return false;
    std::string_view ext = glob.substr(2);
    if (ext.find_first_of("*?[]\\") != std::string_view::npos)
        return false;
    key.assign(glob.substr(1));
    LowerAscii(key);
    return true;
}

bool IsRegularFile(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace

CMediaKinds& CMediaKinds::Instance()
{
    // Never destroyed: folder listings still running when the program ends look at it
    // after static objects have gone.
    static auto* instance = new CMediaKinds;
    return *instance;
}

std::vector<std::string> CMediaKinds::DefaultDataDirs()
{
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        dirs.emplace_back(dataHome);
    } else {
        const char* home = std::getenv("HOME");
        if (home != nullptr && home[0] == '/')
            dirs.push_back(std::string(home) + "/.local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string_view list = (dataDirs != nullptr && dataDirs[0] != '\0')
                                ? std::string_view(dataDirs)
                                : std::string_view("/usr/local/share:/usr/share");
    while (!list.empty()) {
        std::size_t colon = list.find(':');
        std::string_view entry = list.substr(0, colon);
        if (!entry.empty() && entry[0] == '/')
            dirs.emplace_back(entry);
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    return dirs;
}

void CMediaKinds::EnsureBuilt()
{
    if (m_built.load(std::memory_order_acquire))
        return;
    BuildFrom(DefaultDataDirs());
}

void CMediaKinds::BuildFrom(const std::vector<std::string>& dataDirs)
{
    // Readers on other threads only look at the sets once m_built is set, after the
    // build has finished; call_once makes a second caller wait for the first.
    std::call_once(m_once, [&] {
        Build(dataDirs);
        m_built.store(true, std::memory_order_release);
    });
}

void CMediaKinds::Build(const std::vector<std::string>& dataDirs)
{
    for (auto& set : m_sets)
        set.rehash(SET_BUCKETS);
    for (const char* key : BUILT_IN_IMAGE_KEYS)
        m_sets[static_cast<int>(MediaKind::Image)].insert(key);
    {
        std::lock_guard lock(m_decoderKeysMutex);
        for (const std::string& key : m_decoderKeys)
            m_sets[static_cast<int>(MediaKind::Image)].insert(key);
    }
    m_sets[static_cast<int>(MediaKind::Audio)].insert(".mp3");
    // Playlists belong to the audio list whatever the MIME database calls them.
    m_sets[static_cast<int>(MediaKind::Audio)].insert(".m3u");
    m_sets[static_cast<int>(MediaKind::Audio)].insert(".m3u8");
    m_sets[static_cast<int>(MediaKind::Video)].insert(".mpg");

    for (const std::string& dir : dataDirs) {
        if (dir.empty())
            continue;
        std::filesystem::path mimeDir = std::filesystem::path(dir) / "mime";
        if (IsRegularFile(mimeDir / "globs2"))
            AddGlobsFile((mimeDir / "globs2").string());
        else if (IsRegularFile(mimeDir / "globs"))
            AddGlobsFile((mimeDir / "globs").string());
    }
}

// globs2 lines read "weight:type:glob[:flags]", globs lines "type:glob"; '#' starts a
// comment line. Lines that do not fit are skipped.
void CMediaKinds::AddGlobsFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    const bool weighted = path.size() >= 6 && path.compare(path.size() - 6, 6, "globs2") == 0;
    std::string line;
    std::string key;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::string_view rest(line);
        if (weighted) {
            std::size_t colon = rest.find(':');
            if (colon == std::string_view::npos)
                continue;
            rest.remove_prefix(colon + 1);
        }
        std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view type = rest.substr(0, colon);
        std::string_view glob = rest.substr(colon + 1);
        if (weighted)
            glob = glob.substr(0, glob.find(':'));
        int kind = 0;
        if (!KindOfType(type, kind) || !KeyOfGlob(glob, key))
            continue;
        m_sets[kind].insert(key);
    }
}

std::string CMediaKinds::KeyOf(std::string_view fileName)
{
    std::size_t dot = fileName.rfind('.');
    std::string key(dot == std::string_view::npos ? fileName : fileName.substr(dot));
    LowerAscii(key);
    return key;
}

bool CMediaKinds::Contains(MediaKind kind, std::string_view key) const
{
    int index = static_cast<int>(kind);
    if (index < 0 || index > 2 || !m_built.load(std::memory_order_acquire))
        return false;
    if (kind == MediaKind::Video && key == ".swf" && m_flashPlayable.load(std::memory_order_relaxed))
        return true;
    return m_sets[index].find(std::string(key)) != m_sets[index].end();
}

void CMediaKinds::SetDecoderImageKeys(std::vector<std::string> keys)
{
    for (std::string& key : keys)
        LowerAscii(key);
    std::lock_guard lock(m_decoderKeysMutex);
    m_decoderKeys = std::move(keys);
}

void CMediaKinds::SetFlashPlayable(bool playable)
{
    m_flashPlayable.store(playable, std::memory_order_relaxed);
}

} // namespace mev
