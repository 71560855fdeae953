#pragma once

#include <string>

#include <gtkmm/window.h>

namespace mev {

// An information message with an OK button, modal over parent (may be nullptr). Returns
// at once; the dialog goes away when it is answered.
void ShowMessageBox(Gtk::Window* parent, const std::string& text);

} // namespace mev
