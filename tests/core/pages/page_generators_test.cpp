#include "core/pages/page_generators.hpp"
#include "core/pages/picture_generators.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "core/pages/image_pane_state.hpp"
#include "core/pages/media_support.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/page_templates.hpp"
#include "core/pages/picture_order.hpp"
#include "core/pages/script_external.hpp"
#include "core/shell/resources.hpp"
#include "core/shell/url.hpp"
#include "core/pages/page_test_support.hpp"
#include "core/test_resources.hpp"
#include "special_files.hpp"

namespace mev {
namespace {

const std::string CLOSING_136 = "</td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>\r\n";

class CFixedMediaSupport : public IMediaSupport {
public:
    explicit CFixedMediaSupport(bool installed) : m_installed(installed) {}
    bool IsMediaPlayerInstalled() const override { return m_installed; }

private:
    bool m_installed;
};

class CFixedWidthSource : public IIndexWidthSource {
public:
    CFixedWidthSource(int client, int thumb) : m_client(client), m_thumb(thumb) {}
    int GetIndexClientWidth() const override { return m_client; }
    int GetThumbMetric() const override { return m_thumb; }

private:
    int m_client;
    int m_thumb;
};

std::string Template(int id)
{
    return std::string(LoadResourceData(GetTemplateResourceName(id)).value_or("missing template"));
}

std::string Render(std::string_view host, const std::string& argument)
{
    return CPageProtocol::RenderPage("mev://" + std::string(host) + "/?" + EncodeUrlPath(argument)).value_or("not started");
}

// The id3v1 block: "TAG", title, artist, album (30 bytes each), year (4), comment (30), genre.
std::string Id3v1(std::string_view title)
{
    std::string tag = "TAG" + std::string(title);
    tag.resize(128 - 1, '\0');
    tag.push_back('\xFF');
    return std::string(500, '\0') + tag;
}

// The paths a page lists, in page order: an index page's entries (names under the
// folder's URL, "*" first for a rendition), or the src of an image page's one picture.
std::vector<std::string> ListedPaths(const std::string& page)
{
    std::vector<std::string> urls;
    static const std::regex FOLDER("<script>Folder\\(\"([^\"]*)\"\\);</script>");
    static const std::regex ADD("<script>Add\\(\\[([^\\]]*)\\]\\);</script>");
    static const std::regex NAME("\"\\*?([^\"]*)\"");
    static const std::regex SRC("<img src=\"([^\"]*)\"");
    std::smatch folder;
    if (std::regex_search(page, folder, FOLDER)) {
        for (std::sregex_iterator add(page.begin(), page.end(), ADD), end; add != end; ++add) {
            const std::string list = (*add)[1].str();
            for (std::sregex_iterator name(list.begin(), list.end(), NAME); name != end; ++name)
                urls.push_back(folder[1].str() + (*name)[1].str());
        }
    }
    for (std::sregex_iterator it(page.begin(), page.end(), SRC), end; it != end; ++it)
        urls.push_back((*it)[1].str());
    std::vector<std::string> paths;
    for (const std::string& url : urls) {
        std::string path;
        // A picture the web view cannot find by its file URL comes through the rendition.
        EXPECT_TRUE(FileUrlToPath(DecodeUrl(url), path) || PicturePathOfUrl(url, path)) << url;
        paths.push_back(path);
    }
    return paths;
}

const std::string INDEX_CLOSING = "<body>\r\n</html>\r\n";

class PageGeneratorsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::InstallSourceTreeResources();
        ImageWidth = 80;
        SetMediaSupport(nullptr);
        SetIndexWidthSource(nullptr);
    }
    void TearDown() override
    {
        ImageWidth = 80;
        SetMediaSupport(nullptr);
        SetIndexWidthSource(nullptr);
    }
    test::CTempFolder m_temp;
};

