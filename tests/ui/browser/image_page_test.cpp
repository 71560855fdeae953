#include "ui/browser/image_page.hpp"

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>
#include <vips/vips.h>
#include <webkit/webkit.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/pages/script_external.hpp"
#include "core/thumbs/thumbnail_cache.hpp"
#include "core/shell/url.hpp"
#include "ui/browser/browser_engine.hpp"
#include "ui/browser/page_browser.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

// The main window's part: window.external's commands reach the page, as posted commands.
class CHost : public CMediaPageHost, public IScriptHost {
public:
    void SetStatusMessage(const std::string& text) override { status = text; }
    void ToggleFullScreen() override {}
    bool RouteCommand(int) override { return false; }
    void SetCurrentPage(CMediaPage*) override {}
    void PostPaneCommand(ScriptPane pane, int commandId) override
    {
        if (pane == ScriptPane::Image && page != nullptr)
            page->PostCommand(commandId);
    }
    void SetStatusText(const std::string& text) override { status = text; }
    bool IsImagePaneVisible() const override { return true; }

    CMediaPage* page = nullptr;
    std::string status;
};

class ImagePageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImageWidth = 80;
        ContextImagePath.clear();
        CurrentImagePath.clear();
        SetScriptHost(&host);
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(900, 600);
        page = std::make_unique<CImagePage>(host);
        host.page = page.get();
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return page->IsStarted(); }));
        // The first slot starts on the blank page; loads are counted from then on.
        ASSERT_TRUE(test::RunMainLoopUntil(
            [this] {
                CPageBrowser& b = *page->GetIndexBrowser(0);
                return b.GetLocationUrl() == GetBlankPageUrl() && !webkit_web_view_is_loading(b.GetWebView());
            }));
        WatchLoads();
    }
    void TearDown() override
    {
        SetScriptHost(nullptr);
        for (WebKitWebView* view : watched)
            g_signal_handlers_disconnect_by_data(view, &starts);
        host.page = nullptr;
        window->unset_child();
        page.reset();
        window->destroy();
        ImageWidth = 80;
        test::RunMainLoopFor(50);
    }

    // Counts the loads of every slot's browser, made so far; a browser made later starts
    // its load on a later turn of the main loop, after this has run.
    void WatchLoads()
    {
        for (int slot = 0; slot < CImagePage::SLOT_COUNT; ++slot) {
            CPageBrowser* b = page->GetIndexBrowser(slot);
            if (b != nullptr && watched.insert(b->GetWebView()).second)
                g_signal_connect(b->GetWebView(), "load-changed", G_CALLBACK(&CountStart), &starts);
        }
    }

    static void CountStart(WebKitWebView*, WebKitLoadEvent event, gpointer count)
    {
        if (event == WEBKIT_LOAD_STARTED)
            ++*static_cast<int*>(count);
    }

    // A folder of n small pictures.
    std::string Folder(const std::string& name, int n)
    {
        const std::string path = folders.MakeFolder(name);
        for (int i = 0; i < n; ++i)
            test::WritePicture(path + "/pic" + std::to_string(i) + ".png", 40, 30, 0x203040 * (i + 1));
        return path;
    }

    CPageBrowser& Index() { return *page->GetIndexBrowser(page->GetCurrentSlot()); }

    std::string Eval(const std::string& code)
    {
        std::string json;
        return test::EvaluateInPage(Index(), code, json) ? json : "";
    }

    // Selects the folder and waits until the page on screen is its index page, loaded,
    // with its counts reported.
    bool Select(const std::string& folder, int pictures)
    {
        page->OnFolderSelected(folder);
        WatchLoads();
        const std::string url = CImagePage::IndexPageUrl(folder);
        return test::RunMainLoopUntil(
            [&] {
                return Index().GetLocationUrl() == url && !webkit_web_view_is_loading(Index().GetWebView()) &&
                       IndexTotal == pictures;
            });
    }

    CCmdUI Update(int id)
    {
        CCmdUI ui;
        ui.id = id;
        EXPECT_TRUE(page->OnUpdateCommand(ui)) << id;
        return ui;
    }

    // Runs a command as a menu does: only when its rule enables it.
    void Run(int id)
    {
        if (Update(id).enabled)
            page->OnCommand(id);
    }

    test::CTempFolder folders;
    CHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CImagePage> page;
    int starts = 0;
    std::set<WebKitWebView*> watched;
};

