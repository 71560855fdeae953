#include "ui/pages/player_page.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "core/commands/command_ids.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/tags/track_info.hpp"
#include "platform/cover_art.hpp"
#include "platform/mpris_player.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"

namespace mev {

namespace {

constexpr const char* DESKTOP_ENTRY = "org.mev.MediaBrowser";
constexpr const char* PLAYER_NAME = "MEV";

// Every player page alive; a page that starts a file stops the others.
std::vector<CPlayerPage*>& Players()
{
    static std::vector<CPlayerPage*> players;
    return players;
}

// The program's one entry in the desktop's media controls, published when a file first
// plays and gone with the last player page. It acts on the page that played last.
struct MediaControls {
    std::unique_ptr<CMprisPlayer> player;
    CPlayerPage* page = nullptr;
};

MediaControls& Controls()
{
    static MediaControls controls;
    return controls;
}

CMprisPlayer& ControlsFor(CPlayerPage* page)
{
    MediaControls& controls = Controls();
    controls.page = page;
    if (!controls.player) {
        const auto onPage = [](void (*action)(CPlayerPage&)) {
            return [action] {
                if (Controls().page != nullptr)
                    action(*Controls().page);
            };
        };
        CMprisPlayer::Handlers handlers;
        handlers.raise = onPage([](CPlayerPage& p) {
            if (auto* window = dynamic_cast<Gtk::Window*>(p.get_root()))
                window->present();
        });
        handlers.next = onPage([](CPlayerPage& p) { p.PlayAdjacent(1); });
        handlers.previous = onPage([](CPlayerPage& p) { p.PlayAdjacent(-1); });
        handlers.play = onPage([](CPlayerPage& p) { p.SetPlaying(1); });
        handlers.pause = onPage([](CPlayerPage& p) { p.SetPlaying(0); });
        handlers.playPause = onPage([](CPlayerPage& p) { p.SetPlaying(-1); });
        handlers.stop = onPage([](CPlayerPage& p) { p.OnCommand(ID_VIEW_STOP); });
        handlers.seek = [](std::int64_t offset) {
            if (Controls().page != nullptr)
                Controls().page->SeekPlayer(offset, true);
        };
        handlers.setPosition = [](std::int64_t position) {
            if (Controls().page != nullptr)
                Controls().page->SeekPlayer(position, false);
        };
        controls.player = std::make_unique<CMprisPlayer>(std::move(handlers), DESKTOP_ENTRY, PLAYER_NAME);
    }
    return *controls.player;
}

} // namespace

CPlayerPage::CPlayerPage(const SPlayerTraits& traits, CMediaPageHost& host)
    : CMediaPage(traits.kind, host), m_traits(traits)
{
    // A right-click on the playing page offers Loop, Refresh and Stop.
    GetBrowser().SetContextMenuId(traits.pageMenuId);
    Players().push_back(this);
    GetBrowser().signal_load_finished().connect([this] {
        // A new page, or the one shown after ShowMedia, holds nothing to follow yet.
        m_preloaded.clear();
        // Nothing plays in an empty pane, whatever the page on its way out said last: a
        // file's page told to play just before Stop may report so after Stop did.
        if (IsBrowserBlank()) {
            ReportStopped();
            return;
        }
        PreloadNext();
    });
    GetBrowser().signal_player_state().connect(sigc::mem_fun(*this, &CPlayerPage::OnPlayerState));
}

CPlayerPage::~CPlayerPage()
{
    m_pendingPlaying.disconnect();
    if (m_list != nullptr)
        m_list->SetPlayOrderHandler({});
    std::erase(Players(), this);
    if (Controls().page == this)
        Controls().page = nullptr;
    if (Players().empty())
        Controls().player.reset();
}

std::string CPlayerPage::GetPageUrl(const std::string& path) const
{
    return std::string("mev://") + m_traits.pageHost + "/?" + path;
}

CFileListCtrl* CPlayerPage::CreateFileList()
{
    return Gtk::make_managed<CFileListCtrl>();
}

Gtk::Widget* CPlayerPage::CreateListPane()
{
    m_list = CreateFileList();
    m_list->SetCommandPoster([this](int id) { PostCommand(id); });
    m_list->SetPlayOrderHandler([this] { PreloadNext(); });
    m_list->SetOpenWithContext(m_traits.openWithList, m_traits.listMenuId);
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
    m_pendingPlaying.disconnect();
    if (m_list != nullptr)
        m_list->SetAutoPlay(false);
    CMediaPage::StopPlayback();
    ReportStopped();
}

void CPlayerPage::OnLoopEnabled()
{
    // Under auto play the first file may follow the last now.
    PreloadNext();
    // Idle after a file ended: play it again at once; a file still playing repeats at
    // its end.
    IsPlayerBusy([this](bool busy) {
        if (!busy && IsLoopOn())
            GetBrowser().Refresh();
    });
}

void CPlayerPage::CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done)
{
    done(m_list != nullptr ? m_list->GetCheckedPaths() : std::vector<std::string>{});
}

