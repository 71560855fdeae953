#include "ui/app/main_frame.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/settings.hpp"
#include "core/shell/url.hpp"
#include "ui/app/media_tab_ctrl.hpp"
#include "ui/pages/image_page.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

// The application's link of the chain, recording Exit, and Copy, which nothing else
// handles, so a key that arrives through the whole chain can be seen.
class CExitTarget : public ICommandTarget {
public:
    bool OnUpdateCommand(CCmdUI& ui) override
    {
        if (ui.id != ID_APP_EXIT && ui.id != ID_EDIT_COPY)
            return false;
        ui.Enable(true);
        return true;
    }
    bool OnCommand(int id) override
    {
        exits += id == ID_APP_EXIT ? 1 : 0;
        copies += id == ID_EDIT_COPY ? 1 : 0;
        return id == ID_APP_EXIT || id == ID_EDIT_COPY;
    }
    int exits = 0;
    int copies = 0;
};

void SetSavedTab(int index)
{
    if (index < 0)
        GetSettingsStore()->RemoveValue("Settings", CMediaTabCtrl::SELECTION_SETTING);
    else
        SetSettingInt(CMediaTabCtrl::SELECTION_SETTING, index);
}

// An Images page whose slide show is only a flag: page messages 1 and 2 ask and stop it.
class CSlideShowPage : public CMediaPage {
public:
    using CMediaPage::CMediaPage;
    void OnPageMessage(int code, const std::string& url, std::function<void(int)> done) override
    {
        if (code == PAGEMSG_QUERY_AUTOPLAY) {
            done(slideShow ? 1 : 0);
        } else if (code == PAGEMSG_STOP_AUTOPLAY) {
            slideShow = false;
            ++stops;
            if (done)
                done(0);
        } else {
            CMediaPage::OnPageMessage(code, url, std::move(done));
        }
    }
    bool slideShow = false;
    int stops = 0;
};

// One real main window, started as the program starts it.
class CFrameRun {
public:
    explicit CFrameRun(std::vector<std::string> args, CMediaTabCtrl::PageFactory factory = {})
    {
        args.insert(args.begin(), "mev");
        SetCommandLine(std::move(args));
        frame = std::make_unique<CMainFrame>(*test::GetTestApplication(), exitTarget);
        frame->GetTabCtrl().SetPageFactory(std::move(factory));
        test::GetTestApplication()->add_window(*frame);
        frame->Start();
        frame->set_default_size(1000, 700);
        frame->present();
        test::RunMainLoopUntil([this] { return frame->get_mapped(); });
    }
    ~CFrameRun()
    {
        frame->close();
        test::RunMainLoopFor(50);
        frame.reset();
        SetCommandLine({"mev"});
    }

    CPageBrowser* SelectedBrowser()
    {
        CMediaPage* page = frame->GetTabCtrl().GetSelectedPage();
        return page ? &page->GetBrowser() : nullptr;
    }

    bool WaitForUrl(CPageBrowser& browser, const std::string& url, int timeoutMs = test::EVENT_WAIT_MS)
    {
        return test::RunMainLoopUntil([&] { return browser.GetLocationUrl() == url; }, timeoutMs);
    }

    // True once the selected page's browser shows the about page.
    bool WaitForFrontPage()
    {
        CPageBrowser* browser = SelectedBrowser();
        return browser != nullptr && WaitForUrl(*browser, GetFrontPageUrl());
    }

    bool FullScreenShown() const { return frame->GetFullScreenWnd().IsShown(); }

    // Gives the keyboard to the main window (or the full-screen one) through the X server
    // and waits until the toolkit has taken it, so that the next key goes there.
    bool FocusWindow(bool fullScreen)
    {
        Gtk::Window& window = fullScreen ? static_cast<Gtk::Window&>(frame->GetFullScreenWnd()) : *frame;
        return test::XdoTool(std::string("search --sync --onlyvisible --name '^MEV") + (fullScreen ? "" : " - Untitled") +
                             "$' windowfocus --sync") &&
               test::RunMainLoopUntil([&] { return window.is_active(); });
    }

    CExitTarget exitTarget;
    std::unique_ptr<CMainFrame> frame;
};

class MainFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CCommandActions::InstallAccelerators(*test::GetTestApplication()); }
};

