#include "ui/pages/media_page.hpp"

#include <algorithm>
#include <utility>

#include "core/app/start_paths.hpp"
#include "core/commands/command_ids.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/url.hpp"
#include "ui/dialogs/file_operation_dlg.hpp"
#include "ui/web/page_browser.hpp"

namespace mev {

namespace {

// The page's first layout in dialog units: the tree 135 x 112, with a 2-unit gap to the
// list below and to the browser on the right, in a 227 x 176 page.
constexpr int TEMPLATE_TREE_WIDTH = 135;
constexpr int TEMPLATE_TREE_HEIGHT = 112;

std::string CountText(const char* label, int count)
{
    return std::string(label) + " " + std::to_string(std::max(count, 0));
}

} // namespace

CMediaPage::CMediaPage(MediaKind kind, CMediaPageHost& host)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL), m_kind(kind), m_host(host)
{
    set_name("media-page");
    m_tree.SetCommandPoster([this](int id) { PostCommand(id); });

    m_listPlaceholder.set_name("list-placeholder");
    m_listPane = &m_listPlaceholder;

    // Nobody replaces the browser pane, so the constructor may create it directly.
    m_browser = CMediaPage::CreateBrowserPane();
    m_browserFrame.set_child(m_browser->GetWidget());
    // Panes show where the keyboard focus is.
    m_tree.add_css_class("mev-pane");
    m_browserFrame.add_css_class("mev-pane");
    m_listPlaceholder.add_css_class("mev-pane");
    m_browser->signal_status_text().connect([this](const std::string& text) { m_host.SetStatusMessage(text); });
    m_browser->signal_view_replaced().connect([this] { m_browserFrame.set_child(m_browser->GetWidget()); });

    m_leftColumn.set_start_child(m_tree);
    m_leftColumn.set_end_child(m_listPlaceholder);
    m_leftColumn.set_resize_start_child(false);
    m_leftColumn.set_resize_end_child(true);
    m_leftColumn.set_shrink_start_child(true);
    m_leftColumn.set_shrink_end_child(true);
    m_leftColumn.set_wide_handle(true);

    m_columns.set_start_child(m_leftColumn);
    m_columns.set_end_child(m_browserFrame);
    m_columns.set_resize_start_child(false);
    m_columns.set_resize_end_child(true);
    m_columns.set_shrink_start_child(true);
    m_columns.set_shrink_end_child(true);
    m_columns.set_wide_handle(true);
    m_columns.set_hexpand(true);
    m_columns.set_vexpand(true);
    append(m_columns);

    MeasureTemplate();
    Relayout();

    auto keys = Gtk::EventControllerKey::create();
    // Capture phase: Esc must stop playback also while the browser has the focus.
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CMediaPage::OnKeyPressed), false);
    add_controller(keys);

    signal_map().connect([this] { OnShown(); });

    // A splitter's largest position moves with the page's size: that is the resize that
    // lays the panes out again.
    m_columns.property_max_position().signal_changed().connect([this] { PostCommand(ID_PRIVATE_RELAYOUT); });
    m_leftColumn.property_max_position().signal_changed().connect([this] { PostCommand(ID_PRIVATE_RELAYOUT); });

    // The kind-specific panes and the tree's root come once the object is complete,
    // so the subclasses' operations are the ones called.
    m_startIdle = Glib::signal_idle().connect(
        [this] {
            Start();
            return false;
        },
        Glib::PRIORITY_HIGH_IDLE);
}

CMediaPage::~CMediaPage()
{
    m_startIdle.disconnect();
    m_browserFrame.unset_child();
}

void CMediaPage::MeasureTemplate()
{
    // Dialog units follow the font: a quarter of the average character width across and
    // an eighth of the line height down.
    auto metrics = get_pango_context()->get_metrics(get_pango_context()->get_font_description());
    double charWidth = metrics.get_approximate_char_width() / static_cast<double>(PANGO_SCALE);
    double lineHeight = (metrics.get_ascent() + metrics.get_descent()) / static_cast<double>(PANGO_SCALE);
    if (charWidth <= 0)
        charWidth = 6;
    if (lineHeight <= 0)
        lineHeight = 13;
    m_treeWidth = static_cast<int>(TEMPLATE_TREE_WIDTH * charWidth / 4 + 0.5);
    m_treeHeight = static_cast<int>(TEMPLATE_TREE_HEIGHT * lineHeight / 8 + 0.5);
}

