#pragma once

#include <map>
#include <set>
#include <vector>

#include <giomm/menu.h>
#include <giomm/simpleaction.h>
#include <giomm/simpleactiongroup.h>
#include <gtkmm/application.h>

#include "core/commands/command_router.hpp"

namespace mev {

// Turns the menu and accelerator tables into GIO actions and menu models, all in one
// place, and keeps the actions' enabled and checked states in step with the router's
// rules. Menu items use the group "menu" (action "cmd-<id>"); keys use the group "keys"
// (action "key-<id>"), whose actions stay enabled so the key is always consumed and the
// router alone decides whether anything runs.
class CCommandActions {
public:
    static constexpr const char* MENU_GROUP = "menu";
    static constexpr const char* KEY_GROUP = "keys";

    explicit CCommandActions(CCommandRouter& router);

    const Glib::RefPtr<Gio::SimpleActionGroup>& GetMenuGroup() const { return m_menuGroup; }
    const Glib::RefPtr<Gio::SimpleActionGroup>& GetKeyGroup() const { return m_keyGroup; }

    // A key group holding only the given commands of table 128 (the full-screen window
    // keeps F10 and nothing else of the main window's keys).
    Glib::RefPtr<Gio::SimpleActionGroup> CreateKeyGroup(const std::vector<int>& ids);

    // Binds the keys of accelerator table 128 to the key actions.
    static void InstallAccelerators(Gtk::Application& app);

    // The menu model of a menu resource. Without withOpenWith the "Open With" sub-menu
    // is left out (index menu with no picture under the pointer).
    Glib::RefPtr<Gio::Menu> BuildMenu(int menuId, bool withOpenWith = true) const;

    // Reads every menu command's rule and updates its action.
    void Refresh();

    static Glib::ustring MenuActionName(int id);  // "menu.cmd-<id>"
    static Glib::ustring KeyActionName(int id);   // "keys.key-<id>"

    // The menu action of a command, or nothing when no menu holds it.
    Glib::RefPtr<Gio::SimpleAction> FindMenuAction(int id) const;

private:
    void Run(int id);

    CCommandRouter& m_router;
    Glib::RefPtr<Gio::SimpleActionGroup> m_menuGroup;
    Glib::RefPtr<Gio::SimpleActionGroup> m_keyGroup;
    std::map<int, Glib::RefPtr<Gio::SimpleAction>> m_menuActions;
    std::set<int> m_checkable;
};

} // namespace mev
