#include "ui/widgets/folder_tree_view.hpp"

#include <atomic>
#include <string_view>
#include <system_error>
#include <utility>

#include <glib.h>

#include "core/commands/command_ids.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/settings.hpp"
#include "core/work/background_work.hpp"
#include "ui/widgets/browse_for_folder.hpp"
#include "platform/system_services.hpp"

namespace mev {

// One listing, run as a background job. The job reads folder and cancel and writes
// result and labels; the main loop reads them once the job has handed it back.
struct FolderListJob {
    std::uint64_t id = 0;
    std::string folder;
    std::atomic<bool> cancel{false};
    FolderListing result;
    std::vector<std::string> labels;
};

namespace {

// Rows added per turn of the main loop while a big folder fills (a few milliseconds).
constexpr std::size_t FILL_BATCH = 2000;

// Column numbers of the store, in the order Columns adds them.
constexpr int COLUMN_LABEL = 0;
constexpr int COLUMN_PATH = 1;
constexpr int COLUMN_STATE = 2;
constexpr int COLUMN_PLACEHOLDER = 3;

const char* RootIconName(int rootIcon)
{
    switch (rootIcon) {
    case 3: return "audio-x-generic";
    case 4: return "video-x-generic";
    default: return "image-x-generic";
    }
}

std::string UserFolderFor(int rootIcon)
{
    GUserDirectory dir = G_USER_DIRECTORY_PICTURES;
    if (rootIcon == 3)
        dir = G_USER_DIRECTORY_MUSIC;
    else if (rootIcon == 4)
        dir = G_USER_DIRECTORY_VIDEOS;
    const char* path = g_get_user_special_dir(dir);
    return path != nullptr ? path : "";
}

std::string DisplayName(const std::string& name)
{
    gchar* text = g_filename_display_name(name.c_str());
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

} // namespace

CFolderTreeView::Columns::Columns()
{
    add(label);
    add(path);
    add(state);
    add(placeholder);
}

CFolderTreeView::CFolderTreeView()
    : m_driveType([](const std::string& path) { return GetPathDriveType(path); })
{
    BuildView();
}

CFolderTreeView::~CFolderTreeView()
{
    // The page is going away with the tree: nothing may be posted to it any more.
    m_post = nullptr;
    m_selectionChanged.disconnect();
    RememberRoot();
    CancelAll();
    if (m_menu != nullptr) {
        m_menu->unparent();
        delete m_menu;
        m_menu = nullptr;
    }
}

void CFolderTreeView::BuildView()
{
    m_store = Gtk::TreeStore::create(m_columns);
    m_view.set_model(m_store);
    // The toolkit's tree view reads as a nameless filler to screen readers.
    g_object_set(m_view.gobj(), "accessible-role", GTK_ACCESSIBLE_ROLE_TREE, nullptr);
    m_view.set_headers_visible(false);
    m_view.set_enable_tree_lines(true);
    // Type-ahead is our own (OnKeyPressed): the tree view's search popup trips over its
    // own header node in this toolkit version and reports a critical error.
    m_view.set_enable_search(false);

    m_column.pack_start(m_iconCell, false);
    m_column.pack_start(m_textCell, true);
    m_column.add_attribute(m_textCell.property_text(), m_columns.label);
    m_column.set_cell_data_func(m_iconCell, sigc::mem_fun(*this, &CFolderTreeView::RenderIcon));
    m_view.append_column(m_column);

    m_view.signal_test_expand_row().connect(sigc::mem_fun(*this, &CFolderTreeView::OnTestExpandRow), false);
    m_view.signal_test_collapse_row().connect(sigc::mem_fun(*this, &CFolderTreeView::OnTestCollapseRow), false);
    m_view.signal_row_expanded().connect(sigc::mem_fun(*this, &CFolderTreeView::OnRowExpanded));
    m_view.signal_row_collapsed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnRowCollapsed));

