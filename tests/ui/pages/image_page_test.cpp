#include "ui/pages/image_page.hpp"

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
#include "core/pages/picture_order.hpp"
#include "core/shell/settings.hpp"
#include "core/pages/script_external.hpp"
#include "core/thumbs/thumbnail_cache.hpp"
#include "core/shell/url.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/ui_test_support.hpp"

// Xlib's macros clash with glibmm: after every gtkmm header.
#include <gdk/x11/gdkx.h>

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
        IndexSortOrder = 0;
        IndexShowNames = false;
        SetSettingInt("index_sort", 0);
        SetSettingInt("index_names", 0);
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

    // The names of the pictures in page order, as one string.
    std::string PageOrder() { return Eval("names.map(function (n, i) { return DisplayName(i); }).join(' ')"); }

    // Waits for the page on screen to be made again after a command.
    bool Reloaded(int startsBefore, int pictures)
    {
        return test::RunMainLoopUntil([&] {
            return starts > startsBefore && !webkit_web_view_is_loading(Index().GetWebView()) && IndexTotal == pictures;
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
    // On a busy machine the first picture may still be on its way.
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] { return page->GetBrowser().GetLocationUrl().starts_with("mev://image/"); }));
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
    // Page order is name order.
    std::vector<std::string> order;
    for (const std::string& name : names)
        order.push_back(folder + "/" + name);
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

TEST_F(ImagePageTest, CheckedNamesWithBackslashesAndUnicodeComeBackExact)
{
    const std::string folder = folders.MakeFolder("odder");
    const std::vector<std::string> order = {folder + "/a back\\slash \\\".png",
                                            folder + "/b \xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9\tx.png"};
    for (const std::string& path : order)
        ASSERT_TRUE(test::WritePicture(path, 20, 20));
    ASSERT_TRUE(Select(folder, 2));
    Run(ID_LIST_CHECK_ALL);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return IndexChecked == 2; })) << IndexChecked;
    std::vector<std::string> paths;
    bool done = false;
    page->CollectCheckedImages([&](std::vector<std::string> result) {
        paths = std::move(result);
        done = true;
    });
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return done; }));
    EXPECT_EQ(paths, order);
}

