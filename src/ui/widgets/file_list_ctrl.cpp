#include "ui/widgets/file_list_ctrl.hpp"

#include <algorithm>
#include <atomic>
#include <utility>

#include <glib.h>

#include "core/commands/command_ids.hpp"
#include "core/media/playlist.hpp"
#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "core/work/background_work.hpp"
#include "platform/system_services.hpp"
#include "ui/widgets/menu_popup.hpp"
#include "ui/widgets/message_box.hpp"
#include "ui/widgets/open_with_menu.hpp"

namespace mev {

struct FileListJob {
    std::string folder;
    MediaKind kind = MediaKind::Audio;
    bool append = false;
    bool withTitles = false;
    std::string playlist;   // lists the playlist's files rather than the folder
    CStatus playlistStatus;  // why a playlist could not be read
    std::size_t playlistLines = 0;
    std::atomic<bool> cancel{false};
    std::vector<FileItem> rows;
};

namespace {

// Column headings and widths in pixels; the check box comes first. Size and Time are
// as wide as their longest texts in the list's font (measured once it has its style);
// Name, never narrower than its width here, takes whatever the list has left.
constexpr int CHECK_WIDTH = 28;
// Room the tree view keeps between a column's edge and its cell.
constexpr int CELL_SLACK = 8;
struct ColumnSpec {
    const char* heading;
    int width;
    float xalign;
};
constexpr ColumnSpec COLUMN_SPECS[] = {
    {"Name", 150, 0.0f}, {"Type", 80, 0.0f}, {"Size", 60, 1.0f}, {"Time", 100, 0.0f}};

// The widest texts the Size and Time columns show.
std::vector<std::string> WidestTexts(int column)
{
    std::vector<std::string> texts;
    for (char digit = '0'; digit <= '9'; ++digit) {
        const std::string d(1, digit);
        if (column == CFileListModel::COLUMN_SIZE) {
            for (const char* unit : {" KB", " MB", " GB"})
                texts.push_back("1024.0" + std::string(unit));
            texts.push_back(d + d + d + d + " B");
            texts.push_back(d + d + d + d + "." + d + " GB");
        } else {
            texts.push_back(d + d + d + d + "-" + d + d + "-" + d + d + " " + d + d + ":" + d + d);
        }
    }
    return texts;
}

void RunFileListJob(FileListJob& job)
{
    if (job.playlist.empty()) {
        job.rows = CFileListModel::ListFolder(job.folder, job.kind, job.withTitles, &GetFileTypeDescription, &job.cancel);
        return;
    }
    std::vector<std::string> paths;
    job.playlistStatus = ReadPlaylistFile(job.playlist, paths);
    if (job.playlistStatus)
        job.rows = CFileListModel::ListFiles(paths, job.withTitles, &GetFileTypeDescription, &job.cancel);
    job.playlistLines = paths.size();
}

} // namespace

namespace {

// Set on the main thread once the worker of PrepareFileTypes has finished.
bool g_fileTypesReady = false;

sigc::signal<void()>& FileTypesReadySignal()
{
    static sigc::signal<void()> signal;
    return signal;
}

void LoadFileTypes(GtkIconTheme* theme)
{
    // The first question loads the MIME database; the icons of the kinds the lists show
    // load the icon theme's index (its lookups may run on any thread).
    for (const char* name : {"a.mp3", "a.wav", "a.ogg", "a.mpg", "a.webm", "a.swf"}) {
        gchar* type = g_content_type_guess(name, nullptr, 0, nullptr);
        if (type == nullptr)
            continue;
        g_free(g_content_type_get_description(type));
        if (GIcon* icon = g_content_type_get_symbolic_icon(type)) {
            if (theme != nullptr)
                g_object_unref(gtk_icon_theme_lookup_by_gicon(theme, icon, 16, 1, GTK_TEXT_DIR_NONE,
                                                              static_cast<GtkIconLookupFlags>(0)));
            g_object_unref(icon);
        }
        g_free(type);
    }
}

void OnFileTypesLoaded()
{
    g_fileTypesReady = true;
    FileTypesReadySignal().emit();
}

// The owner of the file types' load, which is for every list: the program.
const CLifetimeGuard& ProgramLifetime()
{
    static const CLifetimeGuard guard;
    return guard;
}

} // namespace

void CFileListCtrl::PrepareFileTypes()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    GdkDisplay* display = gdk_display_get_default();
    GtkIconTheme* theme = display != nullptr ? gtk_icon_theme_get_for_display(display) : nullptr;
    if (theme != nullptr)
        g_object_ref(theme);
    auto load = [theme, owner = ProgramLifetime().Owner()] {
        LoadFileTypes(theme);
        PostToUi(owner, [theme] {
            if (theme != nullptr)
                g_object_unref(theme);
            OnFileTypesLoaded();
        });
    };
    if (!CBackgroundWork::Get().GetPool(CBackgroundWork::Lane::Files).Post(load))
        load();
}

