#pragma once

#include <functional>
#include <string>

namespace Gtk {
class Window;
}

namespace mev {

enum class MessageBoxKind { Information, Question };

// A modal message box over parent: OK for information, Yes and No for a question. done,
// when given, receives true for OK or Yes; it runs later on the main loop.
void ShowMessageBox(Gtk::Window* parent, const std::string& text, MessageBoxKind kind = MessageBoxKind::Information,
                    std::function<void(bool yes)> done = {});

} // namespace mev