void CPlayerPage::OnFilesChanged(const CFileOperation& op)
{
    if (m_list == nullptr)
        return;
    std::vector<std::string> gone;
    for (std::size_t i = 0; i < op.Sources().size(); ++i) {
        if (op.Results()[i] == FileOpResult::Done)
            gone.push_back(op.Sources()[i]);
    }
    m_list->RemovePaths(gone);
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
    m_pendingPlaying.disconnect();
    GetBrowser().MoveToMediaContext();
    // The page shown plays the next file itself, without a new page: the next track
    // starts as soon as the last one ends. A Flash page's emulator, compiled when the
    // page came, serves the next movie the same way.
    // A file that is not there gets the page engine's answer, not an empty player.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        GetBrowser().Navigate(GetPageUrl(path));
        ReportStopped();
        return;
    }
    const bool flash = GetFileExtension(path) == "swf";
    GetBrowser().NavigateInPage(GetPageUrl(path), flash ? "ShowMovie" : "ShowMedia", MakeFileUrl(path));
    ReportPlaying(path);
}

void CPlayerPage::ReportPlaying(const std::string& path)
{
    const TrackInfo info = ReadTrackInfo(path);
    MprisTrack track;
    track.title = info.title;
    track.artist = info.artist;
    track.album = info.album;
    track.url = MakeFileUrl(path);
    CMprisPlayer& player = ControlsFor(this);
    player.SetTrack(track);
    player.SetStatus(MprisStatus::Playing);
    // The cover is looked for off the main loop: a tag picture is read and written out.
    std::thread([path, url = track.url, cache = CoverCacheFolder()] {
        const std::string art = FindCoverArt(path, cache);
        if (art.empty())
            return;
        // Always queued for the main loop: g_main_context_invoke would run it on this
        // thread whenever the main loop happens not to hold its context.
        struct Art {
            std::string url;
            std::string artUrl;
        };
        g_idle_add_full(
            G_PRIORITY_DEFAULT_IDLE,
            [](gpointer data) -> gboolean {
                const auto* found = static_cast<const Art*>(data);
                if (Controls().player)
                    Controls().player->SetArtUrl(found->url, found->artUrl);
                return G_SOURCE_REMOVE;
            },
            new Art{url, MakeFileUrl(art)}, [](gpointer data) { delete static_cast<Art*>(data); });
    }).detach();
}

void CPlayerPage::OnPlayerState(const std::string& what, double position, double duration)
{
    if (Controls().page != this || !Controls().player || IsBrowserBlank())
        return;
    CMprisPlayer& player = *Controls().player;
    // A page on its way out may still say it paused: stopped stays stopped.
    if (what == "paused" && player.GetStatus() == MprisStatus::Stopped)
        return;
    if (duration > 0)
        player.SetLength(static_cast<std::int64_t>(duration * 1e6));
    player.SetPlayPosition(static_cast<std::int64_t>(position * 1e6), what == "seeked");
    if (what == "playing")
        player.SetStatus(MprisStatus::Playing);
    else if (what == "paused")
        player.SetStatus(MprisStatus::Paused);
}

void CPlayerPage::SeekPlayer(std::int64_t us, bool relative)
{
    if (IsBrowserBlank() || !Controls().player)
        return;
    const CMprisPlayer& player = *Controls().player;
    // (The position never passes the length, so this cannot overflow, whatever the offset.)
    if (relative && player.GetLength() > 0 && us >= player.GetLength() - player.GetPosition()) {
        PlayAdjacent(1);
        return;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", static_cast<double>(us) / 1e6);
    GetBrowser().ExecScript(std::string("(typeof SeekMedia === 'function') && SeekMedia(") + seconds + ", "
                            + (relative ? "true" : "false") + ")");
}

void CPlayerPage::PreloadNext()
{
    if (m_list == nullptr || IsBrowserBlank())
        return;
    std::string src;
    if (IsAutoPlayOn()) {
        const std::string next = m_list->PeekNextToPlay(GetBrowser().GetLocationUrl(), IsLoopOn());
        // A Flash movie has a page of its own.
        if (!next.empty() && GetFileExtension(next) != "swf")
            src = MakeFileUrl(next);
    }
    if (src == m_preloaded)
        return;
    m_preloaded = src;
    GetBrowser().ExecScript("(typeof PreloadMedia === 'function') && PreloadMedia(" + ScriptString(src) + ")");
}

void CPlayerPage::ReportStopped()
{
    if (Controls().page == this && Controls().player)
        Controls().player->SetStatus(MprisStatus::Stopped);
}

void CPlayerPage::PlayAdjacent(int step)
{
    if (m_list == nullptr || m_list->GetCount() == 0)
        return;
    const CFileListModel& model = m_list->GetModel();
    const bool checkedOnly = m_list->AnyChecked();
    std::vector<int> rows;
    for (int row = 0; row < m_list->GetCount(); ++row) {
        if (!checkedOnly || model.IsChecked(static_cast<std::size_t>(row)))
            rows.push_back(row);
    }
    std::string kind;
    std::string shown;
    const int current = ParsePageUrl(GetBrowser().GetLocationUrl(), kind, shown) ? m_list->FindByPath(shown) : -1;
    int target = step > 0 ? rows.front() : rows.back();
    if (current >= 0) {
        if (step > 0) {
            for (int row : rows) {
                if (row > current) {
                    target = row;
                    break;
                }
            }
        } else {
            for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
                if (*it < current) {
                    target = *it;
                    break;
                }
            }
        }
    }
    m_list->SelectOnly(target);
    PlaySelected();
}

