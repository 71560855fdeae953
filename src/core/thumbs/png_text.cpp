#include "core/thumbs/png_text.hpp"

#include <array>
#include <cstdint>

namespace mev {

namespace {

constexpr std::string_view SIGNATURE("\x89PNG\r\n\x1a\n", 8);

std::uint32_t ReadBigEndian(std::string_view bytes, std::size_t at)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8)
        | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

void AppendBigEndian(std::string& out, std::uint32_t value)
{
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16));
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

const std::array<std::uint32_t, 256>& CrcTable()
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

// The chunk at 'at': its type, data and where the next one starts, or false when it
// runs past the end.
struct Chunk {
    std::string_view type;
    std::string_view data;
    std::size_t next = 0;
};

bool ChunkAt(std::string_view png, std::size_t at, Chunk& chunk)
{
    if (png.size() - at < 12)
        return false;
    const std::uint32_t length = ReadBigEndian(png, at);
    if (length > png.size() - at - 12)
        return false;
    chunk.type = png.substr(at + 4, 4);
    chunk.data = png.substr(at + 8, length);
    chunk.next = at + 12 + length;
    return true;
}

} // namespace

unsigned long PngCrc(std::string_view bytes)
{
    const auto& table = CrcTable();
    std::uint32_t c = 0xffffffffu;
    for (char ch : bytes)
        c = table[(c ^ static_cast<unsigned char>(ch)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

std::optional<PngTextEntries> ReadPngText(std::string_view png)
{
    if (png.substr(0, SIGNATURE.size()) != SIGNATURE)
        return std::nullopt;
    PngTextEntries entries;
    Chunk chunk;
    for (std::size_t at = SIGNATURE.size(); ChunkAt(png, at, chunk); at = chunk.next) {
        if (chunk.type == "IDAT" || chunk.type == "IEND")
            return entries;
        const auto nul = chunk.data.find('\0');
        if (nul == std::string_view::npos || nul == 0)
            continue;
        std::string keyword(chunk.data.substr(0, nul));
        if (chunk.type == "tEXt") {
            entries.emplace_back(std::move(keyword), std::string(chunk.data.substr(nul + 1)));
        } else if (chunk.type == "iTXt") {
            // keyword NUL flag method language NUL translated NUL text; compressed ones
            // are left out.
            std::string_view rest = chunk.data.substr(nul + 1);
            if (rest.size() < 2 || rest[0] != 0)
                continue;
            rest.remove_prefix(2);
            const auto language = rest.find('\0');
            if (language == std::string_view::npos)
                continue;
            rest.remove_prefix(language + 1);
            const auto translated = rest.find('\0');
            if (translated == std::string_view::npos)
                continue;
            entries.emplace_back(std::move(keyword), std::string(rest.substr(translated + 1)));
        }
    }
    return std::nullopt; // no image data before the bytes ran out
}

std::optional<std::string> AddPngText(std::string_view png, const PngTextEntries& entries)
{
    Chunk header;
    if (png.substr(0, SIGNATURE.size()) != SIGNATURE || !ChunkAt(png, SIGNATURE.size(), header)
        || header.type != "IHDR")
        return std::nullopt;
    std::string out(png.substr(0, header.next));
    for (const auto& [keyword, text] : entries) {
        if (keyword.empty() || keyword.size() > 79 || keyword.find('\0') != std::string::npos)
            return std::nullopt;
        std::string body = "tEXt" + keyword;
        body.push_back('\0');
        body.append(text.substr(0, text.find('\0')));
        AppendBigEndian(out, static_cast<std::uint32_t>(body.size() - 4));
        out += body;
        AppendBigEndian(out, static_cast<std::uint32_t>(PngCrc(body)));
    }
    out.append(png.substr(header.next));
    return out;
}

} // namespace mev
