#pragma once

#include <memory>
#include <string>
#include <vector>

#include <glib.h>
#include <gtkmm/application.h>

#include "core/commands/command_target.hpp"
#include "core/work/background_work.hpp"

namespace mev {

class CMainFrame;

// The application object: starts the platform and the browser engine, opens the main
// window maximized, and is the last link of the command chain (Exit).
class CMEVApp : public ICommandTarget {
public:
    CMEVApp();
    ~CMEVApp() override;

    // Runs the main loop until the main window closes. argv0 is the only argument GTK
    // sees; our own options are read through GetCommandLineValue.
    int Run(const char* argv0);

    CMainFrame* GetMainFrame() const { return m_frame.get(); }

    // Folders the web process may read media from: the tab roots of the command line
    // and the settings, the XDG media folders, the usual mount points, the program
    // folder. Only existing folders; never the home folder or one above it.
    static std::vector<std::string> CollectSandboxFolders();

    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

    // Closes the main window as its close box would (also on SIGTERM, SIGINT, SIGHUP).
    void CloseMainWindow();

    // Chooses GTK's renderer through GSK_RENDERER, before GTK starts, unless the
    // environment names one already; true when it set the variable. With cairo chosen,
    // GL drivers are hidden from this process until OnStartup has set up the web engine:
    // a caller that makes web views without OnStartup must not use it.
    static bool ChooseRenderer();

private:
    void OnStartup();
    void OnActivate();
    void InstallStyles();
    // True once a quit signal came, also while the main loop does not run yet: start-up
    // asks between its slow steps and skips the rest instead of opening a window first.
    bool QuitRequested();
    void StopBackgroundWork();

    // Every background job of the program; it goes last, after the window that used it.
    CBackgroundWork m_work;
    Glib::RefPtr<Gtk::Application> m_app;
    std::unique_ptr<CMainFrame> m_frame;
    std::vector<unsigned> m_signalSources;
    GMainContext* m_quitContext = nullptr; // watches the same signals for QuitRequested
    std::vector<GSource*> m_quitSources;
    bool m_quitRequested = false;
};

} // namespace mev
