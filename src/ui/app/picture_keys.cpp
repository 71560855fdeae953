#include "ui/app/picture_keys.hpp"

#include <gtkmm/editable.h>
#include <gtkmm/shortcut.h>
#include <gtkmm/shortcutaction.h>
#include <gtkmm/shortcutcontroller.h>
#include <gtkmm/shortcuttrigger.h>
#include <gtkmm/treeview.h>

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
        for (const std::string& key : row.keys) {
            guint keyval = 0;
            GdkModifierType mods{};
            if (!gtk_accelerator_parse(key.c_str(), &keyval, &mods))
                continue;
            // A character typed into a tree finds a row there.
            const bool typed = mods == 0 && gdk_keyval_to_unicode(keyval) != 0;
            auto action = Gtk::CallbackAction::create([shared, owner, id, typed](Gtk::Widget&, const Glib::VariantBase&) {
                Gtk::Widget* focus = owner->get_focus();
                if (dynamic_cast<Gtk::Editable*>(focus) != nullptr)
                    return false;
                if (typed && dynamic_cast<Gtk::TreeView*>(focus) != nullptr)
                    return false;
                return (*shared)(id);
            });
            controller->add_shortcut(Gtk::Shortcut::create(Gtk::KeyvalTrigger::create(keyval, static_cast<Gdk::ModifierType>(mods)), action));
        }
    }
    window.add_controller(controller);
}

} // namespace mev
