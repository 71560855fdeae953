#include "ui/app/mev_doc.hpp"

#include <utility>

#include "core/commands/command_ids.hpp"

namespace mev {

CMEVDoc::CMEVDoc(PostToPage postToCurrentPage) : m_postToCurrentPage(std::move(postToCurrentPage)) {}

bool CMEVDoc::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id != ID_VIEW_CHANGEFOLDER)
        return false;
    ui.Enable(true);
    return true;
}

bool CMEVDoc::OnCommand(int id)
{
    if (id != ID_VIEW_CHANGEFOLDER)
        return false;
    if (m_postToCurrentPage)
        m_postToCurrentPage(id);
    return true;
}

} // namespace mev
