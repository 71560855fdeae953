#pragma once

#include <gtkmm/box.h>

#include "core/commands/command_target.hpp"
#include "ui/app/media_tab_ctrl.hpp"

namespace mev {

// The main window's client: it holds the tab control and is the first link of the
// command chain. It handles no command of its own; layout is GTK's.
class CMEVView : public Gtk::Box, public ICommandTarget {
public:
    explicit CMEVView(CMediaPageHost& host);

    CMediaTabCtrl& GetTabCtrl() { return m_tabs; }
    const CMediaTabCtrl& GetTabCtrl() const { return m_tabs; }

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

private:
    CMediaTabCtrl m_tabs;
};

} // namespace mev
