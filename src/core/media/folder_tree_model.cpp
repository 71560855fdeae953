#include "core/media/folder_tree_model.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/shell/file_names.hpp"

namespace mev {

namespace fs = std::filesystem;

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A directory entry that is a folder or a link to one; entries that vanish or cannot
// be examined count as no folder.
bool IsFolderEntry(const fs::directory_entry& entry)
{
    std::error_code ec;
    return entry.is_directory(ec) && !ec;
}

} // namespace

bool IsHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

bool FolderNameLess(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

FolderListing ListSubFolders(const std::string& folder, const std::atomic<bool>* cancel)
{
    FolderListing listing;
    if (folder.empty())
        return listing;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return listing;
    listing.readable = true;
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            listing.cancelled = true;
            return listing;
        }
        std::string name = it->path().filename().native();
        if (IsHiddenName(name) || !IsFolderEntry(*it))
            continue;
        FolderEntry entry;
        entry.path = JoinPath(folder, name);
        entry.name = std::move(name);
        listing.entries.push_back(std::move(entry));
    }
    // An error in the middle of the listing keeps what was read so far.
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return FolderNameLess(a.name, b.name); });
    for (FolderEntry& entry : listing.entries) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            listing.cancelled = true;
            return listing;
        }
        entry.hasSubFolders = HasSubFolders(entry.path);
    }
    return listing;
}

bool HasSubFolders(const std::string& folder)
{
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return false;
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            return false;
        if (!IsHiddenName(it->path().filename().native()) && IsFolderEntry(*it))
            return true;
    }
    return false;
}

bool IsExistingFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(fs::path(path), ec) && !ec;
}

std::string GetFolderLabel(std::string_view path)
{
    std::string label = GetFileNamePart(path);
    return label.empty() ? std::string(path) : label;
}

std::string MakeRootSettingName(std::string_view tabName)
{
    return "fld_of_" + std::string(tabName);
}

bool IsSystemProgramFolder(std::string_view folder)
{
    static constexpr std::string_view SYSTEM_FOLDERS[] = {
        "/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin",
        "/usr/games", "/usr/local/games", "/app/bin", "/snap/bin",
    };
    std::string normal = CollapseSlashes(folder);
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return std::find(std::begin(SYSTEM_FOLDERS), std::end(SYSTEM_FOLDERS), normal) != std::end(SYSTEM_FOLDERS);
}

std::string ChooseDefaultRoot(const std::string& programFolder, const std::string& userFolder,
                              const std::string& homeFolder)
{
    if (!programFolder.empty() && !IsSystemProgramFolder(programFolder) && IsExistingFolder(programFolder))
        return programFolder;
    if (IsExistingFolder(userFolder))
        return userFolder;
    if (IsExistingFolder(homeFolder))
        return homeFolder;
    return "/";
}

std::string ChooseTreeRoot(const std::string& commandLineValue, const std::string& savedValue,
                           const std::string& defaultRoot)
{
    // The command line wins when it names anything; only a missing value falls back to
    // the remembered folder, as a value that is no folder falls back to the default.
    const std::string& chosen = commandLineValue.empty() ? savedValue : commandLineValue;
    return IsExistingFolder(chosen) ? chosen : defaultRoot;
}

bool ShouldRememberRoot(std::string_view rootPath, DriveType driveType, std::string_view settingName)
{
    return !settingName.empty() && GetRootLength(rootPath) > 0 && driveType == DriveType::Fixed;
}

} // namespace mev
