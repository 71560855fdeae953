#include "core/media/folder_tree_model.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/files/user_file.hpp"
#include "core/shell/file_names.hpp"

namespace mev {

namespace fs = std::filesystem;

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ASCII letters folded, and a run of digits as its length then its digits (leading zeros
// dropped), so "pic9" comes before "pic10" as it does with the platform's key.
std::string AsciiFoldedKey(std::string_view name)
{
    std::string key;
    key.reserve(name.size() + 4);
    for (std::size_t i = 0; i < name.size();) {
        if (!IsDigit(name[i])) {
            key += FoldAscii(name[i++]);
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && IsDigit(name[end]))
            ++end;
        std::size_t first = i;
        while (first + 1 < end && name[first] == '0')
            ++first;
        // '0' keeps digits before letters; the length byte orders runs by magnitude.
        key += '0';
        key += static_cast<char>(std::min<std::size_t>(end - first, 255));
        key.append(name.substr(first, end - first));
        i = end;
    }
    return key;
}

std::atomic<FolderSortKeyFunction> g_folderSortKey{&AsciiFoldedKey};

} // namespace

void SetFolderSortKey(FolderSortKeyFunction function)
{
    g_folderSortKey.store(function != nullptr ? function : &AsciiFoldedKey);
}

std::string MakeFolderSortKey(std::string_view name)
{
    return g_folderSortKey.load()(name);
}

bool IsHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

bool FolderNameLess(std::string_view a, std::string_view b)
{
    const std::string keyA = MakeFolderSortKey(a);
    const std::string keyB = MakeFolderSortKey(b);
    return keyA != keyB ? keyA < keyB : a < b;
}

FolderListing ListSubFolders(const std::string& folder, const std::atomic<bool>* cancel)
{
    FolderListing listing;
    if (folder.empty())
        return listing;
    // One pass over the folder, which may hold a million pictures besides its folders.
    std::vector<std::string> names;
    const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
    if (!ListSubFolderNames(folder, [](std::string_view name) { return !IsHiddenName(name); }, names, cancelled))
        return listing;
    listing.readable = true;
    if (cancelled()) {
        listing.cancelled = true;
        return listing;
    }
    listing.entries.reserve(names.size());
    for (std::string& name : names) {
        FolderEntry entry;
        entry.path = JoinPath(folder, name);
        entry.name = std::move(name);
        listing.entries.push_back(std::move(entry));
    }
    // An error in the middle of the listing keeps what was read so far. Each key is made
    // once: collation keys cost far more than comparing them.
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(listing.entries.size());
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            listing.cancelled = true;
            listing.entries.clear();
            return listing;
        }
        keys.emplace_back(MakeFolderSortKey(listing.entries[i].name), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : listing.entries[a.second].name < listing.entries[b.second].name;
    });
    std::vector<FolderEntry> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(listing.entries[key.second]));
    listing.entries = std::move(sorted);
    return listing;
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
    const std::string normal = NormalizeFolderPath(folder);
    return std::find(std::begin(SYSTEM_FOLDERS), std::end(SYSTEM_FOLDERS), normal) != std::end(SYSTEM_FOLDERS);
}

bool IsInstalledProgramFolder(std::string_view folder)
{
    if (IsSystemProgramFolder(folder))
        return true;
    // PREFIX/bin next to PREFIX/share/mev, wherever PREFIX is (/opt/mev, ~/.local).
    const fs::path bin = fs::path(NormalizeFolderPath(folder)).lexically_normal();
    if (bin.filename() != "bin" || !bin.is_absolute())
        return false;
    return IsExistingFolder((bin.parent_path() / "share" / "mev").string());
}

std::string ChooseDefaultRoot(const std::string& programFolder, const std::string& userFolder,
                              const std::string& homeFolder)
{
    if (!programFolder.empty() && !IsInstalledProgramFolder(programFolder) && IsExistingFolder(programFolder))
        return programFolder;
    if (IsExistingFolder(userFolder))
        return userFolder;
    if (IsExistingFolder(homeFolder))
        return homeFolder;
    return "/";
}

std::string NormalizeFolderPath(std::string_view path)
{
    std::string normal = CollapseSlashes(path);
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string ChooseTreeRoot(const std::string& commandLineValue, const std::string& savedValue,
                           const std::string& defaultRoot)
{
    // The command line wins when it names anything; only a missing value falls back to
    // the remembered folder, as a value that is no folder falls back to the default.
    const std::string& chosen = commandLineValue.empty() ? savedValue : commandLineValue;
    return NormalizeFolderPath(IsExistingFolder(chosen) ? chosen : defaultRoot);
}

bool ShouldRememberRoot(std::string_view rootPath, DriveType driveType, std::string_view settingName)
{
    return !settingName.empty() && GetRootLength(rootPath) > 0 && driveType == DriveType::Fixed;
}

} // namespace mev