CFileListCtrl::CFileListCtrl(bool audioNames)
    : m_model(audioNames), m_store(Gtk::ListStore::create(m_columns)), m_alive(std::make_shared<bool>(true))
{
    PrepareFileTypes();
    set_name("file-list");
    m_view.set_model(m_store);
    m_view.get_selection()->set_mode(Gtk::SelectionMode::SINGLE);
    m_view.get_selection()->signal_changed().connect(sigc::mem_fun(*this, &CFileListCtrl::OnSelectionChanged));
    m_view.set_enable_search(false);
    BuildColumns();
    m_view.set_fixed_height_mode(true);

    // Capture phase: a right-click must neither select nor check, and a click on a check
    // box checks without selecting.
    m_click = Gtk::GestureClick::create();
    m_click->set_button(0);
    m_click->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    m_click->signal_pressed().connect(sigc::mem_fun(*this, &CFileListCtrl::OnPressed));
    m_view.add_controller(m_click);

    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint, guint, Gdk::ModifierType) {
            m_clickSelecting = false;
            return false;
        },
        false);
    m_view.add_controller(keys);

    // The font is known once the list is on screen.
    m_view.signal_realize().connect(sigc::mem_fun(*this, &CFileListCtrl::FitColumns));

    set_child(m_view);
    set_has_frame(true);
    set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
}

CFileListCtrl::~CFileListCtrl()
{
    if (m_job)
        m_job->cancel = true;
}

void CFileListCtrl::BuildColumns()
{
    auto* check = Gtk::make_managed<Gtk::CellRendererToggle>();
    m_checkColumn = Gtk::make_managed<Gtk::TreeViewColumn>("");
    m_checkColumn->pack_start(*check, false);
    m_checkColumn->set_cell_data_func(*check, [this, check](Gtk::CellRenderer*, const Gtk::TreeModel::const_iterator& it) {
        const int row = RowOf(it);
        check->set_active(row >= 0 && m_model.IsChecked(static_cast<std::size_t>(row)));
    });
    m_checkColumn->set_sizing(Gtk::TreeViewColumn::Sizing::FIXED);
    m_checkColumn->set_fixed_width(CHECK_WIDTH);
    m_view.append_column(*m_checkColumn);

    for (int c = 0; c < 4; ++c) {
        const ColumnSpec& spec = COLUMN_SPECS[c];
        auto* column = Gtk::make_managed<Gtk::TreeViewColumn>(spec.heading);
        if (c == CFileListModel::COLUMN_NAME) {
            auto* icon = Gtk::make_managed<Gtk::CellRendererPixbuf>();
            column->pack_start(*icon, false);
            column->set_cell_data_func(*icon, [this, icon](Gtk::CellRenderer*, const Gtk::TreeModel::const_iterator& it) {
                const int row = RowOf(it);
                icon->property_gicon() = row >= 0 ? IconFor(static_cast<std::size_t>(row)) : Glib::RefPtr<Gio::Icon>();
            });
        }
        auto* text = Gtk::make_managed<Gtk::CellRendererText>();
        text->property_xalign() = spec.xalign;
        text->property_ellipsize() = Pango::EllipsizeMode::END;
        column->pack_start(*text, true);
        column->set_cell_data_func(*text, [this, text, c](Gtk::CellRenderer*, const Gtk::TreeModel::const_iterator& it) {
            const int row = RowOf(it);
            if (row < 0) {
                text->property_text() = "";
                return;
            }
            const auto r = static_cast<std::size_t>(row);
            switch (c) {
            case CFileListModel::COLUMN_NAME: text->property_text() = m_model.GetNameText(r); break;
            case CFileListModel::COLUMN_TYPE: text->property_text() = m_model.GetTypeText(r); break;
            case CFileListModel::COLUMN_SIZE: text->property_text() = m_model.GetSizeText(r); break;
            default: text->property_text() = m_model.GetTimeText(r); break;
            }
        });
        column->set_sizing(Gtk::TreeViewColumn::Sizing::FIXED);
        column->set_fixed_width(spec.width);
        column->set_expand(c == CFileListModel::COLUMN_NAME);
        if (c == CFileListModel::COLUMN_SIZE || c == CFileListModel::COLUMN_TIME)
            m_measured.push_back({column, text, WidestTexts(c)});
        column->set_resizable(true);
        column->set_alignment(spec.xalign);
        column->set_clickable(true);
        column->signal_clicked().connect([this, c] { ClickColumn(c); });
        m_view.append_column(*column);
    }
}

