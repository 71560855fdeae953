#pragma once

#include <functional>
#include <string>

#include <giomm/menu.h>

namespace Gtk {
class Window;
}

namespace mev {

// The Open With popup of a context menu and its commands, for one list kind ("image",
// "audio", "video"; sections "open_image_with" and so on).

// The list a menu resource's Open With popup shows: "image" for the index and image
// menus, "audio" and "video" for the file-list menus, "" for menus without one.
std::string GetOpenWithListName(int menuId);

// Up to three programs of the list, the newest of the first three at the top, in a
// section above "Select..."; items use the actions actionName(id) names.
Glib::RefPtr<Gio::Menu> BuildOpenWithPopup(const std::string& listName,
                                           const std::function<Glib::ustring(int id)>& actionName);

// An Open With entry (ids 32809-32819): runs that program of the list on file. False
// when the entry has no program or the program could not be started.
bool RunOpenWithEntry(const std::string& listName, int id, const std::string& file);

// Adds the program to the list, saves the list and runs the program on file (when file
// is not empty).
bool AddOpenWithProgram(const std::string& listName, const std::string& program, const std::string& file);

// "Select...": asks for a program (an executable file or a .desktop application),
// starting at the desktop's own program for file, then AddOpenWithProgram. done, when
// given, receives the chosen program or "" and runs later on the main loop.
void SelectOpenWithProgram(Gtk::Window* parent, const std::string& listName, const std::string& file,
                           std::function<void(const std::string& program)> done = {});

// The chooser's rule for a program: a regular file that is executable, or a .desktop file.
bool IsProgramFile(const std::string& path);

} // namespace mev
