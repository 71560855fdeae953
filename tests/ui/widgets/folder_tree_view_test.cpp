#include "ui/widgets/folder_tree_view.hpp"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/shell/settings.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

constexpr const char* TREE_WINDOW_TITLE = "mev folder tree test";

class FolderTreeViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(300, 400);
        window->set_title(TREE_WINDOW_TITLE);
        tree = std::make_unique<CFolderTreeView>();
        tree->SetCommandPoster([this](int id) { posted.push_back(id); });
        window->set_child(*tree);
        window->present();
    }
    void TearDown() override
    {
        window->unset_child();
        tree.reset();
        window->destroy();
    }

    std::string Make(const std::string& rel) const
    {
        fs::create_directories(folder.Path() + "/" + rel);
        return folder.Path() + "/" + rel;
    }

    bool WaitIdle() { return test::RunMainLoopUntil([this] { return !tree->IsBusy(); }); }

    Gtk::TreeModel::iterator Find(const Gtk::TreeModel::iterator& parent, const std::string& label)
    {
        for (auto& row : parent->children()) {
            Glib::ustring text;
            row.get_value(0, text);
            if (text.raw() == label)
                return row.get_iter();
        }
        return {};
    }

    // Labels of the listed children; a row still waiting to be listed shows as "?".
    std::vector<std::string> Labels(const Gtk::TreeModel::iterator& parent)
    {
        std::vector<std::string> labels;
        for (auto& row : parent->children()) {
            bool placeholder = false;
            row.get_value(3, placeholder);
            Glib::ustring text;
            row.get_value(0, text);
            labels.push_back(placeholder ? "?" : text.raw());
        }
        return labels;
    }

    std::string PathOf(const Gtk::TreeModel::iterator& row)
    {
        std::string path;
        row->get_value(1, path);
        return path;
    }

    bool Expand(const Gtk::TreeModel::iterator& row)
    {
        auto path = tree->GetTreeView().get_model()->get_path(row);
        tree->GetTreeView().expand_row(path, false);
        return test::RunMainLoopUntil(
            [&] { return !tree->IsBusy() && tree->GetTreeView().row_expanded(path); });
    }

    // Clicks the middle of a row's label with a real pointer through the X server.
    bool ClickRow(const Gtk::TreeModel::iterator& row, int button)
    {
        auto& view = tree->GetTreeView();
        const Gdk::Rectangle cell = test::SettledCellArea(view, view.get_model()->get_path(row).to_string(), *view.get_column(0));
        return ClickAt(cell.get_x() + cell.get_width() / 2, cell.get_y() + cell.get_height() / 2, button);
    }

    // Clicks the expander arrow in front of a row.
    bool ClickExpander(const Gtk::TreeModel::iterator& row)
    {
        auto& view = tree->GetTreeView();
        const Gdk::Rectangle cell = test::SettledCellArea(view, view.get_model()->get_path(row).to_string(), *view.get_column(0));
        return ClickAt(cell.get_x() - 8, cell.get_y() + cell.get_height() / 2, 1);
    }

    // Clicks a point of the tree's bin window; keys, when given, are held down for the click.
    bool ClickAt(int bx, int by, int button, const std::string& keys = "")
    {
        auto& view = tree->GetTreeView();
        int wx = 0;
        int wy = 0;
        view.convert_bin_window_to_widget_coords(bx, by, wx, wy);
        double x = 0;
        double y = 0;
        if (!view.translate_coordinates(*window, wx, wy, x, y))
            return false;
        double sx = 0;
        double sy = 0;
        window->get_surface_transform(sx, sy);
        std::string where = std::to_string(static_cast<int>(x + sx)) + " " + std::to_string(static_cast<int>(y + sy));
        bool ok = test::XdoTool(std::string("search --sync --onlyvisible --name '^") + TREE_WINDOW_TITLE +
                          "$' windowfocus --sync mousemove --window %1 " + where
                          + (keys.empty() ? "" : " keydown " + keys) + " click " + std::to_string(button)
                          + (keys.empty() ? "" : " keyup " + keys));
        test::RunMainLoopFor(300);
        return ok;
    }

    test::CTempFolder folder;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CFolderTreeView> tree;
    std::vector<int> posted;
};

