#include "ui/players/player_page.hpp"

#include <utility>
#include <vector>

#include "core/commands/command_ids.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "ui/browser/browser_engine.hpp"
#include "ui/browser/page_browser.hpp"
#include "ui/media/file_operation_dlg.hpp"

namespace mev {

namespace {

// Every player page alive; a page that starts a file stops the others.
std::vector<CPlayerPage*>& Players()
{
    static std::vector<CPlayerPage*> players;
    return players;
}

} // namespace

CPlayerPage::CPlayerPage(MediaKind kind, CMediaPageHost& host) : CMediaPage(kind, host)
{
    // A right-click on the playing page offers Loop, Refresh and Stop.
    GetBrowser().SetContextMenuId(kind == MediaKind::Audio ? IDR_AUDIO_MENU : IDR_VIDEO_MENU);
    Players().push_back(this);
}

CPlayerPage::~CPlayerPage()
{
    std::erase(Players(), this);
}

std::string CPlayerPage::GetPageUrl(const std::string& path) const
{
    return std::string("mev://") + GetPageHost() + "/?" + path;
}

Gtk::Widget* CPlayerPage::CreateListPane()
{
    m_list = CreateFileList();
    m_list->SetCommandPoster([this](int id) { PostCommand(id); });
    m_list->SetOpenWithContext(GetOpenWithListName(), GetListMenuId());
    const std::string name = std::string(GetTabName()) + " files";
    g_object_set(m_list->GetTreeView().gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_GRID, nullptr);
    gtk_accessible_update_property(GTK_ACCESSIBLE(m_list->GetTreeView().gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   name.c_str(), -1);
    m_list->SetFilledHandler([this] {
        const int row = m_startFile.empty() ? -1 : m_list->FindByPath(m_startFile);
        m_startFile.clear();
        if (row >= 0) {
            m_list->SelectOnly(row);
            PlaySelected();
        }
    });
    return m_list;
}

void CPlayerPage::OpenStartFile(const std::string& path)
{
    m_startFile = path;
}

void CPlayerPage::OnFolderSelected(const std::string& folder)
{
    // Shift in the click or key that chose the folder appends: the key may be up by now.
    if (m_list != nullptr)
        m_list->FillFolder(folder, GetKind(), GetTree().IsAppendSelection());
}

void CPlayerPage::RefreshList(const std::string& folder)
{
    if (m_list != nullptr)
        m_list->FillFolder(folder, GetKind(), false);
}

int CPlayerPage::GetTotalCount() const
{
    return m_list != nullptr ? m_list->GetCount() : 0;
}

int CPlayerPage::GetCheckedCount() const
{
    return m_list != nullptr ? m_list->CountChecked() : 0;
}

void CPlayerPage::ToggleFullScreen()
{
    // Full Screen is for pictures; players stay in their pane.
}

void CPlayerPage::StopPlayback()
{
    if (m_list != nullptr)
        m_list->m_autoPlay = false;
    CMediaPage::StopPlayback();
}

void CPlayerPage::OnLoopEnabled()
{
    // Idle after a file ended: play it again at once; a file still playing repeats at
    // its end.
    IsPlayerBusy([this](bool busy) {
        if (!busy && IsLoopOn())
            GetBrowser().Refresh();
    });
}

void CPlayerPage::CopyChecked()
{
    RunFileOperation(FileOpKind::Copy);
}

void CPlayerPage::MoveChecked()
{
    RunFileOperation(FileOpKind::Move);
}

void CPlayerPage::DeleteChecked()
{
    RunFileOperation(FileOpKind::Delete);
}

void CPlayerPage::RunFileOperation(FileOpKind kind)
{
    if (m_list == nullptr)
        return;
    CFileOperationDlg::RunCommand(GetWindow(), kind, m_list->GetCheckedPaths(), [this](const CFileOperation& op) {
        if (op.Kind() == FileOpKind::Copy || m_list == nullptr)
            return;
        std::vector<std::string> gone;
        for (std::size_t i = 0; i < op.Sources().size(); ++i) {
            if (op.Results()[i] == FileOpResult::Done)
                gone.push_back(op.Sources()[i]);
        }
        m_list->RemovePaths(gone);
    });
}

void CPlayerPage::OnPageMessage(int code, const std::string& url, std::function<void(int)> done)
{
    const std::string prefix = GetPageUrl("");
    if (code == PAGEMSG_NAVIGATE && url.size() > prefix.size() && url.compare(0, prefix.size(), prefix) == 0) {
        Play(url.substr(prefix.size()));
        if (done)
            done(0);
        return;
    }
    CMediaPage::OnPageMessage(code, url, std::move(done));
}

void CPlayerPage::IsPlayerBusy(std::function<void(bool busy)> done)
{
    GetBrowser().EvaluateScript("(typeof GetBusy === 'function') ? !!GetBusy() : false",
                                [done = std::move(done)](bool ok, const std::string& json) {
                                    done(ok && json == "true");
                                });
}

void CPlayerPage::Play(const std::string& path)
{
    // The web process opens the file itself, so its sandbox must show it: the tree's
    // root when it may, else the folder, else just the file (a file in the home folder).
    const std::string root = GetTree().GetRootPath();
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
    if (!root.empty() && (folder == root || folder.rfind(root + "/", 0) == 0))
        AddMediaFolder(root);
    AddMediaFolder(folder);
    AddMediaFolder(path);
    for (CPlayerPage* other : Players()) {
        // As Esc there would: auto play ends, loop stays as the user left it.
        if (other != this && !other->IsBrowserBlank())
            other->StopPlayback();
    }
    GetBrowser().MoveToMediaContext();
    // A Flash page already shown plays the next movie itself: its emulator's WebAssembly,
    // compiled when the page came, then serves this movie too.
    if (GetFileExtension(path) == "swf")
        GetBrowser().NavigateInPage(GetPageUrl(path), "ShowMovie", MakeFileUrl(path));
    else
        GetBrowser().Navigate(GetPageUrl(path));
}

void CPlayerPage::PlaySelected()
{
    if (m_list == nullptr)
        return;
    if (m_list->m_autoPlay) {
        // Only so that the file being replaced counts as played.
        m_list->NextToPlay(GetBrowser().GetLocationUrl(), IsLoopOn(), false);
    }
    const std::string path = m_list->GetSelectedPath();
    if (path.empty())
        GetBrowser().Navigate(GetBlankPageUrl());
    else
        Play(path);
}

void CPlayerPage::OnPlaybackDone()
{
    if (m_list != nullptr && m_list->m_autoPlay) {
        const std::string next = m_list->NextToPlay(GetBrowser().GetLocationUrl(), IsLoopOn(), true);
        if (next.empty())
            m_list->m_autoPlay = false;
        else
            Play(next);
    } else if (IsLoopOn()) {
        GetBrowser().Refresh();
    }
}

void CPlayerPage::ToggleAutoPlay()
{
    if (m_list == nullptr)
        return;
    m_list->m_autoPlay = !m_list->m_autoPlay;
    if (!m_list->m_autoPlay)
        return;  // what plays plays to its end, and nothing follows
    IsPlayerBusy([this](bool busy) {
        // Busy: auto play goes on from the end of the file that plays.
        if (busy || !IsAutoPlayOn())
            return;
        const std::string next = m_list->NextToPlay("", IsLoopOn(), true);
        if (next.empty())
            m_list->m_autoPlay = false;
        else
            Play(next);
    });
}

bool CPlayerPage::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id == ID_PRIVATE_LIST_SELECTED || ui.id == ID_PRIVATE_LIST_DBLCLK || ui.id == GetPlaybackDoneId()) {
        ui.Enable(true);
        return true;
    }
    if (ui.id == ID_LIST_AUTOPLAY) {
        if (m_list == nullptr || !m_list->AnyChecked()) {
            // Nothing checked, nothing to play in turn.
            if (m_list != nullptr)
                m_list->m_autoPlay = false;
            ui.Enable(false);
        } else {
            ui.Enable(true);
            ui.SetCheck(m_list->m_autoPlay);
        }
        return true;
    }
    return CMediaPage::OnUpdateCommand(ui);
}

bool CPlayerPage::OnCommand(int id)
{
    if (id == ID_PRIVATE_LIST_SELECTED || id == ID_PRIVATE_LIST_DBLCLK) {
        PlaySelected();
        return true;
    }
    if (id == GetPlaybackDoneId()) {
        OnPlaybackDone();
        return true;
    }
    if (id == ID_LIST_AUTOPLAY) {
        ToggleAutoPlay();
        return true;
    }
    return CMediaPage::OnCommand(id);
}

} // namespace mev
