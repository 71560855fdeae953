#include "ui/app/mev_app.hpp"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string_view>

#include <pthread.h>

#include <glib-unix.h>
#include <glibmm/miscutils.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/stylecontext.h>

#include "core/commands/command_ids.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/file_request.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/settings.hpp"
#include "core/pages/picture_info.hpp"
#include "core/thumbs/picture_decoder.hpp"
#include "platform/platform_init.hpp"
#include "platform/session_bus.hpp"
#include "ui/app/color_scheme.hpp"
#include "ui/app/command_actions.hpp"
#include "ui/app/display_info.hpp"
#include "ui/app/main_frame.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/widgets/file_list_ctrl.hpp"
#include "ui/dialogs/file_operation_dlg.hpp"

namespace mev {
namespace {

constexpr const char* APPLICATION_ID = "org.mev.MediaBrowser";
const char* const TAB_NAMES[] = {"Images", "Audios", "Videos"};

const char* const STYLES = R"css(
.mev-tabrow { border-top: 1px solid alpha(currentColor, 0.3); }
.mev-tab { border: 1px solid alpha(currentColor, 0.3); border-top-width: 0;
           border-radius: 0 0 3px 3px; padding: 0 4px; background-color: alpha(currentColor, 0.06); }
.mev-tab.selected { background-color: @theme_base_color; }
.mev-tab label.mev-tab-focused { color: #0000ff; }
.mev-statuspane { border: 1px solid alpha(currentColor, 0.25); padding: 1px 3px; min-height: 18px; }
.mev-fullscreen { background-color: black; }
.mev-pane { outline: 1px solid transparent; outline-offset: -2px; }
.mev-pane:focus-within { outline: 2px solid @theme_selected_bg_color; }
/* The toolkit's own bitmaps: the icon theme's arrows are SVG, whose renderer costs the
   program 7 MB and its start a library load for two arrows. */
treeview.view.expander { -gtk-icon-source: -gtk-recolor(url("resource:///org/gtk/libgtk/icons/16x16/actions/pan-end-symbolic.symbolic.png")); }
treeview.view.expander:dir(rtl) { -gtk-icon-source: -gtk-recolor(url("resource:///org/gtk/libgtk/icons/16x16/actions/pan-end-symbolic-rtl.symbolic.png")); }
treeview.view.expander:checked { -gtk-icon-source: -gtk-recolor(url("resource:///org/gtk/libgtk/icons/16x16/actions/pan-down-symbolic.symbolic.png")); }
)css";

// The web engine warns at every start that GDK has no GL, which is this program's own
// choice (see ChooseRenderer): that one notice is not shown.
GLogWriterOutput WriteLogWithoutGlNotice(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data)
{
    constexpr std::string_view NOTICE = "Disabled hardware acceleration because GTK failed to initialize GL";
    for (gsize i = 0; i < count; ++i) {
        if (std::string_view(fields[i].key) == "MESSAGE" && fields[i].length < 0
            && std::string_view(static_cast<const char*>(fields[i].value)).starts_with(NOTICE))
            return G_LOG_WRITER_HANDLED;
    }
    return g_log_writer_default(level, fields, count, data);
}

// libglvnd reads its list of GL drivers once per process, at the first EGL call.
constexpr const char* EGL_DRIVER_FILES = "__EGL_VENDOR_LIBRARY_FILENAMES";
bool g_eglHeldBack = false;

gboolean OnQuitSignal(gpointer data)
{
    static_cast<CMEVApp*>(data)->CloseMainWindow();
    return G_SOURCE_CONTINUE;
}

gboolean OnEarlyQuitSignal(gpointer data)
{
    *static_cast<bool*>(data) = true;
    return G_SOURCE_CONTINUE;
}

// True when path is the home folder or lies above it: the web process must not see all
// of a person's files.
bool ExposesHome(const std::filesystem::path& path, const std::filesystem::path& home)
{
    if (home.empty())
        return false;
    auto p = path.begin();
    auto h = home.begin();
    for (; p != path.end() && h != home.end(); ++p, ++h) {
        if (*p != *h)
            return false;
    }
    return p == path.end();
}

} // namespace

CMEVApp::CMEVApp()
{
    CBackgroundWork::Install(&m_work);
    // First of all: a session that ends while the program is still starting closes it as
    // cleanly as later. The sources only run once the main loop turns.
    // Every source of a signal sees it: the second set, on a context of its own, lets
    // start-up notice a signal before the main loop runs.
    m_quitContext = g_main_context_new();
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        m_signalSources.push_back(g_unix_signal_add(signalNumber, &OnQuitSignal, this));
        GSource* source = g_unix_signal_source_new(signalNumber);
        g_source_set_callback(source, &OnEarlyQuitSignal, &m_quitRequested, nullptr);
        g_source_attach(source, m_quitContext);
        m_quitSources.push_back(source);
    }
    // A launcher may hand these signals over blocked: one that came before the handlers
    // were there is then taken now, and later ones are not lost either.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&quitSignals, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &quitSignals, nullptr);
}

