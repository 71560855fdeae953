#include "core/pages/page_generators.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/files/user_file.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/display_text.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/media_support.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/page_templates.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/pages/picture_order.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"
#include "core/work/thread_priority.hpp"

namespace mev {

namespace {

constexpr std::string_view TABLE_CLOSING = "</td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>\r\n";

// A file:// URL for an attribute value: percent-encoding leaves nothing HTML-special,
// escaping keeps it so should the encoding ever change.
std::string FileUrlAttribute(std::string_view path)
{
    return EscapeHtml(MakeFileUrl(path));
}

// The page receives the folder as data, not as one element per picture: it keeps only
// the thumbnails near its viewport in the document. The first few entries of the order go
// out at once so the first screenful need not wait for the rest; later ones in larger
// pieces, each a short script the page takes in between its own work.
constexpr std::size_t FIRST_CHUNK = 64;
constexpr std::size_t CHUNK = 1024;
// Where sorting the names after the first screenful's takes a processor for tens of
// milliseconds.
constexpr std::size_t LARGE_FOLDER = 50'000;
// The web view takes in a script while it parses, and answers nothing else meanwhile:
// pieces given all at once would keep the first screenful's thumbnails waiting until
// 100,000 entries had been read. Paced, the view turns to them between pieces.
constexpr auto CHUNK_PACE = std::chrono::milliseconds(10);

// An entry is the picture's file name as its URL encodes it, so it holds nothing a
// script string or the HTML parser would see as special; a leading "*" (which the
// encoding never leaves as it is) marks a format the web view shows through a rendition.
void AppendEntry(std::string& chunk, const std::string& name)
{
    chunk += chunk.empty() ? "<script>Add([\"" : ",\"";
    if (!IsWebPicture(name))
        chunk += '*';
    chunk += EncodeUrlPath(name);
    chunk += '"';
}

bool SendChunk(CPageProtocol& protocol, std::string& chunk)
{
    if (chunk.empty())
        return true;
    chunk += "]);</script>\r\n";
    // A refused piece loses its thumbnails; the listing goes on.
    protocol.AppendPageData(chunk, false);
    protocol.FlushPageData();
    chunk.clear();
    return !protocol.IsCancelled();
}

void Pace(CPageProtocol& protocol)
{
    if (!protocol.IsCancelled())
        std::this_thread::sleep_for(CHUNK_PACE);
}

// The thumbnails' size for the page's script and style; 0 shows pictures at their own.
std::string MakeThumbnailStyle(int width, bool showNames)
{
    const std::string size = std::to_string(width);
    const std::string names = showNames ? " showNames = true;" : "";
    if (width <= 0)
        return "<script>thumbWidth = 0;" + names
            + "</script><style>img { min-width: 64px; min-height: 64px; }</style>\r\n";
    const std::string captions = showNames ? " .name { width: " + std::to_string(width + 4) + "px; }" : "";
    return "<script>thumbWidth = " + size + ";" + names + "</script><style>img { width: " + size + "px; height: "
        + size + "px; }" + captions + "</style>\r\n";
}

bool IsImageName(std::string_view name, const CMediaKinds& kinds)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    return kinds.Contains(MediaKind::Image, CMediaKinds::KeyOf(name.substr(dot)));
}

} // namespace

