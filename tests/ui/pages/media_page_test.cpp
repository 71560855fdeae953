#include "ui/pages/media_page.hpp"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/shell/url.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

class CFakeHost : public CMediaPageHost {
public:
    void SetStatusMessage(const std::string& text) override { statusTexts.push_back(text); }
    void ToggleFullScreen() override { ++fullScreenToggles; }
    bool RouteCommand(int id) override
    {
        routed.push_back(id);
        return true;
    }
    void SetCurrentPage(CMediaPage* page) override { current = page; }
    bool IsFullScreenShown() const override { return fullScreenShown; }

    std::vector<std::string> statusTexts;
    std::vector<int> routed;
    int fullScreenToggles = 0;
    CMediaPage* current = nullptr;
    bool fullScreenShown = false;
};

// A page with checked files and a recorded folder choice, as the list pages will be.
class CRecordingPage : public CMediaPage {
public:
    using CMediaPage::CMediaPage;
    void OnFolderSelected(const std::string& folder) override { selected.push_back(folder); }
    int GetTotalCount() const override { return total; }
    int GetCheckedCount() const override { return checked; }
    void CopyChecked() override { ++copies; }
    void OnLoopEnabled() override { ++loopsEnabled; }
    void StopPlayback() override
    {
        ++stops;
        CMediaPage::StopPlayback();
    }
    void RefreshList(const std::string& folder) override { refreshed.push_back(folder); }
    Gtk::Widget* CreateListPane() override { return &list; }

    std::vector<std::string> selected;
    std::vector<std::string> refreshed;
    int total = 0;
    int checked = 0;
    int copies = 0;
    int loopsEnabled = 0;
    int stops = 0;
    Gtk::Label list{"list"};
};

class MediaPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(900, 600);
        window->set_title("mev media page test");
        page = std::make_unique<CRecordingPage>(MediaKind::Audio, host);
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return page->IsStarted(); }));
        ASSERT_TRUE(BrowserShows(GetBlankPageUrl()));
    }
    void TearDown() override
    {
        window->unset_child();
        page.reset();
        window->destroy();
    }

    bool BrowserShows(const std::string& url)
    {
        if (test::RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl() == url; }))
            return true;
        ADD_FAILURE() << "the pane shows " << page->GetBrowser().GetLocationUrl() << ", not " << url;
        return false;
    }

    CCmdUI Update(int id)
    {
        CCmdUI ui;
        ui.id = id;
        EXPECT_TRUE(page->OnUpdateCommand(ui)) << id;
        return ui;
    }

    // Posts id, then a command only the host knows, and waits for that one: posted
    // commands run in order, so id has had its turn (whether it did anything or not).
    void PostAndSettle(int id)
    {
        constexpr int MARKER = 0x7fff0;
        page->PostCommand(id);
        page->PostCommand(MARKER);
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return !host.routed.empty() && host.routed.back() == MARKER; }));
        host.routed.pop_back();
    }

    CFakeHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CRecordingPage> page;
};

TEST_F(MediaPageTest, StartsBlankWithItsPanesAndBecomesTheCurrentPage)
{
    EXPECT_EQ(page->GetTabName(), std::string("Audios"));
    EXPECT_EQ(page->GetKind(), MediaKind::Audio);
    EXPECT_EQ(&page->GetListArea(), &page->list);
    EXPECT_TRUE(page->list.get_mapped());
    EXPECT_FALSE(page->GetTree().GetRootPath().empty());
    EXPECT_EQ(host.current, page.get());
    // The tree starts at the left, narrower than the page (once laid out).
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return page->GetTree().get_width() > 0; }));
    EXPECT_LT(page->GetTree().get_width(), page->get_width() / 2 + 50);
}