CMEVApp::~CMEVApp()
{
    for (unsigned id : m_signalSources)
        g_source_remove(id);
    for (GSource* source : m_quitSources) {
        g_source_destroy(source);
        g_source_unref(source);
    }
    g_main_context_unref(m_quitContext);
    m_frame.reset();
    StopBackgroundWork();
}

void CMEVApp::StopBackgroundWork()
{
    // Every job is called off and its thread joined before main returns; then the decoder
    // goes, and with it the thread that starts its helper processes.
    m_work.Stop();
    CBackgroundWork::Install(nullptr);
    SetPictureInfoReader(nullptr);
    SetPictureDecoder(nullptr);
}

bool CMEVApp::QuitRequested()
{
    while (!m_quitRequested && g_main_context_iteration(m_quitContext, FALSE)) {
    }
    return m_quitRequested;
}

int CMEVApp::Run(const char* argv0)
{
    // A session that ended while the program was loading: nothing to open or to save.
    if (QuitRequested())
        return 0;
    ChooseRenderer();
    InitPlatform();
    // GTK names the window's X11 class after the program when it opens the display, which
    // comes before GApplication would set the name: without it the class is empty and the
    // menu entry's StartupWMClass matches nothing.
    g_set_prgname("mev");
    // Two copies may run at once and neither looks for the other.
    m_app = Gtk::Application::create(APPLICATION_ID, Gio::Application::Flags::NON_UNIQUE);
    m_app->signal_startup().connect(sigc::mem_fun(*this, &CMEVApp::OnStartup));
    m_app->signal_activate().connect(sigc::mem_fun(*this, &CMEVApp::OnActivate));

    char* args[] = {const_cast<char*>(argv0 != nullptr ? argv0 : "mev"), nullptr};
    if (QuitRequested())
        return 0;
    const int rc = m_app->run(1, args);
    // A copy or move under way stops, and its temporary file goes, before the program does.
    CFileOperationDlg::CancelAndWait();
    // The window, its pages and their browsers go now, while GTK is still up; the pages
    // write their settings on the way.
    m_frame.reset();
    StopBackgroundWork();
    return rc;
}

void CMEVApp::OnStartup()
{
    // Opening the display took its time; activation is skipped as well.
    if (QuitRequested()) {
        m_app->quit();
        return;
    }
    // ".swf" became a video, or not, before the start arguments were read.
    InitBrowserEngine(CollectSandboxFolders());
    // The web processes started from now on find their GL driver again.
    if (g_eglHeldBack)
        g_unsetenv(EGL_DRIVER_FILES);
    CCommandActions::InstallAccelerators(*m_app);
    InstallStyles();
    // The desktop's dark preference reaches the window and its pages.
    FollowDesktopColorScheme(g_application_get_dbus_connection(G_APPLICATION(m_app->gobj())));
}

void CMEVApp::OnActivate()
{
    if (m_frame) {
        m_frame->present();
        return;
    }
    if (QuitRequested()) {
        m_app->quit();
        return;
    }
    m_frame = std::make_unique<CMainFrame>(*m_app, *this);
    m_app->add_window(*m_frame);
    m_frame->Start();
    // Always maximized, whatever size the window had last time. The screen size is the
    // fallback where nothing manages windows.
    const CDisplayInfo display;
    m_frame->set_default_size(display.GetWidth(), display.GetHeight());
    m_frame->maximize();
    m_frame->present();
    // Ready before the first music or video folder is listed.
    CFileListCtrl::PrepareFileTypes();
}

