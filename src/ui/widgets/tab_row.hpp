#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtkmm/box.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/widget.h>
#include <sigc++/signal.h>

namespace mev {

// The row of tabs under the pages: an icon and a text per tab, every tab the same width.
// A click selects a tab without taking the keyboard focus; Left and Right move the
// selection while the row has the focus, and only then is the selected text blue.
class CTabRow : public Gtk::Widget {
public:
    static constexpr int TAB_HEIGHT = 22;
    static constexpr int MAX_TAB_WIDTH = 80;

    CTabRow();
    ~CTabRow() override;

    // Appends a tab; the icon is a GResource path ("" for none). Returns its index.
    int AddTab(const std::string& text, const std::string& iconResource);
    int GetCount() const { return static_cast<int>(m_tabs.size()); }
    std::string GetTabText(int index) const;

    // Marks the tab selected without telling anyone; -1 for none.
    void SetSelected(int index);
    int GetSelected() const { return m_selected; }

    // Width of every tab in a row of the given width: a third of it less the frame,
    // between 1 and 80 pixels.
    static int ComputeTabWidth(int rowWidth);
    int GetTabWidth() const { return m_tabWidth; }
    bool IsSelectedHighlighted() const { return m_focused && m_selected >= 0; }

    // The person picked another tab (click or arrow key).
    sigc::signal<void(int)>& signal_tab_picked() { return m_signalPicked; }

protected:
    Gtk::SizeRequestMode get_request_mode_vfunc() const override;
    void measure_vfunc(Gtk::Orientation orientation, int forSize, int& minimum, int& natural,
                       int& minimumBaseline, int& naturalBaseline) const override;
    void size_allocate_vfunc(int width, int height, int baseline) override;

private:
    struct Tab {
        Gtk::Box box{Gtk::Orientation::HORIZONTAL, 3};
        Gtk::Image icon;
        Gtk::Label label;
    };

    int TabAt(double x) const;
    void Pick(int index);
    void UpdateStyles();

    std::vector<std::unique_ptr<Tab>> m_tabs;
    int m_selected = -1;
    int m_tabWidth = MAX_TAB_WIDTH;
    bool m_focused = false;
    sigc::signal<void(int)> m_signalPicked;
};

} // namespace mev
