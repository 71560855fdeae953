#include "ui/app/full_screen_wnd.hpp"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/eventcontrollerkey.h>

#include "core/commands/command_ids.hpp"
#include "core/shell/url.hpp"
#include "ui/app/display_info.hpp"
#include "ui/app/main_frame.hpp"
#include "ui/app/picture_keys.hpp"

namespace mev {

CFullScreenWnd::CFullScreenWnd(CMainFrame& frame) : m_frame(frame)
{
    set_title("MEV");
    set_decorated(false);
    set_transient_for(frame);
    add_css_class("mev-fullscreen");
    const CDisplayInfo display;
    set_default_size(display.GetWidth(), display.GetHeight());


    // Capture phase: the keys below belong to the window, not to the page inside it.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CFullScreenWnd::OnKeyPressed), false);
    add_controller(keys);
    // The picture's own keys (zoom, rotation, information, Delete) work here as in the
    // main window.
    InstallPictureKeys(*this, [this](int id) { return IsImagesPageOnScreen() && m_frame.RunIfEnabled(id); });

    signal_hide().connect([this] {
        if (m_browser)
            m_browser->Navigate(GetBlankPageUrl());
    });
    // Closing the window (Alt+F4) is Escape: the page gets its content back.
    signal_close_request().connect(
        [this] {
            OnCancel();
            return true;
        },
        false);
}

CPageBrowser& CFullScreenWnd::GetBrowser()
{
    // Made when first wanted: most sessions never go full screen.
    if (!m_browser) {
        m_browser = std::make_unique<CPageBrowser>();
        m_browser->SetContextMenuId(IDR_FULLSCREEN_MENU);
        m_browser->SetBlackBackdrop();
        m_browser->GetWidget().set_hexpand(true);
        m_browser->GetWidget().set_vexpand(true);
        set_child(m_browser->GetWidget());
    }
    return *m_browser;
}

CFullScreenWnd::~CFullScreenWnd()
{
    *m_alive = false;
    unset_child();
}

void CFullScreenWnd::ShowFullScreen()
{
    const CDisplayInfo display;
    set_default_size(display.GetWidth(), display.GetHeight());
    fullscreen();
    present();
}

void CFullScreenWnd::HideFullScreen()
{
    unfullscreen();
    set_visible(false);
}

bool CFullScreenWnd::OnKeyPressed(unsigned key, unsigned, Gdk::ModifierType state)
{
    const auto mods = state & (Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK |
                               Gdk::ModifierType::SHIFT_MASK | Gdk::ModifierType::SUPER_MASK);
    // F10 toggles full-screen mode on every tab, as it does in the main window.
    if (key == GDK_KEY_F10) {
        m_frame.PostCommand(ID_VIEW_FULLSCREEN);
        return true;
    }
    if (mods == Gdk::ModifierType{} && IsImagesPageOnScreen()) {
        switch (key) {
        case GDK_KEY_space:
            PostToCurrentPage(ID_VIEW_FULLSCREEN);
            return true;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
        case GDK_KEY_F11:
            PostToCurrentPage(ID_IMAGE_PREVIOUS);
            return true;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
        case GDK_KEY_F12:
            PostToCurrentPage(ID_IMAGE_NEXT);
            return true;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            PostToCurrentPage(ID_IMAGE_FIRST);
            return true;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            PostToCurrentPage(ID_IMAGE_LAST);
            return true;
        case GDK_KEY_F1:
            PostToCurrentPage(ID_AUTOPLAY_1S);
            return true;
        case GDK_KEY_F2:
            PostToCurrentPage(ID_AUTOPLAY_2S);
            return true;
        case GDK_KEY_F3:
            PostToCurrentPage(ID_AUTOPLAY_3S);
            return true;
        case GDK_KEY_F5:
            PostToCurrentPage(ID_AUTOPLAY_5S);
            return true;
        case GDK_KEY_F6:
            GetBrowser().Refresh();
            return true;
        case GDK_KEY_F8:
            // Leave full-screen mode, then choose another folder.
            m_frame.PostCommand(ID_VIEW_FULLSCREEN);
            m_frame.PostCommand(ID_VIEW_CHANGEFOLDER);
            return true;
        case GDK_KEY_F9: {
            std::weak_ptr<bool> alive = m_alive;
            GetBrowser().HasScriptFunction("ToggleSize", [this, alive](bool has) {
                if (has && alive.lock() && *alive.lock())
                    GetBrowser().ExecScript("ToggleSize();");
            });
            return true;
        }
        default:
            break;
        }
    }
    if (key == GDK_KEY_Escape && mods == Gdk::ModifierType{}) {
        OnCancel();
        return true;
    }
    if ((key == GDK_KEY_Return || key == GDK_KEY_KP_Enter) && mods == Gdk::ModifierType{})
        return true;  // Enter does nothing here: the window stays open
    return false;
}

void CFullScreenWnd::OnCancel()
{
    std::weak_ptr<bool> alive = m_alive;
    m_frame.SendPageMessage(PAGEMSG_QUERY_AUTOPLAY, {}, [this, alive](int result) {
        auto token = alive.lock();
        if (!token || !*token)
            return;
        if (result == 1)
            m_frame.PostPageMessage(PAGEMSG_STOP_AUTOPLAY);
        else
            m_frame.PostCommand(ID_VIEW_FULLSCREEN);
    });
}

bool CFullScreenWnd::IsImagesPageOnScreen() const
{
    return m_frame.IsCurrentPageKind(MediaKind::Image);
}

void CFullScreenWnd::PostToCurrentPage(int id)
{
    m_frame.PostToCurrentPage(id);
}

} // namespace mev