TEST_F(ImagePageTest, ThreeIndexPagesAreCachedAndTheOldestLoadGivesWay)
{
    const std::string a = Folder("A", 1), b = Folder("B", 2), c = Folder("C", 3), d = Folder("D", 1);
    ASSERT_TRUE(Select(a, 1));
    // A check on A's page must still be there when A comes back.
    Eval("ImageClicked(0, {ctrlKey: true}); 1");
    ASSERT_TRUE(Select(b, 2));
    ASSERT_TRUE(Select(c, 3));
    EXPECT_EQ(starts, 3);

    ASSERT_TRUE(Select(a, 1)) << Index().GetLocationUrl() << " " << IndexTotal;
    EXPECT_EQ(starts, 3) << "a cached page was requested again";
    EXPECT_EQ(page->GetCurrentSlot(), 0);
    EXPECT_TRUE(test::RunMainLoopUntil([] { return IndexChecked == 1; }));

    // The same folder again neither swaps nor reloads.
    ASSERT_TRUE(Select(a, 1));
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(page->GetCurrentSlot(), 0);

    // D takes the slot of the oldest load (A's); A then has to be loaded anew.
    ASSERT_TRUE(Select(d, 1));
    EXPECT_EQ(page->GetCurrentSlot(), 0);
    EXPECT_EQ(starts, 4);
    ASSERT_TRUE(Select(a, 1));
    EXPECT_EQ(starts, 5);
    EXPECT_EQ(page->GetCurrentSlot(), 1);
    EXPECT_TRUE(page->GetIndexBrowser(1)->GetWidget().get_mapped());
    EXPECT_FALSE(page->GetIndexBrowser(0)->GetWidget().get_mapped());

    // No folder: the slot on screen shows the blank page.
    page->OnFolderSelected("");
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Index().GetLocationUrl() == GetBlankPageUrl(); }));
    EXPECT_EQ(IndexTotal, 0);
}

// A slot gets its browser when first used; the page parked in it keeps its place.
TEST_F(ImagePageTest, IndexBrowsersAreMadeOnFirstUseAndParkedPagesKeepTheirPlace)
{
    EXPECT_EQ(page->GetIndexBrowser(1), nullptr);
    EXPECT_EQ(page->GetIndexBrowser(2), nullptr);
    const std::string tall = Folder("tall", 300), small = Folder("small", 1);
    ASSERT_TRUE(Select(tall, 300));
    EXPECT_EQ(page->GetIndexBrowser(1), nullptr);
    Eval("ImageClicked(1, {ctrlKey: true}); scrollTo(0, 700); 1");
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return Eval("scrollY") == "700"; }));

    ASSERT_TRUE(Select(small, 1));
    EXPECT_EQ(page->GetCurrentSlot(), 1);
    EXPECT_EQ(page->GetIndexBrowser(2), nullptr);
    EXPECT_EQ(starts, 2);

    ASSERT_TRUE(Select(tall, 300));
    EXPECT_EQ(page->GetCurrentSlot(), 0);
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return IndexChecked == 1 && Eval("scrollY") == "700"; }))
        << Eval("scrollY");
}

