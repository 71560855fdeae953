#include "core/pages/page_generators.hpp"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "core/media/media_kinds.hpp"
#include "core/pages/display_text.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/media_support.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/page_templates.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/shell/file_names.hpp"
#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"

namespace mev {

namespace {

constexpr std::string_view TABLE_CLOSING = "</td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>\r\n";

// A file:// URL for an attribute value: percent-encoding leaves nothing HTML-special,
// escaping keeps it so should the encoding ever change.
std::string FileUrlAttribute(std::string_view path)
{
    return EscapeHtml(MakeFileUrl(path));
}

// After the first few thumbnails and then every so many, the page is told to start
// loading the ones that have come into view, so the first screenful need not wait for a
// folder of thousands to be listed.
constexpr unsigned FIRST_WATCH = 32;
constexpr unsigned WATCH_EVERY = 256;

// A thumbnail's element, kept small: a folder of thousands of pictures is a page of
// thousands of these, which the web view parses before it shows anything else. data-pic
// is the picture's file URL, what the page reports and what its thumbnail URL is made
// from; data-full, for a format the web view cannot show, is its rendition. Size,
// border and events come from the page's style and script.
std::string MakeThumbnailTag(const std::string& path, unsigned index)
{
    std::string tag;
    tag.reserve(path.size() * 2 + 64);
    tag += "<img id=\"p";
    tag += std::to_string(index);
    tag += "\" data-pic=\"";
    tag += FileUrlAttribute(path);
    if (!IsWebPicture(path)) {
        tag += "\" data-full=\"";
        tag += EscapeHtml(MakePictureUrl(path));
    }
    tag += "\">\r\n";
    return tag;
}

// The thumbnails' size for the page's script and style; 0 shows pictures at their own.
std::string MakeThumbnailStyle(int width)
{
    const std::string size = std::to_string(width);
    if (width <= 0)
        return "<script>thumbWidth = 0;</script><style>img { min-width: 64px; min-height: 64px; }</style>\r\n";
    return "<script>thumbWidth = " + size + ";</script><style>img { width: " + size + "px; height: " + size
        + "px; }</style>\r\n";
}

bool IsImageName(const std::string& name, const CMediaKinds& kinds)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    return kinds.Contains(MediaKind::Image, CMediaKinds::KeyOf(std::string_view(name).substr(dot)));
}

} // namespace

void GenerateIndexPage(CPageProtocol& protocol)
{
    if (!protocol.AppendTemplate(HTML_INDEX_PAGE, false))
        return;
    if (!protocol.AppendPageData(MakeThumbnailStyle(GetThumbnailWidth()), false))
        return;
    CMediaKinds& kinds = CMediaKinds::Instance();
    kinds.EnsureBuilt();

    const std::string& folder = protocol.GetArgument();
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    unsigned index = 0;
    // Entries go out in the order the file system lists them, as they are found.
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        // Regular files only (a link to one is one): a FIFO or a link to a device under a
        // picture's name would hold a decode slot for ever.
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            const std::string name = it->path().filename().string();
            if (IsImageName(name, kinds)) {
                std::string tags = MakeThumbnailTag(JoinPath(folder, name), index);
                ++index;
                if (index == FIRST_WATCH || index % WATCH_EVERY == 0)
                    tags += "<script>Watch();</script>\r\n";
                protocol.AppendPageData(tags, false);
            }
        }
        if (protocol.IsCancelled())
            return;
    }
    if (!protocol.IsCancelled())
        protocol.AppendPageData("<script>Watch();</script>\r\n<body>\r\n</html>\r\n", true);
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
