#include "ui/widgets/message_box.hpp"

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

#include "core/pages/display_text.hpp"

namespace mev {

void ShowMessageBox(Gtk::Window* parent, const std::string& text, MessageBoxKind kind, std::function<void(bool)> done)
{
    const bool question = kind == MessageBoxKind::Question;
    auto* dialog = new Gtk::MessageDialog(ToDisplayText(text), false,
                                          question ? Gtk::MessageType::QUESTION : Gtk::MessageType::INFO,
                                          question ? Gtk::ButtonsType::YES_NO : Gtk::ButtonsType::OK, true);
    if (parent != nullptr)
        dialog->set_transient_for(*parent);
    dialog->set_title("MEV");
    dialog->set_hide_on_close(true);
    dialog->signal_response().connect([dialog, done = std::move(done)](int response) {
        if (!dialog->get_visible())
            return; // answered already
        dialog->hide();
        const bool yes = response == Gtk::ResponseType::OK || response == Gtk::ResponseType::YES;
        Glib::signal_idle().connect_once([dialog, done, yes] {
            delete dialog;
            if (done)
                done(yes);
        });
    });
    dialog->show();
}

} // namespace mev