TEST_F(MainFrameTest, StartsWithTitleTabsStatusBarAndAboutPage)
{
    SetSavedTab(-1);
    CFrameRun run({});
    CMainFrame& frame = *run.frame;
    EXPECT_EQ(frame.get_title(), "MEV - Untitled");

    CMediaTabCtrl& tabs = frame.GetTabCtrl();
    ASSERT_EQ(tabs.GetCount(), 3);
    EXPECT_EQ(tabs.GetTabText(0), "Images");
    EXPECT_EQ(tabs.GetTabText(1), "Audios");
    EXPECT_EQ(tabs.GetTabText(2), "Videos");
    EXPECT_EQ(tabs.GetSelectedIndex(), 0);
    // Only the start page exists; the others come on first selection.
    EXPECT_NE(tabs.GetPage(0), nullptr);
    EXPECT_EQ(tabs.GetPage(1), nullptr);
    EXPECT_EQ(tabs.GetPage(2), nullptr);
    EXPECT_EQ(g_currentPage, tabs.GetPage(0));

    CPageBrowser* browser = run.SelectedBrowser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    std::string heading;
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            return test::EvaluateInPage(*browser, "document.querySelector('h3') ? document.querySelector('h3').textContent : ''",
                                        heading, 2000) &&
                   heading == "\"MEV\"";
        }));

    frame.UpdateIdleState();
    CStatusBar& status = frame.GetStatusBar();
    EXPECT_EQ(status.GetPaneText(0), "Ready");
    EXPECT_EQ(status.GetPaneText(1), "");
    EXPECT_EQ(status.GetPaneText(2), "Total: 0");
    EXPECT_EQ(status.GetPaneText(3), "Selected: 0");
    frame.SetStatusText("file:///x");
    EXPECT_EQ(status.GetPaneText(0), "file:///x");
    frame.SetStatusText("");
    EXPECT_EQ(status.GetPaneText(0), "Ready");

    // Menu states follow the rules: Exit and Change Folder always, the tag editor and the
    // file commands not (no handler, or nothing checked).
    struct Case {
        int id;
        bool enabled;
    };
    for (const Case& c : {Case{ID_APP_EXIT, true}, Case{ID_VIEW_CHANGEFOLDER, true}, Case{ID_APP_ABOUT, true},
                          Case{ID_TOOLS_TAGEDITOR, false},
                          Case{ID_FILE_DELETE_SELECTED, false}}) {
        auto action = frame.GetActions().FindMenuAction(c.id);
        ASSERT_TRUE(action) << c.id;
        EXPECT_EQ(action->get_enabled(), c.enabled) << c.id;
    }

    // The selected text is highlighted only while the tab row itself has the focus; the
    // arrow keys move the selection there.
    CTabRow& row = tabs.GetTabRow();
    EXPECT_FALSE(row.IsSelectedHighlighted());
    row.grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return row.IsSelectedHighlighted(); }));
    ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^MEV - Untitled$' windowfocus --sync"));
    ASSERT_TRUE(test::XdoTool("key Right"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return tabs.GetSelectedIndex() == 1; }));
    EXPECT_NE(tabs.GetPage(1), nullptr);
    EXPECT_TRUE(row.IsSelectedHighlighted());
    ASSERT_TRUE(test::XdoTool("key Left"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return tabs.GetSelectedIndex() == 0; }));
    CPageBrowser* imagesBrowser = run.SelectedBrowser();
    ASSERT_NE(imagesBrowser, nullptr);
    imagesBrowser->GetWidget().grab_focus();
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !row.IsSelectedHighlighted(); }));

    // Switching tabs creates the page once and keeps it.
    tabs.GetTabRow().signal_tab_picked().emit(2);
    EXPECT_EQ(tabs.GetSelectedIndex(), 2);
    CMediaPage* videos = tabs.GetPage(2);
    ASSERT_NE(videos, nullptr);
    EXPECT_EQ(g_currentPage, videos);
    tabs.GetTabRow().signal_tab_picked().emit(0);
    tabs.GetTabRow().signal_tab_picked().emit(2);
    EXPECT_EQ(tabs.GetPage(2), videos);
}

