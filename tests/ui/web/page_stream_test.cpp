#include <gtest/gtest.h>

#include <cstdio>

#include <gtkmm/box.h>

#include "browser_test_fixture.hpp"
#include "core/shell/url.hpp"

namespace mev::test {
namespace {

using BrowserStream = BrowserFixture;

// Many entries make the index page far larger than one notification, so it arrives in
// pieces; the pictures need not be decodable for that.
void FillFolder(const CTempFolder& folder, int count)
{
    char name[96];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "a-picture-with-quite-a-long-name-to-make-the-page-big-%05d.jpg", i);
        folder.Write(name, "");
    }
}

TEST_F(BrowserStream, LargeIndexPageArrivesWhole)
{
    CTempFolder folder;
    constexpr int COUNT = 1200;
    FillFolder(folder, COUNT);
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));
    EXPECT_EQ(Eval("PictureCount()"), std::to_string(COUNT));
    EXPECT_EQ(Eval("/-big-\\d{5}\\.jpg$/.test(PictureUrl(" + std::to_string(COUNT - 1) + "))"), "true");
    // Only the tiles near the top are in the document.
    EXPECT_EQ(Eval("document.images.length < 600"), "true");
    EXPECT_EQ(Eval("typeof Init"), "\"function\"");
}

TEST_F(BrowserStream, LeavingAPageWhileItStreamsStopsItAndLoadsTheNext)
{
    CTempFolder folder;
    FillFolder(folder, 1200);
    for (int round = 0; round < 3; ++round) {
        browser->Navigate("mev://images/?" + folder.Path());
        RunMainLoopFor(20 * round);
        ASSERT_TRUE(NavigateAndWait(*browser, GetFrontPageUrl()));
        EXPECT_EQ(Eval("document.querySelector('h3').textContent"), "\"MEV\"");
    }
    // Refresh loads the page again through a new request.
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));
    ASSERT_EQ(Eval("document.title = 'old'"), "\"old\"");
    bool finished = false;
    auto connection = browser->signal_load_finished().connect([&] { finished = true; });
    browser->Refresh();
    ASSERT_TRUE(RunMainLoopUntil([&] { return finished; }));
    connection.disconnect();
    EXPECT_EQ(Eval("document.title"), "\"MEV\"");
    EXPECT_EQ(Eval("PictureCount()"), "1200");
}

TEST_F(BrowserStream, SeveralViewsLoadAtOnce)
{
    CTempFolder folder;
    FillFolder(folder, 500);
    std::vector<std::unique_ptr<CPageBrowser>> others;
    Gtk::Box box(Gtk::Orientation::HORIZONTAL);
    window->unset_child();
    window->set_child(box);
    box.append(browser->GetWidget());
    int finished = 0;
    for (int i = 0; i < 3; ++i) {
        others.push_back(std::make_unique<CPageBrowser>());
        box.append(others.back()->GetWidget());
        others.back()->signal_load_finished().connect([&] { ++finished; });
        others.back()->Navigate("mev://images/?" + folder.Path());
    }
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));
    ASSERT_TRUE(RunMainLoopUntil([&] { return finished == 3; }));
    for (auto& other : others) {
        std::string json;
        ASSERT_TRUE(EvaluateInPage(*other, "PictureCount()", json));
        EXPECT_EQ(json, "500");
    }
    for (auto& other : others)
        box.remove(other->GetWidget());
    others.clear();
    box.remove(browser->GetWidget());
    window->unset_child();
    window->set_child(browser->GetWidget());
}

} // namespace
} // namespace mev::test