void GenerateIndexPage(CPageProtocol& protocol)
{
    if (!protocol.AppendTemplate(HTML_INDEX_PAGE, false))
        return;
    const bool showNames = IndexShowNames.load();
    if (!protocol.AppendPageData(MakeThumbnailStyle(GetThumbnailWidth(), showNames), false))
        return;
    CMediaKinds& kinds = CMediaKinds::Instance();
    kinds.EnsureBuilt();

    // The whole listing first: the first screenful is the start of the order, wherever
    // its names lie in the directory. Name order reads nothing but the directory.
    const std::string& folder = protocol.GetArgument();
    std::vector<std::string> names;
    // Every order needs the names' keys, made while the folder is still being read.
    auto keyMaker = std::make_unique<CNameKeyMaker>();
    const PictureOrder order = DecodePictureOrder(IndexSortOrder.load());
    if (order.key == PictureSortKey::Name) {
        keyMaker->KeepHead(FIRST_CHUNK, order.descending);
        // A large folder's rest is sorted after its first screenful, below the window's
        // priority: its keys are made again there rather than kept on the way to it.
        keyMaker->KeepKeysUpTo(LARGE_FOLDER - 1);
    }
    // A folder's pictures mostly share one extension: the last one's answer is kept.
    std::string lastExtension = "/";
    bool lastIsImage = false;
    const auto isImage = [&](std::string_view name) {
        const auto dot = name.rfind('.');
        const std::string_view extension = dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
        if (extension != lastExtension) {
            lastExtension = extension;
            lastIsImage = IsImageName(name, kinds);
        }
        return lastIsImage;
    };
    // Regular files only (a link to one is one): a FIFO or a link to a device under a
    // picture's name would hold a decode slot for ever.
    ListRegularFiles(
        folder, isImage, names,
        [&protocol] { return protocol.IsCancelled(); },
        [&keyMaker](const std::string* first, std::size_t count) { keyMaker->Add(first, count); });
    if (protocol.IsCancelled() || !keyMaker->Finish([&protocol] { return protocol.IsCancelled(); }))
        return;
    // Past its first screenful, a large folder's order and the rest of its page are made
    // below the priority of the web view and the decodes of that screenful: sorting a
    // million names takes a processor for a second, which they need first.
    const bool large = names.size() >= LARGE_FOLDER;
    const auto sendAll = [&] {
        std::string chunk;
        std::size_t sent = 0;
        SortPictureNames(folder, names, order,
                         [&protocol] { return protocol.IsCancelled(); }, FIRST_CHUNK,
                         [&](const std::vector<std::string>& first) {
                             // The folder's URL, said once: entries are names in it.
                             const std::string url = MakeFileUrl(JoinPath(folder, first.front()));
                             const std::string folderUrl = url.substr(0, url.size() - EncodeUrlPath(first.front()).size());
                             protocol.AppendPageData("<script>Folder(\"" + folderUrl + "\");</script>\r\n", false);
                             for (const std::string& name : first)
                                 AppendEntry(chunk, name);
                             sent = first.size();
                             SendChunk(protocol, chunk);
                             PrepareThumbnails(JoinPath(folder, first.front()), GetThumbnailWidth());
                             // The rest of a large folder's order can wait for the first screenful.
                             if (large) {
                                 AwaitFirstThumbnails(protocol);
                                 LowerThisThreadPriority();
                             }
                         },
                         keyMaker.get());
        // The keys are not needed for the rest of the page.
        keyMaker.reset();
        // Unless cancelled, the first names went out above.
        if (protocol.IsCancelled())
            return;
        std::size_t inChunk = 0;
        for (std::size_t i = sent; i < names.size(); ++i) {
            AppendEntry(chunk, names[i]);
            if (++inChunk >= CHUNK) {
                inChunk = 0;
                if (!SendChunk(protocol, chunk))
                    return;
                Pace(protocol);
            }
        }
        if (!SendChunk(protocol, chunk))
            return;
        protocol.AppendPageData("<body>\r\n</html>\r\n", true);
    };
    if (large)
        RunOnThreadOfItsOwn(sendAll);
    else
        sendAll();
}

void GenerateImagePage(CPageProtocol& protocol)
{
    if (!protocol.AppendTemplate(HTML_IMAGE_PAGE, false))
        return;
    const std::string tag = "<img src=\"" + EscapeHtml(MakePictureUrl(protocol.GetArgument()))
        + "\" id=\"pic\" style=\"visibility:hidden\" onload=\"FitToWindow();\" onclick=\"ToggleSize(event);\">\r\n";
    if (protocol.AppendPageData(tag, false))
        protocol.AppendPageData(TABLE_CLOSING, true);
}

void GenerateAudioPage(CPageProtocol& protocol)
{
    if (IsMediaPlayerInstalled()) {
        AppendTemplateWithUrl(protocol, HTML_AUDIO_PLAYER_PAGE);
        return;
    }
    if (!protocol.AppendTemplate(HTML_AUDIO_PAGE, false))
        return;
    const std::string& path = protocol.GetArgument();
    std::string title;
    if (GetFileExtension(path) == "mp3") {
        CId3v1Tag tag;
        if (tag.Read(path))
            title = tag.GetTitle();
    }
    if (title.empty())
        title = ToDisplayText(GetFileNamePart(path));
    if (!protocol.AppendPageData(EscapeHtml(title), false))
        return;
    const std::string closing = "\r\n</td>\r\n</tr>\r\n</table>\r\n<BGSOUND SRC=\"" + FileUrlAttribute(path)
        + "\">\r\n</BODY>\r\n</HTML>\r\n";
    protocol.AppendPageData(closing, true);
}

void GenerateVideoPage(CPageProtocol& protocol)
{
    const std::string& path = protocol.GetArgument();
    if (GetFileExtension(path) == "swf") {
        AppendTemplateWithUrl(protocol, HTML_FLASH_PAGE);
        return;
    }
    if (IsMediaPlayerInstalled()) {
        AppendTemplateWithUrl(protocol, HTML_VIDEO_PLAYER_PAGE);
        return;
    }
    if (!protocol.AppendTemplate(HTML_VIDEO_PAGE, false))
        return;
    const std::string tag = "<img id=\"mov\" dynsrc=\"" + FileUrlAttribute(path) + "\" onclick=\"ToggleSize();\">\r\n";
    if (protocol.AppendPageData(tag, false))
        protocol.AppendPageData(TABLE_CLOSING, true);
}

void GenerateFixedPage(CPageProtocol& protocol)
{
    protocol.AppendTemplate(protocol.GetFixedTemplate(), true);
}

bool AppendTemplateWithUrl(CPageProtocol& protocol, int templateId)
{
    const auto data = LoadTemplate(templateId);
    if (!data)
        return false;
    const auto question = data->find('?');
    if (question == std::string_view::npos)
        return false;
    return protocol.AppendPageData(data->substr(0, question), false)
        && protocol.AppendPageData(FileUrlAttribute(protocol.GetArgument()), false)
        && protocol.AppendPageData(data->substr(question + 1), true);
}

} // namespace mev