    auto selection = m_view.get_selection();
    selection->set_mode(Gtk::SelectionMode::SINGLE);
    selection->set_select_function(sigc::mem_fun(*this, &CFolderTreeView::CanSelect));
    m_selectionChanged = selection->signal_changed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnSelectionChanged));

    // Capture phase: the first press is seen before the tree view selects anything,
    // and the right button never reaches the tree's own handling.
    m_leftClick = Gtk::GestureClick::create();
    m_leftClick->set_button(GDK_BUTTON_PRIMARY);
    m_leftClick->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    m_leftClick->signal_pressed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnLeftPressed));
    m_view.add_controller(m_leftClick);

    m_rightClick = Gtk::GestureClick::create();
    m_rightClick->set_button(GDK_BUTTON_SECONDARY);
    m_rightClick->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    m_rightClick->signal_pressed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnRightPressed));
    m_view.add_controller(m_rightClick);

    // Capture phase: a key is the user's act before the tree moves its cursor on it.
    auto captured = Gtk::EventControllerKey::create();
    captured->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    captured->signal_key_pressed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnKeyCaptured), false);
    m_view.add_controller(captured);

    // Bubble phase: the tree's own keys (arrows, +, -, *, Backspace...) come first.
    m_keys = Gtk::EventControllerKey::create();
    m_keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CFolderTreeView::OnKeyPressed), false);
    m_view.add_controller(m_keys);

    auto actions = Gio::SimpleActionGroup::create();
    actions->add_action("change-folder", [this] { Post(ID_VIEW_CHANGEFOLDER); });
    insert_action_group("tree", actions);
    auto menu = Gio::Menu::create();
    menu->append("Change Folder...", "tree.change-folder");

    set_child(m_view);
    // The menu hangs on the scrolled window: a tree view keeps its own order of child
    // nodes that a popover would disturb.
    m_menu = new Gtk::PopoverMenu(menu);
    m_menu->set_parent(*this);
    m_menu->set_has_arrow(false);
    set_has_frame(true);
    set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
}

void CFolderTreeView::SetCommandPoster(CommandPoster post)
{
    m_post = std::move(post);
}

void CFolderTreeView::SetDriveTypeSource(DriveTypeSource source)
{
    m_driveType = std::move(source);
}

void CFolderTreeView::Post(int id)
{
    if (m_post)
        m_post(id);
}

