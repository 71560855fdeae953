#include "ui/app/menu_tables.hpp"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/settings.hpp"
#include "ui/app/command_actions.hpp"
#include "ui/app/display_info.hpp"
#include "ui/app/mev_app.hpp"
#include "ui/widgets/tab_row.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

std::vector<std::string> Labels(const std::vector<MenuEntry>& entries)
{
    std::vector<std::string> labels;
    for (const MenuEntry& e : entries)
        labels.push_back(e.kind == MenuEntry::Kind::Separator ? "-" : e.label);
    return labels;
}

TEST(MenuTables, MainMenuHasTheProgramsLabelsInOrder)
{
    const auto& menu = GetMenuEntries(IDR_MAINFRAME);
    ASSERT_EQ(Labels(menu), (std::vector<std::string>{"&File", "&View", "Tools", "&Help"}));
    EXPECT_EQ(Labels(menu[0].children),
              (std::vector<std::string>{"Create Autorun.ini", "-", "Copy Selected Files...", "Move Seleced Files",
                                        "Delete Selected Files...", "-", "E&xit"}));
    EXPECT_EQ(CollectMenuCommands(IDR_MAINFRAME),
              (std::vector<int>{32828, 32791, 32792, 32793, 57665, 32772, 32806, 32805}));
    EXPECT_EQ(CollectMenuCommands(IDR_FULLSCREEN_MENU),
              (std::vector<int>{32783, 32784, 32781, 32782, 32777, 32778, 32779, 32780, 32794, 32795, 32790, 32796,
                                32775, 32900, 32901, 32902, 32903, 32904, 32905, 32906, 32907}));
    EXPECT_EQ(CollectMenuCommands(IDR_AUDIO_MENU), (std::vector<int>{32843, 32776, 32790}));
    EXPECT_TRUE(GetMenuEntries(999).empty());
}

TEST(MenuTables, LabelsBecomeGtkLabelsAndKeyHints)
{
    struct Case {
        const char* resource;
        const char* gtk;
        const char* accel;
        const char* suffix;
    };
    const Case cases[] = {
        {"&File", "_File", "", ""},
        {"E&xit", "E_xit", "", ""},
        {"&About MEV...", "_About MEV...", "", ""},
        {"Tom && Jerry", "Tom & Jerry", "", ""},
        {"snake_case", "snake__case", "", ""},
        {"trailing&", "trailing", "", ""},
        {"Next\t(F12)", "Next", "F12", ""},
        {"Stop\t(ESC)", "Stop", "Escape", ""},
        {"Previous\t(PageUp)", "Previous", "Page_Up", ""},
        {"Next\t(PageDown)", "Next", "Page_Down", ""},
        {"First\t(Home)", "First", "Home", ""},
        {"32\tPixels", "32", "", "Pixels"},
        {"Zoom In\t(+)", "Zoom In", "plus", ""},
        {"Rotate Right\t(Ctrl+R)", "Rotate Right", "<Control>r", ""},
        {"Odd\t(Fx)", "Odd", "", "(Fx)"},
        {"Odd\t()", "Odd", "", "()"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToGtkLabel(c.resource), c.gtk) << c.resource;
        EXPECT_EQ(GetLabelAccel(c.resource), c.accel) << c.resource;
        EXPECT_EQ(GetLabelSuffix(c.resource), c.suffix) << c.resource;
    }
    EXPECT_EQ(GetCommandPrompt(ID_VIEW_FULLSCREEN), "Toggle full-screen mode.");
    EXPECT_EQ(GetCommandPrompt(ID_FILE_DELETE_SELECTED), "");
    EXPECT_EQ(GetPromptOfMenuLabel("Full Screen"), "Toggle full-screen mode.");
    EXPECT_EQ(GetPromptOfMenuLabel("Loop"), "Repeat play the same file.");
    EXPECT_EQ(GetPromptOfMenuLabel("Move Seleced Files"), "Move seleced files to another folder.");
    EXPECT_EQ(GetPromptOfMenuLabel("E_xit"), "");
    EXPECT_EQ(GetPromptOfMenuLabel(""), "");
}

TEST(MenuTables, AcceleratorTableCoversTheKeys)
{
    std::set<std::string> keys;
    for (const AcceleratorEntry& row : GetAcceleratorTable(IDR_MAINFRAME)) {
        for (const std::string& key : row.keys) {
            guint keyval = 0;
            GdkModifierType mods{};
            EXPECT_TRUE(gtk_accelerator_parse(key.c_str(), &keyval, &mods)) << key;
            EXPECT_TRUE(keys.insert(key).second) << "bound twice: " << key;
        }
    }
    EXPECT_EQ(keys.size(), 8U + 8U + 4U + 10U);
    for (const char* key : {"F10", "F9", "<Control>Left", "<Control>KP_5", "<Shift>Insert", "<Alt>BackSpace"})
        EXPECT_EQ(keys.count(key), 1U) << key;
    EXPECT_TRUE(GetAcceleratorTable(IDR_IMAGE_MENU).empty());
    // The picture's keys are the window's, apart from the application's, and every key
    // a picture menu item shows is one of them.
    std::set<std::string> pictureKeys;
    for (const AcceleratorEntry& row : GetPictureKeyTable()) {
        for (const std::string& key : row.keys) {
            EXPECT_TRUE(gtk_accelerator_parse(key.c_str(), nullptr, nullptr)) << key;
            EXPECT_EQ(keys.count(key), 0U) << key;
            EXPECT_TRUE(pictureKeys.insert(key + "=" + std::to_string(row.id)).second) << key;
        }
    }
    for (const MenuEntry& e : GetMenuEntries(IDR_IMAGE_MENU)) {
        if (e.id >= ID_PICTURE_ZOOM_IN && e.id <= ID_PICTURE_DELETE) {
            EXPECT_EQ(pictureKeys.count(GetLabelAccel(e.label) + "=" + std::to_string(e.id)), 1U) << e.label;
        }
    }
}