TEST_F(FolderTreeViewTest, ListsSubFoldersLazilyAndRereadsAfterCollapse)
{
    Make("beta/inner");
    Make("alpha");
    Make(".hidden/x");
    Make("gone/sub");
    const std::string latin1 = "caf\xe9";
    Make(latin1);
    Make("Zeta");
    Make("\xc3\xbcmlaut");
    Make("file10");
    Make("file9");
    folder.Write("file.jpg", "x");

    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    auto root = tree->GetRootRow();
    ASSERT_TRUE(root);
    EXPECT_EQ(PathOf(root), folder.Path());
    // In the locale's order, with numbers in numeric order.
    EXPECT_EQ(Labels(root), (std::vector<std::string>{"alpha", "beta", "caf\xef\xbf\xbd", "file9", "file10", "gone",
                                                      "\xc3\xbcmlaut", "Zeta"}));
    EXPECT_TRUE(tree->GetTreeView().row_expanded(tree->GetTreeView().get_model()->get_path(root)));

    auto alpha = Find(root, "alpha");
    auto beta = Find(root, "beta");
    auto odd = Find(root, "caf\xef\xbf\xbd");
    ASSERT_TRUE(alpha && beta && odd);
    // Sub-folders are read only when a folder is expanded: until then every folder shows
    // an expander, which goes away when the folder turns out to have none.
    EXPECT_EQ(Labels(alpha), std::vector<std::string>{"?"});
    EXPECT_EQ(Labels(beta), std::vector<std::string>{"?"});
    EXPECT_EQ(PathOf(odd), folder.Path() + "/" + latin1);

    ASSERT_TRUE(Expand(beta));
    EXPECT_EQ(Labels(beta), std::vector<std::string>{"inner"});

    // A collapse forgets the children; the next expansion sees what changed on disk.
    tree->GetTreeView().collapse_row(tree->GetTreeView().get_model()->get_path(beta));
    EXPECT_EQ(Labels(beta), std::vector<std::string>{"?"});
    Make("beta/Another");
    ASSERT_TRUE(Expand(beta));
    EXPECT_EQ(Labels(beta), (std::vector<std::string>{"Another", "inner"}));

    // A folder that vanished after it was listed loses its expander on expansion.
    fs::remove_all(folder.Path() + "/gone");
    auto gone = Find(root, "gone");
    auto gonePath = tree->GetTreeView().get_model()->get_path(gone);
    tree->GetTreeView().expand_row(gonePath, false);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Labels(gone), std::vector<std::string>{});
    EXPECT_FALSE(tree->GetTreeView().row_expanded(gonePath));
}

TEST_F(FolderTreeViewTest, NothingIsSelectedBeforeTheFirstClickThenSelectionIsPosted)
{
    Make("one");
    Make("two");
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    auto selection = tree->GetTreeView().get_selection();
    auto two = Find(tree->GetRootRow(), "two");
    ASSERT_TRUE(two);

    posted.clear();
    selection->select(two);
    EXPECT_EQ(tree->GetSelectedFolder(), "");
    EXPECT_TRUE(posted.empty());

    tree->MarkUserClicked();
    selection->select(two);
    EXPECT_EQ(tree->GetSelectedFolder(), folder.Path() + "/two");
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_FOLDER_SELECTED});

    // Rebuilding drops the selection (and says so); no folder is selected afterwards.
    posted.clear();
    tree->Rebuild();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(tree->GetSelectedFolder(), "");
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_FOLDER_SELECTED});
}