TEST_F(MainFrameTest, StartTabFollowsShowOptionThenSavedTab)
{
    struct Case {
        std::vector<std::string> args;
        int saved;
        int expected;
    };
    const Case cases[] = {
        {{}, 2, 2},
        {{"show=audios"}, 2, 1},
        {{"show=\"VIDEOS\""}, 0, 2},
        {{"show=Nothing"}, 1, 1},
        {{}, 7, 0},
    };
    for (const Case& c : cases) {
        SetSavedTab(c.saved);
        CFrameRun run(c.args);
        EXPECT_EQ(run.frame->GetTabCtrl().GetSelectedIndex(), c.expected) << c.saved;
        CPageBrowser* browser = run.SelectedBrowser();
        ASSERT_NE(browser, nullptr);
        EXPECT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    }
    // The selection is written when the window closes.
    SetSavedTab(0);
    {
        CFrameRun run({"show=Audios"});
    }
    EXPECT_EQ(GetSettingInt(CMediaTabCtrl::SELECTION_SETTING, -1), 1);
}

TEST_F(MainFrameTest, StartTabChoiceRule)
{
    const std::vector<std::string> names{"Images", "Audios", "Videos"};
    struct Case {
        const char* show;
        int saved;
        int expected;
    };
    const Case cases[] = {
        {"", 0, 0},       {"", 1, 1},        {"", 2, 2},      {"", 3, 0},        {"", -1, 0},
        {"images", 2, 0}, {"aUdIoS", 0, 1}, {"Videos", 1, 2}, {"Video", 1, 1},   {"Videos ", 2, 2},
        {"x", -5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMediaTabCtrl::ChooseStartTab(c.show, c.saved, names), c.expected) << c.show << "/" << c.saved;
}

TEST_F(MainFrameTest, F10AndEscapeEnterAndLeaveFullScreen)
{
    SetSavedTab(0);
    CFrameRun run({});
    CPageBrowser* browser = run.SelectedBrowser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    run.frame->UpdateIdleState();

    auto accels = test::GetTestApplication()->get_accels_for_action(CCommandActions::KeyActionName(ID_VIEW_FULLSCREEN));
    ASSERT_EQ(accels.size(), 1U);
    EXPECT_EQ(accels[0], "F10");

    // Real key presses through the X server, as a person would type them.
    ASSERT_TRUE(run.FocusWindow(false));
    ASSERT_TRUE(test::XdoTool("key F10"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    // The page's own browser gave its page to the full-screen window.
    EXPECT_TRUE(run.WaitForUrl(run.frame->GetFullScreenWnd().GetBrowser(), GetFrontPageUrl()));
    EXPECT_TRUE(run.WaitForUrl(*browser, GetBlankPageUrl()));

    ASSERT_TRUE(run.FocusWindow(true));
    ASSERT_TRUE(test::XdoTool("key Escape"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
    EXPECT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    // Hidden, the full-screen browser holds the blank page (nothing keeps playing there).
    EXPECT_TRUE(run.WaitForUrl(run.frame->GetFullScreenWnd().GetBrowser(), GetBlankPageUrl()));

    // The main window's keys work while the browser pane has the keyboard focus.
    Gtk::Widget& view = browser->GetWidget();
    view.grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return view.has_focus(); }));
    // The keyboard goes to the main window again: the full-screen window that had it is
    // gone, and the pointer may rest anywhere after the tests run before on this screen.
    ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^MEV - Untitled$' windowfocus --sync"));
    ASSERT_TRUE(test::XdoTool("key ctrl+c"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return run.exitTarget.copies == 1; }));

    // F10 in the full-screen window leaves it too.
    ASSERT_TRUE(run.FocusWindow(false));
    ASSERT_TRUE(test::XdoTool("key F10"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    ASSERT_TRUE(run.FocusWindow(true));
    ASSERT_TRUE(test::XdoTool("key F10"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));

    // On the Images tab: Enter keeps full-screen mode, Space leaves it.
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    ASSERT_TRUE(run.FocusWindow(true));
    ASSERT_TRUE(test::XdoTool("key Return"));
    test::RunMainLoopFor(500);
    EXPECT_TRUE(run.FullScreenShown());
    ASSERT_TRUE(test::XdoTool("key space"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
}

TEST_F(MainFrameTest, EscapeStopsASlideShowBeforeLeavingFullScreen)
{
    SetSavedTab(0);
    CSlideShowPage* images = nullptr;
    CFrameRun run({}, [&images](MediaKind kind, CMediaPageHost& host) -> std::unique_ptr<CMediaPage> {
        if (kind != MediaKind::Image)
            return std::make_unique<CMediaPage>(kind, host);
        auto page = std::make_unique<CSlideShowPage>(kind, host);
        images = page.get();
        return page;
    });
    ASSERT_NE(images, nullptr);
    ASSERT_TRUE(run.WaitForUrl(images->GetBrowser(), GetFrontPageUrl()));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    images->slideShow = true;

    ASSERT_TRUE(run.FocusWindow(true));
    ASSERT_TRUE(test::XdoTool("key Escape"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return images->stops == 1; }));
    test::RunMainLoopFor(300);
    EXPECT_TRUE(run.FullScreenShown());
    EXPECT_FALSE(images->slideShow);

    ASSERT_TRUE(test::XdoTool("key Escape"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
    EXPECT_EQ(images->stops, 1);
    EXPECT_TRUE(run.WaitForUrl(images->GetBrowser(), GetFrontPageUrl()));
}

TEST_F(MainFrameTest, PostedDisabledCommandDoesNothing)
{
    SetSavedTab(0);
    CFrameRun run({});
    CPageBrowser* browser = run.SelectedBrowser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));

    // With the blank page in the pane, Full Screen is disabled: the posted command is
    // dropped and the full-screen window stays hidden.
    browser->Navigate(GetBlankPageUrl());
    ASSERT_TRUE(run.WaitForUrl(*browser, GetBlankPageUrl()));
    CCmdUI ui;
    ui.id = ID_VIEW_FULLSCREEN;
    run.frame->GetRouter().UpdateState(ui);
    EXPECT_FALSE(ui.enabled);
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    // A command nobody handles yet (the tag editor) is disabled and ignored as well.
    run.frame->PostCommand(ID_TOOLS_TAGEDITOR);
    // Posted commands run in order: once Exit has run, the two before it have had their turn.
    run.frame->PostCommand(ID_APP_EXIT);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.exitTarget.exits == 1; }));
    test::RunMainLoopFor(300);
    EXPECT_FALSE(run.FullScreenShown());

    // Enabled again once a page is shown: the same post now works.
    browser->Navigate(GetFrontPageUrl());
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));

    // Closing the full-screen window acts as Escape: the page gets its content back.
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    run.frame->GetFullScreenWnd().close();
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
    EXPECT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
}

