#include "ui/widgets/status_bar.hpp"

#include <glibmm/convert.h>
#include <pangomm/layout.h>

namespace mev {
namespace {

// Texts that set the widths of the fixed panes, as in the string table.
const char* const PANE_WIDTH_TEXT[CStatusBar::PANE_COUNT] = {nullptr, "WWWWWWW", "Total: 999999",
                                                              "Selected: 999999"};

} // namespace

CStatusBar::CStatusBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 2)
{
    add_css_class("mev-statusbar");
    set_margin(1);
    for (int i = 0; i < PANE_COUNT; ++i) {
        Gtk::Box& pane = m_panes[i];
        Gtk::Label& label = m_labels[i];
        pane.add_css_class("mev-statuspane");
        label.set_xalign(0.0F);
        label.set_single_line_mode(true);
        label.set_ellipsize(Pango::EllipsizeMode::END);
        pane.append(label);
        if (PANE_WIDTH_TEXT[i] == nullptr) {
            label.set_hexpand(true);
            pane.set_hexpand(true);
        } else {
            int width = 0, height = 0;
            label.create_pango_layout(PANE_WIDTH_TEXT[i])->get_pixel_size(width, height);
            pane.set_size_request(width + 8, -1);
        }
        append(pane);
    }
    SetMessageText("");
}

void CStatusBar::SetMessageText(const std::string& text)
{
    m_message = text;
    SetPaneText(0, text.empty() ? m_idleMessage : text);
}

void CStatusBar::SetIdleMessage(const std::string& text)
{
    m_idleMessage = text.empty() ? IDLE_MESSAGE : text;
    if (m_message.empty())
        SetPaneText(0, m_idleMessage);
}

void CStatusBar::SetPaneText(int pane, const std::string& text)
{
    if (pane < 0 || pane >= PANE_COUNT)
        return;
    // Page texts may carry file names that are not UTF-8; GTK must never see those.
    const Glib::ustring shown = g_utf8_validate(text.c_str(), static_cast<gssize>(text.size()), nullptr)
                                    ? Glib::ustring(text)
                                    : Glib::ustring(Glib::convert_with_fallback(text, "UTF-8", "ISO-8859-1", "?"));
    if (m_labels[pane].get_text() != shown)
        m_labels[pane].set_text(shown);
}

std::string CStatusBar::GetPaneText(int pane) const
{
    if (pane < 0 || pane >= PANE_COUNT)
        return {};
    return m_labels[pane].get_text();
}

Gtk::Box& CStatusBar::GetPaneBox(int pane)
{
    return m_panes[pane < 0 || pane >= PANE_COUNT ? 0 : pane];
}

} // namespace mev
