#include "ui/app/main_frame.hpp"

#include <cstdlib>
#include <string_view>

#include <glibmm/fileutils.h>
#include <glibmm/main.h>
#include <gdk/gdkkeysyms.h>
#include <gdkmm/seat.h>
#include <gtkmm/droptarget.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/eventcontrollermotion.h>
#include <gtkmm/gestureclick.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/players/mixer.hpp"
#include "core/pages/media_support.hpp"
#include "core/shell/url.hpp"
#include "ui/app/menu_tables.hpp"
#include "ui/app/picture_keys.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/widgets/menu_popup.hpp"

namespace mev {

CMediaPage* g_currentPage = nullptr;

namespace {

CMainFrame* g_mainFrame = nullptr;

// Period of the idle refresh of menu states and status panes.
constexpr unsigned IDLE_PERIOD_MS = 200;
// Delay before the full-screen window shows a page it has just started to load.
constexpr unsigned FULL_SCREEN_DELAY_MS = 200;
// Delay after creation before the volume bar joins the status bar.
constexpr unsigned VOLUME_BAR_DELAY_MS = 100;

// Takes the item of an action out of a menu and its sections; a section left empty goes.
void RemoveMenuItem(const Glib::RefPtr<Gio::Menu>& menu, const Glib::ustring& action)
{
    for (int i = menu->get_n_items() - 1; i >= 0; --i) {
        const Glib::VariantBase value =
            menu->get_item_attribute(i, Gio::MenuModel::Attribute::ACTION, Glib::VARIANT_TYPE_STRING);
        if (value && Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(value).get() == action) {
            menu->remove(i);
            continue;
        }
        auto section = std::dynamic_pointer_cast<Gio::Menu>(menu->get_item_link(i, Gio::MenuModel::Link::SECTION));
        if (section) {
            RemoveMenuItem(section, action);
            if (section->get_n_items() == 0)
                menu->remove(i);
        }
    }
}

bool IsVolumeCommand(int id)
{
    return id >= ID_VOLUME_MAX && id <= ID_VOLUME_90;
}

} // namespace

CMainFrame::CMainFrame(Gtk::Application&, ICommandTarget& appTarget)
    : m_appTarget(appTarget),
      m_router([this] { return BuildChain(); }),
      m_actions(m_router),
      m_doc([this](int id) { PostToCurrentPage(id); }),
      m_view(*this)
{
    g_mainFrame = this;
    SetMenuResourcePopup([this](int menuId, Gtk::Widget& widget, double x, double y) {
        ShowContextMenu(menuId, widget, x, y, {});
    });
    set_title(TITLE);
    set_show_menubar(false);
    set_default_size(1024, 700);
    add_css_class("mev-mainframe");

    insert_action_group(CCommandActions::MENU_GROUP, m_actions.GetMenuGroup());
    insert_action_group(CCommandActions::KEY_GROUP, m_actions.GetKeyGroup());

    // Menu states are brought up to date before a menu opens, not only when idle.
    auto press = Gtk::GestureClick::create();
    press->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    press->signal_pressed().connect([this](int, double, double) { m_actions.Refresh(); });
    m_menuBar.add_controller(press);
    TrackMenuBarPrompts(m_menuBar);

    m_view.set_vexpand(true);
    m_box.append(m_menuBar);
    m_box.append(m_view);
    m_box.append(m_statusBar);
    set_child(m_box);

    m_fullScreen = std::make_unique<CFullScreenWnd>(*this);
    m_fullScreen->insert_action_group(CCommandActions::MENU_GROUP, m_actions.GetMenuGroup());

    // The wheel scrolls only the pane under the pointer; elsewhere the turn is dropped.
    m_scroll = Gtk::EventControllerScroll::create();
    m_scroll->set_flags(Gtk::EventControllerScroll::Flags::BOTH_AXES);
    m_scroll->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    m_scroll->signal_scroll().connect(sigc::mem_fun(*this, &CMainFrame::OnScroll), false);
    add_controller(m_scroll);

    // F10 belongs to full-screen mode wherever the focus is; the menu bar must not see it.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_F10)
                return false;
            PostCommand(ID_VIEW_FULLSCREEN);
            return true;
        },
        false);
    add_controller(keys);
    InstallPictureKeys(*this, [this](int id) { return RunIfEnabled(id); });

    // Files and folders dropped anywhere on the window open as on the command line. The
    // window takes the drop before its web views, which would show the file by themselves.
    auto drop = Gtk::DropTarget::create(GDK_TYPE_FILE_LIST, Gdk::DragAction::COPY);
    drop->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    drop->signal_drop().connect(
        [this](const Glib::ValueBase& value, double, double) {
            std::vector<std::string> paths;
            auto* list = G_VALUE_HOLDS(value.gobj(), GDK_TYPE_FILE_LIST)
                ? static_cast<GdkFileList*>(g_value_get_boxed(value.gobj()))
                : nullptr;
            GSList* files = list != nullptr ? gdk_file_list_get_files(list) : nullptr;
            for (GSList* item = files; item != nullptr; item = item->next) {
                // Only files with a local path: the program reads folders itself.
                if (char* path = g_file_get_path(G_FILE(item->data))) {
                    paths.emplace_back(path);
                    g_free(path);
                }
            }
            g_slist_free(files);
            return OpenDroppedFiles(paths);
        },
        false);
    add_controller(drop);

    m_idleTimer = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CMainFrame::OnIdleTick), IDLE_PERIOD_MS);
    m_startTimer = Glib::signal_timeout().connect(
        [this] {
            CreateVolumeBar();
            return false;
        },
        VOLUME_BAR_DELAY_MS);
    // Back in this window: the volume may have been changed meanwhile.
    property_is_active().signal_changed().connect([this] {
        if (is_active() && m_volumeBar)
            m_volumeBar->GetSlider().SyncFromMixer();
    });
}

