#include "core/app/start_paths.hpp"

#include <array>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

#include "core/shell/command_line.hpp"

namespace mev {
namespace fs = std::filesystem;

namespace {

constexpr const char* TAB_OPTIONS[] = {"Images", "Audios", "Videos"};
// Enough to tell a picture folder from a music folder without reading a whole disc.
constexpr int MAX_ENTRIES_COUNTED = 5000;

std::mutex g_startFileMutex;
std::string g_startFile;

// Whether arg is written in an option's form: the name in any letter case, then its end,
// '=', a blank or a quote.
bool IsOptionForm(std::string_view arg, std::string_view name)
{
    if (!StartsWithNoCase(arg, name))
        return false;
    return arg.size() == name.size() || std::string_view("= \t\"'").find(arg[name.size()]) != std::string_view::npos;
}

bool GivesOption(const std::vector<std::string>& args, std::string_view name)
{
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (IsOptionForm(args[i], name))
            return true;
    }
    return false;
}

bool IsAnyOptionForm(std::string_view arg)
{
    if (IsOptionForm(arg, "show"))
        return true;
    for (const char* name : TAB_OPTIONS) {
        if (IsOptionForm(arg, name))
            return true;
    }
    return false;
}

void CountFile(const fs::directory_entry& entry, std::array<int, 3>& counts)
{
    const std::string key = CMediaKinds::KeyOf(entry.path().filename().string());
    for (int kind = 0; kind < 3; ++kind) {
        if (CMediaKinds::Instance().Contains(static_cast<MediaKind>(kind), key))
            ++counts[kind];
    }
}

std::string Normalized(const fs::path& path)
{
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

MediaKind ChooseKindForFolder(const std::string& folder)
{
    CMediaKinds::Instance().EnsureBuilt();
    std::array<int, 3> counts{};
    int seen = 0;
    // Counts the files of one folder; collects its sub-folders when asked.
    const auto countFolder = [&](const fs::path& path, std::vector<fs::path>* subFolders) {
        std::error_code ec;
        for (fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end && seen < MAX_ENTRIES_COUNTED; it.increment(ec), ++seen) {
            std::error_code typeError;
            if (subFolders != nullptr && it->is_directory(typeError))
                subFolders->push_back(it->path());
            else if (it->is_regular_file(typeError))
                CountFile(*it, counts);
        }
    };
    std::vector<fs::path> subFolders;
    countFolder(folder, &subFolders);
    for (const auto& sub : subFolders)
        countFolder(sub, nullptr);
    int best = 0;
    for (int kind = 1; kind < 3; ++kind) {
        if (counts[kind] > counts[best])
            best = kind;
    }
    return static_cast<MediaKind>(best);
}

std::vector<std::string> ExpandBarePaths(std::vector<std::string> args, const std::string& currentFolder,
                                         std::string* startFile)
{
    std::vector<std::string> result;
    std::string folder;
    std::string file;
    MediaKind kind = MediaKind::Image;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (i == 0 || arg.empty() || arg[0] == '-' || IsAnyOptionForm(arg)) {
            result.push_back(arg);
            continue;
        }
        const fs::path path = arg[0] == '/' ? fs::path(arg) : fs::path(currentFolder) / arg;
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            // Not a path: the option parser sees it as before.
            result.push_back(arg);
            continue;
        }
        if (!folder.empty())
            continue;
        if (fs::is_directory(path, ec)) {
            folder = Normalized(path);
            kind = ChooseKindForFolder(folder);
            continue;
        }
        const fs::path parent = fs::path(Normalized(path)).parent_path();
        folder = parent.empty() ? "/" : parent.string();
        CMediaKinds::Instance().EnsureBuilt();
        const std::string key = CMediaKinds::KeyOf(path.filename().string());
        bool isMedia = false;
        for (int k = 0; k < 3 && !isMedia; ++k) {
            if (CMediaKinds::Instance().Contains(static_cast<MediaKind>(k), key)) {
                kind = static_cast<MediaKind>(k);
                isMedia = true;
            }
        }
        if (isMedia)
            file = Normalized(path);
        else
            kind = ChooseKindForFolder(folder);
    }
    if (!folder.empty()) {
        const std::string tab = TAB_OPTIONS[static_cast<int>(kind)];
        const bool rootGiven = GivesOption(args, tab);
        if (!rootGiven)
            result.push_back(tab + "=" + folder);
        if (!GivesOption(args, "show"))
            result.push_back("show=" + tab);
        if (rootGiven)
            file.clear();
    }
    if (startFile != nullptr)
        *startFile = file;
    return result;
}

void SetStartFile(std::string path)
{
    std::lock_guard lock(g_startFileMutex);
    g_startFile = std::move(path);
}

std::string GetStartFile()
{
    std::lock_guard lock(g_startFileMutex);
    return g_startFile;
}

} // namespace mev