TEST_F(FolderTreeViewTest, RealClicksSelectOpenTheRootAndLeaveTheSelectionToTheLeftButton)
{
    Make("one");
    Make("two");
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().get_mapped(); }));
    test::RunMainLoopFor(200);

    // Keyboard focus arriving first selects nothing.
    tree->GetTreeView().grab_focus();
    test::RunMainLoopFor(100);
    EXPECT_EQ(tree->GetSelectedFolder(), "");

    posted.clear();
    auto root = tree->GetRootRow();
    ASSERT_TRUE(ClickRow(Find(root, "two"), 1));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return tree->GetSelectedFolder() == folder.Path() + "/two" && !posted.empty(); }));
    EXPECT_TRUE(tree->HasUserClicked());
    EXPECT_EQ(tree->GetSelectedFolder(), folder.Path() + "/two");
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_FOLDER_SELECTED});

    // The right button opens the menu and leaves the selection alone.
    posted.clear();
    ASSERT_TRUE(ClickRow(Find(root, "one"), 3));
    EXPECT_EQ(tree->GetSelectedFolder(), folder.Path() + "/two");
    EXPECT_TRUE(posted.empty());
    test::XdoTool("key Escape");
    test::RunMainLoopFor(200);

    // A click on the closed root opens it again.
    auto rootPath = tree->GetTreeView().get_model()->get_path(root);
    tree->GetTreeView().collapse_row(rootPath);
    ASSERT_FALSE(tree->GetTreeView().row_expanded(rootPath));
    ASSERT_TRUE(ClickRow(root, 1));
    EXPECT_TRUE(test::RunMainLoopUntil(
        [&] { return !tree->IsBusy() && tree->GetTreeView().row_expanded(rootPath); }));
    EXPECT_EQ(Labels(tree->GetRootRow()), (std::vector<std::string>{"one", "two"}));
}

// Keys are the user's act as much as a click: a keyboard alone opens folders, Shift with
// an arrow asks to append. Keys that only pass through (Tab) still choose nothing.
TEST_F(FolderTreeViewTest, KeysInTheTreeSelectWithoutAnyClick)
{
    Make("one");
    Make("two");
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().get_mapped(); }));
    ASSERT_TRUE(test::XdoTool(std::string("search --sync --onlyvisible --name '^") + TREE_WINDOW_TITLE
                              + "$' windowfocus --sync"));
    tree->GetTreeView().grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().has_focus(); }));
    // The first arrow selects the row the keyboard is on, the next moves on.
    posted.clear();
    ASSERT_TRUE(test::XdoTool("key Down"));
    EXPECT_TRUE(test::RunMainLoopUntil([this] { return tree->GetSelectedFolder() == folder.Path(); }));
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_FOLDER_SELECTED});
    ASSERT_TRUE(test::XdoTool("key Down"));
    EXPECT_TRUE(test::RunMainLoopUntil([this] { return tree->GetSelectedFolder() == folder.Path() + "/one"; }));
    EXPECT_FALSE(tree->IsAppendSelection());

    ASSERT_TRUE(test::XdoTool("key shift+Down"));
    EXPECT_TRUE(test::RunMainLoopUntil([this] { return tree->GetSelectedFolder() == folder.Path() + "/two"; }));
    EXPECT_TRUE(tree->IsAppendSelection());
    ASSERT_TRUE(test::XdoTool("key Up"));
    EXPECT_TRUE(test::RunMainLoopUntil([this] { return tree->GetSelectedFolder() == folder.Path() + "/one"; }));
    EXPECT_FALSE(tree->IsAppendSelection());
}

