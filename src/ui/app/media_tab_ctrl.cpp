#include "ui/app/media_tab_ctrl.hpp"

#include <cctype>

#include <gdk/gdkkeysyms.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/root.h>

#include "core/app/start_paths.hpp"
#include "core/commands/command_ids.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/settings.hpp"
#include "core/shell/url.hpp"
#include "ui/widgets/message_box.hpp"
#include "ui/pages/image_page.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/pages/audio_page.hpp"
#include "ui/pages/video_page.hpp"

namespace mev {
namespace {

const char* const TAB_NAMES[CMediaTabCtrl::TAB_COUNT] = {"Images", "Audios", "Videos"};
const char* const TAB_ICONS[CMediaTabCtrl::TAB_COUNT] = {"/mev/icons/tab_images.png", "/mev/icons/tab_audios.png",
                                                        "/mev/icons/tab_videos.png"};

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::unique_ptr<CMediaPage> CreateDefaultPage(MediaKind kind, CMediaPageHost& host)
{
    switch (kind) {
    case MediaKind::Image:
        return std::make_unique<CImagePage>(host);
    case MediaKind::Audio:
        return std::make_unique<CAudioPage>(host);
    case MediaKind::Video:
        return std::make_unique<CVideoPage>(host);
    default:
        return std::make_unique<CMediaPage>(kind, host);
    }
}

} // namespace

CMediaTabCtrl::CMediaTabCtrl(CMediaPageHost& host) : Gtk::Box(Gtk::Orientation::VERTICAL, 0), m_host(host)
{
    add_css_class("mev-tabctrl");
    m_stack.set_transition_type(Gtk::StackTransitionType::NONE);
    m_stack.set_vexpand(true);
    m_stack.set_hexpand(true);
    m_stack.set_hhomogeneous(false);
    m_stack.set_vhomogeneous(false);
    for (int i = 0; i < TAB_COUNT; ++i) {
        m_slots[i].set_hexpand(true);
        m_slots[i].set_vexpand(true);
        m_stack.add(m_slots[i], TAB_NAMES[i]);
        m_row.AddTab(TAB_NAMES[i], TAB_ICONS[i]);
    }
    append(m_stack);
    append(m_row);
    m_row.signal_tab_picked().connect(sigc::mem_fun(*this, &CMediaTabCtrl::OnTabPicked));

    // Capture phase: a web view keeps Tab to itself and never gives the focus back.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CMediaTabCtrl::OnKeyPressed), false);
    add_controller(keys);
}

bool CMediaTabCtrl::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state)
{
    if (keyval != GDK_KEY_Tab && keyval != GDK_KEY_ISO_Left_Tab && keyval != GDK_KEY_KP_Tab)
        return false;
    if ((state & (Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK)) != Gdk::ModifierType())
        return false;
    CMediaPage* page = GetSelectedPage();
    Gtk::Root* root = get_root();
    Gtk::Widget* focus = root != nullptr ? root->get_focus() : nullptr;
    if (page == nullptr || focus == nullptr)
        return false;
    Gtk::Widget& browser = page->GetBrowser().GetWidget();
    if (focus != &browser && !focus->is_ancestor(browser))
        return false;
    // The panes take their turns as they stand: tree, list area, browser, tab row.
    const bool backward = keyval == GDK_KEY_ISO_Left_Tab || (state & Gdk::ModifierType::SHIFT_MASK) != Gdk::ModifierType();
    if (!backward)
        return m_row.grab_focus();
    return page->GetListArea().child_focus(Gtk::DirectionType::TAB_BACKWARD)
        || page->GetTree().child_focus(Gtk::DirectionType::TAB_BACKWARD) || m_row.grab_focus();
}

CMediaTabCtrl::~CMediaTabCtrl()
{
    SaveSelection();
    // Pages go first, while the host they report to still exists.
    for (int i = 0; i < TAB_COUNT; ++i) {
        if (m_pages[i]) {
            m_slots[i].remove(*m_pages[i]);
            m_pages[i].reset();
        }
    }
}

void CMediaTabCtrl::Start()
{
    std::vector<std::string> names(std::begin(TAB_NAMES), std::end(TAB_NAMES));
    const int index = ChooseStartTab(GetCommandLineValue(SHOW_OPTION, false),
                                     GetSettingInt(SELECTION_SETTING, 0), names);
    CMediaPage* page = SelectPage(index, true);
    if (page != nullptr)
        page->GetBrowser().Navigate(GetFrontPageUrl());
}

