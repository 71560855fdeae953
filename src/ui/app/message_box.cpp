#include "ui/app/message_box.hpp"

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

namespace mev {

void ShowMessageBox(Gtk::Window* parent, const std::string& text)
{
    auto* dialog = new Gtk::MessageDialog(text, false, Gtk::MessageType::INFO, Gtk::ButtonsType::OK, true);
    dialog->set_title("MEV");
    if (parent != nullptr)
        dialog->set_transient_for(*parent);
    dialog->set_hide_on_close(true);
    dialog->signal_response().connect([dialog](int) {
        dialog->hide();
        // Deleted once the response has been handled.
        Glib::signal_idle().connect_once([dialog] { delete dialog; });
    });
    dialog->present();
}

} // namespace mev
