#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm.h>

#include "core/files/file_operation.hpp"
#include "platform/post_to_ui.hpp"

namespace mev {

// Copy Selected Files..., Move Seleced Files and Delete Selected Files... on the files a
// page has chosen: the folder (remembered apart for copy and for move while the program
// runs) or the confirmation, then the operation as a background job behind a modal
// progress window with a Cancel button, then the failure count.
class CFileOperationDlg : public Gtk::Window {
public:
    using DoneFunction = std::function<void(const CFileOperation& op)>;

    // done runs on the main loop once the operation has finished, before the failure
    // message; it does not run when nothing was chosen or the person said no.
    static void RunCommand(Gtk::Window* parent, FileOpKind kind, std::vector<std::string> files, DoneFunction done);
    // Runs an operation whose files and folder are settled, behind the progress window.
    static void Start(Gtk::Window* parent, std::shared_ptr<CFileOperation> op, DoneFunction done);
    // True while an operation runs; another command then does nothing.
    static bool IsBusy();
    // Cancels the operation under way, if any, and returns once its worker has ended and
    // left no temporary file behind. For quitting.
    static void CancelAndWait();
    // The remembered folders, for tests.
    static std::string& LastFolder(FileOpKind kind);

    ~CFileOperationDlg() override;

private:
    CFileOperationDlg(Gtk::Window* parent, std::shared_ptr<CFileOperation> op, DoneFunction done);
    bool OnTick();
    bool OnShowLater();
    void Finish();

    std::shared_ptr<CFileOperation> m_op;
    DoneFunction m_done;
    Gtk::Box m_box{Gtk::Orientation::VERTICAL, 8};
    Gtk::Label m_label;
    Gtk::ProgressBar m_bar;
    Gtk::Button m_cancel{"Cancel"};
    sigc::connection m_tick;
    sigc::connection m_showLater;
    CLifetimeGuard m_guard;
};

} // namespace mev