TEST_F(MainFrameTest, ChangeFolderGoesThroughTheDocumentToThePageOnScreen)
{
    SetSavedTab(1);
    CFrameRun run({});
    CMediaTabCtrl& tabs = run.frame->GetTabCtrl();
    ASSERT_EQ(tabs.GetSelectedIndex(), 1);
    // The router answers Change Folder from the document, whatever page is shown.
    CCmdUI ui;
    ui.id = ID_VIEW_CHANGEFOLDER;
    EXPECT_TRUE(run.frame->GetRouter().UpdateState(ui));
    EXPECT_TRUE(ui.enabled);
    EXPECT_TRUE(run.frame->GetRouter().Execute(ID_VIEW_CHANGEFOLDER));
    // The page asks with a folder dialog over the main window.
    Gtk::FileChooserDialog* dialog = nullptr;
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
                auto* chooser = dynamic_cast<Gtk::FileChooserDialog*>(w);
                if (chooser != nullptr && chooser->get_visible())
                    dialog = chooser;
            }
            return dialog != nullptr;
        }));
    EXPECT_EQ(dialog->get_transient_for(), run.frame.get());
    dialog->response(Gtk::ResponseType::CANCEL);
    test::RunMainLoopFor(200);
}

TEST_F(MainFrameTest, ContextMenuCommandsTakeTheMainRoute)
{
    SetSavedTab(0);
    CFrameRun run({});
    CPageBrowser* browser = run.SelectedBrowser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(run.WaitForUrl(*browser, GetFrontPageUrl()));
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));

    // The full-screen browser's menu: Full Screen there leaves full-screen mode.
    CFullScreenWnd& full = run.frame->GetFullScreenWnd();
    run.frame->ShowContextMenu(IDR_FULLSCREEN_MENU, full.GetBrowser().GetWidget(), 50, 50, "");
    Gtk::PopoverMenu* menu = run.frame->GetContextMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return menu->get_mapped(); }));
    EXPECT_FALSE(run.frame->GetActions().FindMenuAction(ID_IMAGE_FIRST)->get_enabled());
    EXPECT_TRUE(run.frame->GetActions().FindMenuAction(ID_VIEW_FULLSCREEN)->get_enabled());
    menu->popdown();
    EXPECT_TRUE(menu->activate_action(CCommandActions::MenuActionName(ID_VIEW_FULLSCREEN)));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return run.frame->GetContextMenu() == nullptr; }));

    // Open With stays in the index menu; it is enabled only for a picture that exists.
    test::CTempFolder folder;
    const std::string picture = folder.File("a.png");
    ASSERT_TRUE(test::WritePicture(picture, 8, 8));
    struct Case {
        std::string path;
        std::string contextPath;
    };
    const Case cases[] = {{picture, picture}, {folder.File("gone.png"), ""}, {folder.Path(), ""}, {"", ""}};
    for (const Case& c : cases) {
        run.frame->ShowContextMenu(IDR_INDEX_MENU, browser->GetWidget(), 10, 10, c.path);
        Gtk::PopoverMenu* indexMenu = run.frame->GetContextMenu();
        ASSERT_NE(indexMenu, nullptr);
        EXPECT_EQ(ContextImagePath, c.contextPath) << c.path;
        auto section = indexMenu->get_menu_model()->get_item_link(0, Gio::MenuModel::Link::SECTION);
        EXPECT_EQ(section->get_n_items(), 5) << c.path;  // Width, Sort By, Show Names, Autoplay, Open With
        EXPECT_EQ(run.frame->GetActions().FindMenuAction(ID_OPENWITH_SELECT)->get_enabled(), !c.contextPath.empty())
            << c.path;
        indexMenu->popdown();
        test::RunMainLoopFor(50);
    }
}

