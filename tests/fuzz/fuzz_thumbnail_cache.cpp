// The shared thumbnail cache's names and the PNG text chunks it reads and writes, over
// fuzzed paths and fuzzed PNG bytes. Properties: a picture's URI is GLib's escaping of
// its path and decodes back to it, its cache file is named by 32 hex digits; text chunks
// added to a PNG read back exactly, before those it had; a thumbnail tagged for a URI and
// time is valid for those only.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/shell/url.hpp"
#include "core/thumbs/png_text.hpp"
#include "core/thumbs/thumbnail_cache.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

void CheckNames(const std::string& path)
{
    const std::string uri = CThumbnailCache::MakeUri(path);
    if (path.empty() || path[0] != '/') {
        FUZZ_CHECK(uri.empty());
        return;
    }
    FUZZ_CHECK(uri.rfind("file:///", 0) == 0);
    static const std::string KEPT = "-._~/!$&'()*+,:=@";
    for (std::size_t i = 7; i < uri.size(); ++i) {
        const char c = uri[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || KEPT.find(c) != std::string::npos;
        const bool escape = c == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(uri[i + 2]));
        FUZZ_CHECK(plain || escape);
    }
    FUZZ_CHECK(DecodeUrl(uri.substr(7)) == path);
    const std::string file = CThumbnailCache("/c").GetPath(ThumbnailSize::Large, uri);
    FUZZ_CHECK(file.size() == std::string("/c/large/").size() + 36 && file.rfind("/c/large/", 0) == 0);
    FUZZ_CHECK(file.find_first_not_of("0123456789abcdef", 9) == 41 && file.substr(41) == ".png");
}

void CheckText(const std::string& png, const std::string& uri, std::int64_t mtime)
{
    const auto before = ReadPngText(png);
    const auto tagged = AddPngText(png, {{"Thumb::URI", uri}, {"Thumb::MTime", std::to_string(mtime)}});
    if (!tagged)
        return;
    const auto after = ReadPngText(*tagged);
    const std::string storedUri = uri.substr(0, uri.find('\0'));
    if (before) {
        FUZZ_CHECK(after.has_value() && after->size() == before->size() + 2);
        FUZZ_CHECK((*after)[0].second == storedUri && (*after)[1].second == std::to_string(mtime));
        for (std::size_t i = 0; i < before->size(); ++i)
            FUZZ_CHECK((*after)[i + 2] == (*before)[i]);
        // Unless the PNG carried cache tags of its own, it is valid for this URI and
        // time and for no other URI.
        bool ownTags = false;
        for (const auto& entry : *before)
            ownTags = ownTags || entry.first.rfind("Thumb::", 0) == 0;
        if (!ownTags) {
            FUZZ_CHECK(IsThumbnailValid(*tagged, storedUri, mtime));
            FUZZ_CHECK(!IsThumbnailValid(*tagged, storedUri + "x", mtime));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // A path ends at its first NUL, as the system reads it.
    std::string path = input.ConsumeRandomLengthString(300);
    CheckNames(path.substr(0, path.find('\0')));
    const std::string uri = input.ConsumeRandomLengthString(200);
    const auto mtime = input.ConsumeIntegral<std::int64_t>();
    std::string png = input.ConsumeBool() ? std::string("\x89PNG\r\n\x1a\n", 8) : std::string();
    png += input.ConsumeRemainingBytesAsString();
    CheckText(png, uri, mtime);
    return 0;
}
