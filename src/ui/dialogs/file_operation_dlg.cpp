#include "ui/dialogs/file_operation_dlg.hpp"

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "core/shell/size_text.hpp"
#include "core/work/background_work.hpp"

#include "ui/widgets/browse_for_folder.hpp"
#include "ui/widgets/message_box.hpp"

namespace mev {

namespace {

bool g_bFileOperationBusy = false;

// The operation under way, kept so that quitting can cancel it and wait until its job
// has taken its temporary file away.
struct RunningOperation {
    std::mutex mutex;
    std::condition_variable ended;
    std::shared_ptr<CFileOperation> op; // under mutex, until its job has ended
    bool started = false;               // under mutex: its job has begun
};

RunningOperation& Running()
{
    static RunningOperation running;
    return running;
}

void WaitForWorker()
{
    RunningOperation& running = Running();
    std::unique_lock lock(running.mutex);
    running.ended.wait(lock, [&] { return !running.op; });
}

std::string FormatCount(const char* format, unsigned count)
{
    char text[256];
    std::snprintf(text, sizeof text, format, count);
    return text;
}

} // namespace

std::string& CFileOperationDlg::LastFolder(FileOpKind kind)
{
    static std::string s_copy;
    static std::string s_move;
    return kind == FileOpKind::Move ? s_move : s_copy;
}

bool CFileOperationDlg::IsBusy()
{
    return g_bFileOperationBusy;
}

void CFileOperationDlg::CancelAndWait()
{
    {
        std::lock_guard lock(Running().mutex);
        if (Running().op) {
            Running().op->Cancel();
            // Still behind other file jobs: it never starts, and has nothing to take away.
            if (!Running().started)
                Running().op.reset();
        }
    }
    WaitForWorker();
}

void CFileOperationDlg::RunCommand(Gtk::Window* parent, FileOpKind kind, std::vector<std::string> files,
                                   DoneFunction done)
{
    if (files.empty() || g_bFileOperationBusy)
        return;
    if (kind == FileOpKind::Delete) {
        const auto count = static_cast<unsigned>(files.size());
        ShowMessageBox(parent, FormatCount("This will delete %u files.\nNo undo. Are you sure?", count),
                       MessageBoxKind::Question,
                       [parent, files = std::move(files), done = std::move(done)](bool yes) mutable {
                           if (yes)
                               Start(parent, std::make_shared<CFileOperation>(FileOpKind::Delete, std::move(files)),
                                     std::move(done));
                       });
        return;
    }
    const char* title = kind == FileOpKind::Copy ? "Copy seleced files to another folder."
                                                 : "Move seleced files to another folder.";
    BrowseForFolder(parent, title, LastFolder(kind),
                    [parent, kind, files = std::move(files), done = std::move(done)](const std::string& folder) mutable {
                        if (folder.empty())
                            return;
                        LastFolder(kind) = folder;
                        Start(parent, std::make_shared<CFileOperation>(kind, std::move(files), folder), std::move(done));
                    });
}

void CFileOperationDlg::Start(Gtk::Window* parent, std::shared_ptr<CFileOperation> op, DoneFunction done)
{
    if (g_bFileOperationBusy)
        return;
    g_bFileOperationBusy = true;
    WaitForWorker(); // the last one has ended long since
    {
        std::lock_guard lock(Running().mutex);
        Running().op = op;
        Running().started = false;
    }
    auto* dialog = new CFileOperationDlg(parent, op, std::move(done)); // deletes itself in Finish
    // The job holds its own reference: the operation outlives the window if need be.
    auto run = [op, owner = dialog->m_guard.Owner(), dialog] {
        {
            std::lock_guard lock(Running().mutex);
            if (Running().op != op)
                return; // called off before it began
            Running().started = true;
        }
        op->Run();
        {
            std::lock_guard lock(Running().mutex);
            Running().op.reset();
        }
        Running().ended.notify_all();
        PostToUi(owner, [dialog] { dialog->Finish(); });
    };
    // A queue full of listings stuck on a dead disc: the operation runs here instead.
    if (!CBackgroundWork::Get().GetPool(CBackgroundWork::Lane::Files).Post(run))
        run();
}

CFileOperationDlg::CFileOperationDlg(Gtk::Window* parent, std::shared_ptr<CFileOperation> op, DoneFunction done)
    : m_op(std::move(op)), m_done(std::move(done))
{
    static const char* const titles[] = {"Copying", "Moving", "Deleting"};
    set_title(titles[static_cast<int>(m_op->Kind())]);
    if (parent != nullptr)
        set_transient_for(*parent);
    set_modal(true);
    set_resizable(false);
    set_deletable(false);
    set_default_size(420, -1);
    m_box.set_margin(16);
    m_label.set_xalign(0);
    m_label.set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    m_bar.set_show_text(true);
    m_cancel.set_halign(Gtk::Align::END);
    m_cancel.signal_clicked().connect([this] {
        m_op->Cancel();
        m_cancel.set_sensitive(false);
    });
    m_box.append(m_label);
    m_box.append(m_bar);
    m_box.append(m_cancel);
    set_child(m_box);
    signal_close_request().connect(
        [this] {
            m_op->Cancel();
            return true; // the window goes when the worker is done
        },
        false);
    m_tick = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CFileOperationDlg::OnTick), 50);
    // Quick operations finish before the window is worth showing.
    m_showLater = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CFileOperationDlg::OnShowLater), 300);
}

CFileOperationDlg::~CFileOperationDlg()
{
    m_tick.disconnect();
    m_showLater.disconnect();
}

bool CFileOperationDlg::OnShowLater()
{
    show();
    return false;
}

// Progress is read from the operation's counters while it runs; its end comes by PostToUi.
bool CFileOperationDlg::OnTick()
{
    const std::size_t count = m_op->FileCount();
    const std::size_t current = std::min(m_op->FilesDone() + 1, count);
    m_label.set_text("File " + std::to_string(current) + " of " + std::to_string(count));
    const std::uint64_t total = m_op->BytesTotal();
    if (total > 0) {
        const std::uint64_t done = m_op->BytesDone();
        m_bar.set_fraction(static_cast<double>(done) / static_cast<double>(total));
        m_bar.set_text(FormatSize(done, SizeStyle::Prose) + " of " + FormatSize(total, SizeStyle::Prose));
    } else {
        m_bar.set_fraction(count == 0 ? 1.0 : static_cast<double>(m_op->FilesDone()) / static_cast<double>(count));
        m_bar.set_text(std::to_string(m_op->FilesDone()) + " of " + std::to_string(count));
    }
    return true;
}

void CFileOperationDlg::Finish()
{
    m_tick.disconnect();
    m_showLater.disconnect();
    hide();
    g_bFileOperationBusy = false;
    Gtk::Window* parent = get_transient_for();
    const CFileOperation& op = *m_op;
    if (m_done)
        m_done(op);
    const unsigned failures = op.CountOf(FileOpResult::Failed);
    if (failures > 0) {
        ShowMessageBox(parent, op.Kind() == FileOpKind::Copy
                                   ? FormatCount("%u files can not be copied.", failures)
                                   : FormatCount("%u files can not be moved or deleted. They may be in use by "
                                                 "other applications.",
                                                 failures));
    }
    Glib::signal_idle().connect_once([this] { delete this; });
}

} // namespace mev
