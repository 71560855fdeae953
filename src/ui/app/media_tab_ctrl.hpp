#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtkmm/box.h>
#include <gtkmm/stack.h>

#include "core/app/autorun_file.hpp"
#include "core/commands/command_target.hpp"
#include "core/media/media_kinds.hpp"
#include "ui/pages/media_page.hpp"
#include "ui/widgets/tab_row.hpp"

namespace mev {

// The three media tabs: the page of the selected tab above a row of tabs along the
// bottom. Pages are created on their first selection and kept for the life of the
// control; the selected tab is remembered as "maintab_sel".
class CMediaTabCtrl : public Gtk::Box, public ICommandTarget {
public:
    static constexpr int TAB_COUNT = 3;
    static constexpr const char* SELECTION_SETTING = "maintab_sel";
    static constexpr const char* SHOW_OPTION = "show";

    // Makes the page of a tab on its first selection.
    using PageFactory = std::function<std::unique_ptr<CMediaPage>(MediaKind kind, CMediaPageHost& host)>;

    explicit CMediaTabCtrl(CMediaPageHost& host);
    ~CMediaTabCtrl() override;

    // Replaces the page factory (before Start); the default makes a CImagePage for the
    // Images tab and a plain CMediaPage for the others.
    void SetPageFactory(PageFactory factory) { m_factory = std::move(factory); }

    // Chooses the start tab ("show=" first, else the saved index), shows its page and
    // loads the about page into it.
    void Start();

    int GetCount() const { return m_row.GetCount(); }
    int GetSelectedIndex() const { return m_row.GetSelected(); }
    std::string GetTabText(int index) const { return m_row.GetTabText(index); }
    CTabRow& GetTabRow() { return m_row; }

    // The page of a tab once it has been created; nullptr before and for a bad index.
    CMediaPage* GetPage(int index) const;
    CMediaPage* GetSelectedPage() const { return GetPage(GetSelectedIndex()); }

    // With show: creates the page when needed, selects its tab and shows it. Without:
    // hides the page. nullptr for an index out of range.
    CMediaPage* SelectPage(int index, bool show);

    // Writes the selected index; later calls do nothing (the window's close and the
    // control's destruction both ask for it).
    void SaveSelection();

    // The start tab: the tab whose name equals the show value (any letter case), else
    // the saved index when it lies within the tabs, else 0.
    static int ChooseStartTab(std::string_view showValue, int savedIndex, const std::vector<std::string>& names);
    static const char* GetTabName(int index);

    // Create Autorun.ini: allowed while every opened page shows a folder inside the
    // program's folder.
    // Opens a folder or file as "mev PATH" does: the tab of its kind, the folder as that
    // tab's root, the file shown or played. False when path names nothing there.
    bool OpenPath(const std::string& path);

    bool CanCreateAutorun() const;
    void CreateAutorun();

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

private:
    CAutorunFile MakeAutorunFile() const;
    void OnTabPicked(int index);
    bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);

    CMediaPageHost& m_host;
    PageFactory m_factory;
    Gtk::Stack m_stack;
    CTabRow m_row;
    Gtk::Box m_slots[TAB_COUNT];
    std::unique_ptr<CMediaPage> m_pages[TAB_COUNT];
    bool m_saved = false;
};

} // namespace mev
