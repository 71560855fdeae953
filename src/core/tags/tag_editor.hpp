#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/shell/status.hpp"

namespace mev {

// One file of the tag editor's list. name is the file name as the folder holds it (any
// bytes); the four texts are decoded tag texts (UTF-8), empty when there is no tag.
struct STagRow {
    std::string name;
    std::string title;
    std::string artist;
    std::string album;
    std::string comment;
};

// A file the editor renamed or wrote: its path before and after (the same when only
// its tag changed).
struct STagFileChange {
    std::string oldPath;
    std::string newPath;
};

// What the edit fields show (UTF-8).
struct STagFields {
    std::string file;
    std::string title;
    std::string artist;
    std::string album;
    std::string comment;
};

// The MP3 tag editor without its window: the folder's ".mp3" files with their ID3v1
// texts, the edit fields, the locks and the selection rule, renaming and tag writing, and
// the folder's index.htm. The dialog copies its widgets into Fields() before every
// selection change or update and shows Fields() again afterwards.
class CTagEditor {
public:
    static constexpr std::size_t TEXT_LIMIT = 30;
    static constexpr std::size_t COMMENT_LIMIT = 28;
    static constexpr auto WRITE_TIMEOUT = std::chrono::milliseconds(5000);

    explicit CTagEditor(std::string folder);

    // Lists the folder's regular files whose extension is "mp3" in any case, in the
    // order the folder gives them, with their tags.
    void Load();

    const std::string& GetFolder() const { return m_folder; }
    const std::vector<STagRow>& Rows() const { return m_rows; }
    STagFields& Fields() { return m_fields; }
    // The row's file name as UTF-8 for showing.
    std::string DisplayName(int row) const;
    std::string FullPath(int row) const;
    // "mev://audio/?" and the row's full path (the browser encodes it on navigation).
    std::string PlayUrl(int row) const;
    int SelectedRow() const { return m_selected; }

    bool lockArtist = false;
    bool lockAlbum = false;
    bool lockComment = false;
    bool autoUpdate = false;
    bool clickToPlay = false;

    // Receives the URLs the audio page is to show (play a file, or the blank page).
    std::function<void(const std::string& url)> navigate;

    // The selection moves to row (-1: none). The row left is updated first when Auto
    // Update is on, then the new row's texts load (locked fields keep theirs). Returns
    // the rename failure message of that update, or "".
    std::string SelectRow(int row);

    // Renames the row's file to the File text and writes the four texts into its tag
    // when they changed. Returns the rename or write failure message, or "" (then the
    // write is done, or pending while the file is held; see RetryWrites). After a failed
    // write the row, and the unlocked fields when it is the selected row, show the tag
    // that is in the file.
    std::string UpdateRow(int row);

    // One more attempt at every pending write; a write still failing 5000 ms after its
    // first attempt is given up, and *message (when given) says so. True when a row's
    // texts changed.
    bool RetryWrites(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now(),
                     std::string* message = nullptr);
    bool HasPendingWrites() const { return !m_pending.empty(); }

    // The files renamed or written since the last call, in the order it happened.
    std::vector<STagFileChange> TakeFileChanges();

    // Writes index.htm into the folder: a table of links to the files, five in a row.
    // False when the list is empty or the file cannot be written (an earlier index.htm
    // then stays as it was).
    bool MakeHtml() const;
    // The page itself, for the rows as they are.
    std::string MakeHtmlText() const;

private:
    struct SPendingWrite {
        std::string title, artist, album, comment;
        std::chrono::steady_clock::time_point deadline;
    };
    // One write attempt keeping the tag's other fields; on success the row reads back.
    // Fails with EWOULDBLOCK while someone holds the file.
    CStatus TryWrite(int row, const SPendingWrite& write);
    // A write that cannot be done: the row (and the fields, for the selected row) show
    // the file's tag again; returns the message that says so.
    std::string WriteFailed(int row, CStatus status);
    void ShowRowTag(const STagRow& r);
    void Navigate(const std::string& url);

    std::string m_folder;
    std::vector<STagRow> m_rows;
    STagFields m_fields;
    int m_selected = -1;
    std::map<int, SPendingWrite> m_pending;
    std::vector<STagFileChange> m_changes;
};

// The name a File text gives the file: white space trimmed, ".MP3" added unless the
// extension is "mp3" in any case. "" when the text is empty after trimming. Sets status
// (EINVAL) and gives "" for a text with '/' or that is "." or "..".
std::string TagEditorTargetName(const std::string& fileText, CStatus& status);

// Renames without ever replacing a file; fails with EEXIST when another file has the
// name. Renaming a file onto its own name succeeds.
CStatus RenameNoReplace(const std::string& from, const std::string& to);

// Cuts UTF-8 text to what a tag field of maxBytes holds, as it will read back.
std::string FitTagText(const std::string& text, std::size_t maxBytes);

} // namespace mev