CMainFrame::~CMainFrame()
{
    m_idleTimer.disconnect();
    m_fullScreenTimer.disconnect();
    m_startTimer.disconnect();
    if (m_volumeBar)
        m_statusBar.GetPaneBox(1).remove(*m_volumeBar);
    DropContextMenu();
    SetScriptHost(nullptr);
    SetContextMenuProvider({});
    GetTabCtrl().SaveSelection();
    if (g_mainFrame == this) {
        g_mainFrame = nullptr;
        SetMenuResourcePopup({});
    }
    // The pages go with the view; none of them may be reached as the current page now.
    g_currentPage = nullptr;
}

void CMainFrame::Start()
{
    SetScriptHost(this);
    SetContextMenuProvider([this](int menuId, Gtk::Widget& browser, double x, double y, const std::string& imagePath) {
        ShowContextMenu(menuId, browser, x, y, imagePath);
    });
    GetTabCtrl().Start();
    // The keyboard starts in the page, not on the tab row.
    if (CMediaPage* page = GetTabCtrl().GetSelectedPage())
        page->GetTree().GetTreeView().grab_focus();
    UpdateIdleState();
}

bool CMainFrame::OpenDroppedFiles(const std::vector<std::string>& paths)
{
    // As "mev PATH...": the first path that names something opens, the others are dropped.
    for (const std::string& path : paths) {
        if (GetTabCtrl().OpenPath(path))
            return true;
    }
    return false;
}

CCommandRouter::Chain CMainFrame::BuildChain()
{
    CCommandRouter::Chain chain{&m_view, &m_doc, &GetTabCtrl()};
    chain.push_back(GetTabCtrl().GetSelectedPage());
    chain.push_back(this);
    chain.push_back(&m_appTarget);
    return chain;
}

void CMainFrame::PostCommand(int id)
{
    // Default priority, like a posted message: ahead of redraws and idle work.
    Glib::signal_idle().connect_once(sigc::bind(sigc::mem_fun(*this, &CMainFrame::RunPostedCommand), id),
                                     Glib::PRIORITY_DEFAULT);
}

void CMainFrame::RunPostedCommand(int id)
{
    m_router.Execute(id);
}

void CMainFrame::PostToCurrentPage(int id)
{
    if (g_currentPage != nullptr)
        g_currentPage->PostCommand(id);
}

void CMainFrame::SendPageMessage(int code, const std::string& url, std::function<void(int)> done)
{
    if (g_currentPage != nullptr) {
        g_currentPage->OnPageMessage(code, url, std::move(done));
        return;
    }
    if (done)
        done(0);
}

