// Percent-decoding and -encoding, file:// URLs, HTML escaping and the mev: URL parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/pages/page_url.hpp"
#include "core/shell/url.hpp"
#include "fuzz_support.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool hasNul = text.find('\0') != std::string::npos;

    FUZZ_CHECK(DecodeUrl(text).size() <= text.size());

    // Encoding leaves only unreserved bytes, '/' and well-formed escapes.
    const std::string encoded = EncodeUrlPath(text);
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            FUZZ_CHECK(i + 2 < encoded.size() && HexDigitValue(encoded[i + 1]) >= 0 && HexDigitValue(encoded[i + 2]) >= 0);
            i += 2;
        } else {
            FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
                       || c == '.' || c == '_' || c == '~' || c == '/');
        }
    }
    // What is encoded decodes to exactly the text (a NUL stays "%00" on purpose).
    if (!hasNul)
        FUZZ_CHECK(DecodeUrl(encoded) == text);

    // Any absolute path survives a file:// URL.
    if (!hasNul && (text.empty() || text[0] != '/')) {
        const std::string path = "/" + text;
        const std::string url = MakeFileUrl(path);
        FUZZ_CHECK(url.rfind("file://", 0) == 0);
        std::string back;
        FUZZ_CHECK(FileUrlToPath(DecodeUrl(url), back));
        FUZZ_CHECK(back == path);
    }
    std::string path;
    if (FileUrlToPath(text, path))
        FUZZ_CHECK(path.size() <= text.size());

    const std::string escaped = EscapeHtml(text);
    FUZZ_CHECK(escaped.find_first_of("<>\"'") == std::string::npos);

    std::string host;
    std::string argument;
    if (ParsePageUrl(text, host, argument)) {
        FUZZ_CHECK(!argument.empty());
        FUZZ_CHECK(argument.find('\0') == std::string::npos);
        for (char c : host)
            FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    }
    return 0;
}
