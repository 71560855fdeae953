#include "ui/app/mev_view.hpp"

namespace mev {

CMEVView::CMEVView(CMediaPageHost& host) : Gtk::Box(Gtk::Orientation::VERTICAL, 0), m_tabs(host)
{
    m_tabs.set_hexpand(true);
    m_tabs.set_vexpand(true);
    append(m_tabs);
}

bool CMEVView::OnUpdateCommand(CCmdUI&)
{
    return false;
}

bool CMEVView::OnCommand(int)
{
    return false;
}

} // namespace mev