TEST_F(MediaPageTest, EnableRulesFollowTheBrowserPaneAndTheCounts)
{
    struct Rule { int id; bool enabledBlank; bool enabledPlaying; };
    const Rule rules[] = {
        {ID_VIEW_REFRESH, false, true},  {ID_VIEW_STOP, false, true},     {ID_VIEW_LOOP, false, true},
        {ID_VIEW_FULLSCREEN, false, true}, {ID_APP_ABOUT, true, true},    {ID_VIEW_CHANGEFOLDER, true, true},
        {ID_LIST_REFRESH, true, true},   {ID_FILE_COPY_SELECTED, false, false},
        {ID_FILE_MOVE_SELECTED, false, false}, {ID_FILE_DELETE_SELECTED, false, false},
    };
    for (const Rule& rule : rules)
        EXPECT_EQ(Update(rule.id).enabled, rule.enabledBlank) << "blank " << rule.id;
    EXPECT_EQ(Update(ID_INDICATOR_TOTAL).text, "Total: 0");
    EXPECT_EQ(Update(ID_INDICATOR_SELECTED).text, "Selected: 0");

    page->OnCommand(ID_APP_ABOUT);
    ASSERT_TRUE(BrowserShows(GetFrontPageUrl()));
    for (const Rule& rule : rules)
        EXPECT_EQ(Update(rule.id).enabled, rule.enabledPlaying) << "about " << rule.id;
    EXPECT_FALSE(Update(ID_VIEW_LOOP).checked);

    page->total = 12;
    page->checked = 2;
    EXPECT_EQ(Update(ID_INDICATOR_TOTAL).text, "Total: 12");
    EXPECT_EQ(Update(ID_INDICATOR_SELECTED).text, "Selected: 2");
    for (int id : {ID_FILE_COPY_SELECTED, ID_FILE_MOVE_SELECTED, ID_FILE_DELETE_SELECTED})
        EXPECT_TRUE(Update(id).enabled) << id;

    // Full Screen stays on while the full-screen window shows, even over a blank pane.
    page->OnCommand(ID_VIEW_STOP);
    ASSERT_TRUE(BrowserShows(GetBlankPageUrl()));
    host.fullScreenShown = true;
    EXPECT_TRUE(Update(ID_VIEW_FULLSCREEN).enabled);
    EXPECT_FALSE(Update(ID_VIEW_REFRESH).enabled);
}

TEST_F(MediaPageTest, PostedCommandsPassTheRulesLoopAndStop)
{
    // Loop is disabled over the blank page: posting it changes nothing.
    PostAndSettle(ID_VIEW_LOOP);
    EXPECT_FALSE(page->IsLoopOn());

    page->PostCommand(ID_APP_ABOUT);
    ASSERT_TRUE(BrowserShows(GetFrontPageUrl()));
    PostAndSettle(ID_VIEW_LOOP);
    EXPECT_TRUE(page->IsLoopOn());
    EXPECT_EQ(page->loopsEnabled, 1);
    EXPECT_TRUE(Update(ID_VIEW_LOOP).checked);

    // Stopping playback alone (Esc) keeps the loop switch; the Stop command clears it.
    page->StopPlayback();
    ASSERT_TRUE(BrowserShows(GetBlankPageUrl()));
    EXPECT_TRUE(page->IsLoopOn());
    EXPECT_FALSE(Update(ID_VIEW_LOOP).enabled);
    page->PostCommand(ID_APP_ABOUT);
    ASSERT_TRUE(BrowserShows(GetFrontPageUrl()));
    EXPECT_TRUE(Update(ID_VIEW_LOOP).checked);
    page->PostCommand(ID_VIEW_STOP);
    ASSERT_TRUE(BrowserShows(GetBlankPageUrl()));
    EXPECT_FALSE(page->IsLoopOn());

    // Copy goes to the page's operation only while something is checked.
    PostAndSettle(ID_FILE_COPY_SELECTED);
    EXPECT_EQ(page->copies, 0);
    page->checked = 1;
    PostAndSettle(ID_FILE_COPY_SELECTED);
    EXPECT_EQ(page->copies, 1);

    // Full Screen asks the host; a command the page does not know goes to the host too.
    page->PostCommand(ID_APP_ABOUT);
    ASSERT_TRUE(BrowserShows(GetFrontPageUrl()));
    page->PostCommand(ID_VIEW_FULLSCREEN);
    PostAndSettle(ID_TOOLS_TAGEDITOR);
    EXPECT_EQ(host.fullScreenToggles, 1);
    EXPECT_EQ(host.routed, std::vector<int>{ID_TOOLS_TAGEDITOR});
}