bool CMEVApp::ChooseRenderer()
{
    // The window is mostly web views whose pages the web process paints in software.
    // GTK's GL renderer adds nothing to that, and where GL is a software rasteriser (no
    // GPU driver, virtual and remote displays) it keeps every view's picture as textures
    // on the heap (about 90 MB after the three tabs) and costs a quarter core while a
    // movie plays. Measured, cairo is the cheaper one; GSK_RENDERER still decides.
    const char* chosen = g_getenv("GSK_RENDERER");
    if (chosen != nullptr && *chosen != '\0')
        return false;
    g_setenv("GSK_RENDERER", "cairo", TRUE);
    // For GTK alone: programs started from here do not inherit the choice. The variable
    // stays set, as no thread may read the environment while it changes.
    HideFromLaunchedPrograms("GSK_RENDERER");
    // Nothing then draws with GL in this process, yet GDK would open GL on the display
    // anyway, and with a software rasteriser that loads and links its compiler twice
    // (EGL first, then GLX): 6 MB and up to 90 ms of a start. The web engine keeps its own
    // GL, which it opens whatever GDK does.
    if (g_getenv("GDK_DEBUG") == nullptr) {
        g_setenv("GDK_DEBUG", "gl-disable", TRUE);
        HideFromLaunchedPrograms("GDK_DEBUG");
        g_log_set_writer_func(&WriteLogWithoutGlNotice, nullptr, nullptr);
        // The engine's window side opens a GL display of its own all the same, which it
        // cannot use once GTK has no GL: it falls back to plain memory buffers, as it
        // does here in any case. With a software rasteriser that display maps its
        // compiler into this process (17 MB, and the relocation of 100,000 symbols). An
        // empty driver list until the engine is set up (OnStartup) keeps it out; the web
        // processes, which paint with GL, start later and find their driver.
        if (g_getenv(EGL_DRIVER_FILES) == nullptr && g_getenv("__EGL_VENDOR_LIBRARY_DIRS") == nullptr) {
            g_setenv(EGL_DRIVER_FILES, "", TRUE);
            HideFromLaunchedPrograms(EGL_DRIVER_FILES);
            g_eglHeldBack = true;
        }
    }
    return true;
}

void CMEVApp::InstallStyles()
{
    auto display = Gdk::Display::get_default();
    if (!display)
        return;
    auto provider = Gtk::CssProvider::create();
    provider->load_from_data(STYLES);
    Gtk::StyleContext::add_provider_for_display(display, provider, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // The application icon travels in the bundle, so that a copy run from its build or
    // disc folder has it too; an installed copy also finds it in the hicolor theme. The
    // bundle holds it drawn at each size: an exact size wins over the theme's SVG, and
    // the window then never loads the SVG renderer.
    Gtk::IconTheme::get_for_display(display)->add_resource_path("/mev/icons");
    Gtk::Window::set_default_icon_name(APPLICATION_ID);
}

void CMEVApp::CloseMainWindow()
{
    // A second signal may come once the window has gone: at logout the session bus closes
    // too, and GLib then raises one of its own.
    if (m_frame && m_frame->gobj() != nullptr && m_frame->get_visible())
        m_frame->close();
    else if (m_app)
        m_app->quit();
}

bool CMEVApp::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.id != ID_APP_EXIT)
        return false;
    ui.Enable(true);
    return true;
}

bool CMEVApp::OnCommand(int id)
{
    if (id != ID_APP_EXIT)
        return false;
    CloseMainWindow();
    return true;
}

std::vector<std::string> CMEVApp::CollectSandboxFolders()
{
    namespace fs = std::filesystem;
    std::vector<std::string> candidates;
    for (const char* tab : TAB_NAMES) {
        candidates.push_back(GetCommandLineValue(tab, true));
        candidates.push_back(GetSettingString(std::string("fld_of_") + tab, ""));
    }
    for (auto dir : {Glib::UserDirectory::PICTURES, Glib::UserDirectory::MUSIC, Glib::UserDirectory::VIDEOS})
        candidates.push_back(Glib::get_user_special_dir(dir));
    candidates.insert(candidates.end(), {"/media", "/run/media", "/mnt", GetProgramFolder()});

    std::error_code ec;
    fs::path home = Glib::get_home_dir();
    if (!home.empty())
        home = fs::weakly_canonical(home, ec);
    std::vector<std::string> folders;
    for (const std::string& candidate : candidates) {
        if (candidate.empty())
            continue;
        fs::path path = fs::weakly_canonical(candidate, ec);
        if (ec || !fs::is_directory(path, ec))
            continue;
        // A file given as a root stands for its folder; "/" would expose everything.
        if (path == path.root_path() || ExposesHome(path, home))
            continue;
        const std::string text = path.string();
        if (std::find(folders.begin(), folders.end(), text) == folders.end())
            folders.push_back(text);
    }
    return folders;
}

} // namespace mev
