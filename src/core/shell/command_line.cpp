#include "core/shell/command_line.hpp"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"

namespace mev {

namespace {

std::mutex g_commandLineMutex;
std::vector<std::string> g_commandLine;

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

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

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// The program folder joined with a relative value, with "." and ".." resolved the way
// the folder would be named when chosen by hand.
std::string CombineWithProgramFolder(const std::string& value)
{
    std::string combined = std::filesystem::path(JoinPath(GetProgramFolder(), value)).lexically_normal().string();
    while (combined.size() > 1 && combined.back() == '/')
        combined.pop_back();
    return combined;
}

} // namespace

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
        const auto start = rest.find_first_not_of(" \t=\"'");
        rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);

        std::string value;
        value.reserve(rest.size());
        for (char c : rest) {
            if (c != '"' && c != '\'')
                value.push_back(c);
        }
        if (!pathFlag)
            return value;
        if (value.empty())
            continue;
        if (value.front() == '/') {
            if (Exists(value))
                return value;
            continue;
        }
        std::string combined = CombineWithProgramFolder(value);
        if (Exists(combined))
            return combined;
    }
    return {};
}

} // namespace mev
