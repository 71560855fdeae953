#pragma once

#include <functional>

namespace Gtk {
class Widget;
}

namespace mev {

// Pops up a menu resource owned by the main window (the list and tree menus 148, 149,
// 156) at (x, y) of widget; its commands take the main window's route. False when there
// is no main window.
bool PopupMenuResource(int menuId, Gtk::Widget& widget, double x, double y);

// The main window shows those menus: it sets this while it lives, and an empty function
// when it goes. Widgets below it reach its menus through here, not through the window.
using MenuResourcePopup = std::function<void(int menuId, Gtk::Widget& widget, double x, double y)>;
void SetMenuResourcePopup(MenuResourcePopup popup);

} // namespace mev
