#include "core/pages/page_url.hpp"

#include <filesystem>
#include <system_error>

#include "core/shell/url.hpp"

namespace mev {

namespace {

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

bool ParsePageUrl(std::string_view url, std::string& host, std::string& argument)
{
    const std::string decoded = DecodeUrl(url);
    const std::string_view text(decoded);

    const auto colon = text.find(':');
    if (colon == std::string_view::npos || ToLowerAscii(text.substr(0, colon)) != "mev")
        return false;

    const auto hostStart = text.find_first_not_of("/\\", colon + 1);
    if (hostStart == std::string_view::npos)
        return false;
    const auto hostEnd = text.find_first_of("/\\", hostStart);
    const std::string parsedHost = ToLowerAscii(text.substr(hostStart, hostEnd == std::string_view::npos ? std::string_view::npos : hostEnd - hostStart));

    const auto question = text.find('?');
    if (question == std::string_view::npos || question + 1 >= text.size())
        return false;
    std::string parsedArgument(text.substr(question + 1));

    // A NUL would cut the path short for the system: such a path names nothing here.
    if (parsedArgument.find('\0') != std::string::npos)
        return false;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::path(parsedArgument), ec) || ec)
        return false;

    host = parsedHost;
    argument = std::move(parsedArgument);
    return true;
}

} // namespace mev
