#include "ui/widgets/file_list_ctrl.hpp"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "ui/widgets/open_with_menu.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

constexpr const char* FILE_LIST_WINDOW_TITLE = "mev file list test";

class FileListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            folder.Write(name, std::string(200, 'x'));
        window = std::make_unique<Gtk::Window>();
        window->set_title(FILE_LIST_WINDOW_TITLE);
        window->set_default_size(500, 400);
        list = std::make_unique<CFileListCtrl>();
        list->SetCommandPoster([this](int id) { posted.push_back(id); });
        list->SetOpenWithContext("audio", IDR_AUDIO_LIST_MENU);
        window->set_child(*list);
        window->present();
        list->FillFolder(folder.Path(), MediaKind::Audio, false);
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return !list->IsFilling() && list->get_mapped(); }));
        ASSERT_EQ(list->GetCount(), 3);
        // The window has the focus before the first click, which would otherwise only give it.
        ASSERT_TRUE(test::XdoTool(std::string("search --sync --onlyvisible --name '^") + FILE_LIST_WINDOW_TITLE
                                  + "$' windowfocus --sync"));
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return window->is_active(); }));
    }
    void TearDown() override
    {
        window->unset_child();
        list.reset();
        window->destroy();
    }

    // Clicks a row's cell (column 0 is the check box, 1 the name; row -1 is the empty
    // space below the rows) with a real pointer through the X server.
    bool Click(int row, int column, int button, bool twice = false)
    {
        auto& view = list->GetTreeView();
        const int shown = row < 0 ? list->GetCount() - 1 : row;
        return test::ClickTreeCell(*window, FILE_LIST_WINDOW_TITLE, view, std::to_string(shown), *view.get_column(column),
                                   button, row < 0 ? 60 : 0, twice);
    }

    bool Enabled(int id)
    {
        CCmdUI ui;
        ui.id = id;
        EXPECT_TRUE(list->OnUpdateCommand(ui));
        return ui.enabled;
    }

    test::CTempFolder folder;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CFileListCtrl> list;
    std::vector<int> posted;
};

TEST_F(FileListCtrlTest, OnlyMouseClicksThatChangeTheSelectionAreReported)
{
    ASSERT_TRUE(Click(1, 1, 1));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return list->GetSelectedPath() == folder.File("b.mp3"); }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !posted.empty(); }));
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_LIST_SELECTED});
    // The selected row again, in another column: far enough from the first click that a
    // busy display server cannot take the two for a double-click.
    ASSERT_TRUE(Click(1, 2, 1));

    // A check box checks and leaves the selection alone; so does a right-click, which
    // checks nothing either. (Each click is handled in turn: once one has been seen, the
    // ones before it have had their effect.)
    ASSERT_TRUE(Click(2, 0, 1));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return list->GetModel().IsChecked(2); }));
    ASSERT_TRUE(Click(0, 1, 3));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return list->GetContextRow() == 0; }));
    test::XdoTool("key Escape");
    EXPECT_FALSE(list->GetModel().IsChecked(0));
    EXPECT_EQ(list->GetSelectedRow(), 1);
    EXPECT_EQ(posted.size(), 1u);

    // A double-click tells the page twice: the new selection, then the double-click.
    posted.clear();
    ASSERT_TRUE(Click(0, 1, 1, true));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return posted.size() >= 2; }));
    EXPECT_EQ(posted, (std::vector<int>{ID_PRIVATE_LIST_SELECTED, ID_PRIVATE_LIST_DBLCLK}));

    // The keyboard moves the selection without a word to the page.
    posted.clear();
    ASSERT_TRUE(test::XdoTool("key Down"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return list->GetSelectedRow() == 1; }));
    EXPECT_TRUE(posted.empty());
}