CMediaPage* CMediaTabCtrl::GetPage(int index) const
{
    if (index >= 0 && index < TAB_COUNT)
        return m_pages[index].get();
    return nullptr;
}

CMediaPage* CMediaTabCtrl::SelectPage(int index, bool show)
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    if (!show) {
        if (m_pages[index])
            m_pages[index]->set_visible(false);
        return m_pages[index].get();
    }
    if (!m_pages[index]) {
        const auto kind = static_cast<MediaKind>(index);
        m_pages[index] = m_factory ? m_factory(kind, m_host) : CreateDefaultPage(kind, m_host);
        if (!m_pages[index]) {
            // No page: the tab is selected and shows nothing.
            m_row.SetSelected(index);
            m_stack.set_visible_child(m_slots[index]);
            return nullptr;
        }
        m_pages[index]->set_hexpand(true);
        m_pages[index]->set_vexpand(true);
        m_slots[index].append(*m_pages[index]);
    }
    m_row.SetSelected(index);
    m_pages[index]->set_visible(true);
    m_stack.set_visible_child(m_slots[index]);
    m_pages[index]->OnShown();
    return m_pages[index].get();
}

void CMediaTabCtrl::SaveSelection()
{
    if (m_saved)
        return;
    const int index = GetSelectedIndex();
    if (index >= 0 && index < GetCount()) {
        SetSettingInt(SELECTION_SETTING, index);
        m_saved = true;
    }
}

int CMediaTabCtrl::ChooseStartTab(std::string_view showValue, int savedIndex, const std::vector<std::string>& names)
{
    const int count = static_cast<int>(names.size());
    int index = (savedIndex < 0 || savedIndex >= count) ? 0 : savedIndex;
    if (!showValue.empty()) {
        for (int i = 0; i < count; ++i) {
            if (EqualsIgnoringCase(showValue, names[static_cast<std::size_t>(i)])) {
                index = i;
                break;
            }
        }
    }
    return index;
}

const char* CMediaTabCtrl::GetTabName(int index)
{
    return (index >= 0 && index < TAB_COUNT) ? TAB_NAMES[index] : "";
}

bool CMediaTabCtrl::OpenPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return false;
    // The command line's own reading of a bare path: its tab, its folder, its file.
    std::string file;
    const std::vector<std::string> options = ExpandBarePaths({"mev", path}, "/", &file);
    std::string tab;
    std::string folder;
    for (const std::string& option : options) {
        if (option.rfind("show=", 0) == 0)
            tab = option.substr(5);
    }
    for (const std::string& option : options) {
        if (!tab.empty() && option.size() > tab.size() && option.rfind(tab + "=", 0) == 0)
            folder = option.substr(tab.size() + 1);
    }
    const int index = ChooseStartTab(tab, -1, {std::begin(TAB_NAMES), std::end(TAB_NAMES)});
    if (folder.empty() || index < 0)
        return false;
    if (index != GetSelectedIndex())
        OnTabPicked(index);
    CMediaPage* page = GetPage(index);
    if (page == nullptr)
        return false;
    page->OpenFolder(folder, file);
    return true;
}

CAutorunFile CMediaTabCtrl::MakeAutorunFile() const
{
    std::vector<AutorunTab> tabs;
    for (int i = 0; i < GetCount(); ++i) {
        CMediaPage* page = GetPage(i);
        tabs.push_back({GetTabText(i), page != nullptr, page != nullptr ? page->GetTree().GetRootPath() : ""});
    }
    return CAutorunFile(GetProgramPath(), std::move(tabs), GetSelectedIndex());
}

bool CMediaTabCtrl::CanCreateAutorun() const
{
    return MakeAutorunFile().CanCreate();
}

void CMediaTabCtrl::CreateAutorun()
{
    const CAutorunFile file = MakeAutorunFile();
    if (!file.CanCreate())
        return;
    ShowMessageBox(dynamic_cast<Gtk::Window*>(get_root()), file.GetResultMessage(file.Write().IsOk()));
}

bool CMediaTabCtrl::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id != ID_FILE_CREATE_AUTORUN)
        return false;
    ui.Enable(CanCreateAutorun());
    return true;
}

bool CMediaTabCtrl::OnCommand(int id)
{
    if (id != ID_FILE_CREATE_AUTORUN)
        return false;
    CreateAutorun();
    return true;
}

void CMediaTabCtrl::OnTabPicked(int index)
{
    // The old page is hidden before the new one is shown.
    SelectPage(GetSelectedIndex(), false);
    SelectPage(index, true);
}

} // namespace mev