TEST_F(MainFrameTest, PicturesWalkAndPlayInFullScreen)
{
    test::CTempFolder folder;
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(folder / ("p" + std::to_string(i) + ".png"));
        ASSERT_TRUE(test::WritePicture(pictures.back(), 30, 20, 0x102030 * (i + 1)));
    }
    SetSavedTab(0);
    CFrameRun run({});
    auto* page = dynamic_cast<CImagePage*>(run.frame->GetTabCtrl().GetSelectedPage());
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->IsStarted(); }));
    // The about page comes first, as at every start.
    ASSERT_TRUE(run.WaitForUrl(page->GetBrowser(), GetFrontPageUrl()));
    page->OnFolderSelected(folder.Path());
    // The first thumbnail is clicked on load; its picture goes full screen with F10.
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl().rfind("mev://image/?", 0) == 0; }));
    const std::string first = CurrentImagePath;
    run.frame->PostCommand(ID_VIEW_FULLSCREEN);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return run.FullScreenShown(); }));
    CPageBrowser& full = run.frame->GetFullScreenWnd().GetBrowser();
    EXPECT_TRUE(run.WaitForUrl(full, "mev://image/?" + first));

    // The keys walk the index; the full-screen picture follows it.
    run.frame->PostToCurrentPage(ID_IMAGE_NEXT);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath != first; }));
    EXPECT_TRUE(run.WaitForUrl(full, "mev://image/?" + CurrentImagePath));
    EXPECT_TRUE(run.WaitForUrl(page->GetBrowser(), GetBlankPageUrl()));

    // A slide show goes on there; Escape stops it first, then leaves, and the page gets
    // the picture back.
    run.frame->PostToCurrentPage(ID_AUTOPLAY_1S);
    const std::string second = CurrentImagePath;
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath != second; }));
    EXPECT_TRUE(run.WaitForUrl(full, "mev://image/?" + CurrentImagePath));
    run.frame->GetFullScreenWnd().OnCancel();
    int playing = -1;
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            page->OnPageMessage(PAGEMSG_QUERY_AUTOPLAY, {}, [&](int answer) { playing = answer; });
            test::RunMainLoopFor(20);
            return playing == 0;
        }));
    EXPECT_TRUE(run.FullScreenShown());
    // The last step of the show may still be on its way to the full-screen browser.
    EXPECT_TRUE(run.WaitForUrl(full, "mev://image/?" + CurrentImagePath));
    const std::string shown = full.GetLocationUrl();
    run.frame->GetFullScreenWnd().OnCancel();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return !run.FullScreenShown(); }));
    EXPECT_TRUE(run.WaitForUrl(page->GetBrowser(), shown));
}

TEST_F(MainFrameTest, ClosingWhileAClipPlaysEndsCleanly)
{
    const std::string clip = std::string(MEV_SOURCE_DIR) + "/demo/Colour Bars.webm";
    if (!Glib::file_test(clip, Glib::FileTest::EXISTS))
        GTEST_SKIP() << "no demo clip";
    SetSavedTab(2);
    auto run = std::make_unique<CFrameRun>(std::vector<std::string>{});
    CPageBrowser* browser = run->SelectedBrowser();
    ASSERT_NE(browser, nullptr);
    // The page message "navigate" reaches the page on screen, as the tag editor sends it.
    run->frame->SendPageMessage(PAGEMSG_NAVIGATE, "mev://video/?" + clip, {});
    ASSERT_TRUE(run->WaitForUrl(*browser, "mev://video/?" + clip));
    test::RunMainLoopFor(1000);
    run.reset();  // closes the window and destroys the frame with its pages and browsers
    SUCCEED();
}

