// The index, image and audio pages over a folder of fuzzed file names and a fuzzed MP3
// tag, in a fuzzed order with or without names under the thumbnails. Properties: every
// name reaches the page only escaped (the page has exactly the markup of its structure,
// no '<' or '"' more), every link leads back to its file, the index comes in the order
// asked for, and the mev: URL of any existing path parses back to that path.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "core/media/folder_tree_model.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/picture_order.hpp"
#include "core/pages/page_templates.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/test_resources.hpp"
#include "fuzz_support.hpp"

using namespace mev;

namespace {

std::string Render(std::string_view host, const std::string& argument)
{
    const auto page = CPageProtocol::RenderPage("mev://" + std::string(host) + "/?" + EncodeUrlPath(argument));
    FUZZ_CHECK(page.has_value());
    return *page;
}

// The file:// URL of an attribute value back to its path.
std::string AttributeToPath(std::string_view value)
{
    FUZZ_CHECK(value.find_first_of("<>'&") == std::string_view::npos);
    std::string path;
    FUZZ_CHECK(FileUrlToPath(DecodeUrl(value), path));
    return path;
}

// The rest of the page after its template when it starts with it.
std::string_view AfterTemplate(std::string_view page, int templateId)
{
    const auto head = LoadTemplate(templateId);
    FUZZ_CHECK(head.has_value() && page.rfind(*head, 0) == 0);
    return page.substr(head->size());
}

// What a page shows a picture by: its file, or the rendition of a format the web view
// cannot show, which names the file by a mev: URL.
std::string PictureUrlToPath(std::string_view value)
{
    if (value.rfind("mev:", 0) != 0)
        return AttributeToPath(value);
    FUZZ_CHECK(value.find_first_of("<>'&") == std::string_view::npos);
    std::string host;
    std::string argument;
    FUZZ_CHECK(ParsePageUrl(value, host, argument) && host == "picture");
    return argument;
}

void CheckIndexPage(const std::string& folder, const std::set<std::string>& paths, PictureOrder order, bool names)
{
    IndexSortOrder = EncodePictureOrder(order);
    IndexShowNames = names;
    const std::string page = Render("images", folder);
    std::string_view rest = AfterTemplate(page, HTML_INDEX_PAGE);
    const std::string_view end = "<body>\r\n</html>\r\n";
    FUZZ_CHECK(rest.size() >= end.size() && rest.substr(rest.size() - end.size()) == end);
    rest.remove_suffix(end.size());
    // The thumbnails' size, then the folder's URL once, then the names in pieces.
    const std::string_view style = names ? "<script>thumbWidth = 80; showNames = true;</script><style>img { width: 80px;"
                                           " height: 80px; } .name { width: 84px; }</style>\r\n"
                                         : "<script>thumbWidth = 80;</script><style>img { width: 80px; height: 80px; }"
                                           "</style>\r\n";
    FUZZ_CHECK(rest.rfind(style, 0) == 0);
    rest.remove_prefix(style.size());
    std::string folderUrl;
    std::set<std::string> seen;
    std::string previous;
    while (!rest.empty()) {
        const auto lineEnd = rest.find("\r\n");
        FUZZ_CHECK(lineEnd != std::string_view::npos);
        std::string_view line = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd + 2);
        // Nothing a name brings may close the script or its string.
        FUZZ_CHECK(fuzz::Count(line, '<') == 2 && fuzz::Count(line, '>') == 2);
        FUZZ_CHECK(line.find_first_of("'&\\") == std::string_view::npos);
        const std::string_view folderStart = "<script>Folder(\"";
        const std::string_view addStart = "<script>Add([";
        const std::string_view close = "</script>";
        FUZZ_CHECK(line.size() > close.size() && line.substr(line.size() - close.size()) == close);
        line.remove_suffix(close.size());
        if (line.rfind(folderStart, 0) == 0) {
            FUZZ_CHECK(folderUrl.empty() && seen.empty());
            line.remove_prefix(folderStart.size());
            FUZZ_CHECK(line.size() > 3 && line.substr(line.size() - 3) == "\");");
            folderUrl = std::string(line.substr(0, line.size() - 3));
            FUZZ_CHECK(folderUrl.find('"') == std::string::npos);
            continue;
        }
        FUZZ_CHECK(!folderUrl.empty() && line.rfind(addStart, 0) == 0);
        line.remove_prefix(addStart.size());
        FUZZ_CHECK(line.size() > 3 && line.substr(line.size() - 3) == "]);");
        line.remove_suffix(3);
        // "name","name",... with every name percent-encoded, "*" first for a rendition.
        while (!line.empty()) {
            FUZZ_CHECK(line.front() == '"');
            const auto quote = line.find('"', 1);
            FUZZ_CHECK(quote != std::string_view::npos);
            std::string_view entry = line.substr(1, quote - 1);
            line.remove_prefix(quote + 1);
            if (!line.empty()) {
                FUZZ_CHECK(line.front() == ',');
                line.remove_prefix(1);
            }
            if (!entry.empty() && entry.front() == '*')
                entry.remove_prefix(1);
            FUZZ_CHECK(!entry.empty() && entry.find_first_of("<>'&\"?#/*") == std::string_view::npos);
            const std::string path = AttributeToPath(folderUrl + std::string(entry));
            FUZZ_CHECK(paths.count(path) == 1);
            FUZZ_CHECK(seen.insert(path).second);
            // Name order is the folder tree's, either way round.
            const std::string name = GetFileNamePart(path);
            if (order.key == PictureSortKey::Name && !previous.empty())
                FUZZ_CHECK(order.descending ? FolderNameLess(name, previous) : FolderNameLess(previous, name));
            previous = name;
        }
    }
}