void CPlayerPage::SetPlaying(int mode)
{
    if (IsBrowserBlank()) {
        if (mode != 0)
            PlaySelected();
        return;
    }
    m_pendingPlaying.disconnect();
    GetBrowser().EvaluateScript("(typeof SetPlaying === 'function') ? SetPlaying(" + std::to_string(mode) + ") : null",
                                [this, mode](bool ok, const std::string& json) {
                                    if (ok && json == "null") {
                                        // The file's page is still coming: asked again once it is there.
                                        m_pendingPlaying = GetBrowser().signal_load_finished().connect([this, mode] {
                                            m_pendingPlaying.disconnect();
                                            SetPlaying(mode);
                                        });
                                        return;
                                    }
                                    // An answer that comes after Stop tells of a page gone.
                                    if (!ok || (json != "true" && json != "false") || Controls().page != this
                                        || !Controls().player || IsBrowserBlank())
                                        return;
                                    Controls().player->SetStatus(json == "true" ? MprisStatus::Playing
                                                                                : MprisStatus::Paused);
                                });
}

void CPlayerPage::PlaySelected()
{
    if (m_list == nullptr)
        return;
    if (m_list->IsAutoPlayOn()) {
        // Only so that the file being replaced counts as played.
        m_list->NextToPlay(GetBrowser().GetLocationUrl(), IsLoopOn(), false);
    }
    const std::string path = m_list->GetSelectedPath();
    if (path.empty()) {
        GetBrowser().Navigate(GetBlankPageUrl());
        ReportStopped();
    } else {
        Play(path);
    }
}

void CPlayerPage::OnPlaybackDone()
{
    // The page may have started the file it was told follows: where nothing follows now,
    // it goes back (the page is told even when it was told so before).
    m_preloaded = "-";
    if (m_list != nullptr && m_list->IsAutoPlayOn()) {
        const std::string next = m_list->NextToPlay(GetBrowser().GetLocationUrl(), IsLoopOn(), true);
        if (next.empty()) {
            m_list->SetAutoPlay(false);
            ReportStopped();
        } else {
            Play(next);
        }
    } else if (IsLoopOn()) {
        GetBrowser().Refresh();
    } else {
        PreloadNext();
        ReportStopped();
    }
}

void CPlayerPage::ToggleAutoPlay()
{
    if (m_list == nullptr)
        return;
    m_list->SetAutoPlay(!m_list->IsAutoPlayOn());
    if (!m_list->IsAutoPlayOn())
        return;  // what plays plays to its end, and nothing follows
    IsPlayerBusy([this](bool busy) {
        // Busy: auto play goes on from the end of the file that plays.
        if (busy || !IsAutoPlayOn())
            return;
        const std::string next = m_list->NextToPlay("", IsLoopOn(), true);
        if (next.empty())
            m_list->SetAutoPlay(false);
        else
            Play(next);
    });
}

bool CPlayerPage::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id == ID_PRIVATE_LIST_SELECTED || ui.id == ID_PRIVATE_LIST_DBLCLK || ui.id == m_traits.playbackDoneId) {
        ui.Enable(true);
        return true;
    }
    if (ui.id == ID_LIST_AUTOPLAY) {
        // Nothing checked, nothing to play in turn (the list switched auto play off).
        ui.Enable(m_list != nullptr && m_list->AnyChecked());
        ui.SetCheck(ui.enabled && m_list->IsAutoPlayOn());
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
    if (id == m_traits.playbackDoneId) {
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
