#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm.h>

#include "core/commands/command_target.hpp"
#include "core/files/file_operation.hpp"
#include "core/media/media_kinds.hpp"
#include "ui/widgets/folder_tree_view.hpp"
#include "ui/pages/media_page_host.hpp"

namespace mev {

class CPageBrowser;

// One media tab: the folder tree top left, the list area below it and the browser pane
// on the right, with a splitter between each. It carries the commands all tabs share;
// the image, audio and video pages fill in the kind-specific operations.
class CMediaPage : public Gtk::Box, public ICommandTarget {
public:
    CMediaPage(MediaKind kind, CMediaPageHost& host);
    ~CMediaPage() override;
    CMediaPage(const CMediaPage&) = delete;
    CMediaPage& operator=(const CMediaPage&) = delete;

    MediaKind GetKind() const { return m_kind; }

    // Page message codes 1 (query slide show), 2 (stop slide show), 3 (navigate to url).
    // done receives the answer, later when the page has to ask its browser first.
    virtual void OnPageMessage(int code, const std::string& url, std::function<void(int)> done);

    // Runs id on a later turn of the main loop, through the enable rule that applies:
    // this page's own chain first, then the host's.
    void PostCommand(int id);
    bool OnUpdateCommand(CCmdUI& ui) override;
    bool OnCommand(int id) override;

    // "" asks with a folder dialog.
    void ChangeFolder(const std::string& folder = "");
    // Makes folder the tree's root and selects it, as a start on it would; file (in that
    // folder, "" for none) is then shown or played.
    void OpenFolder(const std::string& folder, const std::string& file);

    CFolderTreeView& GetTree() { return m_tree; }
    Gtk::Widget& GetListArea() { return *m_listPane; }
    CPageBrowser& GetBrowser() { return *m_browser; }
    bool IsLoopOn() const { return m_loop; }
    // True once the start step has given the tree its root.
    bool IsStarted() const { return m_started; }

    // The page has come on screen: it becomes the target of page messages.
    virtual void OnShown();

    // The operations the image, audio and video pages override, in their fixed order.
    virtual Gtk::Widget* CreateListPane();
    virtual std::unique_ptr<CPageBrowser> CreateBrowserPane();
    virtual const char* GetTabName() const;
    virtual int GetRootIcon() const;
    virtual void OnFolderSelected(const std::string& folder);
    virtual int GetTotalCount() const;
    virtual int GetCheckedCount() const;
    virtual void ToggleFullScreen();
    virtual void StopPlayback();
    // Copy, move or delete of the checked files: CollectCheckedFiles gives them, the file
    // operation runs, and OnFilesChanged hears of it once any file was moved or deleted.
    virtual void CopyChecked();
    virtual void MoveChecked();
    virtual void DeleteChecked();
    virtual void RefreshList(const std::string& folder);
    virtual void OnLoopEnabled();
    // A file named on the command line, in this tab's root folder, which the root's page
    // now loads: show or play it once it is there.
    virtual void OpenStartFile(const std::string& path);

protected:
    CMediaPageHost& GetHost() { return m_host; }
    // The window that holds the page (owner of its dialogs); nullptr before it is placed.
    Gtk::Window* GetWindow();
    // True when the browser pane shows nothing or the blank page.
    bool IsBrowserBlank() const;
    void Relayout();

    // The checked files, handed to done (at once or later on the main loop); none here.
    virtual void CollectCheckedFiles(std::function<void(std::vector<std::string> paths)> done);
    // A move or delete that took at least one file has ended.
    virtual void OnFilesChanged(const CFileOperation& op);

private:
    ICommandTarget* GetListPaneTarget() const;
    void Start();
    void RunPosted(int id);
    bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);
    void MeasureTemplate();
    void RunFileOperation(FileOpKind kind);

    MediaKind m_kind;
    CMediaPageHost& m_host;

    Gtk::Paned m_columns{Gtk::Orientation::HORIZONTAL};
    Gtk::Paned m_leftColumn{Gtk::Orientation::VERTICAL};
    CFolderTreeView m_tree;
    Gtk::Frame m_listPlaceholder;
    Gtk::Frame m_browserFrame;
    Gtk::Widget* m_listPane = nullptr;
    std::unique_ptr<CPageBrowser> m_browser;

    int m_treeWidth = 0;
    int m_treeHeight = 0;
    bool m_loop = false;
    bool m_started = false;
    sigc::connection m_startIdle;
};

} // namespace mev