// The page keeps only the tiles near its viewport; the pictures' state lives in its data.
TEST_F(ImagePageTest, ALargeFolderKeepsFewTilesAndDecodesOnlyWhatEndsOnScreen)
{
    constexpr int COUNT = 600;
    const std::string folder = Folder("many", COUNT);
    // Numbers in names in numeric order: pic0, pic1, ... pic599.
    std::vector<std::string> order;
    for (int i = 0; i < COUNT; ++i)
        order.push_back(folder + "/pic" + std::to_string(i) + ".png");
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


// At their own width the thumbnails flow, and still only the lines near the screen are
// in the document: a check outlives its line, and First and Last reach either end.
TEST_F(ImagePageTest, AtTheirOwnWidthTheLinesNearTheScreenAreTheOnlyTiles)
{
    constexpr int COUNT = 500;
    ImageWidth = -1;
    const std::string folder = Folder("flow", COUNT);
    ASSERT_TRUE(Select(folder, COUNT));
    Eval("ImageClicked(2, {ctrlKey: true}); 1");
    // Down to the end a few screens at a time, as a user drags the scroll bar.
    ASSERT_TRUE(test::RunMainLoopUntil(
        [&] { return Eval("scrollBy(0, 3 * innerHeight); !!tiles[499] && tiles[499].getBoundingClientRect().top < innerHeight") == "true"; }));
    const int tiles = std::stoi(Eval("document.images.length"));
    EXPECT_LT(tiles, COUNT / 2);
    EXPECT_EQ(Eval("document.getElementById('p2')"), "null");

    Run(ID_IMAGE_FIRST);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/pic0.png"; }));
    EXPECT_EQ(Eval("scrollY < innerHeight && getComputedStyle(document.getElementById('p2')).borderTopColor"),
              "\"rgb(255, 0, 255)\"");
    Run(ID_IMAGE_LAST);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/pic499.png"; }));
    // Its line is in the document (pictures arriving above it may still push it down).
    EXPECT_EQ(Eval("document.getElementById('p499') != null && scrollY > 0"), "true");
    EXPECT_LT(std::stoi(Eval("document.images.length")), COUNT / 2);
}

// Thumbnails come in name order, numbers by their value; another order is chosen from the
// menu, remembered, and First/Next walk it.
TEST_F(ImagePageTest, ThumbnailsFollowTheChosenOrder)
{
    const std::string folder = folders.MakeFolder("order");
    const char* names[] = {"pic10.png", "Pic9.png", "pic1.png"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(test::WritePicture(folder + "/" + names[i], 20, 20));
        // Trailing bytes the decoder ignores: pic1 is the largest file, pic10 the smallest.
        std::ofstream(folder + "/" + names[i], std::ios::app) << std::string(1000 * i, '\0');
    }
    ASSERT_TRUE(Select(folder, 3));
    EXPECT_EQ(PageOrder(), "\"pic1.png Pic9.png pic10.png\"");
    EXPECT_TRUE(Update(ID_SORT_NAME).checked);
    EXPECT_TRUE(Update(ID_SORT_ASCENDING).checked);

    int before = starts;
    Run(ID_SORT_SIZE);
    ASSERT_TRUE(Reloaded(before, 3));
    before = starts;
    Run(ID_SORT_DESCENDING);
    ASSERT_TRUE(Reloaded(before, 3));
    EXPECT_EQ(PageOrder(), "\"pic1.png Pic9.png pic10.png\"");
    EXPECT_TRUE(Update(ID_SORT_SIZE).checked);
    EXPECT_FALSE(Update(ID_SORT_NAME).checked);
    EXPECT_TRUE(Update(ID_SORT_DESCENDING).checked);
    if (GetSettingsStore() != nullptr) {
        EXPECT_EQ(GetSettingInt("index_sort", -1), EncodePictureOrder({PictureSortKey::Size, true}));
    }
    before = starts;
    Run(ID_SORT_ASCENDING);
    ASSERT_TRUE(Reloaded(before, 3));
    EXPECT_EQ(PageOrder(), "\"pic10.png Pic9.png pic1.png\"");
    Run(ID_IMAGE_FIRST);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/pic10.png"; }));
    Run(ID_IMAGE_NEXT);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/Pic9.png"; }));
}

// With names shown, each thumbnail has its whole name under it, cut to the thumbnail's
// width; a click on the name is a click on the picture.
TEST_F(ImagePageTest, NamesShowUnderTheThumbnails)
{
    const std::string folder = folders.MakeFolder("names");
    const std::string longName = "a rather long name of a holiday picture & <b>.png";
    ASSERT_TRUE(test::WritePicture(folder + "/" + longName, 20, 20));
    ASSERT_TRUE(test::WritePicture(folder + "/caf\xC3\xA9 #2.png", 20, 20));
    ASSERT_TRUE(Select(folder, 2));
    EXPECT_EQ(Eval("document.querySelectorAll('.name').length"), "0");
    const int before = starts;
    Run(ID_INDEX_SHOW_NAMES);
    ASSERT_TRUE(Reloaded(before, 2));
    EXPECT_TRUE(Update(ID_INDEX_SHOW_NAMES).checked);
    EXPECT_EQ(Eval("Array.prototype.map.call(document.querySelectorAll('.name'), function (c) {"
                   " return c.textContent; }).join('|')"),
              "\"" + longName + "|caf\xC3\xA9 #2.png\"");
    const std::string caption = "document.getElementById('p0').caption";
    EXPECT_EQ(Eval(caption + ".scrollWidth > " + caption + ".clientWidth"), "true");
    EXPECT_EQ(Eval(caption + ".title"), "\"" + longName + "\"");
    EXPECT_EQ(Eval(caption + ".getBoundingClientRect().top >= document.getElementById('p0').getBoundingClientRect().bottom"),
              "true");
    Eval("document.getElementById('p1').caption.click(); 1");
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/caf\xC3\xA9 #2.png"; }));
}

// Real keys: Left/Right move the outline by one picture, Up/Down by a row, Enter shows it.
TEST_F(ImagePageTest, ArrowKeysMoveInTheGridAndEnterShowsThePicture)
{
    if (std::system("xdotool version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is missing";
    if (!GDK_IS_X11_SURFACE(window->get_surface()->gobj()))
        GTEST_SKIP() << "not an X11 display";
    const std::string folder = Folder("keys", 30);
    ASSERT_TRUE(Select(folder, 30));
    const int columns = std::stoi(Eval("columns"));
    ASSERT_GT(columns, 1);
    Index().GetWidget().grab_focus();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return Index().GetWebView() && gtk_widget_has_focus(GTK_WIDGET(Index().GetWebView())); }));
    const auto xid = std::to_string(gdk_x11_surface_get_xid(window->get_surface()->gobj()));
    ASSERT_TRUE(test::XdoTool("windowfocus --sync " + xid));
    ASSERT_TRUE(test::XdoTool("key --window " + xid + " Right Right Down Left"));
    const std::string expected = std::to_string(columns + 1);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return Eval("cursor") == expected; })) << Eval("cursor");
    EXPECT_EQ(Eval("document.getElementById('p" + expected + "').className"), "\"cursor\"");
    ASSERT_TRUE(test::XdoTool("key --window " + xid + " Up Return"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == folder + "/pic1.png"; })) << CurrentImagePath;
}

// Shift+click checks the pictures from the last one clicked; Check All and Reverse Check
// work on every picture, those off screen too.
TEST_F(ImagePageTest, ShiftClickChecksARangeAndCheckAllAndReverseCheckTakeEveryPicture)
{
    constexpr int COUNT = 300;
    const std::string folder = Folder("checks", COUNT);
    ASSERT_TRUE(Select(folder, COUNT));
    const auto click = [&](int i, const std::string& modifiers) {
        Eval("document.getElementById('p" + std::to_string(i) + "').dispatchEvent(new MouseEvent('click', {bubbles: true" +
             modifiers + "})); 1");
    };
    click(2, "");
    click(5, ", shiftKey: true");
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return IndexChecked == 4; })) << IndexChecked;
    std::vector<std::string> paths;
    bool done = false;
    page->CollectCheckedImages([&](std::vector<std::string> result) {
        paths = std::move(result);
        done = true;
    });
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return done; }));
    std::vector<std::string> expected;
    for (int i = 2; i <= 5; ++i)
        expected.push_back(folder + "/pic" + std::to_string(i) + ".png");
    EXPECT_EQ(paths, expected);

    EXPECT_TRUE(Update(ID_LIST_CHECK_ALL).enabled);
    Run(ID_LIST_CHECK_ALL);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return IndexChecked == COUNT; })) << IndexChecked;
    click(7, ", ctrlKey: true");
    Run(ID_LIST_REVERSE_CHECK);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return IndexChecked == 1; })) << IndexChecked;
    EXPECT_EQ(Eval("CheckedPictures().length == 1 && CheckedPictures()[0] == PictureUrl(7)"), "true");
}

} // namespace
} // namespace mev