// A refill (Refresh) leaves no row selected; clicks below the rows then choose nothing,
// and the one that lets go of a selected row is reported, so the page shows blank.
TEST_F(FileListCtrlTest, ClicksBelowTheRowsChooseNothingAndLetGoOfTheSelection)
{
    list->FillFolder(folder.Path(), MediaKind::Audio, false);
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return !list->IsFilling() && list->GetCount() == 3; }));
    posted.clear();
    ASSERT_TRUE(Click(-1, 1, 1));
    EXPECT_EQ(list->GetSelectedRow(), -1);
    EXPECT_TRUE(posted.empty());

    ASSERT_TRUE(Click(2, 1, 1));
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return posted.size() == 1; }));
    EXPECT_EQ(list->GetSelectedRow(), 2);
    ASSERT_TRUE(Click(-1, 1, 1));
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return posted.size() == 2; }));
    EXPECT_EQ(list->GetSelectedRow(), -1);
    EXPECT_EQ(posted, (std::vector<int>{ID_PRIVATE_LIST_SELECTED, ID_PRIVATE_LIST_SELECTED}));

    // The first row, never chosen before, is news to the page when clicked.
    ASSERT_TRUE(Click(0, 1, 1));
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return posted.size() == 3; }));
    EXPECT_EQ(list->GetSelectedRow(), 0);
}

// Size and Time show their longest texts whole; Name takes the width that is left.
TEST_F(FileListCtrlTest, SizeAndTimeShowWholeAndNameTakesTheRest)
{
    folder.Write("big.mp3", std::string(1048575, 'x'));  // "1024.0 KB"
    list->FillFolder(folder.Path(), MediaKind::Audio, false);
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return !list->IsFilling() && list->GetCount() == 4; }));
    auto& view = list->GetTreeView();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return view.get_column(4)->get_width() > 0; }));
    const int big = list->FindByPath(folder.File("big.mp3"));
    ASSERT_EQ(list->GetModel().GetSizeText(static_cast<std::size_t>(big)), "1024.0 KB");
    auto row = view.get_model()->get_iter(std::to_string(big));
    for (int c : {3, 4}) {
        Gtk::TreeViewColumn& column = *view.get_column(c);
        column.cell_set_cell_data(view.get_model(), row, false, false);
        int x = 0, y = 0, width = 0, height = 0;
        column.cell_get_size(x, y, width, height);
        Gdk::Rectangle area;
        view.get_cell_area(Gtk::TreeModel::Path(std::to_string(big)), column, area);
        EXPECT_GE(area.get_width(), width) << column.get_title();
    }
    int total = 0;
    for (int c = 0; c < 5; ++c)
        total += view.get_column(c)->get_width();
    EXPECT_GE(total, view.get_width() - 2) << "the columns fill the list";
    EXPECT_GE(view.get_column(1)->get_width(), view.get_column(2)->get_width()) << "Name takes the room";
}

TEST_F(FileListCtrlTest, OpenWithRunsTheProgramOnTheRowUnderTheRightClick)
{
    const std::string out = folder.File("opened.txt");
    // Written whole under another name, then renamed: the file is complete once it exists.
    const std::string program =
        folder.Write("player.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" + out + "'\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    ASSERT_TRUE(AddOpenWithProgram("audio", program, ""));

    ASSERT_TRUE(Click(-1, 1, 3));
    test::XdoTool("key Escape");
    EXPECT_EQ(list->GetContextRow(), -1);
    EXPECT_FALSE(Enabled(ID_OPENWITH_FIRST));
    EXPECT_FALSE(Enabled(ID_OPENWITH_SELECT));

    ASSERT_TRUE(Click(2, 1, 3));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return list->GetContextRow() == 2; }));
    test::XdoTool("key Escape");
    ASSERT_TRUE(Enabled(ID_OPENWITH_FIRST));
    EXPECT_TRUE(list->OnCommand(ID_OPENWITH_FIRST));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return std::filesystem::exists(out); }));
    std::ifstream in(out);
    std::string opened((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(opened, folder.File("c.mp3"));
}

// The listing is made on a worker; the list and its filled handler are updated on the
// main loop, even when the worker finishes while no loop runs.
TEST_F(FileListCtrlTest, AFinishedListingIsAppliedOnTheMainThread)
{
    std::thread::id filledOn;
    bool filled = false;
    list->SetFilledHandler([&] {
        filledOn = std::this_thread::get_id();
        filled = true;
    });
    list->FillFolder(folder.Path(), MediaKind::Audio, false);
    // Give the worker time to finish while the main loop is not run.
    for (int i = 0; i < 200 && !filled; ++i)
        usleep(10000);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return filled; }));
    EXPECT_EQ(filledOn, std::this_thread::get_id());
    EXPECT_EQ(list->GetCount(), 3);
}

} // namespace
} // namespace mev
