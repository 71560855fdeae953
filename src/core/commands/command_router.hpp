#pragma once

#include <functional>
#include <vector>

#include "core/commands/command_target.hpp"

namespace mev {

// Offers a command to a chain of targets in order (view, document, tab control, current
// page with its panes, frame, application). The first target that answers the command's
// rule decides whether it is enabled and checked; a handler runs only when that rule
// enables it, so a disabled command that arrives by a key or a post is dropped.
class CCommandRouter {
public:
    using Chain = std::vector<ICommandTarget*>;
    using ChainSource = std::function<Chain()>;

    // The chain is asked for afresh each time: the current page changes with the tab.
    explicit CCommandRouter(ChainSource source);

    // Fills ui (its id set by the caller) from the first rule that answers. Returns false
    // when no target knows the command; ui is then disabled and unchecked.
    bool UpdateState(CCmdUI& ui) const;

    // Runs the command when its rule enables it. Returns true when a handler ran.
    bool Execute(int id);

private:
    ChainSource m_source;
};

} // namespace mev
