#include "core/tags/tag_editor.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/files/file_writer.hpp"
#include "core/files/user_file.hpp"
#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"

namespace mev {

namespace {

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// True when the file ends in a tag, read without taking the tag's lock: a tag that
// CId3v1Tag::Read could not read is then held by someone, not missing.
bool HasTagMarker(const std::string& path)
{
    CUniqueFd fd;
    if (!OpenRegularFile(path, fd))
        return false;
    bool found = false;
    struct stat st {};
    if (fstat(fd.Get(), &st) == 0 && st.st_size >= 130) {
        for (off_t back : {128, 130}) {
            char marker[3];
            if (pread(fd.Get(), marker, 3, st.st_size - back) == 3 && std::memcmp(marker, "TAG", 3) == 0)
                found = true;
        }
    }
    return found;
}

std::string RenameMessage(const std::string& from, const std::string& to, CStatus status)
{
    // "Can not rename [%s] to [%s]:\r\n%s", with a Linux line end.
    return "Can not rename [" + from + "] to [" + to + "]:\n" + status.Text();
}

std::string WriteMessage(const std::string& name, CStatus status)
{
    return "Can not write [" + name + "]:\n" + status.Text();
}

// Lines end in CR LF in the written page, as other programs reading it may expect.
std::string WithCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

std::string TagEditorTargetName(const std::string& fileText, CStatus& status)
{
    status = {};
    std::string name = Trim(fileText);
    if (name.empty())
        return {};
    // A rename stays in the folder.
    if (name.find('/') != std::string::npos || name == "." || name == "..") {
        status = CStatus(EINVAL);
        return {};
    }
    if (GetFileExtension(name) != "mp3")
        name += ".MP3";
    return name;
}

CStatus RenameNoReplace(const std::string& from, const std::string& to)
{
    if (from == to)
        return {};
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return CStatus::LastError();
    // File systems without the flag: a hard link never replaces either.
    if (link(from.c_str(), to.c_str()) != 0)
        return CStatus::LastError();
    if (unlink(from.c_str()) != 0) {
        const CStatus status = CStatus::LastError();
        unlink(to.c_str());
        return status;
    }
    return {};
}

std::string FitTagText(const std::string& text, std::size_t maxBytes)
{
    return DecodeTagText(EncodeTagTextExact(text, maxBytes));
}

CTagEditor::CTagEditor(std::string folder) : m_folder(std::move(folder)) {}

void CTagEditor::Load()
{
    m_rows.clear();
    m_pending.clear();
    m_selected = -1;
    DIR* dir = opendir(m_folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (GetFileExtension(name) != "mp3")
            continue;
        STagRow row;
        row.name = name;
        const std::string path = JoinPath(m_folder, name);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        CId3v1Tag tag;
        if (tag.Read(path)) {
            row.title = tag.GetTitle();
            row.artist = tag.GetArtist();
            row.album = tag.GetAlbum();
            row.comment = tag.GetComment();
        }
        m_rows.push_back(std::move(row));
    }
    closedir(dir);
}

std::string CTagEditor::DisplayName(int row) const
{
    return ToDisplayText(m_rows.at(static_cast<std::size_t>(row)).name);
}

std::string CTagEditor::FullPath(int row) const
{
    return JoinPath(m_folder, m_rows.at(static_cast<std::size_t>(row)).name);
}

std::string CTagEditor::PlayUrl(int row) const
{
    return "mev://audio/?" + FullPath(row);
}

void CTagEditor::Navigate(const std::string& url)
{
    if (navigate)
        navigate(url);
}

// Locked fields keep their text: it is meant for the next files too.
void CTagEditor::ShowRowTag(const STagRow& r)
{
    m_fields.title = r.title;
    if (!lockArtist)
        m_fields.artist = r.artist;
    if (!lockAlbum)
        m_fields.album = r.album;
    if (!lockComment)
        m_fields.comment = r.comment;
}

std::string CTagEditor::SelectRow(int row)
{
    if (row == m_selected)
        return {};
    std::string message;
    // The row left receives what is on screen before the next row's texts load.
    if (m_selected >= 0 && autoUpdate)
        message = UpdateRow(m_selected);
    m_selected = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
    if (m_selected < 0)
        return message;
    const STagRow& r = m_rows[static_cast<std::size_t>(m_selected)];
    m_fields.file = DisplayName(m_selected);
    ShowRowTag(r);
    if (clickToPlay)
        Navigate(PlayUrl(m_selected));
    return message;
}

std::string CTagEditor::UpdateRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return {};
    // The audio page lets go of the file before it is renamed or written.
    Navigate(GetBlankPageUrl());
    STagRow& r = m_rows[static_cast<std::size_t>(row)];

    // The File text shows a name that is not UTF-8 with replacement characters; left as
    // shown, it means the file keeps its name.
    const std::string shownName = DisplayName(row);
    const std::string fileText = Trim(m_fields.file);
    if (!fileText.empty() && fileText != shownName) {
        CStatus status;
        std::string target = TagEditorTargetName(fileText, status);
        const std::string oldPath = FullPath(row);
        if (status)
            status = RenameNoReplace(oldPath, JoinPath(m_folder, target));
        // The message names the file the rename tried to make, ".MP3" included.
        if (!status)
            return RenameMessage(shownName, target.empty() ? fileText : ToDisplayText(target), status);
        r.name = target;
        if (oldPath != FullPath(row))
            m_changes.push_back({oldPath, FullPath(row)});
        if (row == m_selected)
            m_fields.file = DisplayName(row);
    }

