#include "core/media/file_list_model.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "core/files/user_file.hpp"
#include "core/pages/display_text.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/utf8.hpp"
#include "core/media/playlist.hpp"
#include "core/tags/title_reader.hpp"

namespace mev {

namespace {

char32_t LowerChar(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    // Latin Extended-A pairs capital and small letters as even/odd or odd/even code points.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) != 0 ? c + 1 : c;
    if (c == 0x178)
        return 0xFF;
    return c;
}

template <class T>
int Compare3(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

std::string FormatTimeText(std::int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min);
    return text;
}

std::string FoldCase(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t length = Utf8SequenceAt(text.substr(i), cp);
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        if (length == 1)
            out += static_cast<char>(LowerChar(cp));
        else
            AppendUtf8(out, LowerChar(cp));
        i += length;
    }
    return out;
}

CFileListModel::CFileListModel(bool audioNames) : m_audioNames(audioNames) {}

std::string CFileListModel::ReadTitle(const std::string& path)
{
    return ReadAudioTitle(path);
}

std::vector<FileItem> CFileListModel::ListFolder(const std::string& folder, MediaKind kind, bool withTitles,
                                                 const TypeNamer& typeNamer, const std::atomic<bool>* cancel)
{
    namespace fs = std::filesystem;
    std::vector<FileItem> rows;
    if (folder.empty())
        return rows;
    CMediaKinds::Instance().EnsureBuilt();
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    // One type lookup per extension: the description comes from the name alone.
    TypeCache typeCache;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            break;
        const std::string name = it->path().filename().string();
        if (!CMediaKinds::Instance().Contains(kind, CMediaKinds::KeyOf(name)))
            continue;
        FileItem item;
        if (MakeItem(JoinPath(folder, name), false, typeNamer, typeCache, item))
            rows.push_back(std::move(item));
    }
    if (withTitles)
        ReadTitles(rows, cancel);
    return rows;
}

void CFileListModel::ReadTitles(std::vector<FileItem>& rows, const std::atomic<bool>* cancel)
{
    // Reading a tag is mostly waiting for small reads: a few threads share the rows.
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    const std::size_t perThread = (rows.size() + threads - 1) / threads;
    const auto read = [&rows, cancel](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
                return;
            rows[i].title = ReadTitle(rows[i].path);
        }
    };
    if (threads < 2 || rows.size() < 64) {
        read(0, rows.size());
        return;
    }
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(read, std::min(rows.size(), t * perThread), std::min(rows.size(), (t + 1) * perThread));
    read(0, std::min(rows.size(), perThread));
    for (std::thread& helper : helpers)
        helper.join();
}

std::vector<FileItem> CFileListModel::ListFiles(const std::vector<std::string>& paths, bool withTitles,
                                                const TypeNamer& typeNamer, const std::atomic<bool>* cancel)
{
    std::vector<FileItem> rows;
    CMediaKinds::Instance().EnsureBuilt();
    TypeCache typeCache;
    std::unordered_set<std::string> listed;
    for (const std::string& path : paths) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            break;
        const std::string key = CMediaKinds::KeyOf(GetFileNamePart(path));
        if (IsPlaylistName(path) || (!CMediaKinds::Instance().Contains(MediaKind::Audio, key) &&
                                     !CMediaKinds::Instance().Contains(MediaKind::Video, key)))
            continue;
        if (listed.count(path) != 0)
            continue;
        FileItem item;
        if (MakeItem(path, false, typeNamer, typeCache, item)) {
            listed.insert(path);
            rows.push_back(std::move(item));
        }
    }
    if (withTitles)
        ReadTitles(rows, cancel);
    return rows;
}

bool CFileListModel::MakeItem(const std::string& path, bool withTitles, const TypeNamer& typeNamer,
                              TypeCache& typeCache, FileItem& item)
{
    item.path = path;
    // One stat per entry gives kind, size and time; a link counts as what it names.
    // Only regular files: a FIFO or device under a media name stalls whoever opens it.
    FileFacts facts;
    if (!ReadFileFacts(item.path, facts) || !facts.regular)
        return false;
    item.size = facts.size;
    item.lastWriteTime = facts.modifiedSeconds;

    const std::string name = GetFileNamePart(path);
    const auto dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    auto cached = std::find_if(typeCache.begin(), typeCache.end(),
                               [&](const auto& entry) { return entry.first == extension; });
    if (cached == typeCache.end()) {
        std::string type = typeNamer ? typeNamer(name) : std::string();
        if (type.empty())
            type = ToDisplayText(GetFileExtension(name)) + " File";
        typeCache.emplace_back(extension, type);
        cached = std::prev(typeCache.end());
    }
    item.typeName = cached->second;
    if (withTitles)
        item.title = ReadTitle(item.path);
    return true;
}

bool CFileListModel::BlocksAppend(std::string_view folder) const
{
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [&](const FileItem& item) { return std::string_view(item.path).substr(0, folder.size()) == folder; });
}

void CFileListModel::PrepareRow(FileItem& item)
{
    item.serial = m_nextSerial++;
    item.playCount = 0;
    item.checked = false;
    if (m_audioNames && !item.title.empty())
        item.nameKey = FoldCase(item.title);
    else
        item.nameKey = FoldCase(GetFileNamePart(item.path));
}

