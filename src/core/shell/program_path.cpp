#include "core/shell/program_path.hpp"

#include <filesystem>
#include <system_error>

namespace mev {

std::string GetProgramPath()
{
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : target.string();
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
