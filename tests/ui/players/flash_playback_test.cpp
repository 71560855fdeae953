// Flash movies in the Videos tab: listed while the emulator is there, played in turn with
// clips by auto play.
#include "ui/players/video_page.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/file_request.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/file_names.hpp"
#include "ui/browser/browser_engine.hpp"
#include "ui/browser/page_browser.hpp"
#include "ui/ui_test_support.hpp"
#include "player_test_host.hpp"

namespace mev {
namespace {

using test::CPlayerHost;
using test::CTempFolder;
using test::RunMainLoopUntil;

const std::string DEMO = std::string(MEV_SOURCE_DIR) + "/demo";

class FlashPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetFlashPlayerFolder().empty())
            GTEST_SKIP() << "this build holds no Flash emulator";
        CMediaKinds::Instance().EnsureBuilt();
        CMediaKinds::Instance().SetFlashPlayable(true);
        SetScriptHost(&host);
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(1000, 700);
        page = std::make_unique<CVideoPage>(host);
        host.page = page.get();
        window->set_child(*page);
        window->present();
        ASSERT_TRUE(RunMainLoopUntil([this] { return page->IsStarted() && page->GetFileList() != nullptr; }));
        test::RecordPlayedPages(page->GetBrowser(), played);
    }
    void TearDown() override
    {
        CMediaKinds::Instance().SetFlashPlayable(!GetFlashPlayerFolder().empty());
        SetScriptHost(nullptr);
        if (!window)
            return;
        window->unset_child();
        page.reset();
        window->destroy();
    }

    CFileListCtrl& list() { return *page->GetFileList(); }

    // The names listed after filling the list from the folder.
    std::vector<std::string> Fill(const std::string& folder)
    {
        list().FillFolder(folder, MediaKind::Video, false);
        EXPECT_TRUE(RunMainLoopUntil([&] { return !list().IsFilling(); }));
        std::vector<std::string> names;
        for (int row = 0; row < list().GetCount(); ++row)
            names.push_back(GetFileNamePart(list().GetModel().At(row).path));
        return names;
    }

    int RowOf(const std::string& name)
    {
        for (int row = 0; row < list().GetCount(); ++row) {
            if (GetFileNamePart(list().GetModel().At(row).path) == name)
                return row;
        }
        return -1;
    }

    std::string Eval(const std::string& code)
    {
        std::string json;
        return test::EvaluateInPage(page->GetBrowser(), code, json, 5000) ? json : "";
    }

    // The colour the player shows above the movie's middle, where the demo movie's square
    // never passes: the 4:3 movie fills the width or the height of the pane.
    long StageColour()
    {
        return test::ViewPixel(page->GetBrowser(), [](int width, int height) {
            return std::make_pair(width / 2, height / 2 - std::min(height, width * 3 / 4) / 4);
        });
    }

    CPlayerHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CVideoPage> page;
    std::vector<std::string> played;
};

TEST_F(FlashPlayback, TheDemoMovieIsListedWhilePlayableAndPlays)
{
    CMediaKinds::Instance().SetFlashPlayable(false);
    std::vector<std::string> names = Fill(DEMO);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Sliding Square.swf"), 0);
    CMediaKinds::Instance().SetFlashPlayable(true);
    names = Fill(DEMO);
    const int row = RowOf("Sliding Square.swf");
    ASSERT_GE(row, 0);

    list().SelectOnly(row);
    page->OnCommand(ID_PRIVATE_LIST_SELECTED);
    // The movie's page watches for its busy state itself: on a busy machine the 4 s movie
    // may be over between two questions from here.
    ASSERT_TRUE(RunMainLoopUntil([&] {
        return Eval("typeof GetBusy === 'function' && location.href.indexOf('.swf') > 0") == "true";
    }));
    Eval("window.sawBusy = false; setInterval(function () { if (typeof flashy !== 'undefined'"
         " && GetBusy() && flashy.TotalFrames == 48) window.sawBusy = true; }, 10); true");
    // The first movie waits for the emulator's WebAssembly to be compiled, which takes
    // many seconds on a busy machine.
    ASSERT_TRUE(RunMainLoopUntil([&] { return Eval("window.sawBusy") == "true"; }, 3 * test::EVENT_WAIT_MS));
    EXPECT_TRUE(RunMainLoopUntil([&] { return StageColour() == 0x1e3c72; })) << std::hex << StageColour();
    // No end is reported while it plays (an answer from the page comes before any later
    // message of the page).
    if (Eval("GetBusy()") == "true") {
        EXPECT_TRUE(host.done.empty());
    }
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.done.empty(); }));
    EXPECT_EQ(host.done, std::vector<int>{ID_PRIVATE_VIDEO_DONE});
    EXPECT_EQ(Eval("GetBusy()"), "false");
}

TEST_F(FlashPlayback, AutoPlayGoesFromAMovieToAClipAndBack)
{
    CTempFolder folder;
    const std::string movie = folder.File("movie.swf");
    ASSERT_TRUE(test::WriteFlashMovie(movie, 12, "ff8000")); // one second
    std::filesystem::copy_file(DEMO + "/Test Pattern.mpg", folder.File("clip.mpg"));
    ASSERT_EQ(Fill(folder.Path()).size(), 2u);
    list().SetChecked(0, true);
    list().SetChecked(1, true);
    page->OnCommand(ID_VIEW_LOOP);
    page->OnCommand(ID_LIST_AUTOPLAY);
    ASSERT_TRUE(RunMainLoopUntil([&] { return played.size() >= 3; }, 4 * test::EVENT_WAIT_MS));
    EXPECT_EQ(played[0], played[2]);
    EXPECT_NE(played[0], played[1]);
    EXPECT_TRUE(page->IsAutoPlayOn());
}

TEST_F(FlashPlayback, TheNextMovieStartsInTheEmulatorAlreadyRunning)
{
    CTempFolder folder;
    const std::string first = folder.File("first.swf");
    const std::string second = folder.File("second.swf");
    ASSERT_TRUE(test::WriteFlashMovie(first, 48, "ff8000"));
    ASSERT_TRUE(test::WriteFlashMovie(second, 12, "2080a0"));
    ASSERT_EQ(Fill(folder.Path()).size(), 2u);
    list().SelectOnly(RowOf("first.swf"));
    page->OnCommand(ID_PRIVATE_LIST_SELECTED);
    // The first start compiles the emulator, which takes its time on a busy machine.
    ASSERT_TRUE(RunMainLoopUntil([&] { return StageColour() == 0xff8000; }, 3 * test::EVENT_WAIT_MS))
        << std::hex << StageColour();
    // A mark in the page shows whether the page, and its compiled emulator, stayed.
    ASSERT_EQ(Eval("window.sameEmulator = true"), "true");
    host.done.clear();

    list().SelectOnly(RowOf("second.swf"));
    page->OnCommand(ID_PRIVATE_LIST_SELECTED);
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), "mev://video/?" + second);
    ASSERT_TRUE(RunMainLoopUntil([&] { return StageColour() == 0x2080a0; })) << std::hex << StageColour();
    EXPECT_EQ(Eval("window.sameEmulator === true && flashy.TotalFrames"), "12");
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), "mev://video/?" + second);
    // Its end is reported as a fresh page's would be.
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.done.empty(); }));
    EXPECT_EQ(host.done, std::vector<int>{ID_PRIVATE_VIDEO_DONE});
}

} // namespace
} // namespace mev
