#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "browser_test_fixture.hpp"
#include "core/commands/command_ids.hpp"
#include "core/pages/file_request.hpp"
#include "core/shell/url.hpp"

namespace mev::test {
namespace {

// Compiling the emulator's WebAssembly takes seconds of processor time, many more on a
// machine busy with other work.
constexpr int FIRST_MOVIE_WAIT_MS = 3 * EVENT_WAIT_MS;

class FlashPage : public BrowserFixture {
public:
    void SetUp() override
    {
        if (GetFlashPlayerFolder().empty())
            GTEST_SKIP() << "this build holds no Flash emulator";
        BrowserFixture::SetUp();
    }
};

TEST_F(FlashPage, PlaysTheMovieIsBusyWhilePlayingAndReportsItsEnd)
{
    CTempFolder folder;
    const std::string movie = folder.File("orange & 100%.swf");
    ASSERT_TRUE(WriteFlashMovie(movie, 48, "ff8000")); // 4 s at 12 frames per second

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://video/?" + movie));
    // The page itself watches for the busy state: on a busy machine the 4 s movie may
    // be over between two questions from here.
    Eval("window.sawBusy = false; setInterval(function () {"
         " if (GetBusy() && flashy.TotalFrames == 48) window.sawBusy = true; }, 10); true");
    // The first movie waits for the emulator's WebAssembly to be compiled.
    ASSERT_TRUE(WaitFor("window.sawBusy", "true", FIRST_MOVIE_WAIT_MS))
        << Eval("[String(flashy.TotalFrames), FlashMovie.failed]");
    const auto centre = [](int width, int height) { return std::make_pair(width / 2, height / 2); };
    EXPECT_TRUE(RunMainLoopUntil([&] { return ViewPixel(*browser, centre) == 0xff8000; }))
        << std::hex << ViewPixel(*browser, centre);
    EXPECT_FALSE(host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE));
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE); }));
    EXPECT_EQ(Eval("GetBusy()"), "false");
    EXPECT_EQ(Eval("flashy.FrameNum"), "48");
}

TEST_F(FlashPage, TruncatedMovieCountsAsFinishedWithoutHangingThePage)
{
    CTempFolder folder;
    const std::string movie = folder.File("cut.swf");
    ASSERT_TRUE(WriteFlashMovie(movie, 48, "ff8000"));
    std::filesystem::resize_file(movie, 21); // the header promises more than follows

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://video/?" + movie));
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE); },
                                 FIRST_MOVIE_WAIT_MS))
        << Eval("[GetBusy(), String(flashy.TotalFrames), FlashMovie.failed, FlashMovie.playedMs]");
    EXPECT_EQ(Eval("GetBusy()"), "false");
}

// The engine compiles the emulator's WebAssembly while it streams in only when the
// response's headers name its type; otherwise the whole file is fetched first.
TEST_F(FlashPage, EmulatorFilesNameTheirTypeInTheirHeaders)
{
    std::string wasm;
    for (const auto& entry : std::filesystem::directory_iterator(GetFlashPlayerFolder())) {
        if (entry.path().extension() == ".wasm")
            wasm = entry.path().filename().string();
    }
    ASSERT_FALSE(wasm.empty());
    ASSERT_TRUE(NavigateAndWait(*browser, GetBlankPageUrl()));
    Eval("window.types = ''; Promise.all(['ruffle.js', '" + wasm + "'].map(function (name) {"
         " return fetch('mev://flash/' + name).then(function (r) { return r.headers.get('Content-Type'); }); }))"
         ".then(function (types) { window.types = types.join(' '); }); true");
    EXPECT_TRUE(WaitFor("window.types", "\"text/javascript application/wasm\"")) << Eval("window.types");
}

} // namespace
} // namespace mev::test