TEST(MenuTables, MenuModelsUseSectionsAndDropOpenWithOnRequest)
{
    CCommandRouter router{[] { return CCommandRouter::Chain{}; }};
    CCommandActions actions(router);
    auto bar = actions.BuildMenu(IDR_MAINFRAME);
    ASSERT_EQ(bar->get_n_items(), 4);
    auto file = bar->get_item_link(0, Gio::MenuModel::Link::SUBMENU);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->get_n_items(), 3);  // three sections between the two separators

    auto index = actions.BuildMenu(IDR_INDEX_MENU, true);
    auto indexWithout = actions.BuildMenu(IDR_INDEX_MENU, false);
    auto firstSection = [](const Glib::RefPtr<Gio::Menu>& m) {
        return m->get_item_link(0, Gio::MenuModel::Link::SECTION);
    };
    EXPECT_EQ(firstSection(index)->get_n_items(), 5);
    EXPECT_EQ(firstSection(indexWithout)->get_n_items(), 4);

    // With nobody in the chain every menu command is disabled; checkable ones carry a state.
    actions.Refresh();
    for (int id : {ID_APP_EXIT, ID_VIEW_LOOP, ID_WIDTH_80}) {
        auto action = actions.FindMenuAction(id);
        ASSERT_TRUE(action) << id;
        EXPECT_FALSE(action->get_enabled()) << id;
    }
    EXPECT_TRUE(actions.FindMenuAction(ID_VIEW_LOOP)->get_state_variant());
    EXPECT_FALSE(actions.FindMenuAction(ID_APP_EXIT)->get_state_variant());
    EXPECT_FALSE(actions.FindMenuAction(ID_VOLUME_UP));  // keys only
}

TEST(TabRow, TabWidthRule)
{
    struct Case {
        int rowWidth;
        int tabWidth;
    };
    const Case cases[] = {{-50, 1}, {0, 1}, {6, 1}, {9, 1}, {12, 2}, {100, 31}, {245, 79}, {246, 80}, {2000, 80}};
    for (const Case& c : cases)
        EXPECT_EQ(CTabRow::ComputeTabWidth(c.rowWidth), c.tabWidth) << c.rowWidth;
}

TEST(DisplayInfo, ReportsTheScreen)
{
    const CDisplayInfo info;
    ASSERT_TRUE(info.HasDisplay());
    EXPECT_GT(info.GetWidth(), 0);
    EXPECT_GT(info.GetHeight(), 0);
    EXPECT_GT(info.GetDpiX(), 0);
    EXPECT_GT(info.GetDpiY(), 0);
}

TEST(Sandbox, FoldersAreRealAndNeverTheHomeFolder)
{
    test::CTempFolder roots;
    const std::string pictures = roots.File("pics");
    const std::string music = roots.File("music box");
    std::filesystem::create_directory(pictures);
    std::filesystem::create_directory(music);
    const std::string file = roots.Write("file.txt", "x");
    SetCommandLine({"mev", "Images=" + pictures, "Audios=/no/such/folder", "Videos=" + file});
    SetSettingString("fld_of_Audios", music);
    SetSettingString("fld_of_Videos", Glib::get_home_dir());
    SetSettingString("fld_of_Images", "/");

    const auto folders = CMEVApp::CollectSandboxFolders();
    SetCommandLine({"mev"});
    for (const char* name : {"fld_of_Images", "fld_of_Audios", "fld_of_Videos"})
        GetSettingsStore()->RemoveValue("Settings", name);

    auto has = [&](const std::string& f) { return std::find(folders.begin(), folders.end(), f) != folders.end(); };
    EXPECT_TRUE(has(pictures));
    EXPECT_TRUE(has(music));
    EXPECT_FALSE(has(file));
    EXPECT_FALSE(has("/no/such/folder"));
    EXPECT_FALSE(has("/"));
    const std::string home = Glib::get_home_dir();
    for (const std::string& f : folders) {
        EXPECT_TRUE(Glib::file_test(f, Glib::FileTest::IS_DIR)) << f;
        EXPECT_NE(f, home);
        // No folder above the home folder either.
        EXPECT_FALSE(home.rfind(f + "/", 0) == 0) << f;
    }
    EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()).size(), folders.size());
}

} // namespace
} // namespace mev