// Screen position of a point of a widget in the frame (the frame lies at its X origin).
bool ScreenPoint(CMainFrame& frame, Gtk::Widget& widget, double& x, double& y)
{
    // Asked again after an empty answer: the search may end on an X error (see XdoTool).
    std::string geometry;
    test::RunMainLoopUntil([&] {
        if (FILE* pipe = popen("xdotool search --onlyvisible --name '^MEV - Untitled$' getwindowgeometry --shell 2>/dev/null", "r")) {
            char buffer[512];
            while (fgets(buffer, sizeof buffer, pipe) != nullptr)
                geometry += buffer;
            pclose(pipe);
        }
        return geometry.find("X=") != std::string::npos;
    });
    int originX = 0, originY = 0;
    if (auto p = geometry.find("X="); p != std::string::npos)
        originX = std::atoi(geometry.c_str() + p + 2);
    if (auto p = geometry.find("Y="); p != std::string::npos)
        originY = std::atoi(geometry.c_str() + p + 2);
    double fx = 0, fy = 0;
    if (!widget.translate_coordinates(frame, widget.get_width() / 2.0, widget.get_height() / 2.0, fx, fy))
        return false;
    double sx = 0, sy = 0;
    frame.get_surface_transform(sx, sy);
    x = originX + fx + sx;
    y = originY + fy + sy;
    return true;
}

// Item labels of a menu model, its sections run together.
std::vector<std::string> MenuLabels(const Glib::RefPtr<Gio::MenuModel>& model)
{
    std::vector<std::string> labels;
    for (int i = 0; i < model->get_n_items(); ++i) {
        if (auto section = model->get_item_link(i, Gio::MenuModel::Link::SECTION)) {
            for (const std::string& label : MenuLabels(section))
                labels.push_back(label);
            continue;
        }
        auto label = model->get_item_attribute(i, Gio::MenuModel::Attribute::LABEL, Glib::VARIANT_TYPE_STRING);
        labels.push_back(Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(label).get());
    }
    return labels;
}

