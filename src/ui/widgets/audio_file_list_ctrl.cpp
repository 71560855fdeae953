#include "ui/widgets/audio_file_list_ctrl.hpp"

#include <vector>

#include <sys/stat.h>

#include "core/commands/command_ids.hpp"
#include "core/media/playlist.hpp"
#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "core/tags/title_reader.hpp"
#include "ui/widgets/message_box.hpp"

namespace mev {

CAudioFileListCtrl::CAudioFileListCtrl() : CFileListCtrl(true) {}

CAudioFileListCtrl::~CAudioFileListCtrl()
{
    if (m_chooser)
        m_chooser->hide();
}

bool CAudioFileListCtrl::OpenSelectedPlaylist()
{
    const std::string path = GetSelectedPath();
    if (path.empty() || !IsPlaylistName(path))
        return false;
    FillPlaylist(path);
    return true;
}

bool CAudioFileListCtrl::SavePlaylist(const std::string& target)
{
    const auto reader = GetTitleReader();
    std::vector<PlaylistEntry> entries;
    const CFileListModel& model = GetModel();
    for (std::size_t row = 0; row < model.GetCount(); ++row) {
        const FileItem& item = model.At(row);
        // A playlist inside a playlist would play nothing.
        if (!item.checked || IsPlaylistName(item.path))
            continue;
        entries.push_back({item.path, model.GetNameText(row), reader ? reader->ReadLength(item.path) : -1});
    }
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos || slash == 0 ? std::string("/") : target.substr(0, slash);
    std::vector<std::string> skipped;
    const std::string text = FormatPlaylist(entries, folder, &skipped);
    Gtk::Window* window = dynamic_cast<Gtk::Window*>(get_root());
    if (const CStatus status = WritePlaylistFile(target, text); !status) {
        ShowMessageBox(window, "Cannot save the playlist " + ToDisplayText(target) + ":\n" + status.Text());
        return false;
    }
    if (!skipped.empty()) {
        std::string text = "A playlist cannot hold a file name with a line break in it. These files were left out:";
        for (const std::string& path : skipped)
            text += "\n" + ToDisplayText(GetFileNamePart(path));
        ShowMessageBox(window, text);
    }
    return true;
}

void CAudioFileListCtrl::ChoosePlaylistTarget()
{
    if (m_chooser) {
        m_chooser->present();
        return;
    }
    m_chooser = std::make_unique<Gtk::FileChooserDialog>("Save Checked as Playlist", Gtk::FileChooser::Action::SAVE);
    Gtk::FileChooserDialog& dialog = *m_chooser;
    if (auto* window = dynamic_cast<Gtk::Window*>(get_root()))
        dialog.set_transient_for(*window);
    dialog.set_modal(true);
    dialog.add_button("_Cancel", Gtk::ResponseType::CANCEL);
    dialog.add_button("_Save", Gtk::ResponseType::ACCEPT);
    dialog.set_default_response(Gtk::ResponseType::ACCEPT);
    auto playlists = Gtk::FileFilter::create();
    playlists->set_name("Playlists (*.m3u, *.m3u8)");
    playlists->add_suffix("m3u");
    playlists->add_suffix("m3u8");
    dialog.add_filter(playlists);
    // Beside the first checked file, where its relative paths are shortest.
    const std::vector<std::string> checked = GetCheckedPaths();
    if (!checked.empty()) {
        const auto slash = checked.front().rfind('/');
        try {
            dialog.set_current_folder(Gio::File::create_for_path(slash == 0 ? "/" : checked.front().substr(0, slash)));
        } catch (const Glib::Error&) {
            // A folder the chooser cannot show: it starts in its own default place.
        }
    }
    dialog.set_current_name("Playlist.m3u8");
    dialog.signal_response().connect([this](int response) {
        std::string target;
        if (response == Gtk::ResponseType::ACCEPT) {
            if (auto chosen = m_chooser->get_file())
                target = chosen->get_path();
        }
        m_chooser->hide();
        // The dialog goes once its signal has returned.
        Glib::signal_idle().connect_once(sigc::track_object(
            [this, target] {
                m_chooser.reset();
                if (!target.empty())
                    SaveAfterAsking(target);
            },
            *this));
    });
    dialog.show();
}

void CAudioFileListCtrl::SaveAfterAsking(const std::string& target)
{
    if (IsPlaylistName(target)) {
        // The chooser has asked already before a file of this name is replaced.
        SavePlaylist(target);
        return;
    }
    // Any other name gets the playlist extension, and a file of that name is only
    // replaced when the user says so.
    const std::string named = target + ".m3u8";
    struct stat info {};
    if (stat(named.c_str(), &info) != 0) {
        SavePlaylist(named);
        return;
    }
    ShowMessageBox(dynamic_cast<Gtk::Window*>(get_root()),
                   ToDisplayText(GetFileNamePart(named)) + " already exists.\nDo you want to replace it?",
                   MessageBoxKind::Question, [this, named](bool yes) {
                       if (yes)
                           SavePlaylist(named);
                   });
}

bool CAudioFileListCtrl::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id == ID_LIST_SAVE_PLAYLIST) {
        ui.Enable(AnyChecked());
        return true;
    }
    return CFileListCtrl::OnUpdateCommand(ui);
}

bool CAudioFileListCtrl::OnCommand(int id)
{
    if (id == ID_LIST_SAVE_PLAYLIST) {
        if (AnyChecked())
            ChoosePlaylistTarget();
        return true;
    }
    return CFileListCtrl::OnCommand(id);
}

} // namespace mev
