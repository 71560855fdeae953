#include "ui/widgets/browse_for_folder.hpp"

#include <gtk/gtk.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>

namespace mev {

namespace {

// Lives from the dialog's creation to the idle after its answer. The dialog is GTK's own
// object, not a C++ one: gtkmm would give it a derived type of its own, and the file
// chooser's disposal of its template then fails on that type.
struct FolderRequest {
    GtkWidget* dialog = nullptr;
    gulong response = 0;
    std::function<void(const std::string&)> done;
};

std::string ChosenFolder(GtkWidget* dialog)
{
    std::string folder;
    if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))) {
        if (char* path = g_file_get_path(file)) {
            folder = path;
            g_free(path);
        }
        g_object_unref(file);
    }
    return folder;
}

void OnResponse(GtkDialog* dialog, int response, gpointer data)
{
    auto* request = static_cast<FolderRequest*>(data);
    if (request->response == 0)
        return;  // answered already (a close after the choice)
    g_signal_handler_disconnect(dialog, request->response);
    request->response = 0;
    const std::string folder = response == GTK_RESPONSE_ACCEPT ? ChosenFolder(request->dialog) : std::string();
    gtk_widget_hide(request->dialog);
    // The dialog goes away after GTK has finished delivering the response.
    Glib::signal_idle().connect_once([request, folder] {
        auto callback = std::move(request->done);
        gtk_window_destroy(GTK_WINDOW(request->dialog));
        g_object_unref(request->dialog);
        delete request;
        if (callback)
            callback(folder);
    });
}

} // namespace

void BrowseForFolder(Gtk::Window* parent, const std::string& title, const std::string& initial,
                     std::function<void(const std::string& folder)> done)
{
    auto* request = new FolderRequest;
    request->done = std::move(done);
    request->dialog = gtk_file_chooser_dialog_new(title.empty() ? "Select a folder" : title.c_str(),
                                                  parent != nullptr ? parent->gobj() : nullptr,
                                                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
    // Held until the idle after the answer, whatever closes the window first.
    g_object_ref(request->dialog);
    GtkWindow* window = GTK_WINDOW(request->dialog);
    gtk_window_set_modal(window, TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(request->dialog), GTK_RESPONSE_ACCEPT);
    if (!initial.empty() && g_file_test(initial.c_str(), G_FILE_TEST_IS_DIR)) {
        GFile* start = g_file_new_for_path(initial.c_str());
        // A folder the chooser cannot open: it starts in its own default place.
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(request->dialog), start, nullptr);
        g_object_unref(start);
    }
    request->response = g_signal_connect(request->dialog, "response", G_CALLBACK(&OnResponse), request);
    gtk_widget_show(request->dialog);
}

} // namespace mev
