#include "ui/app/browse_for_folder.hpp"

#include <memory>

#include <giomm/file.h>
#include <glibmm/fileutils.h>
#include <glibmm/main.h>
#include <gtkmm/filechooserdialog.h>

namespace mev {

namespace {

// Lives from the dialog's creation to the idle after its answer.
struct FolderRequest {
    std::unique_ptr<Gtk::FileChooserDialog> dialog;
    sigc::connection response;
    std::function<void(const std::string&)> done;
};

} // namespace

void BrowseForFolder(Gtk::Window* parent, const std::string& title, const std::string& initial,
                     std::function<void(const std::string& folder)> done)
{
    auto* request = new FolderRequest;
    request->done = std::move(done);
    request->dialog = std::make_unique<Gtk::FileChooserDialog>(title.empty() ? "Select a folder" : title,
                                                              Gtk::FileChooser::Action::SELECT_FOLDER);
    Gtk::FileChooserDialog& dialog = *request->dialog;
    if (parent != nullptr)
        dialog.set_transient_for(*parent);
    dialog.set_modal(true);
    dialog.add_button("_Cancel", Gtk::ResponseType::CANCEL);
    dialog.add_button("_Select", Gtk::ResponseType::ACCEPT);
    dialog.set_default_response(Gtk::ResponseType::ACCEPT);
    if (!initial.empty() && Glib::file_test(initial, Glib::FileTest::IS_DIR)) {
        try {
            dialog.set_current_folder(Gio::File::create_for_path(initial));
        } catch (const Glib::Error&) {
            // A folder the chooser cannot open: it starts in its own default place.
        }
    }
    request->response = dialog.signal_response().connect([request](int response) {
        if (!request->response.connected())
            return;  // answered already (a close after the choice)
        request->response.disconnect();
        std::string folder;
        if (response == Gtk::ResponseType::ACCEPT) {
            if (auto file = request->dialog->get_file())
                folder = file->get_path();
        }
        request->dialog->hide();
        // The dialog goes away after GTK has finished delivering the response.
        Glib::signal_idle().connect_once([request, folder] {
            auto callback = std::move(request->done);
            delete request;
            if (callback)
                callback(folder);
        });
    });
    dialog.show();
}

} // namespace mev