void CFileListCtrl::FitColumns()
{
    // The cell's own measure: text, padding and the room the view keeps around a cell.
    for (const MeasuredColumn& m : m_measured) {
        int widest = 0;
        for (const std::string& text : m.texts) {
            m.cell->property_text() = text;
            int x = 0, y = 0, width = 0, height = 0;
            m.column->cell_get_size(x, y, width, height);
            widest = std::max(widest, width);
        }
        m.cell->property_text() = "";
        if (widest > 0)
            m.column->set_fixed_width(widest + CELL_SLACK);
    }
}

int CFileListCtrl::RowOf(const Gtk::TreeModel::const_iterator& iter) const
{
    const Gtk::TreeModel::Path path = m_store->get_path(iter);
    if (path.empty() || path[0] < 0 || static_cast<std::size_t>(path[0]) >= m_model.GetCount())
        return -1;
    return path[0];
}

Glib::RefPtr<Gio::Icon> CFileListCtrl::IconFor(std::size_t row)
{
    // The icon follows the type, and the type the name: one lookup per extension.
    const std::string name = GetFileNamePart(m_model.At(row).path);
    const std::string key = CMediaKinds::KeyOf(name);
    auto found = m_icons.find(key);
    if (found != m_icons.end())
        return found->second;
    if (!g_fileTypesReady) {
        // Asking now would wait for the worker that loads the database.
        if (!m_waitingForTypes) {
            m_waitingForTypes = true;
            FileTypesReadySignal().connect(sigc::mem_fun(m_view, &Gtk::Widget::queue_draw));
        }
        return {};
    }
    gboolean uncertain = FALSE;
    gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
    Glib::RefPtr<Gio::Icon> icon;
    if (type != nullptr) {
        if (GIcon* gicon = g_content_type_get_symbolic_icon(type))
            icon = Glib::wrap(gicon);
        g_free(type);
    }
    m_icons.emplace(key, icon);
    return icon;
}

void CFileListCtrl::SetOpenWithContext(const std::string& name, int menuId)
{
    if (!name.empty() && menuId != 0) {
        m_openWithName = name;
        m_contextMenuId = menuId;
    } else {
        m_openWithName.clear();
        m_contextMenuId = 0;
    }
}

void CFileListCtrl::FillFolder(const std::string& folder, MediaKind kind, bool append)
{
    if (m_job) {
        m_job->cancel = true;
        m_job.reset();
    }
    if (!append) {
        m_model.Clear();
        m_currentItem = 0;
        ResizeStore(0);
        OnChecksChanged();
    }
    if (folder.empty() || (append && m_model.BlocksAppend(folder))) {
        set_cursor("");
        return;
    }
    auto job = std::make_shared<FileListJob>();
    job->folder = folder;
    job->kind = kind;
    job->append = append;
    job->withTitles = m_model.UsesTitles();
    StartJob(job);
}

