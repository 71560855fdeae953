#include "core/shell/command_line.hpp"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/media/folder_tree_model.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"

namespace mev {

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::mutex g_commandLineMutex;
std::vector<std::string> g_commandLine;

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i]))
            return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string RelativePathBase(const std::string& programFolder, const std::string& currentFolder)
{
    return IsInstalledProgramFolder(programFolder) ? currentFolder : programFolder;
}

std::string ResolveOptionPath(const std::string& value, const std::string& programFolder,
                              const std::string& currentFolder)
{
    if (!value.empty() && value.front() == '/')
        return value;
    const std::string base = RelativePathBase(programFolder, currentFolder);
    std::string combined = std::filesystem::path(JoinPath(base, value)).lexically_normal().string();
    while (combined.size() > 1 && combined.back() == '/')
        combined.pop_back();
    return combined;
}

void SetCommandLine(std::vector<std::string> args)
{
    std::lock_guard lock(g_commandLineMutex);
    g_commandLine = std::move(args);
}

std::string GetCommandLineValue(std::string_view name, bool pathFlag)
{
    std::vector<std::string> args;
    {
        std::lock_guard lock(g_commandLineMutex);
        args = g_commandLine;
    }
    // An empty name would match every argument.
    if (name.empty() || args.size() < 2)
        return {};

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!StartsWithNoCase(arg, name))
            continue;
        std::string_view rest = arg.substr(name.size());
        const auto start = rest.find_first_not_of(" \t=");
        rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
        // Quotes are name characters here ("Guns N' Roses"): only a pair around the whole
        // value is taken off.
        if (rest.size() >= 2 && (rest.front() == '"' || rest.front() == '\'') && rest.back() == rest.front())
            rest = rest.substr(1, rest.size() - 2);
        std::string value(rest);
        if (!pathFlag)
            return value;
        if (value.empty())
            continue;
        std::error_code ec;
        std::string resolved = ResolveOptionPath(value, GetProgramFolder(), std::filesystem::current_path(ec).string());
        if (Exists(resolved))
            return resolved;
    }
    return {};
}

} // namespace mev