void CMainFrame::PostPageMessage(int code, const std::string& url)
{
    Glib::signal_idle().connect_once(
        sigc::bind(sigc::mem_fun(*this, &CMainFrame::RunPostedPageMessage), code, url), Glib::PRIORITY_DEFAULT);
}

void CMainFrame::RunPostedPageMessage(int code, std::string url)
{
    SendPageMessage(code, url, {});
}

bool CMainFrame::IsCurrentPageKind(MediaKind kind) const
{
    return g_currentPage != nullptr && g_currentPage->GetKind() == kind;
}

void CMainFrame::ShowContextMenu(int menuId, Gtk::Widget& widget, double x, double y, const std::string& imagePath)
{
    DropContextMenu();
    if (menuId == IDR_INDEX_MENU || menuId == IDR_IMAGE_MENU) {
        // Only a picture that still exists as a file can be opened with another program;
        // elsewhere the Open With entries stay in the menu, disabled.
        ContextImagePath.clear();
        if (!imagePath.empty() && Glib::file_test(imagePath, Glib::FileTest::EXISTS) &&
            !Glib::file_test(imagePath, Glib::FileTest::IS_DIR))
            ContextImagePath = imagePath;
    }
    auto model = m_actions.BuildMenu(menuId);
    if ((menuId == IDR_AUDIO_LIST_MENU || menuId == IDR_VIDEO_LIST_MENU) && !IsMediaPlayerInstalled())
        RemoveMenuItem(model, CCommandActions::MenuActionName(ID_LIST_AUTOPLAY));
    if (model->get_n_items() == 0)
        return;
    m_actions.Refresh();
    // Nested: a sub-menu opens beside its item at its own size, instead of taking the
    // place of the menu and keeping the menu's height.
    m_contextMenu = std::make_unique<Gtk::PopoverMenu>(model, Gtk::PopoverMenu::Flags::NESTED);
    Gtk::PopoverMenu* menu = m_contextMenu.get();
    menu->set_has_arrow(false);
    menu->set_position(Gtk::PositionType::BOTTOM);
    menu->set_halign(Gtk::Align::START);
    menu->set_parent(widget);
    menu->set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), 1, 1));
    TrackPrompts(*menu);
    TrackMenuBarPrompts(*menu);  // the sub-menus' prompts
    menu->signal_closed().connect([this, menu] {
        // Dropped after GTK has activated the chosen item.
        Glib::signal_idle().connect_once([this, menu] {
            if (m_contextMenu.get() == menu)
                DropContextMenu();
        });
    });
    // The menu puts its separators in from an idle call of higher priority; measured
    // before that, it comes up too short and scrolls its last items out of sight.
    const unsigned serial = ++m_contextMenuSerial;
    Glib::signal_idle().connect_once(
        [this, menu, serial] {
            if (m_contextMenu.get() == menu && m_contextMenuSerial == serial)
                menu->popup();
        },
        Glib::PRIORITY_DEFAULT_IDLE);
}

void CMainFrame::TrackPrompts(Gtk::PopoverMenu& menu)
{
    // The message line shows the prompt of the item under the pointer, as long as the
    // menu is open.
    auto motion = Gtk::EventControllerMotion::create();
    Gtk::PopoverMenu* popover = &menu;
    motion->signal_motion().connect([this, popover](double x, double y) {
        std::string prompt;
        for (Gtk::Widget* w = popover->pick(x, y, Gtk::PickFlags::INSENSITIVE); w != nullptr && w != popover;
             w = w->get_parent()) {
            // Menu items do not reveal their action; their text identifies them.
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(w->gobj()), "text") == nullptr ||
                g_object_class_find_property(G_OBJECT_GET_CLASS(w->gobj()), "menu-name") == nullptr)
                continue;
            gchar* text = nullptr;
            g_object_get(w->gobj(), "text", &text, nullptr);
            if (text != nullptr)
                prompt = GetPromptOfMenuLabel(text);
            g_free(text);
            break;
        }
        SetStatusMessage(prompt);
    });
    motion->signal_leave().connect([this] { SetStatusMessage({}); });
    menu.add_controller(motion);
    menu.signal_closed().connect([this] { SetStatusMessage({}); });
}

void CMainFrame::TrackMenuBarPrompts(Gtk::Widget& widget)
{
    for (Gtk::Widget* child = widget.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
        if (auto* menu = dynamic_cast<Gtk::PopoverMenu*>(child))
            TrackPrompts(*menu);
        else
            TrackMenuBarPrompts(*child);
    }
}