void CFileListCtrl::FillPlaylist(const std::string& playlist)
{
    if (m_job) {
        m_job->cancel = true;
        m_job.reset();
    }
    auto job = std::make_shared<FileListJob>();
    job->playlist = playlist;
    job->kind = MediaKind::Audio;
    job->withTitles = m_model.UsesTitles();
    StartJob(job);
}

void CFileListCtrl::StartJob(const std::shared_ptr<FileListJob>& job)
{
    m_job = job;
    set_cursor("wait");
    const CUiOwner owner = m_guard.Owner();
    auto run = [this, job, owner] {
        RunFileListJob(*job);
        PostToUi(owner, [this, job] { ApplyJob(job); });
    };
    if (!CBackgroundWork::Get().GetPool(CBackgroundWork::Lane::Files).Post(run))
        run(); // no room for it: list here rather than leave the list waiting
}

void CFileListCtrl::ApplyJob(const std::shared_ptr<FileListJob>& job)
{
    if (job != m_job || job->cancel)
        return;
    m_job.reset();
    set_cursor("");
    if (!job->playlist.empty()) {
        ApplyPlaylist(job);
        return;
    }
    if (!job->append) {
        m_model.Replace(std::move(job->rows));
        OnChecksChanged();
        // Detached while it grows: one relayout instead of one per row.
        m_view.unset_model();
        ResizeStore(m_model.GetCount());
        m_view.set_model(m_store);
        if (m_filled)
            m_filled();
        return;
    }
    if (job->rows.empty())
        return;
    const std::size_t first = m_model.Append(std::move(job->rows));
    ResizeStore(m_model.GetCount());
    m_view.scroll_to_row(Gtk::TreeModel::Path(std::to_string(first)));
}

void CFileListCtrl::ApplyPlaylist(const std::shared_ptr<FileListJob>& job)
{
    // A playlist that gives nothing to play leaves the list as it was, and says why.
    const std::string name = ToDisplayText(GetFileNamePart(job->playlist));
    if (!job->playlistStatus || job->rows.empty()) {
        std::string text;
        if (!job->playlistStatus)
            text = "Cannot read the playlist " + name + ":\n" + job->playlistStatus.Text();
        else if (job->playlistLines == 0)
            text = "The playlist " + name + " lists no files.";
        else
            text = "None of the files the playlist " + name + " lists was found.";
        ShowMessageBox(dynamic_cast<Gtk::Window*>(get_root()), text);
        return;
    }
    m_model.Replace(std::move(job->rows), false);
    m_model.CheckAll();
    OnChecksChanged();
    m_currentItem = 0;
    m_view.unset_model();
    ResizeStore(0);
    ResizeStore(m_model.GetCount());
    m_view.set_model(m_store);
    if (m_filled)
        m_filled();
}

void CFileListCtrl::ResizeStore(std::size_t count)
{
    const auto rows = static_cast<std::size_t>(m_store->children().size());
    if (count == 0) {
        m_store->clear();
        return;
    }
    for (std::size_t i = rows; i < count; ++i)
        m_store->append();
    for (std::size_t i = count; i < rows; ++i)
        m_store->erase(std::prev(m_store->children().end()));
}

void CFileListCtrl::RemovePaths(const std::vector<std::string>& paths)
{
    // Highest first, so the indices of the rows still to go stay right.
    for (std::size_t row : m_model.RemovePaths(paths))
        m_store->erase(std::next(m_store->children().begin(), static_cast<std::ptrdiff_t>(row)));
    OnChecksChanged();
    Redraw();
}

void CFileListCtrl::UpdateFiles(const std::vector<std::pair<std::string, std::string>>& changes)
{
    const int selected = GetSelectedRow();
    const std::uint64_t serial = selected < 0 ? 0 : m_model.At(static_cast<std::size_t>(selected)).serial;
    bool updated = false;
    for (const auto& [from, to] : changes)
        updated = m_model.UpdateFile(from, to) || updated;
    if (!updated)
        return;
    m_model.Resort();
    if (serial != 0) {
        m_selecting = true;
        m_view.get_selection()->select(Gtk::TreeModel::Path(std::to_string(m_model.FindBySerial(serial))));
        m_selecting = false;
    }
    Redraw();
}

