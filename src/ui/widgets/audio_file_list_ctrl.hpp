#pragma once

#include <memory>
#include <string>

#include "ui/widgets/file_list_ctrl.hpp"

namespace Gtk {
class FileChooserDialog;
}

namespace mev {

// The audio page's file list: files show and sort by their tag titles (ID3v1 first,
// then the file's other tags), read once each time the folder is listed. Playlists
// (.m3u, .m3u8) are listed too: a click on one lists its files, checked; the checked
// files can be saved as one.
class CAudioFileListCtrl : public CFileListCtrl {
public:
    CAudioFileListCtrl();
    ~CAudioFileListCtrl() override;

    // When the selected row is a playlist, lists its files (FillPlaylist) and returns
    // true; otherwise false and nothing happens.
    bool OpenSelectedPlaylist();

    // Writes the checked rows, in row order, as an extended M3U playlist at target (its
    // paths relative to target's folder). Files whose names cannot stand in a playlist
    // are left out, and a message box says which; so does one for a failed write.
    // False when nothing was written.
    bool SavePlaylist(const std::string& target);

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

private:
    // The chooser for the playlist's name; the answer goes to SavePlaylist.
    void ChoosePlaylistTarget();
    void SaveAfterAsking(const std::string& target);

    std::unique_ptr<Gtk::FileChooserDialog> m_chooser;
};

} // namespace mev
