#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "browser_test_fixture.hpp"
#include "core/commands/command_ids.hpp"
#include "core/pages/media_support.hpp"

namespace mev::test {
namespace {

using BrowserMedia = BrowserFixture;

TEST_F(BrowserMedia, AudioPageIsBusyWhilePlayingAndReportsItsEnd)
{
    if (!IsMediaPlayerInstalled())
        GTEST_SKIP() << "no GStreamer playback plugin";
    // A short demo tune under a name that needs escaping; without the demo folder, a
    // tone made with ffmpeg.
    CTempFolder folder;
    const std::string mp3 = folder.File("tone & 100%.mp3");
    const std::filesystem::path demo = std::filesystem::path(MEV_SOURCE_DIR) / "demo" / "Arpeggio.mp3";
    std::error_code ec;
    if (!std::filesystem::copy_file(demo, mp3, ec)) {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "neither the demo folder nor ffmpeg";
        const std::string command =
            "ffmpeg -nostdin -loglevel error -f lavfi -i 'sine=frequency=440:duration=3' -q:a 9 '" + mp3
            + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://audio/?" + mp3));
    // Playing: GetBusy holds and the position moves.
    ASSERT_TRUE(WaitFor("GetBusy() && MediaElement().currentTime > 0.2", "true"))
        << Eval("String(MediaElement().error && MediaElement().error.code)");
    EXPECT_FALSE(host.HasCommand(ScriptPane::Audio, ID_PRIVATE_AUDIO_DONE));
    // The page polls every 1.5 s; the end arrives through window.external.
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Audio, ID_PRIVATE_AUDIO_DONE); }));
    EXPECT_EQ(Eval("GetBusy()"), "false");
    EXPECT_EQ(Eval("MediaElement().ended"), "true");
}

} // namespace
} // namespace mev::test