void CFileListCtrl::Redraw()
{
    m_view.queue_draw();
}

int CFileListCtrl::GetSelectedRow() const
{
    auto iter = m_view.get_selection()->get_selected();
    return iter ? RowOf(iter) : -1;
}

std::string CFileListCtrl::GetSelectedPath() const
{
    const int row = GetSelectedRow();
    return row < 0 ? std::string() : m_model.At(static_cast<std::size_t>(row)).path;
}

void CFileListCtrl::SelectOnly(int row)
{
    if (row < 0 || row >= GetCount())
        return;
    const Gtk::TreeModel::Path path(std::to_string(row));
    m_selecting = true;
    m_view.get_selection()->unselect_all();
    m_view.get_selection()->select(path);
    m_selecting = false;
    m_currentItem = m_model.At(static_cast<std::size_t>(row)).serial;
    m_view.scroll_to_row(path);
}

void CFileListCtrl::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= GetCount())
        return;
    m_model.SetChecked(static_cast<std::size_t>(row), checked);
    OnChecksChanged();
    Redraw();
}

void CFileListCtrl::OnChecksChanged()
{
    if (!AnyChecked())
        m_autoPlay = false;
    NotifyPlayOrder();
}

std::string CFileListCtrl::NextToPlay(const std::string& currentUrl, bool loop, bool select)
{
    const int row = m_model.NextToPlay(currentUrl, loop);
    if (row < 0)
        return {};
    if (select)
        SelectOnly(row);
    return m_model.At(static_cast<std::size_t>(row)).path;
}

std::string CFileListCtrl::PeekNextToPlay(const std::string& currentUrl, bool loop) const
{
    const int row = m_model.PeekNextToPlay(currentUrl, loop);
    return row < 0 ? std::string() : m_model.At(static_cast<std::size_t>(row)).path;
}

void CFileListCtrl::ClickColumn(int column)
{
    if (m_model.GetCount() < 2)
        return;
    // The selection follows its file to where the sort puts it.
    const int selected = GetSelectedRow();
    const std::uint64_t serial = selected < 0 ? 0 : m_model.At(static_cast<std::size_t>(selected)).serial;
    m_model.ClickColumn(column);
    NotifyPlayOrder();
    if (serial != 0) {
        const int row = m_model.FindBySerial(serial);
        m_selecting = true;
        m_view.get_selection()->select(Gtk::TreeModel::Path(std::to_string(row)));
        m_selecting = false;
    }
    Redraw();
}

int CFileListCtrl::HitTest(double x, double y, Gtk::TreeViewColumn** column) const
{
    int bx = 0;
    int by = 0;
    m_view.convert_widget_to_bin_window_coords(static_cast<int>(x), static_cast<int>(y), bx, by);
    Gtk::TreeModel::Path path;
    Gtk::TreeViewColumn* hit = nullptr;
    int cx = 0;
    int cy = 0;
    if (by < 0 || !m_view.get_path_at_pos(bx, by, path, hit, cx, cy) || path.empty())
        return -1;
    if (column != nullptr)
        *column = hit;
    return path[0] < GetCount() ? path[0] : -1;
}

void CFileListCtrl::OnPressed(int nPress, double x, double y)
{
    const unsigned button = m_click->get_current_button();
    if (button == GDK_BUTTON_SECONDARY) {
        m_contextRow = -1;
        if (m_contextMenuId == 0 || m_openWithName.empty())
            return;
        m_click->set_state(Gtk::EventSequenceState::CLAIMED);
        m_contextRow = HitTest(x, y, nullptr);
        ShowContextMenu(x, y);
        return;
    }
    if (button != GDK_BUTTON_PRIMARY)
        return;
    Gtk::TreeViewColumn* column = nullptr;
    const int row = HitTest(x, y, &column);
    if (row >= 0 && column == m_checkColumn) {
        m_click->set_state(Gtk::EventSequenceState::CLAIMED);
        if (nPress == 1)
            SetChecked(row, !m_model.IsChecked(static_cast<std::size_t>(row)));
        return;
    }
    TakeFocus();
    if (row < 0 && IsBelowHeader(y)) {
        // Outside the rows: nothing is chosen, and a selected row lets go, which the
        // page hears as a change (it shows the blank page).
        m_click->set_state(Gtk::EventSequenceState::CLAIMED);
        m_selecting = true;
        m_view.get_selection()->unselect_all();
        m_selecting = false;
        m_clickSelecting = true;
        CheckSelectionChange();
        return;
    }
    m_clickSelecting = true;
    // Runs after the view's own handling of this press.
    std::weak_ptr<bool> alive = m_alive;
    Glib::signal_idle().connect_once([this, alive, nPress, row] {
        if (alive.expired())
            return;
        CheckSelectionChange();
        if (nPress == 2 && row >= 0)
            Post(ID_PRIVATE_LIST_DBLCLK);
    });
}