void CMediaPage::Relayout()
{
    // Splitter drags are not kept: every resize brings the tree back to its first size.
    m_columns.set_position(m_treeWidth);
    m_leftColumn.set_position(m_treeHeight);
}

void CMediaPage::Start()
{
    if (m_started)
        return;
    Gtk::Widget* pane = CreateListPane();
    if (pane != nullptr && pane != &m_listPlaceholder) {
        m_leftColumn.set_end_child(*pane);
        m_listPane = pane;
        m_listPane->add_css_class("mev-pane");
    }
    m_tree.SetRoot(GetRootIcon(), GetTabName());
    m_started = true;

    const std::string file = GetStartFile();
    if (!file.empty())
        CMediaKinds::Instance().EnsureBuilt();
    if (!file.empty() && GetFolderOf(file) == m_tree.GetRootPath() &&
        CMediaKinds::Instance().Contains(m_kind, CMediaKinds::KeyOf(GetFileNamePart(file)))) {
        SetStartFile("");
        m_tree.SelectRoot();
        OpenStartFile(file);
    }
}

void CMediaPage::OpenStartFile(const std::string&)
{
}

void CMediaPage::OpenFolder(const std::string& folder, const std::string& file)
{
    // A page made just now takes its first root before this one.
    m_startIdle.disconnect();
    Start();
    m_tree.Rebuild(folder);
    m_tree.SelectRoot();
    if (!file.empty())
        OpenStartFile(file);
}

void CMediaPage::PostCommand(int id)
{
    // sigc::mem_fun ties the call to this page: it is dropped if the page goes first.
    Glib::signal_idle().connect_once(sigc::bind(sigc::mem_fun(*this, &CMediaPage::RunPosted), id),
                                     Glib::PRIORITY_DEFAULT);
}

void CMediaPage::RunPosted(int id)
{
    CCmdUI ui;
    ui.id = id;
    if (OnUpdateCommand(ui)) {
        if (ui.enabled)
            OnCommand(id);
        return;
    }
    m_host.RouteCommand(id);
}

bool CMediaPage::IsBrowserBlank() const
{
    std::string url = m_browser->GetLocationUrl();
    return url.empty() || url == GetBlankPageUrl();
}

bool CMediaPage::OnUpdateCommand(CCmdUI& ui)
{
    switch (ui.id) {
    case ID_PRIVATE_RELAYOUT:
    case ID_VIEW_CHANGEFOLDER:
    case ID_PRIVATE_FOLDER_SELECTED:
    case ID_LIST_REFRESH:
    case ID_APP_ABOUT:
        ui.Enable(true);
        return true;
    case ID_VIEW_FULLSCREEN:
        ui.Enable(!IsBrowserBlank() || m_host.IsFullScreenShown());
        return true;
    case ID_VIEW_REFRESH:
    case ID_VIEW_STOP:
        ui.Enable(!IsBrowserBlank());
        return true;
    case ID_VIEW_LOOP:
        ui.Enable(!IsBrowserBlank());
        ui.SetCheck(m_loop);
        return true;
    case ID_INDICATOR_TOTAL:
        ui.Enable(true);
        ui.SetText(CountText("Total:", GetTotalCount()));
        return true;
    case ID_INDICATOR_SELECTED:
        ui.Enable(true);
        ui.SetText(CountText("Selected:", GetCheckedCount()));
        return true;
    case ID_FILE_COPY_SELECTED:
    case ID_FILE_MOVE_SELECTED:
    case ID_FILE_DELETE_SELECTED:
        ui.Enable(GetCheckedCount() != 0);
        return true;
    default:
        break;
    }
    ICommandTarget* list = GetListPaneTarget();
    return list != nullptr && list->OnUpdateCommand(ui);
}

ICommandTarget* CMediaPage::GetListPaneTarget() const
{
    // The list area takes the commands the page leaves, once a real list replaces the
    // placeholder.
    if (m_listPane == &m_listPlaceholder)
        return nullptr;
    return dynamic_cast<ICommandTarget*>(m_listPane);
}

