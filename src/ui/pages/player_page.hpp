#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/files/file_operation.hpp"
#include "ui/widgets/file_list_ctrl.hpp"
#include "ui/pages/media_page.hpp"

namespace mev {

// What tells the Audios and Videos tabs apart.
struct SPlayerTraits {
    MediaKind kind;
    // Pages are "mev://<pageHost>/?<path>".
    const char* pageHost;
    // The settings' Open With list of the file list's menu.
    const char* openWithList;
    int listMenuId;
    // The menu of a right-click on the playing page.
    int pageMenuId;
    // The command the page's end of playback arrives as.
    int playbackDoneId;
};

// The Audios and Videos tabs: a file list of the folder's files and a browser that plays
// the selected one, or the checked ones in turn (auto play), again and again with loop.
class CPlayerPage : public CMediaPage {
public:
    CPlayerPage(const SPlayerTraits& traits, CMediaPageHost& host);
    ~CPlayerPage() override;

    // The list, once the page has started (nullptr before).
    CFileListCtrl* GetFileList() const { return m_list; }
    bool IsAutoPlayOn() const { return m_list != nullptr && m_list->IsAutoPlayOn(); }

    // "mev://audio/?<path>" or "mev://video/?<path>".
    std::string GetPageUrl(const std::string& path) const;

    // Asks the page's GetBusy; a page without one, or no page, is not busy.
    void IsPlayerBusy(std::function<void(bool busy)> done);

    void PlaySelected();
    void OnPlaybackDone();
    void ToggleAutoPlay();
    // The desktop's Next and Previous: the checked row after (step 1) or before (-1) the
    // file shown, in list order and round, or any row when none is checked; played as a
    // click on it would.
    void PlayAdjacent(int step);
    // The desktop's Play (1), Pause (0) and Play/Pause (-1) on the file shown; with none
    // shown, Play plays the selected row.
    void SetPlaying(int mode);
    // The desktop's Seek and SetPosition: by offset or to a position, in microseconds. A
    // seek past the end goes to the next file, as Next.
    void SeekPlayer(std::int64_t us, bool relative);

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

    Gtk::Widget* CreateListPane() override;
    void OnFolderSelected(const std::string& folder) override;
    int GetTotalCount() const override;
    int GetCheckedCount() const override;
    void ToggleFullScreen() override;
    void StopPlayback() override;
    void RefreshList(const std::string& folder) override;
    void OnLoopEnabled() override;
    void OpenStartFile(const std::string& path) override;
    // A navigation to this page's own player URL plays the file as a click would.
    void OnPageMessage(int code, const std::string& url, std::function<void(int)> done) override;

protected:
    // A plain file list unless the tab lists its files its own way.
    virtual CFileListCtrl* CreateFileList();

    void CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done) override;
    // Moved and deleted rows leave the list.
    void OnFilesChanged(const CFileOperation& op) override;

private:
    // Navigates to the file's page, first letting the web process see its folder. The
    // other player tab falls silent: one sound at a time, whichever tab is on screen.
    void Play(const std::string& path);

    // Tells the desktop's media controls what this page now does.
    void ReportPlaying(const std::string& path);
    void ReportStopped();
    // What the page's player tells: its position, length, and play or pause done in the
    // page itself.
    void OnPlayerState(const std::string& what, double position, double duration);
    // Under auto play the page loads the file that follows, so that it starts at once.
    void PreloadNext();

    const SPlayerTraits m_traits;
    CFileListCtrl* m_list = nullptr;
    std::string m_startFile;
    // The file URL the page was last told follows ("" for none).
    std::string m_preloaded;
    // A Play or Pause that waits for the file's page to come.
    sigc::connection m_pendingPlaying;
};

} // namespace mev
