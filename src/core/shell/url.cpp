#include "core/shell/url.hpp"

#include "core/shell/program_path.hpp"

namespace mev {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '.' || c == '_' || c == '~';
}

} // namespace

std::string DecodeUrl(std::string_view url)
{
    std::string out;
    out.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            const int high = HexDigitValue(url[i + 1]);
            const int low = HexDigitValue(url[i + 2]);
            // "%00" stays encoded: a NUL inside a path would cut it short for every C
            // interface it reaches, so "a.jpg%00.txt" must not become a different file.
            if (high >= 0 && low >= 0 && (high | low) != 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(url[i]);
    }
    return out;
}

std::string EncodeUrlPath(std::string_view text)
{
    return PercentEncode(text, [](unsigned char c, std::size_t) { return IsUnreserved(c) || c == '/'; });
}

void AppendHexByte(std::string& out, unsigned char c)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    out.push_back(HEX[c >> 4]);
    out.push_back(HEX[c & 0x0F]);
}

std::string PercentEncode(std::string_view text, const std::function<bool(unsigned char c, std::size_t index)>& keep)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (keep(c, i)) {
            out.push_back(text[i]);
        } else {
            out.push_back('%');
            AppendHexByte(out, c);
        }
    }
    return out;
}

std::string MakeFileUrl(std::string_view path)
{
    return "file://" + EncodeUrlPath(path);
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

bool FileUrlToPath(std::string_view decodedUrl, std::string& path)
{
    static constexpr std::string_view PREFIX = "file:";
    if (decodedUrl.size() < PREFIX.size())
        return false;
    for (std::size_t i = 0; i < PREFIX.size(); ++i) {
        char c = decodedUrl[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != PREFIX[i])
            return false;
    }
    std::string_view rest = decodedUrl.substr(PREFIX.size());
    const auto first = rest.find_first_not_of('/');
    if (first != std::string_view::npos && first > 1)
        rest.remove_prefix(first - 1);
    else if (first == std::string_view::npos && rest.size() > 1)
        rest = rest.substr(0, 1);
    path.assign(rest);
    return true;
}

std::string GetBlankPageUrl()
{
    return "mev://blank/?" + GetProgramPath();
}

std::string GetFrontPageUrl()
{
    return "mev://front/?" + GetProgramPath();
}

} // namespace mev