void CFolderTreeView::SetRoot(int rootIcon, const std::string& tabName)
{
    m_rootIcon = rootIcon;
    m_settingName = MakeRootSettingName(tabName);
    // Screen readers name the tree by its tab: all three are alike otherwise.
    const std::string name = tabName + " folders";
    gtk_accessible_update_property(GTK_ACCESSIBLE(m_view.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(), -1);
    std::string commandLine = GetCommandLineValue(tabName, true);
    std::string saved = commandLine.empty() ? GetSettingString(m_settingName, "") : std::string();
    const char* home = g_get_home_dir();
    std::string fallback = ChooseDefaultRoot(GetProgramFolder(), UserFolderFor(rootIcon), home != nullptr ? home : "");
    m_rootPath = ChooseTreeRoot(commandLine, saved, fallback);
    Rebuild();
}

void CFolderTreeView::Rebuild(const std::string& folder)
{
    if (!folder.empty())
        m_rootPath = NormalizeFolderPath(folder);
    CancelAll();
    // Clearing the store drops the selection: reported once, as one change.
    bool hadSelection = m_view.get_selection()->count_selected_rows() > 0;
    m_shiftAct = false;
    m_selectedWithShift = false;
    m_selectionChanged.block();
    m_store->clear();
    m_selectionChanged.unblock();
    if (hadSelection)
        Post(ID_PRIVATE_FOLDER_SELECTED);
    if (m_rootPath.empty())
        return;
    PrependFolder({}, DisplayName(GetFolderLabel(m_rootPath)), m_rootPath);
    m_view.expand_row(m_store->get_path(m_store->children().begin()), false);
}

void CFolderTreeView::PrependFolder(const Gtk::TreeModel::iterator& parent, const std::string& label,
                                    const std::string& path)
{
    // A row goes in whole, at the front: the store then neither walks the siblings to
    // find the end nor reports each column as a change, so a folder of any size fills
    // in linear time (its entries are inserted from the last one).
    static int columns[] = {COLUMN_LABEL, COLUMN_PATH, COLUMN_STATE, COLUMN_PLACEHOLDER};
    GValue values[4] = {G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT};
    g_value_init(&values[0], G_TYPE_STRING);
    g_value_set_static_string(&values[0], label.c_str());
    g_value_init(&values[1], G_TYPE_STRING);
    g_value_set_static_string(&values[1], path.c_str());
    g_value_init(&values[2], G_TYPE_INT);
    g_value_set_int(&values[2], UNLISTED);
    g_value_init(&values[3], G_TYPE_BOOLEAN);
    g_value_set_boolean(&values[3], FALSE);
    GtkTreeStore* store = m_store->gobj();
    GtkTreeIter row;
    gtk_tree_store_insert_with_valuesv(store, &row, parent ? const_cast<GtkTreeIter*>(parent.get_gobject_if_not_end()) : nullptr,
                                       0, columns, values, 4);
    // Every folder shows an expander until it is opened: a placeholder child stands in
    // for sub-folders that are read only then.
    GtkTreeIter child;
    gtk_tree_store_insert_with_values(store, &child, &row, 0, COLUMN_STATE, static_cast<int>(LISTED),
                                      COLUMN_PLACEHOLDER, TRUE, -1);
}

void CFolderTreeView::RemoveChildren(const Gtk::TreeModel::iterator& row)
{
    while (!row->children().empty())
        m_store->erase(row->children().begin());
}

Gtk::TreeModel::iterator CFolderTreeView::GetRootRow() const
{
    return m_store->children().begin();
}

bool CFolderTreeView::OnTestExpandRow(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path&)
{
    // Returning true refuses the expansion; a folder expands once its sub-folders are in.
    switch (static_cast<int>((*row)[m_columns.state])) {
    case LISTED:
        m_toggling = true;
        return false;
    case UNLISTED:
        StartListing(row);
        return true;
    default:
        return true;
    }
}

bool CFolderTreeView::OnTestCollapseRow(const Gtk::TreeModel::iterator&, const Gtk::TreeModel::Path&)
{
    // The tree view moves its cursor out of a collapsing branch and would select the
    // row it lands on: opening or closing a branch never selects.
    m_toggling = true;
    return false;
}

void CFolderTreeView::OnRowExpanded(const Gtk::TreeModel::iterator&, const Gtk::TreeModel::Path&)
{
    m_toggling = false;
}

void CFolderTreeView::OnRowCollapsed(const Gtk::TreeModel::iterator& row, const Gtk::TreeModel::Path& path)
{
    m_toggling = false;
    // A collapse forgets the sub-folders, so the next expansion sees the disk as it is.
    for (auto it = m_fills.begin(); it != m_fills.end();) {
        if (it->row.is_valid() && it->row.get_path() == path)
            it = m_fills.erase(it);
        else
            ++it;
    }
    RemoveChildren(row);
    GtkTreeIter child;
    gtk_tree_store_insert_with_values(m_store->gobj(), &child, const_cast<GtkTreeIter*>(row.get_gobject_if_not_end()),
                                      0, COLUMN_STATE, static_cast<int>(LISTED), COLUMN_PLACEHOLDER, TRUE, -1);
    (*row)[m_columns.state] = static_cast<int>(UNLISTED);
}

void CFolderTreeView::StartListing(const Gtk::TreeModel::iterator& row)
{
    auto job = std::make_shared<FolderListJob>();
    job->id = m_nextJobId++;
    job->folder = static_cast<std::string>((*row)[m_columns.path]);
    (*row)[m_columns.state] = static_cast<int>(LISTING);
    m_pending[job->id] = PendingList{job, Gtk::TreeRowReference(m_store, m_store->get_path(row))};
    const auto list = [job] {
        job->result = ListSubFolders(job->folder, &job->cancel);
        job->labels.reserve(job->result.entries.size());
        for (const FolderEntry& entry : job->result.entries)
            job->labels.push_back(DisplayName(entry.name));
    };
    const CUiOwner owner = m_guard.Owner();
    const bool posted = CBackgroundWork::Get().GetPool(CBackgroundWork::Lane::Files).Post([this, job, list, owner] {
        list();
        PostToUi(owner, [this, id = job->id] { OnListingDone(id); }, G_PRIORITY_DEFAULT_IDLE);
    });
    if (!posted) {
        // No room for it: list here rather than leave the folder unexpandable.
        list();
        OnListingDone(job->id);
    }
}

void CFolderTreeView::OnListingDone(std::uint64_t jobId)
{
    auto found = m_pending.find(jobId);
    if (found == m_pending.end())
        return;
    PendingList pending = std::move(found->second);
    m_pending.erase(found);
    if (pending.job->result.cancelled || !pending.row.is_valid())
        return;
    auto row = m_store->get_iter(pending.row.get_path());
    if (!row || static_cast<int>((*row)[m_columns.state]) != LISTING)
        return;
    FinishListing(row, std::move(pending.job->result.entries), std::move(pending.job->labels));
}

void CFolderTreeView::FinishListing(const Gtk::TreeModel::iterator& row, std::vector<FolderEntry> entries,
                                    std::vector<std::string> labels)
{
    if (entries.empty() || labels.size() != entries.size()) {
        // Nothing to show, or the folder could not be read: the expander goes away.
        RemoveChildren(row);
        (*row)[m_columns.state] = static_cast<int>(LISTED);
        return;
    }
    const std::size_t count = entries.size();
    m_fills.push_back(
        FillTask{Gtk::TreeRowReference(m_store, m_store->get_path(row)), std::move(entries), std::move(labels), count});
    if (!m_fillIdle.connected())
        m_fillIdle = Glib::signal_idle().connect(sigc::mem_fun(*this, &CFolderTreeView::OnFillIdle));
}

bool CFolderTreeView::OnFillIdle()
{
    while (!m_fills.empty()) {
        FillTask& task = m_fills.front();
        auto row = task.row.is_valid() ? m_store->get_iter(task.row.get_path()) : Gtk::TreeModel::iterator();
        if (!row) {
            m_fills.pop_front();
            continue;
        }
        // Rows go in while the folder is still closed (cheap for the view); it opens
        // once all are in.
        if (task.left == task.entries.size()) {
            RemoveChildren(row);
            (*row)[m_columns.state] = static_cast<int>(LISTED);
        }
        const std::size_t stop = task.left > FILL_BATCH ? task.left - FILL_BATCH : 0;
        while (task.left > stop) {
            --task.left;
            PrependFolder(row, task.labels[task.left], task.entries[task.left].path);
        }
        if (task.left == 0) {
            m_view.expand_row(m_store->get_path(row), false);
            m_fills.pop_front();
        }
        return !m_fills.empty();
    }
    return false;
}

void CFolderTreeView::CancelAll()
{
    for (auto& [id, pending] : m_pending) {
        pending.job->cancel = true;
    }
    m_pending.clear();
    m_fills.clear();
    m_fillIdle.disconnect();
}

bool CFolderTreeView::IsBusy() const
{
    return !m_pending.empty() || !m_fills.empty();
}

bool CFolderTreeView::CanSelect(const Glib::RefPtr<Gtk::TreeModel>& model, const Gtk::TreeModel::Path& path,
                                bool selected)
{
    if (selected)
        return true;  // letting go of a selection is always allowed
    if (!m_userClicked || m_toggling)
        return false;
    auto row = model->get_iter(path);
    return row && !(*row)[m_columns.placeholder];
}

void CFolderTreeView::OnSelectionChanged()
{
    m_selectedWithShift = m_shiftAct;
    Post(ID_PRIVATE_FOLDER_SELECTED);
}

void CFolderTreeView::SelectRoot()
{
    auto root = m_store->children().begin();
    if (!root)
        return;
    m_userClicked = true;
    m_shiftAct = false;
    m_view.get_selection()->select(root);
}

std::string CFolderTreeView::GetSelectedFolder() const
{
    auto row = m_view.get_selection()->get_selected();
    if (!row || (*row)[m_columns.placeholder])
        return {};
    return static_cast<std::string>((*row)[m_columns.path]);
}

bool CFolderTreeView::IsOnItem(double x, double y) const
{
    int bx = 0;
    int by = 0;
    m_view.convert_widget_to_bin_window_coords(static_cast<int>(x), static_cast<int>(y), bx, by);
    Gtk::TreeModel::Path path;
    Gtk::TreeViewColumn* column = nullptr;
    int cellX = 0;
    int cellY = 0;
    if (!m_view.get_path_at_pos(bx, by, path, column, cellX, cellY) || column == nullptr)
        return false;
    // The cell area leaves out the indentation and the expander in front of the icon.
    Gdk::Rectangle cell;
    m_view.get_cell_area(path, *column, cell);
    return bx >= cell.get_x() && bx < cell.get_x() + cell.get_width();
}

void CFolderTreeView::OnLeftPressed(int, double x, double y)
{
    // The state of the press itself: Shift may be let go before the page reads it.
    m_shiftAct = (m_leftClick->get_current_event_state() & Gdk::ModifierType::SHIFT_MASK) != Gdk::ModifierType();
    if (!IsOnItem(x, y))
        return;
    m_userClicked = true;
    int bx = 0;
    int by = 0;
    m_view.convert_widget_to_bin_window_coords(static_cast<int>(x), static_cast<int>(y), bx, by);
    Gtk::TreeModel::Path path;
    m_view.get_path_at_pos(bx, by, path);
    // A click on the collapsed root opens it; a click on its expander to close it must
    // not, so only a root that was collapsed before the press is opened.
    auto root = GetRootRow();
    if (root && path == m_store->get_path(root) && !m_view.row_expanded(path))
        Glib::signal_idle().connect_once(sigc::mem_fun(*this, &CFolderTreeView::ExpandRootIfCollapsed));
}

void CFolderTreeView::ExpandRootIfCollapsed()
{
    auto root = GetRootRow();
    if (!root)
        return;
    auto path = m_store->get_path(root);
    if (!m_view.row_expanded(path))
        m_view.expand_row(path, false);
}

void CFolderTreeView::CollectVisibleRows(Gtk::TreeModel::Children rows,
                                         std::vector<Gtk::TreeModel::Path>& out)
{
    for (auto& row : rows) {
        if (row[m_columns.placeholder])
            continue;
        auto path = m_store->get_path(row.get_iter());
        out.push_back(path);
        if (m_view.row_expanded(path))
            CollectVisibleRows(row.children(), out);
    }
}

bool CFolderTreeView::OnKeyCaptured(guint keyval, guint, Gdk::ModifierType state)
{
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_Escape:
        // Passing through the tree, or leaving it, is not choosing a folder.
        return false;
    default:
        break;
    }
    // Shift, Ctrl and the like alone choose nothing yet.
    if (gdk_keyval_to_unicode(keyval) == 0 && keyval >= GDK_KEY_Shift_L && keyval <= GDK_KEY_Hyper_R)
        return false;
    m_userClicked = true;
    // Shift with a letter only writes a capital for the type-ahead.
    m_shiftAct = gdk_keyval_to_unicode(keyval) == 0 &&
                 (state & Gdk::ModifierType::SHIFT_MASK) != Gdk::ModifierType();
    return false;
}

