#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "core/shell/drive_type.hpp"

namespace mev {

// One sub-folder as the folder tree shows it. name and path keep the file system's
// bytes exactly (they need not be valid UTF-8); the view converts them for display.
struct FolderEntry {
    std::string name;
    std::string path;
};

struct FolderListing {
    bool readable = false;  // false when the folder could not be opened or read
    bool cancelled = false;
    std::vector<FolderEntry> entries;
};

// Names beginning with '.' (".", ".." and hidden folders) are never shown.
bool IsHiddenName(std::string_view name);

// The key that orders a folder name among its siblings (keys compare as bytes). The
// platform installs one that follows the user's locale, with numbers in numeric order;
// without it, ASCII letters compare without case. Must be safe to call on any thread.
using FolderSortKeyFunction = std::string (*)(std::string_view name);
void SetFolderSortKey(FolderSortKeyFunction function);
std::string MakeFolderSortKey(std::string_view name);

// Order of the tree's items: by sort key, ties broken by the raw bytes, so the order is
// total.
bool FolderNameLess(std::string_view a, std::string_view b);

// The visible sub-folders of folder, sorted with FolderNameLess. Only folder itself is
// read: whether a sub-folder has sub-folders of its own is learnt when it is expanded.
// Links to folders count as folders. Stops early, with cancelled set, once *cancel
// becomes true. Runs on any thread.
FolderListing ListSubFolders(const std::string& folder, const std::atomic<bool>* cancel = nullptr);

bool IsExistingFolder(const std::string& path);

// The label of a tree item: the text after the last '/', or the path itself when that
// text is empty (the file system root "/").
std::string GetFolderLabel(std::string_view path);

// "fld_of_" + tab name: the setting that remembers a tab's root.
std::string MakeRootSettingName(std::string_view tabName);

// Whether the program runs from a system program folder (/usr/bin and the like), where
// its own folder is no place to browse media.
bool IsSystemProgramFolder(std::string_view folder);

// Whether a program in folder is an installed one: in a system program folder, or in
// the bin folder of an installed tree whose share/mev holds the program's data, under
// any prefix. Anything else is a copy carried with its media (a disc, a stick, an
// unpacked folder, a build folder).
bool IsInstalledProgramFolder(std::string_view folder);

// The root of a tab with nothing on the command line and nothing remembered: the
// program's folder when the program is not an installed one; otherwise the tab's user
// folder (Pictures, Music, Videos) when it exists, else home, else "/".
std::string ChooseDefaultRoot(const std::string& programFolder, const std::string& userFolder,
                              const std::string& homeFolder);

// path without the trailing '/' of a folder ("/" stays as it is) and with runs of '/'
// collapsed, as the tree shows and remembers its root.
std::string NormalizeFolderPath(std::string_view path);

// The first of command-line value and remembered value that names an existing folder,
// else defaultRoot; normalised with NormalizeFolderPath.
std::string ChooseTreeRoot(const std::string& commandLineValue, const std::string& savedValue,
                           const std::string& defaultRoot);

// A root is remembered only when it is an absolute path on a fixed disk and the tree
// has a setting name.
bool ShouldRememberRoot(std::string_view rootPath, DriveType driveType, std::string_view settingName);

} // namespace mev
