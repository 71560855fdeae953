#include "ui/widgets/open_with_menu.hpp"

#include <memory>
#include <vector>

#include <unistd.h>

#include <giomm/file.h>
#include <giomm/menuitem.h>
#include <glibmm/fileutils.h>
#include <glibmm/main.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/filefilter.h>

#include "core/commands/command_ids.hpp"
#include "core/media/open_with_list.hpp"
#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "platform/system_services.hpp"

namespace mev {

namespace {

// Program names are bytes and may hold '_': GTK gets UTF-8 with no mnemonic in it.
Glib::ustring MenuLabel(const std::string& name)
{
    std::string label;
    for (char c : ToDisplayText(name)) {
        label += c;
        if (c == '_')
            label += '_';
    }
    return label;
}

// Lives from the dialog's creation to the idle after its answer.
struct ProgramRequest {
    std::unique_ptr<Gtk::FileChooserDialog> dialog;
    sigc::connection response;
    std::string listName;
    std::string file;
    std::function<void(const std::string&)> done;
};

} // namespace

std::string GetOpenWithListName(int menuId)
{
    switch (menuId) {
    case IDR_INDEX_MENU:
    case IDR_IMAGE_MENU:
        return "image";
    case IDR_AUDIO_LIST_MENU:
        return "audio";
    case IDR_VIDEO_LIST_MENU:
        return "video";
    default:
        return {};
    }
}

Glib::RefPtr<Gio::Menu> BuildOpenWithPopup(const std::string& listName,
                                           const std::function<Glib::ustring(int id)>& actionName)
{
    std::vector<OpenWithMenuRow> rows{{ID_OPENWITH_SELECT, "Select..."}};
    if (!listName.empty())
        COpenWithList(listName).InsertIntoMenu(rows, ID_OPENWITH_FIRST, ID_OPENWITH_MENU_COUNT);
    // The separator of the rows is a section boundary of the model.
    auto popup = Gio::Menu::create();
    auto section = Gio::Menu::create();
    for (const OpenWithMenuRow& row : rows) {
        if (row.id == 0) {
            popup->append_section(section);
            section = Gio::Menu::create();
            continue;
        }
        const Glib::ustring label = row.id == ID_OPENWITH_SELECT ? Glib::ustring("Select...") : MenuLabel(row.name);
        section->append_item(Gio::MenuItem::create(label, actionName(row.id)));
    }
    popup->append_section(section);
    return popup;
}

bool RunOpenWithEntry(const std::string& listName, int id, const std::string& file)
{
    if (id < ID_OPENWITH_FIRST || id > ID_OPENWITH_LAST)
        return false;
    const std::string program = COpenWithList(listName).PathAt(static_cast<std::size_t>(id - ID_OPENWITH_FIRST));
    return !program.empty() && RunProgram(program, file);
}

bool AddOpenWithProgram(const std::string& listName, const std::string& program, const std::string& file)
{
    if (program.empty())
        return false;
    COpenWithList list(listName);
    list.Add(program);
    list.Save();
    return file.empty() || RunProgram(program, file);
}

bool IsProgramFile(const std::string& path)
{
    if (path.empty() || !Glib::file_test(path, Glib::FileTest::IS_REGULAR))
        return false;
    return GetFileExtension(path) == "desktop" || access(path.c_str(), X_OK) == 0;
}

void SelectOpenWithProgram(Gtk::Window* parent, const std::string& listName, const std::string& file,
                           std::function<void(const std::string& program)> done)
{
    auto* request = new ProgramRequest;
    request->listName = listName;
    request->file = file;
    request->done = std::move(done);
    request->dialog = std::make_unique<Gtk::FileChooserDialog>("Select a program", Gtk::FileChooser::Action::OPEN);
    Gtk::FileChooserDialog& dialog = *request->dialog;
    if (parent != nullptr)
        dialog.set_transient_for(*parent);
    dialog.set_modal(true);
    dialog.add_button("_Cancel", Gtk::ResponseType::CANCEL);
    dialog.add_button("_Open", Gtk::ResponseType::ACCEPT);
    dialog.set_default_response(Gtk::ResponseType::ACCEPT);

    auto programs = Gtk::FileFilter::create();
    programs->set_name("Program files");
    for (const char* type : {"application/x-executable", "application/x-sharedlib", "application/x-pie-executable",
                             "application/x-shellscript", "application/x-desktop"})
        programs->add_mime_type(type);
    programs->add_suffix("desktop");
    dialog.add_filter(programs);
    auto all = Gtk::FileFilter::create();
    all->set_name("All files");
    all->add_pattern("*");
    dialog.add_filter(all);

    // The desktop's own program for the file is offered first.
    const std::string initial = FindAssociatedProgram(file, true);
    if (!initial.empty() && Glib::file_test(initial, Glib::FileTest::IS_REGULAR)) {
        try {
            dialog.set_file(Gio::File::create_for_path(initial));
        } catch (const Glib::Error&) {
            // A file the chooser cannot show: it starts in its own default place.
        }
    }

    request->response = dialog.signal_response().connect([request](int response) {
        if (!request->response.connected())
            return;  // answered already (a close after the choice)
        request->response.disconnect();
        std::string program;
        if (response == Gtk::ResponseType::ACCEPT) {
            if (auto chosen = request->dialog->get_file())
                program = chosen->get_path();
        }
        // Data files and folders are not programs: nothing is stored or started.
        if (!IsProgramFile(program))
            program.clear();
        request->dialog->hide();
        Glib::signal_idle().connect_once([request, program] {
            if (!program.empty())
                AddOpenWithProgram(request->listName, program, request->file);
            auto callback = std::move(request->done);
            delete request;
            if (callback)
                callback(program);
        });
    });
    dialog.show();
}

} // namespace mev
