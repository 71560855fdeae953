#pragma once

#include <functional>

#include <gtkmm/window.h>

namespace mev {

// Gives a window the keys of the picture table (GetPictureKeyTable). run gets the
// command and answers whether it took the key: a key it refuses, and any key while a
// text field has the focus, goes on as usual.
void InstallPictureKeys(Gtk::Window& window, std::function<bool(int id)> run);

} // namespace mev