TEST_F(PageGeneratorsTest, IndexListsImagesInNameOrder)
{
    m_temp.Write("pic10.JPG");
    m_temp.Write("b.txt");
    m_temp.MakeFolder("c.jpg");
    m_temp.Write("Pic9.gif");
    m_temp.Write("pic1.png");
    m_temp.Write(".jpg");
    m_temp.Write("jpg");
    std::vector<std::string> expected;
    for (const char* name : {".jpg", "pic1.png", "Pic9.gif", "pic10.JPG"})
        expected.push_back(m_temp.Path() + "/" + name);
    const std::string page = Render("images", m_temp.Path());
    const std::string head = Template(HTML_INDEX_PAGE);
    ASSERT_EQ(page.compare(0, head.size(), head), 0);
    EXPECT_EQ(ListedPaths(page), expected);
    // The folder once, then the names as data, in one piece for so few.
    std::string data = "<script>thumbWidth = 80;</script><style>img { width: 80px; height: 80px; }</style>\r\n"
                       "<script>Folder(\"" + MakeFileUrl(m_temp.Path()) + "/\");</script>\r\n<script>Add([";
    for (std::size_t i = 0; i < expected.size(); ++i)
        data += (i == 0 ? "\"" : ",\"") + EncodeUrlPath(expected[i].substr(m_temp.Path().size() + 1)) + "\"";
    EXPECT_EQ(page.substr(head.size()), data + "]);</script>\r\n" + INDEX_CLOSING);

    // Another order, and names under the thumbnails, as the settings ask.
    IndexSortOrder = EncodePictureOrder({PictureSortKey::Name, true});
    IndexShowNames = true;
    const std::string reversed = Render("images", m_temp.Path());
    IndexSortOrder = 0;
    IndexShowNames = false;
    EXPECT_EQ(ListedPaths(reversed), std::vector<std::string>(expected.rbegin(), expected.rend()));
    EXPECT_NE(reversed.find("<script>thumbWidth = 80; showNames = true;</script><style>img { width: 80px; height: 80px; }"
                            " .name { width: 84px; }</style>"),
              std::string::npos);
}

TEST_F(PageGeneratorsTest, IndexWidthRules)
{
    m_temp.Write("a.png");
    struct Case {
        int imageWidth;
        int client;
        int thumb;
        int width; // 0: the picture's own width
    };
    const Case cases[] = {
        {120, 0, 0, 120}, {240, 0, 0, 240}, {32, 0, 0, 32},   {-1, 700, 16, 0},  {0, 700, 16, 672},
        {0, 50, 16, 32},  {0, 60, 16, 32},  {0, 61, 16, 33},  {31, 1000, 0, 988},
    };
    for (const auto& c : cases) {
        ImageWidth = c.imageWidth;
        SetIndexWidthSource(std::make_shared<CFixedWidthSource>(c.client, c.thumb));
        const std::string page = Render("images", m_temp.Path());
        const std::string size = std::to_string(c.width);
        const std::string style = c.width == 0
            ? "<script>thumbWidth = 0;</script><style>img { min-width: 64px; min-height: 64px; }</style>"
            : "<script>thumbWidth = " + size + ";</script><style>img { width: " + size + "px; height: " + size + "px; }";
        EXPECT_NE(page.find(style), std::string::npos) << c.imageWidth << " " << c.client;
    }
    // Fit without an index window to measure still gives the smallest width.
    SetIndexWidthSource(nullptr);
    ImageWidth = 0;
    EXPECT_NE(Render("images", m_temp.Path()).find("thumbWidth = 32;"), std::string::npos);
}

TEST_F(PageGeneratorsTest, IndexOfEmptyOrUnlistableFolder)
{
    const std::string head = Template(HTML_INDEX_PAGE);
    const std::string empty =
        head + "<script>thumbWidth = 80;</script><style>img { width: 80px; height: 80px; }</style>\r\n" + INDEX_CLOSING;
    EXPECT_EQ(Render("images", m_temp.Path()), empty);
    // A file or a vanished folder cannot be listed: template and closing only.
    const std::string file = m_temp.Write("x.jpg");
    EXPECT_EQ(CPageProtocol::RunGenerator(file, GenerateIndexPage), empty);
    EXPECT_EQ(CPageProtocol::RunGenerator(m_temp.Path() + "/gone", GenerateIndexPage), empty);
}

// From 50,000 pictures on, the names after the first screenful wait for its thumbnails,
// but never for long: a page nobody asks thumbnails of still comes whole, in order.
TEST_F(PageGeneratorsTest, LargeFolderComesWholeWhenNoThumbnailIsAskedFor)
{
    constexpr int COUNT = 50'000;
    for (int i = 0; i < COUNT; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "p%05d.jpg", i);
        std::ofstream(m_temp / name).flush();
    }
    const std::string page = Render("images", m_temp.Path());
    ASSERT_GE(page.size(), INDEX_CLOSING.size());
    EXPECT_EQ(page.substr(page.size() - INDEX_CLOSING.size()), INDEX_CLOSING);
    std::size_t listed = 0;
    std::size_t last = 0;
    for (int i = 0; i < COUNT; ++i) {
        char entry[20];
        std::snprintf(entry, sizeof(entry), "\"p%05d.jpg\"", i);
        const std::size_t at = page.find(entry, last);
        if (at == std::string::npos)
            break;
        last = at;
        ++listed;
    }
    EXPECT_EQ(listed, static_cast<std::size_t>(COUNT));
}