    SPendingWrite write{Trim(m_fields.title), Trim(m_fields.artist), Trim(m_fields.album), Trim(m_fields.comment), {}};
    if (write.title == r.title && write.artist == r.artist && write.album == r.album && write.comment == r.comment) {
        m_pending.erase(row);
        return {};
    }
    write.deadline = std::chrono::steady_clock::now() + WRITE_TIMEOUT;
    const CStatus status = TryWrite(row, write);
    if (status.Code() == EWOULDBLOCK) {
        m_pending[row] = std::move(write);
        return {};
    }
    m_pending.erase(row);
    return status ? std::string() : WriteFailed(row, status);
}

CStatus CTagEditor::TryWrite(int row, const SPendingWrite& write)
{
    const std::string path = FullPath(row);
    CId3v1Tag tag;
    // Year, track and genre stay: start from the file's own tag.
    if (!tag.Read(path) && HasTagMarker(path))
        return CStatus(EWOULDBLOCK);
    tag.SetTitle(write.title.c_str());
    tag.SetArtist(write.artist.c_str());
    tag.SetAlbum(write.album.c_str());
    tag.SetComment(write.comment.c_str());
    if (const CStatus status = tag.Write(path); !status) {
        // Only a file held by someone else, or a call cut short, is worth another attempt.
        return status.Code() == EINTR ? CStatus(EWOULDBLOCK) : status;
    }
    m_changes.push_back({path, path});
    CId3v1Tag back;
    if (back.Read(path)) {
        STagRow& r = m_rows[static_cast<std::size_t>(row)];
        r.title = back.GetTitle();
        r.artist = back.GetArtist();
        r.album = back.GetAlbum();
        r.comment = back.GetComment();
    }
    return {};
}

std::string CTagEditor::WriteFailed(int row, CStatus status)
{
    STagRow& r = m_rows[static_cast<std::size_t>(row)];
    // What the file holds now; a file that cannot even be read keeps the texts last read.
    CId3v1Tag tag;
    if (tag.Read(FullPath(row))) {
        r.title = tag.GetTitle();
        r.artist = tag.GetArtist();
        r.album = tag.GetAlbum();
        r.comment = tag.GetComment();
    }
    if (row == m_selected)
        ShowRowTag(r);
    return WriteMessage(DisplayName(row), status);
}

bool CTagEditor::RetryWrites(std::chrono::steady_clock::time_point now, std::string* message)
{
    bool changed = false;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const int row = it->first;
        const CStatus status = TryWrite(row, it->second);
        if (status) {
            changed = true;
            it = m_pending.erase(it);
        } else if (status.Code() != EWOULDBLOCK || now >= it->second.deadline) {
            it = m_pending.erase(it);
            const STagRow before = m_rows[static_cast<std::size_t>(row)];
            const std::string text = WriteFailed(row, status);
            const STagRow& after = m_rows[static_cast<std::size_t>(row)];
            changed = changed || before.title != after.title || before.artist != after.artist ||
                      before.album != after.album || before.comment != after.comment;
            if (message != nullptr)
                *message += (message->empty() ? "" : "\n\n") + text;
        } else {
            ++it;
        }
    }
    return changed;
}

std::vector<STagFileChange> CTagEditor::TakeFileChanges()
{
    return std::exchange(m_changes, {});
}

std::string CTagEditor::MakeHtmlText() const
{
    std::string folder = m_folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string title = EscapeHtml(ToDisplayText(folder == "/" ? "" : GetFileNamePart(folder, true)));

    std::string page;
    page += "<html>\n<head>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n";
    page += "<TITLE>" + title +
            "</TITLE>\n<STYLE TYPE=\"TEXT/CSS\">\nLINK{COLOR: #0000FF}\nA{COLOR: #0000FF}\n"
            "A:HOVER{COLOR: #FF00FF}\nTD{FONT-SIZE: 9PT}</STYLE>\n";
    page += "</head>\n<body>\n";
    page += "<P><CENTER><B><FONT COLOR=\"#FF7F50\" SIZE=+3>" + title + "</FONT></B></CENTER><P>\n";
    page += "<table width=\"100%\" cols=5 cellspacing=0 cellpadding=3 bordercolor=\"#c0c0c0\" border=1 "
            "style=\"border-collapse:collapse\">";
    const std::size_t count = m_rows.size();
    for (std::size_t first = 0; first < count; first += 5) {
        page += "<tr>\n";
        for (std::size_t i = first; i < first + 5; ++i) {
            if (i < count) {
                const STagRow& r = m_rows[i];
                std::string text = Trim(r.title);
                if (text.empty())
                    text = ToDisplayText(r.name);
                // Relative link: the name's bytes percent-encoded, so '#', '?', '%' and
                // blanks stay part of it.
                page += "<td><a href=\"" + EscapeHtml(EncodeUrlPath(r.name)) + "\">" + EscapeHtml(text) + "</a></td>";
            } else {
                page += "&nbsp;";
            }
            page += "\n";
        }
        page += "</tr>\n";
    }
    page += "</table>\n</body>\n</html>";
    return page;
}

bool CTagEditor::MakeHtml() const
{
    if (m_rows.empty())
        return false;
    CFileWriter out;
    return out.Open(JoinPath(m_folder, "index.htm")) && out.Write(WithCrLf(MakeHtmlText())) && out.Commit();
}

} // namespace mev