void CFileListCtrl::TakeFocus()
{
    // The tree view, given the focus, selects its cursor row, the first row after a
    // fill: not a row the user chose. The focus comes, the selection stays.
    const int before = GetSelectedRow();
    m_selecting = true;
    m_view.grab_focus();
    if (GetSelectedRow() != before) {
        m_view.get_selection()->unselect_all();
        if (before >= 0)
            m_view.get_selection()->select(Gtk::TreeModel::Path(std::to_string(before)));
    }
    m_selecting = false;
}

bool CFileListCtrl::IsBelowHeader(double y) const
{
    int bx = 0;
    int by = 0;
    m_view.convert_widget_to_bin_window_coords(0, static_cast<int>(y), bx, by);
    return by >= 0;
}

void CFileListCtrl::OnSelectionChanged()
{
    if (m_selecting || !m_clickSelecting)
        return;
    CheckSelectionChange();
}

void CFileListCtrl::CheckSelectionChange()
{
    if (!m_clickSelecting)
        return;
    m_clickSelecting = false;
    const int row = GetSelectedRow();
    const std::uint64_t serial = row < 0 ? 0 : m_model.At(static_cast<std::size_t>(row)).serial;
    if (serial == m_currentItem)
        return;
    m_currentItem = serial;
    Post(ID_PRIVATE_LIST_SELECTED);
}

void CFileListCtrl::ShowContextMenu(double x, double y)
{
    // The menu hangs on the scrolled window: a tree view keeps its own order of child
    // nodes that a popover would disturb.
    double wx = x;
    double wy = y;
    m_view.translate_coordinates(*this, x, y, wx, wy);
    PopupMenuResource(m_contextMenuId, *this, wx, wy);
}

void CFileListCtrl::Post(int id)
{
    if (m_post)
        m_post(id);
}

bool CFileListCtrl::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id == ID_OPENWITH_SELECT || (ui.id >= ID_OPENWITH_FIRST && ui.id <= ID_OPENWITH_LAST)) {
        // Only a right-click on a row gives Open With a file.
        ui.Enable(!m_openWithName.empty() && m_contextRow >= 0 && m_contextRow < GetCount());
        return true;
    }
    switch (ui.id) {
    case ID_LIST_CHECK_ALL:
    case ID_LIST_REVERSE_CHECK:
        ui.Enable(GetCount() > 0);
        return true;
    default:
        return false;
    }
}

bool CFileListCtrl::OnCommand(int id)
{
    if (id == ID_OPENWITH_SELECT || (id >= ID_OPENWITH_FIRST && id <= ID_OPENWITH_LAST)) {
        if (m_openWithName.empty() || m_contextRow < 0 || m_contextRow >= GetCount())
            return true;
        const std::string file = m_model.At(static_cast<std::size_t>(m_contextRow)).path;
        if (id == ID_OPENWITH_SELECT)
            SelectOpenWithProgram(dynamic_cast<Gtk::Window*>(get_root()), m_openWithName, file);
        else
            RunOpenWithEntry(m_openWithName, id, file);  // a launch that fails is not reported
        return true;
    }
    switch (id) {
    case ID_LIST_CHECK_ALL:
        m_model.CheckAll();
        OnChecksChanged();
        Redraw();
        return true;
    case ID_LIST_REVERSE_CHECK:
        m_model.ReverseCheck();
        OnChecksChanged();
        Redraw();
        return true;
    default:
        return false;
    }
}

} // namespace mev
