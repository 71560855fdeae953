#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <webkit/webkit.h>

#include "browser_test_fixture.hpp"
#include "core/commands/command_ids.hpp"
#include "core/pages/file_request.hpp"

namespace mev::test {
namespace {

// A movie of our own from the project's generator: a background colour and empty frames.
bool MakeMovie(const std::string& path, int frames, const std::string& rgb)
{
    const std::string command = "'" MEV_SOURCE_DIR "/tools/make-swf.sh' '" + path + "' 160 120 12 "
        + std::to_string(frames) + " " + rgb;
    return std::system(command.c_str()) == 0;
}

class FlashPage : public BrowserFixture {
public:
    void SetUp() override
    {
        if (GetFlashPlayerFolder().empty())
            GTEST_SKIP() << "this build holds no Flash emulator";
        BrowserFixture::SetUp();
    }

    // The colour (0xRRGGBB) the view shows at its centre, -1 when no snapshot came.
    long CentrePixel()
    {
        GdkTexture* texture = nullptr;
        bool done = false;
        struct Result {
            GdkTexture** texture;
            bool* done;
        } result{&texture, &done};
        webkit_web_view_get_snapshot(
            browser->GetWebView(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
            [](GObject* view, GAsyncResult* res, gpointer data) {
                auto* r = static_cast<Result*>(data);
                *r->texture = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), res, nullptr);
                *r->done = true;
            },
            &result);
        RunMainLoopUntil([&] { return done; }, 10000);
        if (texture == nullptr)
            return -1;
        const int width = gdk_texture_get_width(texture);
        const int height = gdk_texture_get_height(texture);
        std::vector<guchar> pixels(static_cast<std::size_t>(width) * height * 4);
        gdk_texture_download(texture, pixels.data(), static_cast<gsize>(width) * 4);
        g_object_unref(texture);
        // Memory format B8G8R8A8 premultiplied on little-endian machines.
        const std::size_t at = (static_cast<std::size_t>(height / 2) * width + width / 2) * 4;
        return (long(pixels[at + 2]) << 16) | (long(pixels[at + 1]) << 8) | long(pixels[at]);
    }
};

TEST_F(FlashPage, PlaysTheMovieIsBusyWhilePlayingAndReportsItsEnd)
{
    CTempFolder folder;
    const std::string movie = folder.File("orange & 100%.swf");
    ASSERT_TRUE(MakeMovie(movie, 48, "ff8000")); // 4 s at 12 frames per second

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://video/?" + movie));
    // The first movie waits for the emulator's WebAssembly to be compiled.
    ASSERT_TRUE(WaitFor("GetBusy() && flashy.TotalFrames == 48", "true", 40000)) << Eval("[GetBusy(), String(flashy.TotalFrames), FlashMovie.failed, FlashMovie.playedMs, String(FlashMovie.debug), FlashMovie.frameRate]");
    EXPECT_TRUE(RunMainLoopUntil([&] { return CentrePixel() == 0xff8000; }, 5000)) << std::hex << CentrePixel();
    EXPECT_FALSE(host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE));
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE); }, 10000));
    EXPECT_EQ(Eval("GetBusy()"), "false");
    EXPECT_EQ(Eval("flashy.FrameNum"), "48");
}

TEST_F(FlashPage, TruncatedMovieCountsAsFinishedWithoutHangingThePage)
{
    CTempFolder folder;
    const std::string movie = folder.File("cut.swf");
    ASSERT_TRUE(MakeMovie(movie, 48, "ff8000"));
    std::filesystem::resize_file(movie, 21); // the header promises more than follows

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://video/?" + movie));
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE); }, 40000))
        << Eval("[GetBusy(), String(flashy.TotalFrames), FlashMovie.failed, FlashMovie.playedMs]");
    EXPECT_EQ(Eval("GetBusy()"), "false");
}

} // namespace
} // namespace mev::test