TEST_F(ImagePageTest, CommandRulesFollowTheIndexAndThePicture)
{
    const int walk[] = {ID_AUTOPLAY_1S, ID_AUTOPLAY_2S, ID_AUTOPLAY_3S, ID_AUTOPLAY_5S, ID_AUTOPLAY_10S,
                        ID_AUTOPLAY_15S, ID_IMAGE_PREVIOUS, ID_IMAGE_NEXT, ID_IMAGE_FIRST, ID_IMAGE_LAST};
    // Nothing shown yet: the picture cannot change size.
    EXPECT_FALSE(Update(ID_IMAGE_TOGGLESIZE).enabled);

    ASSERT_TRUE(Select(Folder("empty", 0), 0));
    for (int id : walk)
        EXPECT_FALSE(Update(id).enabled) << id;

    const std::string folder = Folder("three", 3);
    ASSERT_TRUE(Select(folder, 3));
    for (int id : walk)
        EXPECT_TRUE(Update(id).enabled) << id;
    // The page clicks its first thumbnail: that picture is shown and may be toggled.
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl().rfind("mev://image/?", 0) == 0; }));
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), "mev://image/?" + CurrentImagePath);
    EXPECT_TRUE(Update(ID_IMAGE_TOGGLESIZE).enabled);

    // Last walks to the last thumbnail, and the picture follows.
    Run(ID_IMAGE_LAST);
    const std::string source = Eval("PictureUrl(2)");
    std::string last;
    ASSERT_TRUE(source.size() > 2 && FileUrlToPath(DecodeUrl(source.substr(1, source.size() - 2)), last)) << source;
    EXPECT_TRUE(test::RunMainLoopUntil(
        [&] { return CurrentImagePath == last && page->GetBrowser().GetLocationUrl() == "mev://image/?" + last; }));

    // Widths: one check at a time; choosing the width in force does not reload.
    EXPECT_TRUE(Update(ID_WIDTH_80).checked);
    EXPECT_FALSE(Update(ID_WIDTH_FIT).checked);
    const int before = starts;
    Run(ID_WIDTH_FIT);
    Run(ID_WIDTH_FIT);
    EXPECT_TRUE(Update(ID_WIDTH_FIT).checked);
    EXPECT_FALSE(Update(ID_WIDTH_80).checked);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return starts == before + 1 && !webkit_web_view_is_loading(Index().GetWebView()); }));
    // Fit To Window: as wide as the list area allows, not the smallest width.
    const int areaWidth = page->GetListArea().get_width();
    ASSERT_GT(areaWidth, 100);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Eval("document.images[0].width") ==
                                                    std::to_string(areaWidth - 16 - 12); }))
        << Eval("document.images[0].width") << " for " << areaWidth;
    Run(ID_WIDTH_ACTUAL);
    Run(ID_WIDTH_ACTUAL);
    EXPECT_TRUE(Update(ID_WIDTH_ACTUAL).checked);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return starts >= before + 2; }));
    test::RunMainLoopFor(200);
    EXPECT_EQ(starts, before + 2);

    // Open With needs a picture under the last context menu.
    EXPECT_FALSE(Update(ID_OPENWITH_SELECT).enabled);
    EXPECT_FALSE(Update(ID_OPENWITH_FIRST).enabled);
    ContextImagePath = CurrentImagePath;
    EXPECT_TRUE(Update(ID_OPENWITH_SELECT).enabled);
    EXPECT_TRUE(Update(ID_OPENWITH_FIRST + 2).enabled);
}

TEST_F(ImagePageTest, SlideShowRunsFromTheIndexAndAnswersThePageMessages)
{
    auto ask = [&](int code) {
        int answer = -1;
        page->OnPageMessage(code, {}, [&](int result) { answer = result; });
        test::RunMainLoopUntil([&] { return answer != -1; });
        return answer;
    };
    // The blank index page has no slide show to ask about or stop.
    EXPECT_EQ(ask(PAGEMSG_QUERY_AUTOPLAY), 0);
    EXPECT_EQ(ask(PAGEMSG_STOP_AUTOPLAY), 0);

    ASSERT_TRUE(Select(Folder("show", 2), 2));
    Run(ID_AUTOPLAY_5S);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Eval("autoPlayMS") == "5000"; }));
    Run(ID_AUTOPLAY_10S);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Eval("autoPlayMS") == "10000"; }));
    EXPECT_EQ(ask(PAGEMSG_QUERY_AUTOPLAY), 1);
    EXPECT_EQ(ask(PAGEMSG_STOP_AUTOPLAY), 1);
    EXPECT_EQ(ask(PAGEMSG_QUERY_AUTOPLAY), 0);

    // Stop ends a slide show and keeps the picture.
    Run(ID_AUTOPLAY_1S);
    EXPECT_EQ(ask(PAGEMSG_QUERY_AUTOPLAY), 1);
    const std::string shown = page->GetBrowser().GetLocationUrl();
    page->StopPlayback();
    EXPECT_EQ(ask(PAGEMSG_QUERY_AUTOPLAY), 0);
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), shown);
}

