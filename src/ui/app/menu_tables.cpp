#include "ui/app/menu_tables.hpp"

#include <cctype>
#include <map>

#include "core/commands/command_ids.hpp"

namespace mev {
namespace {

using K = MenuEntry::Kind;

MenuEntry Item(int id, std::string label, bool checkable = false)
{
    return MenuEntry{K::Item, id, std::move(label), checkable, {}};
}

MenuEntry Separator()
{
    return MenuEntry{K::Separator, 0, {}, false, {}};
}

MenuEntry Popup(std::string label, std::vector<MenuEntry> children)
{
    return MenuEntry{K::Popup, 0, std::move(label), false, std::move(children)};
}

std::vector<MenuEntry> AutoplayItems()
{
    return {Item(ID_AUTOPLAY_1S, "1 Second\t(F1)"), Item(ID_AUTOPLAY_2S, "2 Seconds\t(F2)"),
            Item(ID_AUTOPLAY_3S, "3 Seconds\t(F3)"), Item(ID_AUTOPLAY_5S, "5 Seconds\t(F5)"),
            Item(ID_AUTOPLAY_10S, "10 Seconds"), Item(ID_AUTOPLAY_15S, "15 Seconds"),
            Separator(), Item(ID_VIEW_STOP, "Stop\t(ESC)")};
}

// What the single picture on screen offers, in the image and the full-screen menus.
std::vector<MenuEntry> PictureItems()
{
    return {Item(ID_PICTURE_ZOOM_IN, "Zoom In\t(+)"), Item(ID_PICTURE_ZOOM_OUT, "Zoom Out\t(-)"),
            Item(ID_PICTURE_ACTUAL_SIZE, "Actual Size\t(1)"), Item(ID_PICTURE_FIT, "Zoom To Fit\t(0)"), Separator(),
            Item(ID_PICTURE_ROTATE_LEFT, "Rotate Left\t(Ctrl+L)"),
            Item(ID_PICTURE_ROTATE_RIGHT, "Rotate Right\t(Ctrl+R)"), Separator(),
            Item(ID_PICTURE_INFO, "Picture Information\t(Alt+Enter)"), Item(ID_PICTURE_DELETE, "Delete...\t(Del)")};
}

std::vector<MenuEntry> WithPictureItems(std::vector<MenuEntry> items)
{
    items.push_back(Separator());
    for (MenuEntry& e : PictureItems())
        items.push_back(std::move(e));
    return items;
}

std::vector<MenuEntry> ListMenuItems()
{
    return {Item(ID_LIST_REFRESH, "Refresh"),
            Popup("Open With", {Item(ID_OPENWITH_SELECT, "Select...")}),
            Separator(),
            Item(ID_LIST_AUTOPLAY, "Auto Play", true),
            Item(ID_VIEW_LOOP, "Loop", true),
            Separator(),
            Item(ID_LIST_CHECK_ALL, "Check All"),
            Item(ID_LIST_REVERSE_CHECK, "Reverse Check")};
}

std::vector<MenuEntry> AudioListMenuItems()
{
    std::vector<MenuEntry> items = ListMenuItems();
    items.push_back(Separator());
    items.push_back(Item(ID_LIST_SAVE_PLAYLIST, "Save Checked as Playlist..."));
    return items;
}

const std::map<int, std::vector<MenuEntry>>& Menus()
{
    static const std::map<int, std::vector<MenuEntry>> menus = {
        {IDR_MAINFRAME,
         {Popup("&File", {Item(ID_FILE_CREATE_AUTORUN, "Create Autorun.ini"), Separator(),
                          Item(ID_FILE_COPY_SELECTED, "Copy Selected Files..."),
                          Item(ID_FILE_MOVE_SELECTED, "Move Seleced Files"),
                          Item(ID_FILE_DELETE_SELECTED, "Delete Selected Files..."), Separator(),
                          Item(ID_APP_EXIT, "E&xit")}),
          Popup("&View", {Item(ID_VIEW_CHANGEFOLDER, "Change Folder...")}),
          Popup("Tools", {Item(ID_TOOLS_TAGEDITOR, "MP3 Tag Editor")}),
          Popup("&Help", {Item(ID_APP_ABOUT, "&About MEV...")})}},
        {IDR_IMAGE_MENU,
         WithPictureItems({Item(ID_IMAGE_FIRST, "First"), Item(ID_IMAGE_LAST, "Last"),
                           Item(ID_IMAGE_PREVIOUS, "Previous\t(F11)"), Item(ID_IMAGE_NEXT, "Next\t(F12)"),
                           Separator(), Item(ID_IMAGE_TOGGLESIZE, "Toggle Size\t(F9)"),
                           Item(ID_VIEW_FULLSCREEN, "Full Screen"), Item(ID_VIEW_REFRESH, "Refresh"), Separator(),
                           Popup("Open With", {Item(ID_OPENWITH_SELECT, "Select...")})})},
        {IDR_INDEX_MENU,
         {Popup("Image Width",
                {Item(ID_WIDTH_32, "32\tPixels", true), Item(ID_WIDTH_64, "64\tPixels", true),
                 Item(ID_WIDTH_80, "80\tPixels", true), Item(ID_WIDTH_120, "120\tPixels", true),
                 Item(ID_WIDTH_240, "240\tPixels", true), Item(ID_WIDTH_FIT, "Fit To Window", true),
                 Item(ID_WIDTH_ACTUAL, "Actual Width", true)}),
          Popup("Sort By",
                {Item(ID_SORT_NAME, "Name", true), Item(ID_SORT_DATE, "Date Taken", true),
                 Item(ID_SORT_SIZE, "Size", true), Item(ID_SORT_TYPE, "Type", true), Separator(),
                 Item(ID_SORT_ASCENDING, "Ascending", true), Item(ID_SORT_DESCENDING, "Descending", true)}),
          Item(ID_INDEX_SHOW_NAMES, "Show Names", true),
          Popup("Autoplay", AutoplayItems()),
          Popup("Open With", {Item(ID_OPENWITH_SELECT, "Select...")}),
          Separator(),
          Item(ID_LIST_CHECK_ALL, "Check All"),
          Item(ID_LIST_REVERSE_CHECK, "Reverse Check"),
          Item(ID_LIST_REFRESH, "Refresh")}},
        {IDR_AUDIO_MENU,
         {Item(ID_VIEW_LOOP, "Loop", true), Item(ID_VIEW_REFRESH, "Refresh"), Item(ID_VIEW_STOP, "Stop")}},
        {IDR_VIDEO_MENU,
         {Item(ID_VIEW_LOOP, "Loop", true), Item(ID_VIEW_REFRESH, "Refresh"), Item(ID_VIEW_STOP, "Stop")}},
        {IDR_FULLSCREEN_MENU,
         {Item(ID_IMAGE_FIRST, "First\t(Home)"), Item(ID_IMAGE_LAST, "Last\t(End)"),
          Item(ID_IMAGE_PREVIOUS, "Previous\t(PageUp)"), Item(ID_IMAGE_NEXT, "Next\t(PageDown)"),
          Separator(), Popup("Autoplay", AutoplayItems()),
          Item(ID_IMAGE_TOGGLESIZE, "Toggle Size\t(F9)"), Item(ID_VIEW_FULLSCREEN, "Full Screen"),
          Separator(), Popup("Picture", PictureItems())}},
        {IDR_AUDIO_LIST_MENU, AudioListMenuItems()},
        {IDR_VIDEO_LIST_MENU, ListMenuItems()},
        {IDR_FOLDER_TREE_MENU, {Item(ID_VIEW_CHANGEFOLDER, "Change Folder...")}},
    };
    return menus;
}

std::vector<std::string> NumpadKeys(int digit)
{
    return {"<Control>KP_" + std::to_string(digit)};
}

void Collect(const std::vector<MenuEntry>& entries, std::vector<int>& ids)
{
    for (const MenuEntry& e : entries) {
        if (e.kind == K::Item)
            ids.push_back(e.id);
        else if (e.kind == K::Popup)
            Collect(e.children, ids);
    }
}

std::string_view AfterTab(std::string_view label)
{
    const auto tab = label.find('\t');
    return tab == std::string_view::npos ? std::string_view{} : label.substr(tab + 1);
}

} // namespace

const std::vector<MenuEntry>& GetMenuEntries(int menuId)
{
    static const std::vector<MenuEntry> none;
    auto it = Menus().find(menuId);
    return it == Menus().end() ? none : it->second;
}

const std::vector<AcceleratorEntry>& GetAcceleratorTable(int tableId)
{
    static const std::vector<AcceleratorEntry> none;
    static const std::vector<AcceleratorEntry> table = [] {
        std::vector<AcceleratorEntry> t = {
            {ID_EDIT_COPY, {"<Control>c", "<Control>Insert"}},
            {ID_EDIT_PASTE, {"<Control>v", "<Shift>Insert"}},
            {ID_EDIT_CUT, {"<Control>x", "<Shift>Delete"}},
            {ID_EDIT_UNDO, {"<Control>z", "<Alt>BackSpace"}},
            {ID_AUTOPLAY_1S, {"F1"}},
            {ID_AUTOPLAY_2S, {"F2"}},
            {ID_AUTOPLAY_3S, {"F3"}},
            {ID_AUTOPLAY_5S, {"F5"}},
            {ID_IMAGE_TOGGLESIZE, {"F9"}},
            {ID_VIEW_FULLSCREEN, {"F10"}},
            {ID_IMAGE_PREVIOUS, {"F11"}},
            {ID_IMAGE_NEXT, {"F12"}},
            {ID_VOLUME_MAX, {"<Control>Up"}},
            {ID_VOLUME_MUTE, {"<Control>Down"}},
            {ID_VOLUME_DOWN, {"<Control>Left"}},
            {ID_VOLUME_UP, {"<Control>Right"}},
        };
        for (int digit = 0; digit <= 9; ++digit)
            t.push_back({ID_VOLUME_0 + digit, NumpadKeys(digit)});
        return t;
    }();
    return tableId == IDR_MAINFRAME ? table : none;
}

const std::vector<AcceleratorEntry>& GetPictureKeyTable()
{
    static const std::vector<AcceleratorEntry> table = {
        {ID_PICTURE_ZOOM_IN, {"plus", "KP_Add", "equal"}},
        {ID_PICTURE_ZOOM_OUT, {"minus", "KP_Subtract"}},
        {ID_PICTURE_ACTUAL_SIZE, {"1", "KP_1"}},
        {ID_PICTURE_FIT, {"0", "KP_0"}},
        {ID_PICTURE_ROTATE_LEFT, {"<Control>l"}},
        {ID_PICTURE_ROTATE_RIGHT, {"<Control>r"}},
        {ID_PICTURE_INFO, {"<Alt>Return", "<Alt>KP_Enter", "i"}},
        {ID_PICTURE_DELETE, {"Delete", "KP_Delete"}},
    };
    return table;
}

std::vector<int> CollectMenuCommands(int menuId)
{
    std::vector<int> ids;
    Collect(GetMenuEntries(menuId), ids);
    return ids;
}

std::string ToGtkLabel(std::string_view label)
{
    const auto tab = label.find('\t');
    if (tab != std::string_view::npos)
        label = label.substr(0, tab);
    std::string out;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const char c = label[i];
        if (c == '&') {
            if (i + 1 < label.size() && label[i + 1] == '&') {
                out += '&';
                ++i;
            } else if (i + 1 < label.size()) {
                out += '_';
            }
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

std::string GetLabelAccel(std::string_view label)
{
    std::string_view hint = AfterTab(label);
    if (hint.size() < 3 || hint.front() != '(' || hint.back() != ')')
        return {};
    hint = hint.substr(1, hint.size() - 2);
    static const std::map<std::string, std::string, std::less<>> names = {
        {"ESC", "Escape"}, {"Home", "Home"}, {"End", "End"}, {"PageUp", "Page_Up"}, {"PageDown", "Page_Down"},
        {"+", "plus"}, {"-", "minus"}, {"0", "0"}, {"1", "1"}, {"Ctrl+L", "<Control>l"}, {"Ctrl+R", "<Control>r"},
        {"Alt+Enter", "<Alt>Return"}, {"Del", "Delete"}};
    if (auto it = names.find(hint); it != names.end())
        return it->second;
    if (hint.size() >= 2 && hint.size() <= 3 && hint[0] == 'F') {
        for (std::size_t i = 1; i < hint.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(hint[i])))
                return {};
        }
        return std::string(hint);
    }
    return {};
}

std::string GetLabelSuffix(std::string_view label)
{
    if (!GetLabelAccel(label).empty())
        return {};
    return std::string(AfterTab(label));
}

std::string GetCommandPrompt(int id)
{
    static const std::map<int, std::string> prompts = {
        {ID_VIEW_FULLSCREEN, "Toggle full-screen mode."},
        {ID_VIEW_LOOP, "Repeat play the same file."},
        {ID_FILE_COPY_SELECTED, "Copy seleced files to another folder."},
        {ID_FILE_MOVE_SELECTED, "Move seleced files to another folder."},
        {ID_LIST_SAVE_PLAYLIST, "Save the checked files as a playlist."},
        {ID_OPENWITH_SELECT, "Select a application that will be used to open this type of files."},
    };
    auto it = prompts.find(id);
    return it == prompts.end() ? std::string{} : it->second;
}

} // namespace mev

namespace mev {

std::string GetPromptOfMenuLabel(std::string_view gtkLabel)
{
    static const std::map<std::string, std::string, std::less<>> prompts = [] {
        std::map<std::string, std::string, std::less<>> map;
        for (const auto& [menuId, entries] : Menus()) {
            std::vector<const std::vector<MenuEntry>*> stack{&entries};
            while (!stack.empty()) {
                const auto* list = stack.back();
                stack.pop_back();
                for (const MenuEntry& e : *list) {
                    if (e.kind == K::Popup)
                        stack.push_back(&e.children);
                    else if (e.kind == K::Item && !GetCommandPrompt(e.id).empty())
                        map[ToGtkLabel(e.label)] = GetCommandPrompt(e.id);
                }
            }
        }
        return map;
    }();
    auto it = prompts.find(gtkLabel);
    return it == prompts.end() ? std::string{} : it->second;
}

} // namespace mev