void CheckImagePage(const std::string& path)
{
    const std::string page = Render("image", path);
    const std::string_view rest = AfterTemplate(page, HTML_IMAGE_PAGE);
    const std::string_view start = "<img src=\"";
    FUZZ_CHECK(rest.rfind(start, 0) == 0);
    const auto close = rest.find('"', start.size());
    FUZZ_CHECK(PictureUrlToPath(rest.substr(start.size(), close - start.size())) == path);
    FUZZ_CHECK(fuzz::Count(rest, '<') == 6 && fuzz::Count(rest, '"') == 10);
}

void CheckAudioPage(const std::string& path)
{
    const std::string page = Render("audio", path);
    const std::string_view rest = AfterTemplate(page, HTML_AUDIO_PAGE);
    // The title (from the tag or the name) comes as text: no markup of its own.
    const std::string_view afterTitle = "\r\n</td>\r\n</tr>\r\n</table>\r\n<BGSOUND SRC=\"";
    const auto titleEnd = rest.find(afterTitle);
    FUZZ_CHECK(titleEnd != std::string_view::npos && titleEnd > 0);
    FUZZ_CHECK(rest.substr(0, titleEnd).find_first_of("<>\"'") == std::string_view::npos);
    const std::string_view tail = rest.substr(titleEnd + afterTitle.size());
    const auto close = tail.find('"');
    FUZZ_CHECK(AttributeToPath(tail.substr(0, close)) == path);
    FUZZ_CHECK(tail.substr(close) == "\">\r\n</BODY>\r\n</HTML>\r\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        test::InstallSourceTreeResources();
        return true;
    }();
    (void)ready;
    FuzzedDataProvider input(data, size);
    const std::string folder = fuzz::FreshFolder("pages") + "/" + fuzz::MakeFileName(input.ConsumeRandomLengthString(40));
    std::error_code ec;
    std::filesystem::create_directory(folder, ec);
    std::set<std::string> paths;
    std::vector<std::string> files;
    const int count = input.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < count; ++i) {
        std::string name = fuzz::MakeFileName(input.ConsumeRandomLengthString(48));
        if (input.ConsumeBool())
            name += input.ConsumeBool() ? ".jpg" : ".tif";
        const std::string path = JoinPath(folder, name);
        if (fuzz::WriteBytes(path, "x")) {
            paths.insert(path);
            files.push_back(path);
        }
    }
    // An MP3 file with a fuzzed tag.
    std::string mp3 = JoinPath(folder, fuzz::MakeFileName(input.ConsumeRandomLengthString(40)) + ".mp3");
    std::string tag = "TAG" + input.ConsumeRandomLengthString(125);
    tag.resize(128, '\0');
    fuzz::WriteBytes(mp3, std::string(2, '\0') + tag);
    paths.insert(mp3);

    const PictureOrder order = DecodePictureOrder(input.ConsumeIntegralInRange(0, 19));
    CheckIndexPage(folder, paths, order, input.ConsumeBool());
    for (const std::string& file : files)
        CheckImagePage(file);
    CheckAudioPage(mp3);
    if (!files.empty())
        CheckAudioPage(files.front());

    std::string host;
    std::string argument;
    FUZZ_CHECK(ParsePageUrl("mev://images/?" + EncodeUrlPath(folder), host, argument));
    FUZZ_CHECK(host == "images" && argument == folder);
    return 0;
}