TEST_F(ImagePageTest, CheckedImagesComeBackAsExactPathsInPageOrder)
{
    const std::string folder = folders.MakeFolder("odd");
    const std::string names[] = {"a \"quoted\" #1.png", "b 100% ?x=1.png", "c caf\xE9 & <b>.png", "d it's.png",
                                 "e gone.png"};
    for (const std::string& name : names)
        ASSERT_TRUE(test::WritePicture(folder + "/" + name, 20, 20));
    ASSERT_TRUE(Select(folder, 5));
    // Page order is the order the folder lists its files in.
    std::vector<std::string> order;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        order.push_back(entry.path().string());
    // Thumbnails 0, 3 and 4 checked, 1 current; then 4's file goes away.
    Eval("ImageClicked(document.getElementById('p1'), {}); var c = {ctrlKey: true};"
         "ImageClicked(0, c); ImageClicked(3, c); ImageClicked(document.getElementById('p4'), c); 1");
    std::filesystem::remove(order[4]);

    std::vector<std::string> paths;
    bool done = false;
    page->CollectCheckedImages([&](std::vector<std::string> result) {
        paths = std::move(result);
        done = true;
    });
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return done; }));
    EXPECT_EQ(paths, (std::vector<std::string>{order[0], order[3]}));
    EXPECT_EQ(IndexChecked, 3);
}

// The page keeps only the tiles near its viewport; the pictures' state lives in its data.
TEST_F(ImagePageTest, ALargeFolderKeepsFewTilesAndDecodesOnlyWhatEndsOnScreen)
{
    constexpr int COUNT = 600;
    const std::string folder = Folder("many", COUNT);
    std::vector<std::string> order;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        order.push_back(entry.path().string());
    const std::uint64_t decodesBefore = GetThumbnailDecodeCount();
    ASSERT_TRUE(Select(folder, COUNT));
    const int tiles = std::stoi(Eval("document.images.length"));
    EXPECT_LT(tiles, COUNT / 3);
    EXPECT_EQ(Eval("document.body.scrollHeight > 10 * innerHeight"), "true");

    // Picture 2 checked, then the page jumps to its end at once: what was asked for at the
    // top and not yet decoded is given up, the end's screenful and its surroundings come.
    Eval("ImageClicked(2, {ctrlKey: true}); scrollTo(0, document.body.scrollHeight); 1");
    const std::string allComplete = "document.getElementById('p" + std::to_string(COUNT - 1) +
                                    "') != null && Array.prototype.every.call(document.images, function (p) {"
                                    " return p.style.display == 'none' || (p.complete && p.naturalWidth > 0); })";
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return Eval(allComplete) == "true"; }));
    EXPECT_EQ(Eval("document.getElementById('p2')"), "null");
    EXPECT_LE(GetThumbnailDecodeCount() - decodesBefore, static_cast<std::uint64_t>(2 * tiles));

    // Walking the pictures reaches the last one and wraps round to the first.
    Run(ID_IMAGE_LAST);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == order[COUNT - 1]; }));
    Run(ID_IMAGE_NEXT);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == order[0]; }));
    // Back at the top, picture 2's tile shows its check again; checks are collected from the data.
    EXPECT_EQ(Eval("getComputedStyle(document.getElementById('p2')).borderTopColor"), "\"rgb(255, 0, 255)\"");
    std::vector<std::string> paths;
    bool done = false;
    page->CollectCheckedImages([&](std::vector<std::string> result) {
        paths = std::move(result);
        done = true;
    });
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return done; }));
    EXPECT_EQ(paths, std::vector<std::string>{order[2]});
}

// The index is not text: select-all highlights nothing; a hovered path leaves with its folder.
TEST_F(ImagePageTest, NoTextSelectionAndTheHoveredPathGoesWithItsFolder)
{
    ASSERT_TRUE(Select(Folder("hover", 3), 3));
    EXPECT_EQ(Eval("document.execCommand('selectAll'); getSelection().isCollapsed"), "true");
    Eval("ShowPath(document.getElementById('p1')); 1");
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return host.status.find("pic") != std::string::npos; }));
    ASSERT_TRUE(Select(Folder("other", 1), 1));
    EXPECT_EQ(host.status, "");
}