void CFileListModel::Replace(std::vector<FileItem> rows, bool sort)
{
    m_rows = std::move(rows);
    for (FileItem& item : m_rows)
        PrepareRow(item);
    m_sortAscending = true;
    if (sort)
        Sort(COLUMN_NAME, true);
    else
        m_sortColumn = -1;  // a later Resort keeps the order too
}

std::size_t CFileListModel::Append(std::vector<FileItem> rows)
{
    const std::size_t first = m_rows.size();
    for (FileItem& item : rows) {
        PrepareRow(item);
        m_rows.push_back(std::move(item));
    }
    return first;
}

void CFileListModel::Clear()
{
    m_rows.clear();
}

std::string CFileListModel::GetNameText(std::size_t row) const
{
    const FileItem& item = m_rows[row];
    if (m_audioNames && !item.title.empty())
        return item.title;
    return ToDisplayText(GetFileNamePart(item.path, true));
}

bool CFileListModel::ClickColumn(int column)
{
    if (m_rows.size() < 2)
        return false;
    m_sortAscending = !m_sortAscending;
    Sort(column, m_sortAscending);
    return true;
}

void CFileListModel::Sort(int column, bool ascending)
{
    m_sortAscending = ascending;
    m_sortColumn = column;
    const auto compare = [column](const FileItem& a, const FileItem& b) {
        switch (column) {
        case COLUMN_NAME:
            return a.nameKey.compare(b.nameKey);
        case COLUMN_TYPE:
            if (a.typeName.empty() || b.typeName.empty())
                return 0;
            return FoldCase(a.typeName).compare(FoldCase(b.typeName));
        case COLUMN_SIZE:
            return Compare3(a.size, b.size);
        case COLUMN_TIME:
            return Compare3(a.lastWriteTime, b.lastWriteTime);
        default:
            return 0;
        }
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const FileItem& a, const FileItem& b) {
        const int order = compare(a, b);
        return ascending ? order < 0 : order > 0;
    });
}

bool CFileListModel::UpdateFile(const std::string& oldPath, const std::string& newPath)
{
    const int row = FindByPath(oldPath);
    if (row < 0)
        return false;
    FileItem& item = m_rows[static_cast<std::size_t>(row)];
    item.path = newPath;
    if (FileFacts facts; ReadFileFacts(newPath, facts)) {
        item.size = facts.regular ? facts.size : 0;
        item.lastWriteTime = facts.modifiedSeconds;
    }
    if (m_audioNames)
        item.title = ReadTitle(newPath);
    if (m_audioNames && !item.title.empty())
        item.nameKey = FoldCase(item.title);
    else
        item.nameKey = FoldCase(GetFileNamePart(item.path));
    return true;
}

std::vector<std::size_t> CFileListModel::RemovePaths(const std::vector<std::string>& paths)
{
    std::vector<std::size_t> removed;
    for (const std::string& path : paths) {
        const int row = FindByPath(path);
        if (row >= 0)
            removed.push_back(static_cast<std::size_t>(row));
    }
    std::sort(removed.begin(), removed.end(), std::greater<>());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    for (std::size_t row : removed)
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
    return removed;
}

std::vector<std::string> CFileListModel::GetCheckedPaths() const
{
    std::vector<std::string> paths;
    for (const FileItem& item : m_rows) {
        if (item.checked)
            paths.push_back(item.path);
    }
    return paths;
}

int CFileListModel::FindByPath(std::string_view path) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].path == path)
            return static_cast<int>(i);
    }
    return -1;
}

int CFileListModel::FindBySerial(std::uint64_t serial) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].serial == serial)
            return static_cast<int>(i);
    }
    return -1;
}

void CFileListModel::SetChecked(std::size_t row, bool checked)
{
    if (row < m_rows.size())
        m_rows[row].checked = checked;
}

int CFileListModel::CountChecked() const
{
    return static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(), [](const FileItem& i) { return i.checked; }));
}

bool CFileListModel::AnyChecked() const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [](const FileItem& i) { return i.checked; });
}

void CFileListModel::CheckAll()
{
    for (FileItem& item : m_rows)
        item.checked = true;
}

void CFileListModel::ReverseCheck()
{
    for (FileItem& item : m_rows)
        item.checked = !item.checked;
}

int CFileListModel::PlayedRow(const std::string& currentUrl) const
{
    std::string host;
    std::string argument;
    if (currentUrl.empty() || !ParsePageUrl(currentUrl, host, argument))
        return -1;
    return FindByPath(argument);
}

int CFileListModel::NextToPlay(const std::string& currentUrl, bool loop)
{
    const int played = PlayedRow(currentUrl);
    if (played >= 0)
        ++m_rows[static_cast<std::size_t>(played)].playCount;
    return PeekNextToPlay({}, loop);
}

int CFileListModel::PeekNextToPlay(const std::string& currentUrl, bool loop) const
{
    const int played = PlayedRow(currentUrl);
    const auto plays = [&](std::size_t i) { return m_rows[i].playCount + (static_cast<int>(i) == played ? 1U : 0U); };
    int best = -1;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].checked && (best < 0 || plays(i) < plays(static_cast<std::size_t>(best))))
            best = static_cast<int>(i);
    }
    if (best >= 0 && (loop || plays(static_cast<std::size_t>(best)) == 0))
        return best;
    return -1;
}

} // namespace mev
