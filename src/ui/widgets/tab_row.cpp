#include "ui/widgets/tab_row.hpp"

#include <algorithm>

#include <gdk/gdkkeysyms.h>
#include <gtkmm/eventcontrollerfocus.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/gestureclick.h>

namespace mev {
namespace {

// Width of a dialog frame, taken off both ends of the row before dividing.
constexpr int DIALOG_FRAME = 3;
// Left edge of the first tab.
constexpr int ROW_INDENT = 2;

} // namespace

CTabRow::CTabRow()
{
    set_name("mev-tabrow");
    add_css_class("mev-tabrow");
    set_focusable(true);
    set_focus_on_click(false);
    set_overflow(Gtk::Overflow::HIDDEN);
    // Read out as a row of tabs, not as a nameless widget.
    g_object_set(gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_TAB_LIST, nullptr);
    gtk_accessible_update_property(GTK_ACCESSIBLE(gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, "Tabs", -1);

    auto click = Gtk::GestureClick::create();
    click->set_button(GDK_BUTTON_PRIMARY);
    click->signal_pressed().connect([this](int, double x, double) {
        const int index = TabAt(x);
        if (index >= 0)
            Pick(index);
    });
    add_controller(click);

    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType state) {
            if ((state & (Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK)) != Gdk::ModifierType{})
                return false;
            if (GetCount() == 0)
                return false;
            if (key == GDK_KEY_Left || key == GDK_KEY_KP_Left) {
                Pick(std::max(0, m_selected - 1));
                return true;
            }
            if (key == GDK_KEY_Right || key == GDK_KEY_KP_Right) {
                Pick(std::min(GetCount() - 1, m_selected + 1));
                return true;
            }
            return false;
        },
        false);
    add_controller(keys);

    auto focus = Gtk::EventControllerFocus::create();
    focus->signal_enter().connect([this] {
        m_focused = true;
        UpdateStyles();
    });
    focus->signal_leave().connect([this] {
        m_focused = false;
        UpdateStyles();
    });
    add_controller(focus);
}

CTabRow::~CTabRow()
{
    for (auto& tab : m_tabs)
        tab->box.unparent();
}

int CTabRow::AddTab(const std::string& text, const std::string& iconResource)
{
    auto tab = std::make_unique<Tab>();
    tab->box.add_css_class("mev-tab");
    g_object_set(tab->box.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_TAB, nullptr);
    gtk_accessible_update_property(GTK_ACCESSIBLE(tab->box.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, text.c_str(), -1);
    if (!iconResource.empty())
        tab->icon.set_from_resource(iconResource);
    tab->icon.set_pixel_size(16);
    tab->icon.set_size_request(16, 16);
    tab->label.set_text(text);
    tab->label.set_ellipsize(Pango::EllipsizeMode::END);
    tab->label.set_single_line_mode(true);
    tab->label.set_xalign(0.0F);
    tab->label.set_hexpand(true);
    tab->box.append(tab->icon);
    tab->box.append(tab->label);
    tab->box.set_parent(*this);
    m_tabs.push_back(std::move(tab));
    UpdateStyles();
    queue_resize();
    return GetCount() - 1;
}

std::string CTabRow::GetTabText(int index) const
{
    if (index < 0 || index >= GetCount())
        return {};
    return m_tabs[static_cast<std::size_t>(index)]->label.get_text();
}

void CTabRow::SetSelected(int index)
{
    m_selected = (index >= 0 && index < GetCount()) ? index : -1;
    UpdateStyles();
}

int CTabRow::ComputeTabWidth(int rowWidth)
{
    const int width = (rowWidth - 2 * DIALOG_FRAME) / 3;
    return std::clamp(width, 1, MAX_TAB_WIDTH);
}

Gtk::SizeRequestMode CTabRow::get_request_mode_vfunc() const
{
    return Gtk::SizeRequestMode::CONSTANT_SIZE;
}

void CTabRow::measure_vfunc(Gtk::Orientation orientation, int, int& minimum, int& natural,
                            int& minimumBaseline, int& naturalBaseline) const
{
    minimumBaseline = naturalBaseline = -1;
    if (orientation == Gtk::Orientation::HORIZONTAL) {
        // Tabs shrink with the window down to one pixel each, so the row asks for little.
        minimum = 0;
        natural = ROW_INDENT + 3 * MAX_TAB_WIDTH + 2 * DIALOG_FRAME;
    } else {
        minimum = natural = TAB_HEIGHT + 2;
    }
}

void CTabRow::size_allocate_vfunc(int width, int height, int)
{
    m_tabWidth = ComputeTabWidth(width);
    int x = ROW_INDENT;
    for (std::size_t i = 0; i < m_tabs.size(); ++i) {
        Gtk::Box& box = m_tabs[i]->box;
        // The selected tab reaches the top of the row so it joins the page above it.
        const bool selected = static_cast<int>(i) == m_selected;
        Gtk::Allocation area(x, selected ? 0 : 1, m_tabWidth, std::min(height, TAB_HEIGHT + (selected ? 2 : 0)));
        // A child's minimum size may exceed a narrow tab; it is then clipped, not grown.
        int minW = 0, natW = 0, b1 = 0, b2 = 0;
        box.measure(Gtk::Orientation::HORIZONTAL, -1, minW, natW, b1, b2);
        if (area.get_width() < minW)
            area.set_width(minW);
        box.size_allocate(area, -1);
        x += m_tabWidth;
    }
}

int CTabRow::TabAt(double x) const
{
    if (x < ROW_INDENT || m_tabWidth <= 0)
        return -1;
    const int index = static_cast<int>((x - ROW_INDENT) / m_tabWidth);
    return index < GetCount() ? index : -1;
}

void CTabRow::Pick(int index)
{
    if (index == m_selected)
        return;
    m_signalPicked.emit(index);
}

void CTabRow::UpdateStyles()
{
    for (std::size_t i = 0; i < m_tabs.size(); ++i) {
        Tab& tab = *m_tabs[i];
        const bool selected = static_cast<int>(i) == m_selected;
        gtk_accessible_update_state(GTK_ACCESSIBLE(tab.box.gobj()), GTK_ACCESSIBLE_STATE_SELECTED, selected ? TRUE : FALSE,
                                    -1);
        if (selected)
            tab.box.add_css_class("selected");
        else
            tab.box.remove_css_class("selected");
        if (selected && m_focused)
            tab.label.add_css_class("mev-tab-focused");
        else
            tab.label.remove_css_class("mev-tab-focused");
    }
    queue_allocate();
}

} // namespace mev
