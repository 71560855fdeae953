#include "ui/app/picture_keys.hpp"

#include <gtkmm/editable.h>
#include <gtkmm/shortcut.h>
#include <gtkmm/shortcutaction.h>
#include <gtkmm/shortcutcontroller.h>
#include <gtkmm/shortcuttrigger.h>

#include "ui/app/menu_tables.hpp"

namespace mev {

void InstallPictureKeys(Gtk::Window& window, std::function<bool(int id)> run)
{
    auto controller = Gtk::ShortcutController::create();
    // Ahead of the focus widget: a web view would take the keys for its page.
    controller->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    auto shared = std::make_shared<std::function<bool(int)>>(std::move(run));
    Gtk::Window* owner = &window;
    for (const AcceleratorEntry& row : GetPictureKeyTable()) {
        const int id = row.id;
        auto action = Gtk::CallbackAction::create([shared, owner, id](Gtk::Widget&, const Glib::VariantBase&) {
            if (dynamic_cast<Gtk::Editable*>(owner->get_focus()) != nullptr)
                return false;
            return (*shared)(id);
        });
        for (const std::string& key : row.keys)
            controller->add_shortcut(Gtk::Shortcut::create(Gtk::ShortcutTrigger::parse_string(key), action));
    }
    window.add_controller(controller);
}

} // namespace mev