TEST_F(MainFrameTest, PlayerPanesOfferLoopRefreshAndStopOnARightClick)
{
    const std::string demo = std::string(MEV_SOURCE_DIR) + "/demo/";
    const std::string files[] = {demo + "Low Hum.mp3", demo + "Colour Bars.webm"};
    for (int tab : {1, 2}) {
        const std::string& file = files[tab - 1];
        if (!Glib::file_test(file, Glib::FileTest::EXISTS))
            GTEST_SKIP() << "no demo media";
        SCOPED_TRACE(file);
        SetSavedTab(tab);
        CFrameRun run({});
        ASSERT_TRUE(run.WaitForFrontPage());
        CMediaPage* page = run.frame->GetTabCtrl().GetSelectedPage();
        CPageBrowser& browser = page->GetBrowser();
        const std::string url = (tab == 1 ? "mev://audio/?" : "mev://video/?") + file;
        run.frame->SendPageMessage(PAGEMSG_NAVIGATE, url, {});
        ASSERT_TRUE(run.WaitForUrl(browser, url));
        ASSERT_TRUE(run.frame->GetRouter().Execute(ID_VIEW_LOOP));

        // The page that plays may have a view of its own, shown from the next layout.
        ASSERT_TRUE(test::RunMainLoopUntil(
            [&] { return browser.GetWidget().get_mapped() && browser.GetWidget().get_width() > 0; }));
        double x = 0, y = 0;
        ASSERT_TRUE(ScreenPoint(*run.frame, browser.GetWidget(), x, y));
        ASSERT_TRUE(test::XdoTool("mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " click 3"));
        Gtk::PopoverMenu* menu = nullptr;
        ASSERT_TRUE(test::RunMainLoopUntil(
            [&] { return (menu = run.frame->GetContextMenu()) != nullptr && menu->get_mapped(); }));
        EXPECT_EQ(MenuLabels(menu->get_menu_model()), (std::vector<std::string>{"Loop", "Refresh", "Stop"}));
        EXPECT_TRUE(run.frame->GetActions().FindMenuAction(ID_VIEW_STOP)->get_enabled());
        bool loop = false;
        run.frame->GetActions().FindMenuAction(ID_VIEW_LOOP)->get_state(loop);
        EXPECT_TRUE(loop);
        menu->popdown();
        EXPECT_TRUE(menu->activate_action(CCommandActions::MenuActionName(ID_VIEW_STOP)));
        EXPECT_TRUE(run.WaitForUrl(browser, GetBlankPageUrl()));
        EXPECT_FALSE(page->IsLoopOn());
    }
}

// Every context menu shows all its items at once: nothing in it is left to scroll.
TEST_F(MainFrameTest, ContextMenusShowAllTheirItemsAtOnce)
{
    SetSavedTab(1);
    CFrameRun run({});
    ASSERT_TRUE(run.WaitForFrontPage());
    CMediaPage* page = run.frame->GetTabCtrl().GetSelectedPage();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->IsStarted(); }));
    for (int menuId : {IDR_AUDIO_LIST_MENU, IDR_VIDEO_LIST_MENU, IDR_INDEX_MENU, IDR_IMAGE_MENU, IDR_AUDIO_MENU,
                       IDR_FULLSCREEN_MENU}) {
        SCOPED_TRACE(menuId);
        run.frame->ShowContextMenu(menuId, page->GetListArea(), 10, 10, "");
        Gtk::PopoverMenu* menu = run.frame->GetContextMenu();
        ASSERT_NE(menu, nullptr);
        Gtk::ScrolledWindow* scroller = nullptr;
        for (Gtk::Widget* w = menu->get_first_child(); w != nullptr && scroller == nullptr; w = w->get_first_child())
            scroller = dynamic_cast<Gtk::ScrolledWindow*>(w);
        ASSERT_NE(scroller, nullptr);
        auto adjustment = scroller->get_vadjustment();
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return menu->get_mapped() && adjustment->get_page_size() > 0; }));
        EXPECT_TRUE(test::RunMainLoopUntil(
            [&] { return adjustment->get_upper() <= adjustment->get_page_size() + 0.5; }))
            << adjustment->get_upper() << " to show in " << adjustment->get_page_size();
        menu->popdown();
    }
}

