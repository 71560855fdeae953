#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm.h>

#include "core/commands/command_target.hpp"
#include "core/media/file_list_model.hpp"
#include "platform/post_to_ui.hpp"

namespace mev {

struct FileListJob;

// The file list of the video page (and, with ID3v1 titles, of the audio page): a check
// box and the columns Name, Type, Size and Time, sortable by any column. Folders are
// read on a worker thread and the rows arrive in one piece, so large folders never
// stall the window. Clicks that change the selected row and double-clicks on a row are
// posted to the page (32787, 32820); selection with the keyboard posts nothing.
class CFileListCtrl : public Gtk::ScrolledWindow, public ICommandTarget {
public:
    // Loads the MIME database and the icon theme's index on a worker thread, once per
    // process; the first list does so itself. Until they are loaded, rows show no icon
    // (they get it then), so that the window never waits for them.
    static void PrepareFileTypes();
    using CommandPoster = std::function<void(int id)>;

    explicit CFileListCtrl(bool audioNames = false);
    ~CFileListCtrl() override;
    CFileListCtrl(const CFileListCtrl&) = delete;
    CFileListCtrl& operator=(const CFileListCtrl&) = delete;

    void SetCommandPoster(CommandPoster post) { m_post = std::move(post); }
    // Runs after each fill that replaced the rows.
    void SetFilledHandler(std::function<void()> filled) { m_filled = std::move(filled); }

    // Name of the Open With list ("audio", "video") and the context menu; an empty name
    // or a 0 id clears both, and right-clicks then show no menu.
    void SetOpenWithContext(const std::string& name, int menuId);
    const std::string& GetOpenWithName() const { return m_openWithName; }
    int GetContextMenuId() const { return m_contextMenuId; }

    // Lists the folder's files of the kind. With append the files are added after the
    // rows already listed (unless a row lies in the folder already), otherwise they
    // replace them, sorted by name.
    void FillFolder(const std::string& folder, MediaKind kind, bool append);
    // Lists the files the playlist names that exist, in its order, all checked (ready
    // for auto play). A playlist that cannot be read or names no file found leaves the
    // rows as they are and says so in a message box.
    void FillPlaylist(const std::string& playlist);
    // True while a folder is being read.
    bool IsFilling() const { return static_cast<bool>(m_job); }

    int GetCount() const { return static_cast<int>(m_model.GetCount()); }
    const CFileListModel& GetModel() const { return m_model; }
    std::string GetSelectedPath() const;
    int GetSelectedRow() const;
    int FindByPath(const std::string& path) const { return m_model.FindByPath(path); }
    std::vector<std::string> GetCheckedPaths() const { return m_model.GetCheckedPaths(); }
    // Rows of files that were moved away or deleted leave the list.
    void RemovePaths(const std::vector<std::string>& paths);
    // Files renamed (old path, new path) or rewritten (the same path twice), in the order
    // it happened: their rows show their new names and titles and take their places in
    // the order the list is sorted by. The selected file stays selected.
    void UpdateFiles(const std::vector<std::pair<std::string, std::string>>& changes);
    // Selects the row (the only one), makes it the current item and scrolls it into view.
    void SelectOnly(int row);
    int CountChecked() const { return m_model.CountChecked(); }
    bool AnyChecked() const { return m_model.AnyChecked(); }
    void SetChecked(int row, bool checked);
    // The path of the next checked file for auto play, "" when there is none; with
    // select, its row becomes the selected one.
    std::string NextToPlay(const std::string& currentUrl, bool loop, bool select);
    // The path NextToPlay would give, without counting the play.
    std::string PeekNextToPlay(const std::string& currentUrl, bool loop) const;

    // A click on a column header: the one direction flag toggles and the rows are sorted.
    void ClickColumn(int column);

    // The row under the last right-click, -1 when it hit none.
    int GetContextRow() const { return m_contextRow; }

    // Auto play of the owning player page. It needs a checked row: it cannot be switched
    // on without one, and goes off when the last checked row goes (unchecked, removed,
    // or replaced by a fill).
    bool IsAutoPlayOn() const { return m_autoPlay; }
    void SetAutoPlay(bool on)
    {
        m_autoPlay = on && AnyChecked();
        NotifyPlayOrder();
    }
    // Called whenever what auto play plays next may have changed: checks, rows, order, or
    // auto play itself.
    void SetPlayOrderHandler(std::function<void()> changed) { m_playOrderChanged = std::move(changed); }

    Gtk::TreeView& GetTreeView() { return m_view; }

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

private:
    struct Columns : public Gtk::TreeModel::ColumnRecord {
        Columns() { add(placeholder); }
        Gtk::TreeModelColumn<bool> placeholder;
    };

    struct MeasuredColumn {
        Gtk::TreeViewColumn* column;
        Gtk::CellRendererText* cell;
        std::vector<std::string> texts;  // the widest texts the column must show whole
    };

    void BuildColumns();
    void FitColumns();
    int RowOf(const Gtk::TreeModel::const_iterator& iter) const;
    void ResizeStore(std::size_t count);
    void Redraw();
    void StartJob(const std::shared_ptr<FileListJob>& job);
    void ApplyJob(const std::shared_ptr<FileListJob>& job);
    void ApplyPlaylist(const std::shared_ptr<FileListJob>& job);
    void OnPressed(int nPress, double x, double y);
    // Gives the list the keyboard focus without the selection the tree view makes then.
    void TakeFocus();
    bool IsBelowHeader(double y) const;
    void OnSelectionChanged();
    void CheckSelectionChange();
    void ShowContextMenu(double x, double y);
    // Row and column under a point of the list widget; -1 row when none.
    int HitTest(double x, double y, Gtk::TreeViewColumn** column) const;
    Glib::RefPtr<Gio::Icon> IconFor(std::size_t row);
    void Post(int id);
    void OnChecksChanged();
    void NotifyPlayOrder()
    {
        if (m_playOrderChanged)
            m_playOrderChanged();
    }

    CFileListModel m_model;
    Columns m_columns;
    Glib::RefPtr<Gtk::ListStore> m_store;
    Gtk::TreeView m_view;
    Gtk::TreeViewColumn* m_checkColumn = nullptr;
    std::vector<MeasuredColumn> m_measured;
    Glib::RefPtr<Gtk::GestureClick> m_click;
    CommandPoster m_post;
    std::function<void()> m_filled;
    std::function<void()> m_playOrderChanged;
    std::string m_openWithName;
    int m_contextMenuId = 0;
    int m_contextRow = -1;
    std::uint64_t m_currentItem = 0;  // serial of the row last reported as selected; 0 none
    bool m_clickSelecting = false;
    bool m_selecting = false;  // the program itself changes the selection
    std::shared_ptr<FileListJob> m_job;
    CLifetimeGuard m_guard; // listings hand their rows back only while the list lives
    std::shared_ptr<bool> m_alive;
    std::map<std::string, Glib::RefPtr<Gio::Icon>> m_icons;
    bool m_waitingForTypes = false;
    bool m_autoPlay = false;
};

} // namespace mev
