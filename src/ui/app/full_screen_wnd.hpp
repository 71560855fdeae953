#pragma once

#include <memory>

#include <gtkmm/window.h>

#include "ui/web/page_browser.hpp"

namespace mev {

class CMainFrame;

// The one full-screen window: a borderless window over the whole screen with its own
// browser (context menu 145). It has its own keys while it is in front; hiding it sends
// its browser to the blank page, which stops whatever played there.
class CFullScreenWnd : public Gtk::Window {
public:
    explicit CFullScreenWnd(CMainFrame& frame);
    ~CFullScreenWnd() override;

    CPageBrowser& GetBrowser();
    bool IsShown() const { return get_visible(); }

    // Covers the screen as it is now (its size may have changed since the last time).
    void ShowFullScreen();
    void HideFullScreen();

    // Escape: a running slide show is stopped first; otherwise full-screen mode ends.
    void OnCancel();

private:
    bool OnKeyPressed(unsigned key, unsigned code, Gdk::ModifierType state);
    bool IsImagesPageOnScreen() const;
    void PostToCurrentPage(int id);

    CMainFrame& m_frame;
    std::unique_ptr<CPageBrowser> m_browser;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace mev