// A grey picture written by the decoder's own library, with an orientation tag when asked.
bool WriteVipsPicture(const std::string& path, int width, int height, int orientation = 0)
{
    VipsImage* black = nullptr;
    VipsImage* picture = nullptr;
    if (vips_black(&black, width, height, "bands", 3, nullptr) != 0)
        return false;
    const int cast = vips_cast_uchar(black, &picture, nullptr);
    g_object_unref(black);
    if (cast != 0)
        return false;
    if (orientation != 0)
        vips_image_set_int(picture, VIPS_META_ORIENTATION, orientation);
    const int result = vips_image_write_to_file(picture, path.c_str(), nullptr);
    g_object_unref(picture);
    return result == 0;
}

TEST_F(ImagePageTest, ThumbnailsOfEveryFormatAreMadeOnceAndBrokenOnesShowThePlaceholder)
{
    const std::string folder = folders.MakeFolder("formats");
    ASSERT_TRUE(WriteVipsPicture(folder + "/turned.jpg", 400, 200, 6));
    for (const char* name : {"/b.png", "/c.gif", "/e.webp", "/f #1.tif"})
        ASSERT_TRUE(WriteVipsPicture(folder + name, 300, 200)) << name;
    ASSERT_TRUE(test::WritePicture(folder + "/d.bmp", 30, 20));
    std::ofstream(folder + "/g broken.jpg") << "\xFF\xD8\xFF\xE0 cut short";
    const std::uint64_t decodesBefore = GetThumbnailDecodeCount();
    ASSERT_TRUE(Select(folder, 7));

    // Every thumbnail arrives; the broken one as the placeholder, and the page goes on.
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] {
            return Eval("Array.prototype.every.call(document.images, function (p) {"
                        " return p.complete && p.naturalWidth > 0; })")
                == "true";
        }));
    const std::string states = Eval(
        "Array.prototype.map.call(document.images, function (p) {"
        " var name = decodeURIComponent(p.getAttribute('data-pic')).replace(/^.*\\//, '');"
        " var kind = /^mev:\\/\\/(thumb|near)128\\/\\?/.test(p.src) ? 'thumb' : p.src == BROKEN ? 'broken' : p.src;"
        " return name + '=' + kind + (p.naturalHeight > p.naturalWidth ? ' upright' : ''); }).sort().join('|')");
    EXPECT_EQ(states, "\"b.png=thumb|c.gif=thumb|d.bmp=thumb|e.webp=thumb|f #1.tif=thumb|g broken.jpg=broken|"
                      "turned.jpg=thumb upright\"");
    EXPECT_EQ(GetThumbnailDecodeCount() - decodesBefore, 7u);

    // The shared cache holds them now, the broken one among the failures: the next visit
    // decodes nothing.
    const CThumbnailCache cache(CThumbnailCache::GetDefaultRoot());
    const std::string tiff = folder + "/f #1.tif";
    EXPECT_TRUE(std::filesystem::exists(cache.GetPath(ThumbnailSize::Normal, CThumbnailCache::MakeUri(tiff))));
    EXPECT_TRUE(std::filesystem::exists(cache.GetFailPath(CThumbnailCache::MakeUri(folder + "/g broken.jpg"))));
    const std::uint64_t decodesAfter = GetThumbnailDecodeCount();
    EXPECT_FALSE(CPageProtocol::RunGenerator(tiff, GenerateThumbnail128).empty());
    EXPECT_TRUE(CPageProtocol::RunGenerator(folder + "/g broken.jpg", GenerateThumbnail128).empty());
    EXPECT_EQ(GetThumbnailDecodeCount(), decodesAfter);

    // The TIFF's own picture comes through its rendition, and a click reports its exact path.
    EXPECT_TRUE(test::RunMainLoopUntil(
        [&] {
            return Eval("var r = document.getElementById('rendition'); if (!r) { r = new Image(); r.id = 'rendition';"
                        " r.src = document.querySelector('img[data-pic*=\"f%20%231\"]').getAttribute('data-full');"
                        " document.body.appendChild(r); } r.complete && r.naturalWidth == 300")
                == "true";
        }));
    Eval("document.querySelector('img[data-pic*=\"f%20%231\"]').click(); 1");
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == tiff; }));
}

} // namespace
} // namespace mev
