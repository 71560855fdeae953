#include "core/shell/program_path.hpp"

#include <filesystem>
#include <system_error>

namespace mev {

std::string ProgramPathFromLink(std::string_view target)
{
    constexpr std::string_view DELETED = " (deleted)";
    if (target.size() > DELETED.size() && target.substr(target.size() - DELETED.size()) == DELETED)
        target.remove_suffix(DELETED.size());
    return std::string(target);
}

std::string GetProgramPath()
{
    static const std::string path = [] {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink("/proc/self/exe", ec);
        return ec ? std::string() : ProgramPathFromLink(target.string());
    }();
    return path;
}

std::string GetProgramFolder()
{
    return GetFolderOf(GetProgramPath());
}

std::string GetFolderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(path);
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

} // namespace mev
