#pragma once

#include <functional>

#include "core/commands/command_target.hpp"

namespace mev {

// The document holds no data; it forwards Change Folder to the page on screen, so the
// menu item reaches that page wherever the keyboard focus is.
class CMEVDoc : public ICommandTarget {
public:
    using PostToPage = std::function<void(int id)>;

    explicit CMEVDoc(PostToPage postToCurrentPage);

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

private:
    PostToPage m_postToCurrentPage;
};

} // namespace mev
