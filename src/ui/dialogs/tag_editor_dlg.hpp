#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtkmm.h>

#include "core/tags/tag_editor.hpp"

namespace mev {

// "MP3 Tag Editor": the folder's MP3 files with their tag texts, the edit fields of the
// selected one, Update / Auto Update, Click to Play and Make HTML.... Modal over its
// parent; it deletes itself once closed and its last pending write is settled.
class CTagEditorDlg : public Gtk::Window {
public:
    using FilesChanged = std::function<void(const std::vector<STagFileChange>& changes)>;

    // navigate asks the audio page to show a URL (a file to play, or the blank page);
    // filesChanged hears of the files renamed or written, when the dialog closes and
    // once more should a write still pending then be done.
    static CTagEditorDlg* Open(Gtk::Window* parent, const std::string& folder,
                               std::function<void(const std::string& url)> navigate,
                               FilesChanged filesChanged = {});

    CTagEditor& GetEditor() { return m_editor; }
    Gtk::TreeView& GetList() { return m_list; }
    Gtk::Entry& GetFileEntry() { return m_file; }
    Gtk::Entry& GetTitleEntry() { return m_title; }
    Gtk::Entry& GetAlbumEntry() { return m_album; }
    Gtk::CheckButton& GetAlbumLock() { return m_lockAlbum; }
    Gtk::CheckButton& GetAutoUpdate() { return m_autoUpdate; }
    Gtk::Button& GetUpdateButton() { return m_update; }
    // Shown while the selected file also has an ID3v2 tag, which the editor leaves alone.
    Gtk::Label& GetId3v2Note() { return m_id3v2Note; }
    void SelectRow(int row);
    void Close();

private:
    CTagEditorDlg(Gtk::Window* parent, const std::string& folder, std::function<void(const std::string&)> navigate);
    void Fill();
    void ReadControls();
    void WriteControls();
    void ShowRow(int row);
    void OnSelectionChanged();
    void OnUpdate();
    void OnClickToPlay();
    void AfterUpdate(const std::string& message);
    void ReportFileChanges();
    bool OnRetry();
    void LimitEntry(Gtk::Entry& entry, std::size_t maxBytes);

    class CColumns : public Gtk::TreeModel::ColumnRecord {
    public:
        CColumns() { add(name), add(title), add(artist), add(album), add(comment); }
        Gtk::TreeModelColumn<Glib::ustring> name, title, artist, album, comment;
    };

    CTagEditor m_editor;
    CColumns m_columns;
    Glib::RefPtr<Gtk::ListStore> m_store;
    Gtk::Box m_outer{Gtk::Orientation::VERTICAL, 8};
    Gtk::ScrolledWindow m_scroll;
    Gtk::TreeView m_list;
    Gtk::Box m_lower{Gtk::Orientation::HORIZONTAL, 8};
    Gtk::Frame m_tagsFrame{"Tags"};
    Gtk::Grid m_tagsGrid;
    Gtk::Entry m_file, m_title, m_artist, m_album, m_comment;
    Gtk::CheckButton m_lockArtist{"Lock"}, m_lockAlbum{"Lock"}, m_lockComment{"Lock"};
    Gtk::Label m_id3v2Note{"This file also has a newer (ID3v2) tag, which this editor leaves as it is. "
                           "Other players may show the title and artist from that tag instead."};
    Gtk::Frame m_actionFrame{"Action"};
    Gtk::Box m_actionBox{Gtk::Orientation::VERTICAL, 6};
    Gtk::Button m_update{"Update"};
    Gtk::CheckButton m_autoUpdate{"Auto Update"}, m_clickToPlay{"Click to Play"};
    Gtk::Box m_buttons{Gtk::Orientation::VERTICAL, 6};
    Gtk::Button m_makeHtml{"Make HTML..."};
    Gtk::Button m_close{"Close"};
    bool m_ready = false;
    bool m_closed = false;
    sigc::connection m_retry;
    FilesChanged m_filesChanged;
};

} // namespace mev