TEST_F(MediaPageTest, EscapeStopsPlaybackAndKeepsTheLoop)
{
    page->OnCommand(ID_APP_ABOUT);
    ASSERT_TRUE(BrowserShows(GetFrontPageUrl()));
    page->OnCommand(ID_VIEW_LOOP);
    ASSERT_TRUE(page->IsLoopOn());
    page->GetTree().GetTreeView().grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return window->get_focus() == &page->GetTree().GetTreeView(); }));
    ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^mev media page test$' windowfocus --sync "
                              "key Escape"));
    ASSERT_TRUE(BrowserShows(GetBlankPageUrl()));
    EXPECT_EQ(page->stops, 1);
    EXPECT_TRUE(page->IsLoopOn());
}

TEST_F(MediaPageTest, PageMessagesNavigateAndAnswerZero)
{
    std::vector<int> answers;
    auto record = [&](int answer) { answers.push_back(answer); };
    page->OnPageMessage(PAGEMSG_QUERY_AUTOPLAY, "", record);
    page->OnPageMessage(PAGEMSG_STOP_AUTOPLAY, "", record);
    page->OnPageMessage(PAGEMSG_NAVIGATE, GetFrontPageUrl(), record);
    page->OnPageMessage(99, "", record);
    EXPECT_EQ(answers, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(BrowserShows(GetFrontPageUrl()));
}

TEST_F(MediaPageTest, ChangeFolderReachesThePageWithNothingSelected)
{
    test::CTempFolder other;
    fs::create_directories(other.Path() + "/sub");
    page->ChangeFolder(other.Path());
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return !page->selected.empty() && !page->GetTree().IsBusy(); }));
    EXPECT_EQ(page->GetTree().GetRootPath(), other.Path());
    EXPECT_EQ(page->selected.back(), "");

    // A selection made after the first click arrives as the chosen folder.
    page->GetTree().MarkUserClicked();
    auto root = page->GetTree().GetRootRow();
    page->GetTree().GetTreeView().get_selection()->select(root->children().begin());
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->selected.back() == other.Path() + "/sub"; }));

    // Refresh (list) hands the selected folder to the page as well.
    PostAndSettle(ID_LIST_REFRESH);
    EXPECT_EQ(page->refreshed, std::vector<std::string>{other.Path() + "/sub"});
}

TEST_F(MediaPageTest, ResizeBringsTheSplittersBack)
{
    // The splitters take their places in the page's first layouts: the width counts once
    // two frames agree on it (read earlier, it was once a width the page never came back to).
    int initial = 0;
    ASSERT_TRUE(test::WaitForSettledLayout(*page, [&] {
        initial = page->GetTree().get_width();
        return initial > 0 ? std::to_string(initial) : std::string();
    }));
    auto* columns = dynamic_cast<Gtk::Paned*>(page->get_first_child());
    ASSERT_NE(columns, nullptr);
    // A drag made before the display server's last answer on the window's size is undone
    // by that resize, as it should be: drag again until a drag outlives the page's layouts.
    ASSERT_TRUE(test::RunMainLoopUntil([&] {
        if (page->GetTree().get_width() > initial + 60)
            return true;
        if (columns->get_position() != initial + 120)
            columns->set_position(initial + 120);
        return false;
    }));
    // Any new size of the page lays it out again.
    page->set_size_request(page->get_width() + 100, page->get_height() + 50);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->GetTree().get_width() == initial; }));
}

} // namespace
} // namespace mev