// Shift in a quick click asks to append the folder's files: taken from the click itself,
// as the key is up again before the page reads the folder.
TEST_F(FolderTreeViewTest, ShiftIsTakenFromTheClickThatSelects)
{
    Make("one");
    Make("two");
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().get_mapped(); }));
    // Drawn on screen a few times: the window is where the pointer will find it.
    auto clock = window->get_frame_clock();
    const gint64 frame = clock->get_frame_counter();
    ASSERT_TRUE(test::RunMainLoopUntil([&] {
        tree->GetTreeView().queue_draw();
        return clock->get_frame_counter() >= frame + 3;
    }));
    auto root = tree->GetRootRow();
    auto& view = tree->GetTreeView();
    Gdk::Rectangle cell;
    // The rows are laid out: the last one has its place.
    ASSERT_TRUE(test::RunMainLoopUntil([&] {
        view.get_cell_area(view.get_model()->get_path(Find(root, "two")), *view.get_column(0), cell);
        return cell.get_height() > 0 && cell.get_y() > 0;
    }));
    ASSERT_TRUE(ClickRow(Find(root, "one"), 1));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return tree->GetSelectedFolder() == folder.Path() + "/one"; }));
    EXPECT_FALSE(tree->IsAppendSelection());

    ASSERT_TRUE(ClickAt(cell.get_x() + cell.get_width() / 2, cell.get_y() + cell.get_height() / 2, 1, "shift"));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return tree->GetSelectedFolder() == folder.Path() + "/two"; }));
    auto keyboard = Gdk::Display::get_default()->get_default_seat()->get_keyboard();
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] { return (keyboard->get_modifier_state() & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType(); }));
    EXPECT_TRUE(tree->IsAppendSelection());
}

// Typed letters pick the next shown folder that begins with them; the same letter again
// steps on, a pause starts a new word. No toolkit warning on the way (criticals are fatal).
TEST_F(FolderTreeViewTest, TypedLettersSelectFoldersByName)
{
    Make("Alpha");
    Make("beta");
    Make("Bravo/inner");
    Make("bz");
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().get_mapped(); }));
    test::RunMainLoopFor(200);
    ASSERT_TRUE(ClickRow(tree->GetRootRow(), 1));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return tree->GetSelectedFolder() == folder.Path(); }));
    // Types keys and waits for the folder they should select.
    auto type = [&](const std::string& keys, const std::string& expected) {
        test::XdoTool("key --delay 50 " + keys);
        EXPECT_TRUE(test::RunMainLoopUntil([&] { return tree->GetSelectedFolder() == folder.Path() + expected; }))
            << keys << ": " << tree->GetSelectedFolder();
    };
    type("b", "/beta");
    type("b", "/Bravo");
    test::RunMainLoopFor(1200);
    type("B z", "/bz");
    test::RunMainLoopFor(1200);
    type("a", "/Alpha");
    // Ctrl with a letter is a command, not a name.
    test::XdoTool("key ctrl+b");
    test::RunMainLoopFor(300);
    EXPECT_EQ(tree->GetSelectedFolder(), folder.Path() + "/Alpha");
}

TEST_F(FolderTreeViewTest, ClicksOnExpandersOpenAndCloseWithoutSelecting)
{
    Make("one/inner");
    Make("two");
    // The keyboard is elsewhere: the press on an expander brings it into the tree.
    Gtk::Box box(Gtk::Orientation::VERTICAL);
    Gtk::Button elsewhere("elsewhere");
    window->unset_child();
    box.append(elsewhere);
    box.append(*tree);
    tree->set_vexpand(true);
    window->set_child(box);
    elsewhere.grab_focus();
    tree->Rebuild(folder.Path());
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(test::RunMainLoopUntil([this] { return tree->GetTreeView().get_mapped(); }));
    test::RunMainLoopFor(200);
    auto& view = tree->GetTreeView();
    auto one = Find(tree->GetRootRow(), "one");
    auto onePath = view.get_model()->get_path(one);
    auto rootPath = view.get_model()->get_path(tree->GetRootRow());

    posted.clear();
    ASSERT_TRUE(ClickExpander(one));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !tree->IsBusy() && view.row_expanded(onePath); }));
    ASSERT_TRUE(ClickExpander(one));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !view.row_expanded(onePath); }));
    ASSERT_TRUE(ClickExpander(tree->GetRootRow()));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !view.row_expanded(rootPath); }));
    EXPECT_FALSE(tree->HasUserClicked());
    EXPECT_EQ(tree->GetSelectedFolder(), "");
    EXPECT_TRUE(posted.empty());
    window->unset_child();
    box.remove(*tree);
}