// A FIFO or a link to a device under a picture's name would hold a decode slot for ever:
// the index lists regular files and links to them only.
TEST_F(PageGeneratorsTest, IndexListsRegularFilesAndLinksToThemOnly)
{
    const std::string real = m_temp.Write("a.jpg");
    ASSERT_TRUE(test::MakeLink(real, m_temp / "link.jpg"));
    ASSERT_TRUE(test::MakeLink("/dev/zero", m_temp / "zz1.jpg"));
    ASSERT_TRUE(test::MakeLink("/dev/zero", m_temp / "zz2.png"));
    ASSERT_TRUE(test::MakeFifo(m_temp / "zz3.gif"));
    ASSERT_TRUE(test::MakeLink(m_temp / "gone.jpg", m_temp / "dangling.jpg"));
    auto listed = ListedPaths(Render("images", m_temp.Path()));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{real, m_temp / "link.jpg"}));
}

TEST_F(PageGeneratorsTest, ImagePage)
{
    const std::string path = m_temp.Write("sp ace.jpg");
    EXPECT_EQ(Render("image", path),
              Template(HTML_IMAGE_PAGE) + "<img src=\"" + MakeFileUrl(path)
                  + "\" id=\"pic\" style=\"visibility:hidden\" onload=\"FitToWindow();\" onclick=\"ToggleSize(event);\">\r\n"
                  + CLOSING_136);
    // A format the web view cannot show is shown through its rendition.
    const std::string tiff = m_temp.Write("a b.tif");
    EXPECT_NE(Render("image", tiff).find("<img src=\"mev://picture/?" + EncodeUrlPath(tiff) + "\""), std::string::npos);
}

TEST_F(PageGeneratorsTest, AudioPageWithoutPlayerShowsTitleOrName)
{
    struct Case {
        std::string name;
        std::string bytes;
        std::string shown;
    };
    const Case cases[] = {
        {"song.mp3", Id3v1("Song"), "Song"},
        {"untagged.mp3", std::string(300, '\0'), "untagged.mp3"},
        {"empty title.mp3", Id3v1(""), "empty title.mp3"},
        {"tagged.wav", Id3v1("Song"), "tagged.wav"}, // only mp3 files are asked for a tag
        {"x.mp3", Id3v1("<b>Rock & Roll</b>"), "&lt;b&gt;Rock &amp; Roll&lt;/b&gt;"},
        {"a&b <i>.ogg", "", "a&amp;b &lt;i&gt;.ogg"},
        {"caf\xC3\xA9.ogg", "", "caf\xC3\xA9.ogg"},
        {"bad\xFF.ogg", "", "bad\xEF\xBF\xBD.ogg"},
    };
    for (const auto& c : cases) {
        const std::string path = m_temp.Write(c.name, c.bytes);
        EXPECT_EQ(Render("audio", path),
                  Template(HTML_AUDIO_PAGE) + c.shown + "\r\n</td>\r\n</tr>\r\n</table>\r\n<BGSOUND SRC=\""
                      + MakeFileUrl(path) + "\">\r\n</BODY>\r\n</HTML>\r\n")
            << c.name;
    }
}

TEST_F(PageGeneratorsTest, PlayerPagesReplaceTheirOnePlaceholder)
{
    const std::string mp3 = m_temp.Write("a b#1.mp3", Id3v1("Song"));
    const std::string avi = m_temp.Write("clip?.avi");
    const std::string swf = m_temp.Write("movie&.swf");
    const auto replaced = [](int id, const std::string& path) {
        std::string text = Template(id);
        const auto question = text.find('?');
        return text.replace(question, 1, MakeFileUrl(path));
    };
    for (bool installed : {true, false}) {
        SetMediaSupport(std::make_shared<CFixedMediaSupport>(installed));
        EXPECT_EQ(IsMediaPlayerInstalled(), installed);
        // Flash is shown whether or not a player is there.
        EXPECT_EQ(Render("video", swf), replaced(HTML_FLASH_PAGE, swf));
        if (installed) {
            EXPECT_EQ(Render("audio", mp3), replaced(HTML_AUDIO_PLAYER_PAGE, mp3));
            EXPECT_EQ(Render("video", avi), replaced(HTML_VIDEO_PLAYER_PAGE, avi));
        } else {
            EXPECT_NE(Render("audio", mp3).find(">\r\nSong\r\n</td>"), std::string::npos);
            EXPECT_EQ(Render("video", avi), Template(HTML_VIDEO_PAGE) + "<img id=\"mov\" dynsrc=\"" + MakeFileUrl(avi)
                                                + "\" onclick=\"ToggleSize();\">\r\n" + CLOSING_136);
        }
    }
}

