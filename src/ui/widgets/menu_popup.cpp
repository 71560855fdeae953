#include "ui/widgets/menu_popup.hpp"

#include <utility>

namespace mev {

namespace {

// Set and read on the window thread only.
MenuResourcePopup& Popup()
{
    static MenuResourcePopup popup;
    return popup;
}

} // namespace

bool PopupMenuResource(int menuId, Gtk::Widget& widget, double x, double y)
{
    if (!Popup())
        return false;
    Popup()(menuId, widget, x, y);
    return true;
}

void SetMenuResourcePopup(MenuResourcePopup popup)
{
    Popup() = std::move(popup);
}

} // namespace mev
