#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm.h>

#include "core/media/folder_tree_model.hpp"
#include "core/shell/drive_type.hpp"
#include "platform/post_to_ui.hpp"

namespace mev {

struct FolderListJob;

// The folder tree in the top left corner of a media page: one root folder and its
// sub-folders, read from disk only when a folder is expanded. Listing runs on a worker
// thread and the rows arrive in batches from the main loop, so folders with thousands
// of sub-folders never stall the window.
class CFolderTreeView : public Gtk::ScrolledWindow {
public:
    using CommandPoster = std::function<void(int id)>;
    using DriveTypeSource = std::function<DriveType(const std::string& path)>;

    CFolderTreeView();
    ~CFolderTreeView() override;

    // Where the tree posts its commands (the page's PostCommand): 32773 after every
    // selection change, 32772 from its context menu.
    void SetCommandPoster(CommandPoster post);

    // Replaces the drive-type lookup used when the root is remembered (tests).
    void SetDriveTypeSource(DriveTypeSource source);

    // Chooses the tab's root (command line, remembered folder, default) and rebuilds.
    // rootIcon: 2 pictures, 3 speaker, 4 film.
    void SetRoot(int rootIcon, const std::string& tabName);

    // A single root item for folder (or the current root when empty), expanded, with
    // nothing selected.
    void Rebuild(const std::string& folder = "");

    // Lets the user pick a new root with a folder dialog, or takes the given folder at
    // once; either way the tree is rebuilt and 32773 posted. A cancelled dialog, or a
    // given path that is no folder, changes nothing.
    void ChangeFolder(const std::string& folder = "");

    std::string GetSelectedFolder() const;
    // Selects the root as a click on it would (a folder opened from the command line),
    // posting 32773.
    void SelectRoot();
    const std::string& GetRootPath() const { return m_rootPath; }
    // True when Shift was held in the click or key press that made the current
    // selection: its files go after the ones listed already.
    bool IsAppendSelection() const { return m_selectedWithShift; }

    // What the first left press on an item's icon or label, or the first key pressed in
    // the tree, does (a press on an expander does not count): selections are refused
    // before it, so tabbing into the tree or opening a branch selects nothing.
    void MarkUserClicked() { m_userClicked = true; }
    bool HasUserClicked() const { return m_userClicked; }

    // True while a listing runs or rows are still being added.
    bool IsBusy() const;

    Gtk::TreeView& GetTreeView() { return m_view; }
    // The row of the root item, or an invalid iterator before the first Rebuild.
    Gtk::TreeModel::iterator GetRootRow() const;

private:
    struct Columns : public Gtk::TreeModel::ColumnRecord {
        Columns();
        Gtk::TreeModelColumn<Glib::ustring> label;
        Gtk::TreeModelColumn<std::string> path;
        Gtk::TreeModelColumn<int> state;
        Gtk::TreeModelColumn<bool> placeholder;
    };
    enum NodeState { UNLISTED = 0, LISTING = 1, LISTED = 2 };

    struct PendingList {
        std::shared_ptr<FolderListJob> job;
        Gtk::TreeRowReference row;
    };
    struct FillTask {
        Gtk::TreeRowReference row;
        std::vector<FolderEntry> entries;
        std::vector<std::string> labels;  // display forms of the entries' names
        std::size_t left = 0;            // entries not yet inserted (they go in from the end)
    };

    void BuildView();
    void PrependFolder(const Gtk::TreeModel::iterator& parent, const std::string& label, const std::string& path);
    void RemoveChildren(const Gtk::TreeModel::iterator& row);
    bool OnTestExpandRow(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path);
    bool OnTestCollapseRow(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path);
    void OnRowExpanded(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path);
    void OnRowCollapsed(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path);
    void StartListing(const Gtk::TreeModel::iterator& row);
    void OnListingDone(std::uint64_t jobId);
    void FinishListing(const Gtk::TreeModel::iterator& row, std::vector<FolderEntry> entries,
                       std::vector<std::string> labels);
    bool IsOnItem(double x, double y) const;
    bool OnFillIdle();
    void CancelAll();
    bool CanSelect(const Glib::RefPtr<Gtk::TreeModel>& model, const Gtk::TreeModel::Path& path, bool selected);
    void OnSelectionChanged();
    void OnLeftPressed(int nPress, double x, double y);
    void ExpandRootIfCollapsed();
    void OnRightPressed(int nPress, double x, double y);
    bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);
    bool OnKeyCaptured(guint keyval, guint keycode, Gdk::ModifierType state);
    void CollectVisibleRows(Gtk::TreeModel::Children rows, std::vector<Gtk::TreeModel::Path>& out);
    void RenderIcon(Gtk::CellRenderer* cell, const Gtk::TreeModel::const_iterator& row);
    void RememberRoot();
    void Post(int id);


    Columns m_columns;
    Glib::RefPtr<Gtk::TreeStore> m_store;
    Gtk::TreeView m_view;
    Gtk::TreeViewColumn m_column;
    Gtk::CellRendererPixbuf m_iconCell;
    Gtk::CellRendererText m_textCell;
    Gtk::PopoverMenu* m_menu = nullptr;
    Glib::RefPtr<Gtk::GestureClick> m_leftClick;
    Glib::RefPtr<Gtk::GestureClick> m_rightClick;
    sigc::connection m_selectionChanged;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);  // watched by the folder dialog's answer
    CLifetimeGuard m_guard; // listings hand their results back only while the tree lives
    bool m_asking = false;

    std::string m_rootPath;
    std::string m_settingName;
    int m_rootIcon = 0;
    bool m_userClicked = false;
    bool m_shiftAct = false;           // Shift was held in the latest click or key press
    bool m_selectedWithShift = false;  // ... in the one that made the current selection
    bool m_toggling = false;  // a row is being expanded or collapsed
    std::string m_typed;      // type-ahead letters, case-folded
    std::int64_t m_typedAt = 0;  // microseconds, of the key event's clock
    Glib::RefPtr<Gtk::EventControllerKey> m_keys;

    CommandPoster m_post;
    DriveTypeSource m_driveType;

    std::uint64_t m_nextJobId = 1;
    std::map<std::uint64_t, PendingList> m_pending;
    std::deque<FillTask> m_fills;
    sigc::connection m_fillIdle;
};

} // namespace mev
