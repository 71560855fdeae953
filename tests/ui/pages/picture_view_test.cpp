// The single picture of the Images tab: how the picture pane gets to each picture.
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <gtkmm.h>
#include <webkit/webkit.h>

#include "core/pages/image_pane_state.hpp"
#include "core/pages/script_external.hpp"
#include "core/shell/url.hpp"
#include "ui/pages/image_page.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/pages/media_page_host.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

class CHost : public CMediaPageHost {
public:
    void SetStatusMessage(const std::string&) override {}
    void ToggleFullScreen() override {}
    bool RouteCommand(int) override { return false; }
    void SetCurrentPage(CMediaPage*) override {}
};

class PictureViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CurrentImagePath.clear();
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(900, 600);
        page = std::make_unique<CImagePage>(host);
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return page->IsStarted(); }));
    }
    void TearDown() override
    {
        window->unset_child();
        page.reset();
        window->destroy();
        CurrentImagePath.clear();
        test::RunMainLoopFor(50);
    }

    CPageBrowser& Picture() { return page->GetBrowser(); }

    // Shows the picture and waits until the pane holds it, decoded, at the given width,
    // and its page has finished loading (a page still loading is replaced, not reused).
    bool Show(const std::string& path, int naturalWidth)
    {
        CurrentImagePath = path;
        page->ShowCurrentImage();
        return test::RunMainLoopUntil(
            [&] {
                std::string json;
                return Picture().GetLocationUrl() == "mev://image/?" + path && !Picture().IsLoading() &&
                       test::EvaluateInPage(Picture(), "document.getElementById('pic').naturalWidth", json, 2000) &&
                       json == std::to_string(naturalWidth);
            },
            30000);
    }

    test::CTempFolder folder;
    CHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CImagePage> page;
};

TEST_F(PictureViewTest, PictureWhoseNameIsNotUtf8IsShown)
{
    const std::string path = folder.File("caf\xE9 #1.png");
    ASSERT_TRUE(test::WritePicture(path, 40, 30));
    EXPECT_TRUE(Show(path, 40));
}

// A slide show over large photos: the pane keeps the picture it shows until the next one
// is decoded, and is never empty in between; the two cross-fade.
TEST_F(PictureViewTest, NextPictureReplacesTheShownOneOnlyOnceDecoded)
{
    const std::string small = folder.File("red.jpg");
    const std::string large = folder.File("blue.jpg");
    ASSERT_TRUE(test::WritePicture(small, 800, 600, 0xff0000));
    ASSERT_TRUE(test::WritePicture(large, 6000, 4000, 0x0000ff));
    ASSERT_TRUE(Show(small, 800));

    int starts = 0;
    const gulong handler = g_signal_connect(Picture().GetWebView(), "load-changed",
                                            G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer count) {
                                                if (event == WEBKIT_LOAD_STARTED)
                                                    ++*static_cast<int*>(count);
                                            }),
                                            &starts);
    CurrentImagePath = large;
    page->ShowCurrentImage();
    auto centre = [](int width, int height) { return std::make_pair(width / 2, height / 2); };
    long pixel = -1;
    bool onlyPictures = true;
    const bool shown = test::RunMainLoopUntil(
        [&] {
            pixel = test::ViewPixel(Picture(), centre);
            const int r = static_cast<int>((pixel >> 16) & 0xff);
            const int g = static_cast<int>((pixel >> 8) & 0xff);
            const int b = static_cast<int>(pixel & 0xff);
            // The two cross-fade: a mix of red and blue, never the page behind them.
            if (pixel < 0 || r + b < 200 || g >= 64)
                onlyPictures = false;
            return b >= 240 && r < 16;
        },
        30000);
    g_signal_handler_disconnect(Picture().GetWebView(), handler);
    EXPECT_TRUE(shown) << std::hex << pixel;
    EXPECT_TRUE(onlyPictures) << "the pane showed neither picture: " << std::hex << pixel;
    EXPECT_EQ(starts, 0) << "a new page starts empty";
    EXPECT_EQ(Picture().GetLocationUrl(), "mev://image/?" + large);
}

} // namespace
} // namespace mev
