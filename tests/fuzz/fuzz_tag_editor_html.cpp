// The tag editor's index.htm over a folder of fuzzed ".mp3" names and tags. Properties:
// names and titles add no markup (the page has the '<' and '"' of its structure only),
// and every link leads to exactly its file.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/tags/tag_editor.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

// The HTML entities EscapeHtml writes, back to their characters.
std::string UnescapeHtml(std::string_view text)
{
    static const std::pair<std::string_view, char> ENTITIES[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&#x27;", '\''}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool matched = false;
        for (const auto& [entity, c] : ENTITIES) {
            if (text.compare(i, entity.size(), entity) == 0) {
                out.push_back(c);
                i += entity.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            out.push_back(text[i++]);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string folderName = fuzz::MakeFileName(input.ConsumeRandomLengthString(40));
    const std::string folder = fuzz::FreshFolder("tags") + "/" + folderName;
    const std::string emptyFolder = fuzz::FreshFolder("tags-empty") + "/" + folderName;
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(emptyFolder);
    const int count = input.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i) {
        const std::string name = fuzz::MakeFileName(input.ConsumeRandomLengthString(48)) + ".mp3";
        std::string bytes;
        if (input.ConsumeBool()) {
            bytes = "TAG" + input.ConsumeRandomLengthString(125);
            bytes.resize(128, '\0');
            bytes.insert(0, 2, '\0');
        }
        fuzz::WriteBytes(JoinPath(folder, name), bytes);
    }

    CTagEditor editor(folder);
    editor.Load();
    CTagEditor empty(emptyFolder);
    empty.Load();
    const std::size_t rows = editor.Rows().size();
    const std::string page = editor.MakeHtmlText();
    const std::string base = empty.MakeHtmlText();
    // Per file: <td><a href="..">..</a></td>; per row of five: <tr> and </tr>.
    const std::size_t tableRows = (rows + 4) / 5;
    FUZZ_CHECK(fuzz::Count(page, '<') == fuzz::Count(base, '<') + 4 * rows + 2 * tableRows);
    FUZZ_CHECK(fuzz::Count(page, '>') == fuzz::Count(base, '>') + 4 * rows + 2 * tableRows);
    FUZZ_CHECK(fuzz::Count(page, '"') == fuzz::Count(base, '"') + 2 * rows);

    std::size_t at = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string_view start = "<td><a href=\"";
        at = page.find(start, at);
        FUZZ_CHECK(at != std::string::npos);
        at += start.size();
        const auto close = page.find('"', at);
        const std::string href = UnescapeHtml(std::string_view(page).substr(at, close - at));
        // A relative link: no scheme, query or fragment can start inside a name.
        FUZZ_CHECK(href.find_first_of(":?#") == std::string::npos);
        FUZZ_CHECK(DecodeUrl(href) == editor.Rows()[i].name);
        at = close;
    }
    return 0;
}
