#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/media/media_kinds.hpp"
#include "core/shell/size_text.hpp"

namespace mev {

// One row of an audio or video file list.
struct FileItem {
    std::string path;            // folder + '/' + name, runs of '/' collapsed; raw bytes
    std::string typeName;        // the file type's description; "" when none was found
    std::string title;           // tag title (audio lists only), read once per fill
    std::uint64_t size = 0;
    std::int64_t lastWriteTime = 0;  // seconds since 1970-01-01 UTC
    std::uint32_t playCount = 0;     // how often auto play finished the file
    bool checked = false;
    std::uint64_t serial = 0;        // identity of the row for as long as it is listed
    std::string nameKey;             // case-folded sort text of the Name column
};

// "YYYY-MM-DD hh:mm" in local time; "" for a time the conversion cannot represent.
std::string FormatTimeText(std::int64_t time);

// Text folded for comparisons without regard to case: UTF-8 letters of the Latin,
// Greek and Cyrillic alphabets are lower-cased; other characters and bytes that are not
// UTF-8 stay as they are.
std::string FoldCase(std::string_view text);

// The rows of a file list and the rules behind its columns, sorting, checks and the
// play list of auto play. The view shows row i of the model as its row i.
class CFileListModel {
public:
    enum Column { COLUMN_NAME = 0, COLUMN_TYPE = 1, COLUMN_SIZE = 2, COLUMN_TIME = 3 };

    // The type description of a file from its name alone; "" when none is known.
    using TypeNamer = std::function<std::string(const std::string& fileName)>;

    // audioNames: the Name column shows and sorts audio files by their tag title
    // (ReadAudioTitle).
    explicit CFileListModel(bool audioNames = false);

    bool UsesTitles() const { return m_audioNames; }

    // The files of folder whose extension key is in the kind's set, in the order the
    // file system gives them, with their type names and (withTitles) ID3v1 titles read.
    // An unreadable or missing folder gives no rows. Runs on any thread; stops early,
    // with what it has, once *cancel becomes true.
    static std::vector<FileItem> ListFolder(const std::string& folder, MediaKind kind, bool withTitles,
                                            const TypeNamer& typeNamer, const std::atomic<bool>* cancel = nullptr);

    // The files a playlist names that exist as regular audio or video files (playlists
    // excepted), each once, in the playlist's order; as ListFolder does for a folder.
    static std::vector<FileItem> ListFiles(const std::vector<std::string>& paths, bool withTitles,
                                           const TypeNamer& typeNamer, const std::atomic<bool>* cancel = nullptr);

    // Appending folder would add nothing: some row's path begins with it (a plain
    // prefix test on the bytes, so rows of "/m/music2" also block "/m/music").
    bool BlocksAppend(std::string_view folder) const;

    // Replaces every row and sorts ascending by name, or with sort false keeps the
    // order given (a playlist's).
    void Replace(std::vector<FileItem> rows, bool sort = true);
    // Adds rows at the end without sorting; returns the index of the first one.
    std::size_t Append(std::vector<FileItem> rows);
    void Clear();

    std::size_t GetCount() const { return m_rows.size(); }
    const FileItem& At(std::size_t row) const { return m_rows[row]; }

    // Cell texts (UTF-8).
    std::string GetNameText(std::size_t row) const;
    std::string GetTypeText(std::size_t row) const { return m_rows[row].typeName; }
    std::string GetSizeText(std::size_t row) const { return FormatSize(m_rows[row].size, SizeStyle::Column); }
    std::string GetTimeText(std::size_t row) const { return FormatTimeText(m_rows[row].lastWriteTime); }

    // A header click: with fewer than 2 rows nothing happens (false); otherwise the one
    // direction flag of all columns toggles and the rows are sorted that way.
    bool ClickColumn(int column);
    void Sort(int column, bool ascending);
    bool IsSortAscending() const { return m_sortAscending; }

    // The file of a row was renamed to newPath (or newPath is its own path) and may
    // have a new tag: the row takes the new path, size, time and title, keeping its
    // checks and plays. False when no row lists oldPath.
    bool UpdateFile(const std::string& oldPath, const std::string& newPath);
    // Sorts again the way the rows were last sorted.
    void Resort() { Sort(m_sortColumn, m_sortAscending); }

    // Index of the first row with exactly that path, or -1.
    int FindByPath(std::string_view path) const;
    // Takes the rows of these paths out of the list; gives their former indices, highest
    // first.
    std::vector<std::size_t> RemovePaths(const std::vector<std::string>& paths);
    // The paths of the checked rows, in row order.
    std::vector<std::string> GetCheckedPaths() const;
    int FindBySerial(std::uint64_t serial) const;

    void SetChecked(std::size_t row, bool checked);
    bool IsChecked(std::size_t row) const { return m_rows[row].checked; }
    int CountChecked() const;
    bool AnyChecked() const;
    void CheckAll();
    void ReverseCheck();

    // The play-list rule of auto play. When currentUrl is a mev: page of an existing file
    // that a row lists, that row counts one more play. Then the checked row with the
    // fewest plays (the first on a tie) is the answer when loop is on or it has not been
    // played yet; otherwise -1.
    int NextToPlay(const std::string& currentUrl, bool loop);
    // What NextToPlay would answer, without counting the play.
    int PeekNextToPlay(const std::string& currentUrl, bool loop) const;

private:
    // The row of the file currentUrl's mev: page plays, -1 for none.
    int PlayedRow(const std::string& currentUrl) const;
    // "" for files without a title.
    static std::string ReadTitle(const std::string& path);
    // The titles of all rows, read on a few threads at once.
    static void ReadTitles(std::vector<FileItem>& rows, const std::atomic<bool>* cancel);
    // The row of a listed file: false for what is no regular file.
    using TypeCache = std::vector<std::pair<std::string, std::string>>;
    static bool MakeItem(const std::string& path, bool withTitles, const TypeNamer& typeNamer, TypeCache& typeCache,
                         FileItem& item);
    void PrepareRow(FileItem& item);

    bool m_audioNames;
    bool m_sortAscending = true;
    int m_sortColumn = COLUMN_NAME;
    std::uint64_t m_nextSerial = 1;
    std::vector<FileItem> m_rows;
};

} // namespace mev