TEST_F(PageGeneratorsTest, FixedPages)
{
    const std::string any = m_temp.Write("program");
    EXPECT_EQ(Render("front", any), Template(HTML_ABOUT_PAGE));
    EXPECT_EQ(Render("blank", m_temp.Path()), "<html>\r\n<body bgColor=\"#000000\" scroll=\"no\">\r\n<body>\r\n</html>");
    EXPECT_EQ(Render("blank", any).size(), 61u);
}

TEST_F(PageGeneratorsTest, MissingTemplatesSendNothing)
{
    // A resource source without templates: every page comes out empty.
    struct CEmptySource : IResourceSource {
        std::optional<std::string_view> Load(std::string_view) const override { return std::nullopt; }
    };
    SetResourceSource(std::make_shared<CEmptySource>());
    const std::string file = m_temp.Write("a.jpg");
    SetMediaSupport(std::make_shared<CFixedMediaSupport>(true));
    for (const char* host : {"images", "image", "audio", "video", "front", "blank"})
        EXPECT_EQ(Render(host, host == std::string("images") ? m_temp.Path() : file), "") << host;
    SetMediaSupport(nullptr);
    for (const char* host : {"audio", "video"})
        EXPECT_EQ(Render(host, file), "") << host;
    test::InstallSourceTreeResources();
}

// Names that would break naive HTML or URLs show as themselves, run nothing, and are
// reported back by the page scripts' calls as their own exact paths.
TEST_F(PageGeneratorsTest, HostileNamesAreEscaped)
{
    class CHost : public IScriptHost {
    public:
        void PostPaneCommand(ScriptPane, int) override {}
        void SetStatusText(const std::string& text) override { status = text; }
        bool IsImagePaneVisible() const override { return true; }
        std::string status;
    } host;
    CScriptExternal external(host);

    // '/' cannot be part of a name: the script tag spans a folder and a file.
    const std::string evil = m_temp.MakeFolder("\"><script>alert(1)<");
    const std::string files[] = {
        evil + "/script>.jpg",
        m_temp.Write("a&b.jpg"),
        m_temp.Write("100%.jpg"),
        m_temp.Write("#1.jpg"),
        m_temp.Write("what?.jpg"),
        m_temp.Write("it's \"quoted\".jpg"),
        m_temp.Write("latin\xE9\xFF.jpg"),
        m_temp.Write("%41.jpg"),
    };
    std::ofstream(files[0]) << "x";
    for (const auto& path : files) {
        const std::string folder = path.substr(0, path.rfind('/'));
        for (const std::string& page : {Render("images", folder), Render("image", path)}) {
            // The page's own calls aside, no script may come from a name.
            // Names travel only inside the listing's strings, as URL text.
            const std::string generated = std::regex_replace(
                page.substr(std::min(page.find("<script>thumbWidth"), page.find("<img"))),
                std::regex("<script>(thumbWidth = \\d+|Folder\\(\"file://[A-Za-z0-9._~%/-]*\"\\)|"
                           "Add\\(\\[(\"\\*?[A-Za-z0-9._~%/-]*\",?)*\\]\\));</script>"),
                "");
            EXPECT_EQ(generated.find("<script"), std::string::npos) << path;
            EXPECT_EQ(generated.find("'"), std::string::npos) << path;
            const auto listed = ListedPaths(page);
            ASSERT_FALSE(listed.empty()) << path;
            EXPECT_NE(std::find(listed.begin(), listed.end(), path), listed.end()) << path;
            // The page hands its src back through window.external.
            const std::string src = "file://" + EncodeUrlPath(path);
            CurrentImagePath.clear();
            EXPECT_EQ(external.InvokeByName("IndexImageClicked", {std::string("mev://images/"), src}), S_OK);
            EXPECT_EQ(CurrentImagePath, path);
        }
    }
    const std::string audio = m_temp.Write("<img src=x onerror=alert(1)>.wav");
    const std::string page = Render("audio", audio);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;.wav"), std::string::npos);
}

} // namespace
} // namespace mev