// Letters typed within a second of each other pick the next shown folder whose name
// begins with them; the same letter typed again steps on to the next such folder.
bool CFolderTreeView::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state)
{
    const auto COMMAND_KEYS = Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK
        | Gdk::ModifierType::SUPER_MASK | Gdk::ModifierType::META_MASK;
    if ((state & COMMAND_KEYS) != Gdk::ModifierType(0))
        return false;
    const gunichar letter = gdk_keyval_to_unicode(keyval);
    if (letter == 0 || !g_unichar_isprint(letter))
        return false;
    char utf8[8] = {};
    g_unichar_to_utf8(letter, utf8);
    gchar* folded = g_utf8_casefold(utf8, -1);
    const std::string typed = folded;
    g_free(folded);

    // The time the key was typed, not the time it is handled: a busy machine may hand
    // over letters typed together a second apart.
    const guint32 eventTime = m_keys->get_current_event_time();
    const std::int64_t now = eventTime != GDK_CURRENT_TIME ? std::int64_t(eventTime) * 1000 : g_get_monotonic_time();
    if (now - m_typedAt > G_USEC_PER_SEC || now < m_typedAt)
        m_typed.clear();
    m_typedAt = now;
    bool sameLetter = !m_typed.empty();
    for (std::size_t i = 0; sameLetter && i < m_typed.size(); i += typed.size())
        sameLetter = m_typed.compare(i, typed.size(), typed) == 0;
    m_typed += typed;
    const std::string prefix = sameLetter ? typed : m_typed;

    std::vector<Gtk::TreeModel::Path> rows;
    CollectVisibleRows(m_store->children(), rows);
    if (rows.empty())
        return true;
    Gtk::TreeModel::Path cursor;
    Gtk::TreeViewColumn* column = nullptr;
    m_view.get_cursor(cursor, column);
    std::size_t start = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!cursor.empty() && rows[i] == cursor)
            start = i;
    }
    // A new word starts after the current folder; a longer one may stay on it.
    const bool fromNext = prefix.size() == typed.size() && !cursor.empty();
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const auto& path = rows[(start + n + (fromNext ? 1 : 0)) % rows.size()];
        Glib::ustring label;
        m_store->get_iter(path)->get_value(COLUMN_LABEL, label);
        gchar* name = g_utf8_casefold(label.c_str(), -1);
        const bool match = std::string_view(name).starts_with(prefix);
        g_free(name);
        if (!match)
            continue;
        m_userClicked = true;
        m_view.set_cursor(path);
        m_view.scroll_to_row(path);
        break;
    }
    return true;
}