void CMainFrame::DropContextMenu()
{
    if (m_contextMenu) {
        m_contextMenu->unparent();
        m_contextMenu.reset();
    }
}

void CMainFrame::UpdateIdleState()
{
    m_actions.Refresh();
    // The picture on screen describes itself where "Ready" would stand.
    CCmdUI picture;
    picture.id = ID_INDICATOR_PICTURE;
    m_statusBar.SetIdleMessage(m_router.UpdateState(picture) && picture.hasText ? picture.text : std::string());
    const int indicators[] = {ID_INDICATOR_VOLUME, ID_INDICATOR_TOTAL, ID_INDICATOR_SELECTED};
    for (int pane = 1; pane <= 3; ++pane) {
        CCmdUI ui;
        ui.id = indicators[pane - 1];
        if (m_router.UpdateState(ui) && ui.hasText) {
            m_statusBar.SetPaneText(pane, ui.text);
            continue;
        }
        CMediaPage* page = GetTabCtrl().GetSelectedPage();
        if (pane == 2)
            m_statusBar.SetPaneText(pane, page ? "Total: " + std::to_string(page->GetTotalCount()) : "");
        else if (pane == 3)
            m_statusBar.SetPaneText(pane, page ? "Selected: " + std::to_string(page->GetCheckedCount()) : "");
    }
}

bool CMainFrame::OnIdleTick()
{
    if (get_visible())
        UpdateIdleState();
    return true;
}

bool CMainFrame::OnScroll(double, double dy)
{
    auto event = m_scroll->get_current_event();
    if (!event || event->get_surface() != get_surface())
        return false;  // popovers and dialogs scroll as usual
    double x = 0, y = 0;
    // Scroll events of X11 carry no position here: ask where their pointer is.
    Gdk::ModifierType mask{};
    auto seat = get_display()->get_default_seat();
    auto pointer = seat ? seat->get_pointer() : Glib::RefPtr<Gdk::Device>();
    if (!event->get_position(x, y) && (!pointer || !get_surface()->get_device_position(pointer, x, y, mask)))
        return false;
    double sx = 0, sy = 0;
    get_surface_transform(sx, sy);
    Gtk::Widget* target = pick(x - sx, y - sy, Gtk::PickFlags::DEFAULT);
    if (m_volumeBar && target != nullptr &&
        (target == &m_volumeBar->GetSlider() || target->is_ancestor(m_volumeBar->GetSlider()))) {
        // Over the slider each turn is one step, whatever its size.
        if (dy != 0)
            m_volumeBar->GetSlider().StepVolume(dy < 0 ? CMixerVolume::KEY_STEP : -CMixerVolume::KEY_STEP);
        return true;
    }
    return !IsInsidePane(target);
}

void CMainFrame::CreateVolumeBar()
{
    // Made after the window is up, without taking the keyboard focus from anyone.
    m_volumeBar = std::make_unique<CVolumeBar>(CreateMixer());
    m_volumeBar->set_margin(1);
    Gtk::Box& pane = m_statusBar.GetPaneBox(1);
    pane.append(*m_volumeBar);
    pane.set_hexpand(false);  // the bar fills its pane; the pane keeps its width
}

void CMainFrame::OnVolumeCommand(int id)
{
    if (!m_volumeBar)
        return;
    CVolumeSlider& slider = m_volumeBar->GetSlider();
    if (id == ID_VOLUME_MAX)
        slider.SetVolumePercent(CMixerVolume::MAX_PERCENT);
    else if (id == ID_VOLUME_MUTE)
        slider.SetVolumePercent(CMixerVolume::MIN_PERCENT);
    else if (id == ID_VOLUME_DOWN)
        slider.StepVolume(-CMixerVolume::KEY_STEP);
    else if (id == ID_VOLUME_UP)
        slider.StepVolume(CMixerVolume::KEY_STEP);
    else
        slider.SetVolumePercent((id - ID_VOLUME_0) * 10);
}