TEST_F(FolderTreeViewTest, ChangeFolderWithAFolderRebuildsAndPosts)
{
    Make("first/a");
    std::string other = Make("second");
    Make("second/b");
    Make("second/c");
    tree->Rebuild(folder.Path() + "/first");
    ASSERT_TRUE(WaitIdle());
    posted.clear();

    tree->ChangeFolder(folder.Path() + "/does-not-exist");
    EXPECT_EQ(tree->GetRootPath(), folder.Path() + "/first");
    EXPECT_TRUE(posted.empty());

    tree->ChangeFolder(other + "/");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(tree->GetRootPath(), other);
    Glib::ustring rootLabel;
    tree->GetRootRow()->get_value(0, rootLabel);
    EXPECT_EQ(rootLabel.raw(), "second");
    EXPECT_EQ(Labels(tree->GetRootRow()), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(posted, std::vector<int>{ID_PRIVATE_FOLDER_SELECTED});
}

TEST_F(FolderTreeViewTest, ThousandsOfSubFoldersFillWhileTheMainLoopTurns)
{
    constexpr int COUNT = 3000;
    for (int i = 0; i < COUNT; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%04d", i);
        fs::create_directory(folder.Path() + "/" + name);
    }
    int ticksWhilePartlyFilled = 0;
    int ticks = 0;
    auto idle = Glib::signal_idle().connect([&] {
        ++ticks;
        auto root = tree->GetRootRow();
        auto rows = root ? root->children().size() : 0;
        if (rows > 1 && rows < static_cast<std::size_t>(COUNT))
            ++ticksWhilePartlyFilled;
        return true;
    });
    tree->Rebuild(folder.Path());
    bool filled = test::RunMainLoopUntil(
        [&] { return !tree->IsBusy() && tree->GetRootRow()->children().size() == static_cast<std::size_t>(COUNT); },
        60000);
    idle.disconnect();
    ASSERT_TRUE(filled);
    EXPECT_GT(ticksWhilePartlyFilled, 0);
    auto labels = Labels(tree->GetRootRow());
    EXPECT_EQ(labels.front(), "d0000");
    EXPECT_EQ(labels.back(), "d2999");
}

TEST_F(FolderTreeViewTest, RootIsRememberedAtDestructionOnlyOnAFixedDisk)
{
    std::string fixedRoot = Make("fixed");
    std::string discRoot = Make("disc");
    struct Case { std::string root; DriveType type; std::string expected; };
    const Case cases[] = {
        {fixedRoot, DriveType::Fixed, fixedRoot},
        {discRoot, DriveType::Disc, fixedRoot},
        {discRoot, DriveType::Removable, fixedRoot},
        {discRoot, DriveType::Remote, fixedRoot},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        auto other = std::make_unique<CFolderTreeView>();
        other->SetDriveTypeSource([type = c.type](const std::string&) { return type; });
        other->SetRoot(4, "Videos");
        other->Rebuild(c.root);
        other.reset();
        EXPECT_EQ(GetSettingString("fld_of_Videos", ""), c.expected);
    }
    // The next start takes the remembered folder as its root.
    auto next = std::make_unique<CFolderTreeView>();
    next->SetDriveTypeSource([](const std::string&) { return DriveType::Disc; });
    next->SetRoot(4, "Videos");
    EXPECT_EQ(next->GetRootPath(), fixedRoot);
    // A remembered folder that is gone gives way to the default.
    fs::remove_all(fixedRoot);
    next->SetRoot(4, "Videos");
    EXPECT_NE(next->GetRootPath(), fixedRoot);
    EXPECT_FALSE(next->GetRootPath().empty());
}

} // namespace
} // namespace mev
