#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mev {

// One entry of a menu resource. Labels keep the resource form: '&' marks the mnemonic
// and a '\t' separates the right-hand text (a key hint such as "(F9)", or a unit).
struct MenuEntry {
    enum class Kind { Item, Separator, Popup };
    Kind kind = Kind::Item;
    int id = 0;                       // command id of an item
    std::string label;                // item or popup text
    bool checkable = false;           // the item's rule may put a check mark on it
    std::vector<MenuEntry> children;  // items of a popup
};

// One row of an accelerator table: a command and the keys that send it, in GTK's
// accelerator syntax.
struct AcceleratorEntry {
    int id = 0;
    std::vector<std::string> keys;
};

// The entries of a menu resource (128, 140, 141, 143, 144, 145, 148, 149, 156). For the
// main menu these are its popups; for a context menu the items of its one popup. An
// unknown id gives an empty list.
const std::vector<MenuEntry>& GetMenuEntries(int menuId);

// The accelerator table 128; other ids give an empty list.
const std::vector<AcceleratorEntry>& GetAcceleratorTable(int tableId);

// The keys of the single picture on screen (zoom, rotation, information, Delete). They
// belong to the main and the full-screen windows, not to the application: a dialog's
// text fields keep their "+", "-", digits and Delete.
const std::vector<AcceleratorEntry>& GetPictureKeyTable();

// Every command id that appears in the menu resource, sub-menus included, in order.
std::vector<int> CollectMenuCommands(int menuId);

// A resource label for GTK: the text before '\t' with "&x" turned into "_x", "&&" into
// "&" and '_' doubled so it stays literal.
std::string ToGtkLabel(std::string_view label);

// The key hint after '\t' as a GTK accelerator ("(F9)" -> "F9", "(ESC)" -> "Escape",
// "(PageUp)" -> "Page_Up"), or "" when the text there is not a key (for example "Pixels").
std::string GetLabelAccel(std::string_view label);

// The text after '\t' when it is not a key hint ("Pixels"), else "".
std::string GetLabelSuffix(std::string_view label);

// Status-bar prompt of a command (string-table entry with the command's id), or "".
std::string GetCommandPrompt(int id);

// The prompt of the menu item shown with this GTK label (as ToGtkLabel makes it), or "".
// Every item that has a prompt has a label of its own.
std::string GetPromptOfMenuLabel(std::string_view gtkLabel);

} // namespace mev