void CFolderTreeView::OnRightPressed(int, double x, double y)
{
    m_rightClick->set_state(Gtk::EventSequenceState::CLAIMED);
    double wx = x;
    double wy = y;
    m_view.translate_coordinates(*this, x, y, wx, wy);
    Gdk::Rectangle at(static_cast<int>(wx), static_cast<int>(wy), 1, 1);
    m_menu->set_pointing_to(at);
    m_menu->popup();
}

void CFolderTreeView::ChangeFolder(const std::string& folder)
{
    if (!folder.empty()) {
        if (!IsExistingFolder(folder))
            return;
        Rebuild(NormalizeFolderPath(folder));
        Post(ID_PRIVATE_FOLDER_SELECTED);
        return;
    }
    if (m_asking)
        return;
    m_asking = true;
    std::weak_ptr<int> alive = m_alive;
    BrowseForFolder(dynamic_cast<Gtk::Window*>(get_root()), "Change Folder", m_rootPath,
                    [this, alive](const std::string& chosen) {
                        if (alive.expired())
                            return;
                        m_asking = false;
                        if (!chosen.empty())
                            ChangeFolder(chosen);
                    });
}

void CFolderTreeView::RenderIcon(Gtk::CellRenderer* cell, const Gtk::TreeModel::const_iterator& row)
{
    auto* pixbufCell = static_cast<Gtk::CellRendererPixbuf*>(cell);
    if ((*row)[m_columns.placeholder]) {
        pixbufCell->property_icon_name() = "";
        return;
    }
    const char* name = "folder";
    if (!row->parent())
        name = RootIconName(m_rootIcon);
    else if (m_view.get_selection()->is_selected(row))
        name = "folder-open";
    pixbufCell->property_icon_name() = name;
}

void CFolderTreeView::RememberRoot()
{
    if (m_rootPath.empty() || !m_driveType)
        return;
    if (ShouldRememberRoot(m_rootPath, m_driveType(m_rootPath), m_settingName))
        SetSettingString(m_settingName, m_rootPath);
}

} // namespace mev
