#pragma once

#include <functional>
#include <string>

namespace Gtk {
class Window;
}

namespace mev {

// Asks for a folder with a select-folder dialog over parent. done receives the chosen
// folder, or "" when the person cancelled; it runs later on the main loop. initial, when
// it names a folder, is where the dialog opens.
void BrowseForFolder(Gtk::Window* parent, const std::string& title, const std::string& initial,
                     std::function<void(const std::string& folder)> done);

} // namespace mev
