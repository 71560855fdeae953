#include "core/shell/file_names.hpp"

namespace mev {

namespace {

std::string_view NamePart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string GetFileNamePart(std::string_view path, bool withoutExtension)
{
    std::string_view name = NamePart(path);
    if (withoutExtension) {
        const auto dot = name.rfind('.');
        // A name that begins with its only dot (".profile") is all name.
        if (dot != std::string_view::npos && dot > 0)
            name = name.substr(0, dot);
    }
    return std::string(name);
}

std::string GetFileExtension(std::string_view path)
{
    // The dot counts when it follows the last '/' and is not the path's first character:
    // "/music/.mp3" is an MP3, ".hidden" alone has no extension.
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || dot == 0 || (slash != std::string_view::npos && slash > dot))
        return {};
    std::string ext(path.substr(dot + 1));
    // ASCII only: bytes of multibyte UTF-8 sequences must stay as they are.
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return ext;
}

std::string CollapseSlashes(std::string_view path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out.push_back(c);
    }
    return out;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string joined;
    joined.reserve(folder.size() + name.size() + 1);
    joined.append(folder);
    joined.push_back('/');
    joined.append(name);
    return CollapseSlashes(joined);
}

int GetRootLength(std::string_view path)
{
    return !path.empty() && path.front() == '/' ? 1 : -1;
}

bool IsRootPath(std::string_view path)
{
    return !path.empty() && path.find_first_not_of('/') == std::string_view::npos;
}

bool IsPrime(unsigned n)
{
    if (n < 4)
        return true;
    if (n % 2 == 0)
        return false;
    for (unsigned i = 3; i < n / 2 + 1; i += 2) {
        if (n % i == 0)
            return false;
        // Past the square root no smaller factor is left to find; the answer is the same.
        if (i > n / i)
            break;
    }
    return true;
}

} // namespace mev
