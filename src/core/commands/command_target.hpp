#pragma once

#include <string>

namespace mev {

// The state an enable rule gives a command: menus, accelerators, context menus and
// posted commands all consult it before running a handler.
struct CCmdUI {
    int id = 0;
    bool enabled = true;
    bool checked = false;
    bool hasText = false;
    std::string text;

    void Enable(bool on = true) { enabled = on; }
    void SetCheck(bool on = true) { checked = on; }
    void SetText(std::string value) { text = std::move(value); hasText = true; }
};

// One link of the command chain. A target that knows a command answers its rule in
// OnUpdateCommand (returning true) and runs it in OnCommand; a target that does not
// know it returns false from both and the router asks the next one.
class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    virtual bool OnUpdateCommand(CCmdUI& ui) = 0;
    virtual bool OnCommand(int id) = 0;
};

} // namespace mev