bool CMediaPage::OnCommand(int id)
{
    switch (id) {
    case ID_PRIVATE_RELAYOUT:
        Relayout();
        return true;
    case ID_VIEW_CHANGEFOLDER:
        ChangeFolder();
        return true;
    case ID_PRIVATE_FOLDER_SELECTED:
        OnFolderSelected(m_tree.GetSelectedFolder());
        return true;
    case ID_VIEW_FULLSCREEN:
        ToggleFullScreen();
        return true;
    case ID_VIEW_REFRESH:
        m_browser->Refresh();
        return true;
    case ID_INDICATOR_TOTAL:
    case ID_INDICATOR_SELECTED:
        return true;
    case ID_VIEW_STOP:
        m_loop = false;
        StopPlayback();
        return true;
    case ID_FILE_COPY_SELECTED:
        CopyChecked();
        return true;
    case ID_FILE_MOVE_SELECTED:
        MoveChecked();
        return true;
    case ID_FILE_DELETE_SELECTED:
        DeleteChecked();
        return true;
    case ID_LIST_REFRESH:
        RefreshList(m_tree.GetSelectedFolder());
        return true;
    case ID_APP_ABOUT:
        m_browser->Navigate(GetFrontPageUrl());
        return true;
    case ID_VIEW_LOOP:
        m_loop = !m_loop;
        if (m_loop)
            OnLoopEnabled();
        return true;
    default:
        break;
    }
    ICommandTarget* list = GetListPaneTarget();
    return list != nullptr && list->OnCommand(id);
}

void CMediaPage::OnPageMessage(int code, const std::string& url, std::function<void(int)> done)
{
    if (code == PAGEMSG_NAVIGATE && !url.empty())
        m_browser->Navigate(url);
    if (done)
        done(0);
}

void CMediaPage::ChangeFolder(const std::string& folder)
{
    m_tree.ChangeFolder(folder);
}

void CMediaPage::OnShown()
{
    m_host.SetCurrentPage(this);
}

bool CMediaPage::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state)
{
    const auto modifiers = Gdk::ModifierType::SHIFT_MASK | Gdk::ModifierType::CONTROL_MASK |
                               Gdk::ModifierType::ALT_MASK;
    if (keyval != GDK_KEY_Escape || (state & modifiers) != Gdk::ModifierType())
        return false;
    // Esc stops what plays but leaves the loop switch as it was.
    StopPlayback();
    return true;
}

Gtk::Widget* CMediaPage::CreateListPane()
{
    return &m_listPlaceholder;
}

std::unique_ptr<CPageBrowser> CMediaPage::CreateBrowserPane()
{
    auto browser = std::make_unique<CPageBrowser>();
    browser->Navigate(GetBlankPageUrl());
    return browser;
}

const char* CMediaPage::GetTabName() const
{
    switch (m_kind) {
    case MediaKind::Audio: return "Audios";
    case MediaKind::Video: return "Videos";
    default: return "Images";
    }
}

int CMediaPage::GetRootIcon() const
{
    switch (m_kind) {
    case MediaKind::Audio: return 3;
    case MediaKind::Video: return 4;
    default: return 2;
    }
}

void CMediaPage::OnFolderSelected(const std::string&) {}

int CMediaPage::GetTotalCount() const
{
    return 0;
}

int CMediaPage::GetCheckedCount() const
{
    return 0;
}

void CMediaPage::ToggleFullScreen()
{
    m_host.ToggleFullScreen();
}

void CMediaPage::StopPlayback()
{
    m_browser->Navigate(GetBlankPageUrl());
}

Gtk::Window* CMediaPage::GetWindow()
{
    return dynamic_cast<Gtk::Window*>(get_root());
}

void CMediaPage::CopyChecked()
{
    RunFileOperation(FileOpKind::Copy);
}

void CMediaPage::MoveChecked()
{
    RunFileOperation(FileOpKind::Move);
}

void CMediaPage::DeleteChecked()
{
    RunFileOperation(FileOpKind::Delete);
}

void CMediaPage::RunFileOperation(FileOpKind kind)
{
    CollectCheckedFiles([this, kind](std::vector<std::string> paths) {
        CFileOperationDlg::RunCommand(GetWindow(), kind, std::move(paths), [this](const CFileOperation& op) {
            if (op.Kind() != FileOpKind::Copy && op.CountOf(FileOpResult::Done) > 0)
                OnFilesChanged(op);
        });
    });
}

void CMediaPage::CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done)
{
    done({});
}

void CMediaPage::OnFilesChanged(const CFileOperation&) {}
void CMediaPage::RefreshList(const std::string&) {}
void CMediaPage::OnLoopEnabled() {}

} // namespace mev
