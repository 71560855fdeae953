#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/eventcontrollerscroll.h>
#include <gtkmm/popovermenu.h>
#include <gtkmm/popovermenubar.h>

#include "core/commands/command_ids.hpp"
#include "core/commands/command_router.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/script_external.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/app/command_actions.hpp"
#include "ui/app/full_screen_wnd.hpp"
#include "ui/pages/media_page.hpp"
#include "ui/app/mev_doc.hpp"
#include "ui/app/mev_view.hpp"
#include "ui/widgets/status_bar.hpp"
#include "ui/widgets/volume_bar.hpp"

namespace mev {

// The page shown last: the target of the page message and of Change Folder. Set when a
// page comes on screen, never cleared while the frame lives.
extern CMediaPage* g_currentPage;

// The application's one main window: menu bar, the view with its tabs, the status bar,
// and the hidden full-screen window. It routes every command along the chain view,
// document, tab control, current page, frame, application.
class CMainFrame : public Gtk::ApplicationWindow,
                   public ICommandTarget,
                   public CMediaPageHost,
                   public IScriptHost {
public:
    static constexpr const char* TITLE = "MEV - Untitled";

    CMainFrame(Gtk::Application& app, ICommandTarget& appTarget);
    ~CMainFrame() override;

    // Builds the tabs and shows the start page (after the window belongs to the app).
    void Start();

    CCommandRouter& GetRouter() { return m_router; }
    CCommandActions& GetActions() { return m_actions; }
    CStatusBar& GetStatusBar() { return m_statusBar; }
    CMEVView& GetView() { return m_view; }
    CMediaTabCtrl& GetTabCtrl() { return m_view.GetTabCtrl(); }
    const CMediaTabCtrl& GetTabCtrl() const { return m_view.GetTabCtrl(); }
    CFullScreenWnd& GetFullScreenWnd() { return *m_fullScreen; }
    // The volume bar over status pane 1; nullptr during the first 100 ms.
    CVolumeBar* GetVolumeBar() const { return m_volumeBar.get(); }

    // Files or folders dropped on the window (local paths): the first that exists opens as
    // "mev PATH" opens it. False when none did.
    bool OpenDroppedFiles(const std::vector<std::string>& paths);

    // Runs the command through the router later on the main loop; a command that is
    // disabled by then is dropped.
    void PostCommand(int id);
    void PostToCurrentPage(int id);
    // Runs the command now when its rule enables it; false when it does not.
    bool RunIfEnabled(int id);

    // The page message to the page shown last (codes 1 query slide show, 2 stop it,
    // 3 navigate to url). done gets the answer; 0 when there is no page.
    void SendPageMessage(int code, const std::string& url, std::function<void(int)> done) override;
    void PostPageMessage(int code, const std::string& url = {});
    bool IsCurrentPageKind(MediaKind kind) const;

    // Pops up a menu resource at (x, y) of widget, whose window must hold the "menu"
    // action group. For the index menu imagePath is the picture under the pointer.
    void ShowContextMenu(int menuId, Gtk::Widget& widget, double x, double y, const std::string& imagePath);

    // The context menu on screen, or nullptr.
    Gtk::PopoverMenu* GetContextMenu() const { return m_contextMenu.get(); }

    // Enabled and checked states, pane texts: what an idle moment refreshes.
    void UpdateIdleState();

    // CMediaPageHost
    void SetStatusMessage(const std::string& text) override;
    void ToggleFullScreen() override;
    bool RouteCommand(int id) override;
    void SetCurrentPage(CMediaPage* page) override;
    bool IsFullScreenShown() const override;
    CPageBrowser* GetShownFullScreenBrowser() override;

    // IScriptHost (window.external)
    void PostPaneCommand(ScriptPane pane, int commandId) override;
    void SetStatusText(const std::string& text) override;
    bool IsImagePaneVisible() const override;

    // The frame's own commands: the volume keys and the volume pane.
    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

protected:
    bool on_close_request() override;

private:
    CCommandRouter::Chain BuildChain();
    void RunPostedCommand(int id);
    void RunPostedPageMessage(int code, std::string url);
    bool OnIdleTick();
    bool OnScroll(double dx, double dy);
    bool IsInsidePane(Gtk::Widget* widget) const;
    void ShowFullScreenNow();
    void DropContextMenu();
    void TrackPrompts(Gtk::PopoverMenu& menu);
    void TrackMenuBarPrompts(Gtk::Widget& widget);
    void CreateVolumeBar();
    void OnVolumeCommand(int id);

    ICommandTarget& m_appTarget;
    CCommandRouter m_router;
    CCommandActions m_actions;
    CMEVDoc m_doc;
    Gtk::Box m_box{Gtk::Orientation::VERTICAL, 0};
    Gtk::PopoverMenuBar m_menuBar{m_actions.BuildMenu(IDR_MAINFRAME)};
    CMEVView m_view;
    CStatusBar m_statusBar;
    std::unique_ptr<CFullScreenWnd> m_fullScreen;
    std::unique_ptr<Gtk::PopoverMenu> m_contextMenu;
    unsigned m_contextMenuSerial = 0;  // tells a menu from a later one at the same address
    Glib::RefPtr<Gtk::EventControllerScroll> m_scroll;
    sigc::connection m_idleTimer;
    sigc::connection m_fullScreenTimer;
    std::string m_fullScreenUrl;  // the page last given to the full-screen window
    std::unique_ptr<CVolumeBar> m_volumeBar;
    sigc::connection m_startTimer;
    bool m_closing = false;
};

} // namespace mev