bool CMainFrame::IsInsidePane(Gtk::Widget* widget) const
{
    if (widget == nullptr)
        return false;
    CMediaPage* page = GetTabCtrl().GetSelectedPage();
    if (page == nullptr)
        return false;
    Gtk::Widget* panes[] = {&page->GetTree(), &page->GetListArea(), &page->GetBrowser().GetWidget()};
    for (Gtk::Widget* pane : panes) {
        if (widget == pane || widget->is_ancestor(*pane))
            return true;
    }
    return false;
}

void CMainFrame::SetStatusMessage(const std::string& text)
{
    m_statusBar.SetMessageText(text);
}

void CMainFrame::ToggleFullScreen()
{
    if (g_currentPage == nullptr)
        return;
    m_fullScreenTimer.disconnect();
    CPageBrowser& pageBrowser = g_currentPage->GetBrowser();
    CPageBrowser& fullBrowser = m_fullScreen->GetBrowser();
    const std::string blank = GetBlankPageUrl();
    if (m_fullScreen->IsShown()) {
        // A page still loading has no location yet: it is the one sent there last.
        std::string back = fullBrowser.GetLocationUrl();
        if (back.empty() || back == blank)
            back = m_fullScreenUrl;
        if (!back.empty())
            pageBrowser.Navigate(back);
        m_fullScreen->HideFullScreen();
        return;
    }
    const std::string url = pageBrowser.GetLocationUrl();
    pageBrowser.Navigate(blank);
    if (url.empty())
        return;
    const std::string shown = fullBrowser.GetLocationUrl();
    m_fullScreenUrl = url;
    if (shown == url) {
        ShowFullScreenNow();
        return;
    }
    fullBrowser.Navigate(url);
    if (shown.empty() || shown == blank) {
        ShowFullScreenNow();
    } else {
        // Give the new page a moment so the old one is not seen full screen.
        m_fullScreenTimer = Glib::signal_timeout().connect(
            [this] {
                ShowFullScreenNow();
                return false;
            },
            FULL_SCREEN_DELAY_MS);
    }
}

void CMainFrame::ShowFullScreenNow()
{
    if (!m_closing)
        m_fullScreen->ShowFullScreen();
}

bool CMainFrame::IsFullScreenShown() const
{
    return m_fullScreen && m_fullScreen->IsShown();
}

CPageBrowser* CMainFrame::GetShownFullScreenBrowser()
{
    return IsFullScreenShown() ? &m_fullScreen->GetBrowser() : nullptr;
}

bool CMainFrame::RunIfEnabled(int id)
{
    CCmdUI ui;
    ui.id = id;
    if (!m_router.UpdateState(ui) || !ui.enabled)
        return false;
    m_router.Execute(id);
    return true;
}

bool CMainFrame::RouteCommand(int id)
{
    return m_router.Execute(id);
}

void CMainFrame::SetCurrentPage(CMediaPage* page)
{
    g_currentPage = page;
}

void CMainFrame::PostPaneCommand(ScriptPane pane, int commandId)
{
    if (CMediaPage* page = GetTabCtrl().GetPage(static_cast<int>(pane)))
        page->PostCommand(commandId);
}

void CMainFrame::SetStatusText(const std::string& text)
{
    m_statusBar.SetMessageText(text);
}

bool CMainFrame::IsImagePaneVisible() const
{
    const CMediaTabCtrl& tabs = GetTabCtrl();
    CMediaPage* page = tabs.GetPage(static_cast<int>(MediaKind::Image));
    return page != nullptr && tabs.GetSelectedIndex() == static_cast<int>(MediaKind::Image) && page->get_mapped();
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui)
{
    if (IsVolumeCommand(ui.id)) {
        ui.Enable(true);  // no rule: the keys always reach the volume control
        return true;
    }
    if (ui.id == ID_INDICATOR_VOLUME) {
        ui.SetText("");  // the volume slider covers this pane once it exists
        return true;
    }
    return false;
}

bool CMainFrame::OnCommand(int id)
{
    if (!IsVolumeCommand(id))
        return false;
    OnVolumeCommand(id);
    return true;
}

bool CMainFrame::on_close_request()
{
    if (!m_closing) {
        m_closing = true;
        m_idleTimer.disconnect();
        m_fullScreenTimer.disconnect();
        DropContextMenu();
        GetTabCtrl().SaveSelection();
        if (m_fullScreen->IsShown())
            m_fullScreen->HideFullScreen();
    }
    return Gtk::ApplicationWindow::on_close_request();
}

} // namespace mev
