#include "core/commands/command_router.hpp"

#include <utility>

namespace mev {

CCommandRouter::CCommandRouter(ChainSource source) : m_source(std::move(source)) {}

bool CCommandRouter::UpdateState(CCmdUI& ui) const
{
    const int id = ui.id;
    if (m_source) {
        for (ICommandTarget* target : m_source()) {
            if (target == nullptr)
                continue;
            CCmdUI probe;
            probe.id = id;
            if (target->OnUpdateCommand(probe)) {
                ui = std::move(probe);
                return true;
            }
        }
    }
    ui = CCmdUI{};
    ui.id = id;
    ui.enabled = false;
    return false;
}

bool CCommandRouter::Execute(int id)
{
    CCmdUI ui;
    ui.id = id;
    if (!UpdateState(ui) || !ui.enabled)
        return false;
    // The chain is taken again: a rule may not change it, but being exact costs nothing.
    for (ICommandTarget* target : m_source()) {
        if (target != nullptr && target->OnCommand(id))
            return true;
    }
    return false;
}

} // namespace mev