TEST_F(MainFrameTest, WheelScrollsThePaneUnderThePointerAndNothingElsewhere)
{
    test::CTempFolder root;
    for (int i = 0; i < 80; ++i)
        std::filesystem::create_directory(root.File("folder " + std::to_string(100 + i)));
    SetSavedTab(0);
    CFrameRun run({"Images=" + root.Path()});
    CMediaPage* page = run.frame->GetTabCtrl().GetSelectedPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->IsStarted(); }));
    auto adjustment = page->GetTree().get_vadjustment();
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] { return adjustment->get_upper() > adjustment->get_page_size() + 50; }));
    ASSERT_EQ(adjustment->get_value(), 0.0);

    double x = 0, y = 0;
    // Over the status bar: the turn is dropped.
    ASSERT_TRUE(ScreenPoint(*run.frame, run.frame->GetStatusBar(), x, y));
    ASSERT_TRUE(test::XdoTool("mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " click --repeat 3 5"));
    test::RunMainLoopFor(300);
    EXPECT_EQ(adjustment->get_value(), 0.0);

    // Over the tree: it scrolls, wherever the keyboard focus is.
    ASSERT_TRUE(ScreenPoint(*run.frame, page->GetTree(), x, y));
    ASSERT_TRUE(test::XdoTool("mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " click --repeat 3 5"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return adjustment->get_value() > 0.0; }));
}

TEST_F(MainFrameTest, MessageLineLetsGoOfALinkWhenThePointerJumpsToAnotherTab)
{
    CFrameRun run({"show=Images"});
    ASSERT_TRUE(run.WaitForFrontPage());
    CMainFrame& frame = *run.frame;
    CPageBrowser* browser = run.SelectedBrowser();
    std::string link;
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            return test::EvaluateInPage(*browser,
                                        "(function (a) { if (!a) return ''; var r = a.getBoundingClientRect();"
                                        " return Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height / 2); })"
                                        "(document.querySelector('a[href^=\"http\"]'))",
                                        link, 2000) && link.size() > 2;
        }));
    int linkX = 0, linkY = 0;
    ASSERT_EQ(std::sscanf(link.c_str(), "\"%d %d\"", &linkX, &linkY), 2) << link;
    Gtk::Widget& view = browser->GetWidget();
    double x = 0, y = 0;
    ASSERT_TRUE(ScreenPoint(frame, view, x, y));
    x += linkX - view.get_width() / 2.0;
    y += linkY - view.get_height() / 2.0;
    ASSERT_TRUE(test::XdoTool("mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y))));
    CStatusBar& status = frame.GetStatusBar();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return status.GetPaneText(0).find("http") != std::string::npos; }))
        << status.GetPaneText(0);

    // Straight from the link to the "Audios" tab, with a click.
    CTabRow& row = frame.GetTabCtrl().GetTabRow();
    ASSERT_TRUE(ScreenPoint(frame, row, x, y));
    x += 1.5 * row.GetTabWidth() - row.get_width() / 2.0;
    ASSERT_TRUE(test::XdoTool("mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " click 1"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return frame.GetTabCtrl().GetSelectedIndex() == 1; }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return status.GetPaneText(0) == "Ready"; })) << status.GetPaneText(0);
}

TEST_F(MainFrameTest, TabAndShiftTabLeaveTheBrowserPane)
{
    CFrameRun run({"show=Images"});
    ASSERT_TRUE(run.WaitForFrontPage());
    CMainFrame& frame = *run.frame;
    CPageBrowser* browser = run.SelectedBrowser();
    CMediaPage* page = frame.GetTabCtrl().GetSelectedPage();
    Gtk::Widget& view = browser->GetWidget();
    // The keyboard starts in the tree itself.
    EXPECT_EQ(frame.get_focus(), &page->GetTree().GetTreeView());
    test::RunMainLoopFor(1000);
    const auto focusIn = [&](Gtk::Widget& pane) {
        Gtk::Widget* focus = frame.get_focus();
        return focus != nullptr && (focus == &pane || focus->is_ancestor(pane));
    };
    double x = 0, y = 0;
    ASSERT_TRUE(ScreenPoint(frame, view, x, y));
    const std::string intoPage = "mousemove " + std::to_string(int(x)) + " " + std::to_string(int(y)) + " click 1";

    ASSERT_TRUE(test::XdoTool(intoPage));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return focusIn(view); }));
    ASSERT_TRUE(test::XdoTool("key Tab"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return focusIn(frame.GetTabCtrl().GetTabRow()); }));

    view.grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return focusIn(view); }));
    // Back to the list area: on the Images tab it holds the index page.
    ASSERT_TRUE(test::XdoTool("key shift+Tab"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return focusIn(page->GetListArea()); }));
}

// A file or folder dropped on the window opens as "mev PATH" opens it: the tab of its
// kind with the folder as root, a media file played; a path that names nothing does not.
TEST_F(MainFrameTest, DroppedFolderOrFileOpensInTheTabOfItsKind)
{
    const std::string tune = std::string(MEV_SOURCE_DIR) + "/demo/Low Hum.mp3";
    if (!Glib::file_test(tune, Glib::FileTest::EXISTS))
        GTEST_SKIP() << "no demo media";
    test::CTempFolder clips;
    clips.Write("a.webm");
    clips.Write("b.mpg");
    test::CTempFolder music;
    std::error_code ec;
    const std::string copy = music / "Low Hum.mp3";
    ASSERT_TRUE(std::filesystem::copy_file(tune, copy, ec)) << ec.message();

    SetSavedTab(0);
    CFrameRun run({});
    ASSERT_TRUE(run.WaitForFrontPage());
    CMediaTabCtrl& tabs = run.frame->GetTabCtrl();
    EXPECT_FALSE(run.frame->OpenDroppedFiles({clips / "missing", "relative"}));
    EXPECT_EQ(tabs.GetSelectedIndex(), 0);

    ASSERT_TRUE(run.frame->OpenDroppedFiles({clips / "missing", clips.Path()}));
    EXPECT_EQ(tabs.GetSelectedIndex(), 2);
    EXPECT_EQ(tabs.GetPage(2)->GetTree().GetRootPath(), clips.Path());
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return tabs.GetPage(2)->GetTree().GetSelectedFolder() == clips.Path(); }));

    ASSERT_TRUE(run.frame->OpenDroppedFiles({copy}));
    EXPECT_EQ(tabs.GetSelectedIndex(), 1);
    CMediaPage* audios = tabs.GetPage(1);
    EXPECT_EQ(audios->GetTree().GetRootPath(), music.Path());
    EXPECT_TRUE(run.WaitForUrl(audios->GetBrowser(), "mev://audio/?" + copy));
}

} // namespace
} // namespace mev
