#include "platform/sandboxed_picture_decoder.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <glib.h>
#include <vips/vips.h>

#include "core/shell/program_path.hpp"
#include "platform/decode_protocol.hpp"
#include "platform/exif_reader.hpp"
#include "platform/picture_decoder.hpp"
#include "platform/picture_types.hpp"
#include "camera_jpeg.hpp"
#include "temp_folder.hpp"
#include "wait_until.hpp"

namespace mev {
namespace {

std::string GreyPng(int width, int height)
{
    VipsImage* black = nullptr;
    vips_black(&black, width, height, "bands", 3, nullptr);
    VipsImage* grey = nullptr;
    vips_linear1(black, &grey, 1.0, 90.0, nullptr);
    g_object_unref(black);
    VipsImage* picture = nullptr;
    vips_cast_uchar(grey, &picture, nullptr);
    g_object_unref(grey);
    void* buffer = nullptr;
    size_t length = 0;
    vips_pngsave_buffer(picture, &buffer, &length, nullptr);
    g_object_unref(picture);
    std::string png(static_cast<const char*>(buffer), length);
    g_free(buffer);
    return png;
}

// Sets an environment variable for the helpers a test starts.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : m_name(name) { setenv(name, value, 1); }
    ~CScopedEnv() { unsetenv(m_name); }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    const char* m_name;
};

class SandboxedPictureDecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CPictureDecoder::Initialise());
        m_options.helperPath = CSandboxedPictureDecoder::FindHelper();
        ASSERT_FALSE(m_options.helperPath.empty()) << "mev-decode is not built";
        m_options.memoryLimit = CSandboxedPictureDecoder::GetDefaultMemoryLimit();
        m_options.extensions = CPictureDecoder().GetPictureExtensions();
    }

    test::CTempFolder temp;
    CSandboxedPictureDecoder::Options m_options;
};

// The /proc folders of the helpers of this process that run the program, started
// outside the sandbox.
std::vector<std::string> HelperProcesses(const std::string& program)
{
    std::vector<std::string> found;
    const std::string parent = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        const std::string exe = std::filesystem::read_symlink(entry.path() / "exe", error).string();
        if (error || exe != program)
            continue;
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("PPid:", 0) == 0 && line.substr(line.find_first_not_of(" \t", 5)) == parent)
                found.push_back(entry.path().string());
        }
    }
    return found;
}

// One of them; "" when none runs.
std::string HelperProcess(const std::string& program)
{
    const auto found = HelperProcesses(program);
    return found.empty() ? std::string() : found.front();
}

bool HelperRuns(const std::string& program)
{
    return !HelperProcess(program).empty();
}

// Asked to get ready, the decoder starts its helpers before the first picture comes.
TEST_F(SandboxedPictureDecoderTest, PrepareStartsHelpersBeforeTheFirstPicture)
{
    m_options.sandbox = false;
    m_options.warmCount = 1;
    CSandboxedPictureDecoder decoder(m_options);
    EXPECT_FALSE(HelperRuns(m_options.helperPath));
    decoder.Prepare();
    decoder.Prepare();
    bool runs = false;
    for (int i = 0; i < 600 && !(runs = HelperRuns(m_options.helperPath)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(runs);
}

// Helpers left idle end, so that their memory comes back; the next picture starts one
// again.
TEST_F(SandboxedPictureDecoderTest, IdleHelpersEndAndTheNextPictureStartsOne)
{
    m_options.sandbox = false;
    m_options.warmCount = 1;
    m_options.idleLimit = std::chrono::milliseconds(100);
    const CSandboxedPictureDecoder decoder(m_options);
    const std::string path = temp.Write("a.png", GreyPng(30, 20));
    ASSERT_TRUE(decoder.MakeThumbnail(path, 128));
    EXPECT_TRUE(test::WaitUntil([&] { return !HelperRuns(m_options.helperPath); }));
    const auto again = decoder.MakeThumbnail(path, 128);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->sourceWidth, 30);
    EXPECT_EQ(decoder.GetFailureCount(), 0u);
}

// Kept ready, the decoder leaves one helper running past the idle limit: a fresh one in
// place of those that decoded (they may hold libvips). Let go, that one ends too.
TEST_F(SandboxedPictureDecoderTest, KeptReadyOneUnusedHelperOutlastsTheIdleLimit)
{
    m_options.sandbox = false;
    m_options.idleLimit = std::chrono::milliseconds(100);
    const CSandboxedPictureDecoder decoder(m_options);
    const auto helpers = [&] { return HelperProcesses(m_options.helperPath); };
    decoder.KeepReady(true);
    ASSERT_TRUE(test::WaitUntil([&] { return helpers().size() == 1; }));
    const std::string first = helpers().front();
    ASSERT_TRUE(decoder.MakeThumbnail(temp.Write("a.png", GreyPng(30, 20)), 128));
    EXPECT_TRUE(test::WaitUntil([&] {
        const auto now = helpers();
        return now.size() == 1 && now.front() != first;
    }));
    decoder.KeepReady(false);
    EXPECT_TRUE(test::WaitUntil([&] { return helpers().empty(); }));
}

// A helper that has only seen JPEG, PNG, GIF and BMP files has not loaded libvips, which costs it
// most of its start and its memory; the first picture of another type loads it.
TEST_F(SandboxedPictureDecoderTest, HelperLoadsLibvipsForTheFirstPictureThatNeedsIt)
{
    m_options.sandbox = false;
    m_options.warmCount = 1;
    const CSandboxedPictureDecoder decoder(m_options);
    const auto mapsLibvips = [&] {
        std::ifstream maps(HelperProcess(m_options.helperPath) + "/maps");
        const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(text.empty());
        return text.find("/libvips.so") != std::string::npos;
    };
    const std::string png = temp.Write("a.png", GreyPng(300, 200));
    VipsImage* picture = vips_image_new_from_file(png.c_str(), nullptr);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(vips_image_write_to_file(picture, temp.File("a.jpg").c_str(), nullptr), 0);
    for (const char* name : {"a.gif", "a.bmp", "a.tif"})
        ASSERT_EQ(vips_image_write_to_file(picture, temp.File(name).c_str(), nullptr), 0) << name;
    g_object_unref(picture);
    for (const char* name : {"a.png", "a.jpg", "a.gif", "a.bmp"}) {
        const auto thumbnail = decoder.MakeThumbnail(temp.File(name), 128);
        ASSERT_TRUE(thumbnail) << name;
        EXPECT_EQ(thumbnail->sourceWidth, 300) << name;
    }
    EXPECT_FALSE(mapsLibvips());
    ASSERT_TRUE(decoder.MakeThumbnail(temp.File("a.tif"), 128));
    EXPECT_TRUE(mapsLibvips());
}

// A picture that makes its helper abort, and one that makes it hang past the time limit,
// each cost their own thumbnail only: the pictures decoded beside them and after them
// come out, and this process goes on.
TEST_F(SandboxedPictureDecoderTest, HelperThatCrashesOrHangsCostsOnePicture)
{
    const CScopedEnv crash("MEV_DECODE_TEST_ABORT", "mev-test-crash");
    const CScopedEnv hang("MEV_DECODE_TEST_HANG", "mev-test-hang");
    m_options.timeLimit = std::chrono::milliseconds(3000);
    const CSandboxedPictureDecoder decoder(m_options);
    const std::string png = GreyPng(300, 200);
    std::vector<std::string> paths;
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"})
        paths.push_back(temp.Write(name, png));
    // Bytes after the end of a PNG are ignored by its readers: whole pictures otherwise.
    const std::string crashing = temp.Write("crash.png", png + "mev-test-crash");
    const std::string hanging = temp.Write("hang.png", png + "mev-test-hang");

    std::vector<std::future<bool>> made;
    for (const std::string& path : {paths[0], crashing, paths[1], hanging, paths[2]})
        made.push_back(std::async(std::launch::async, [&decoder, path] { return decoder.MakeThumbnail(path, 128).has_value(); }));
    const std::vector<bool> expected{true, false, true, false, true};
    for (std::size_t i = 0; i < made.size(); ++i)
        EXPECT_EQ(made[i].get(), expected[i]) << i;
    EXPECT_EQ(decoder.GetFailureCount(), 2u);
    const auto after = decoder.MakeThumbnail(paths[3], 128);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->sourceWidth, 300);
    EXPECT_EQ(decoder.GetFailureCount(), 2u);
    std::printf("helpers ran %s\n", decoder.IsSandboxed() ? "under bubblewrap" : "without a sandbox");
}

// What a program in the sandbox can reach: run a shell there, as a helper would run,
// and let it try the user's files, writing, and the network.
TEST_F(SandboxedPictureDecoderTest, SandboxReachesNoFilesNorNetwork)
{
    gchar* bubblewrap = g_find_program_in_path("bwrap");
    if (bubblewrap == nullptr)
        GTEST_SKIP() << "bubblewrap is not installed";
    const std::string bwrap = bubblewrap;
    g_free(bubblewrap);
    const std::string secret = temp.Write(".ssh/id_test", "secret");
    temp.MakeFolder(".ssh");
    temp.Write(".ssh/id_test", "secret");
    // Its /tmp is its own, in memory: nothing written there reaches this one.
    const std::string outside = "/tmp/mev-sandbox-probe-" + std::to_string(getpid());
    const std::string script = "for p in '" + secret + "' '" + temp.Path() + "' /etc/passwd /root /home; do "
                               "  [ -e \"$p\" ] && echo \"sees $p\"; done; "
                               "echo > " + outside + "; "
                               "for p in /x /usr/x /run/mev-decode/x /dev/x /dev/shm/x; do "
                               "  (echo > \"$p\") 2>/dev/null && echo \"writes $p\"; done; "
                               "(echo > /dev/tcp/127.0.0.1/53) 2>/dev/null && echo 'reaches the network'; "
                               "(echo > /dev/tcp/1.1.1.1/53) 2>/dev/null && echo 'reaches the network'; "
                               "echo ran";
    const std::vector<std::string> command = CSandboxedPictureDecoder::MakeSandboxCommand(bwrap, {"/bin/bash", "-c", script}, {".png"});
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    gchar* output = nullptr;
    gint status = 0;
    ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &output, nullptr,
                             &status, nullptr));
    const std::string seen = output != nullptr ? output : "";
    g_free(output);
    if (seen.find("ran") == std::string::npos)
        GTEST_SKIP() << "bubblewrap cannot make a sandbox here";
    EXPECT_EQ(seen, "ran\n");
    EXPECT_FALSE(g_file_test(outside.c_str(), G_FILE_TEST_EXISTS));
}

// A picture's information is read by a helper, and comes back as the program's own reader
// gives it; what is no picture, or makes its helper crash, gives nothing and costs no
// more than that one answer.
TEST_F(SandboxedPictureDecoderTest, HelperReadsPictureInformation)
{
    const CScopedEnv crash("MEV_DECODE_TEST_ABORT", "mev-test-crash");
    const std::string photo = temp / "photo.jpg";
    ASSERT_TRUE(test::WriteCameraJpeg(photo, {{"exif-ifd0-Make", "Maker\nwith a line"}, {"exif-ifd2-FNumber", "28/10"}}));
    const std::string png = GreyPng(30, 20);
    const std::string crashing = temp.Write("crash.png", png + "mev-test-crash");
    const std::string fifo = temp / "pipe.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const CSandboxedPictureDecoder decoder(m_options);
    const auto info = decoder.ReadPictureInfo(photo);
    const auto expected = CExifReader().ReadPictureInfo(photo);
    ASSERT_TRUE(info && expected);
    EXPECT_EQ(info->width, 64);
    EXPECT_EQ(info->height, 48);
    EXPECT_EQ(info->fileSize, expected->fileSize);
    EXPECT_EQ(info->make, expected->make);
    EXPECT_EQ(info->fNumber, "28/10");
    EXPECT_FALSE(decoder.ReadPictureInfo(temp.Write("text.jpg", "no picture")));
    EXPECT_FALSE(decoder.ReadPictureInfo(fifo));
    EXPECT_FALSE(decoder.ReadPictureInfo(crashing));
    EXPECT_EQ(decoder.GetFailureCount(), 1u);
    EXPECT_TRUE(decoder.ReadPictureInfo(temp.Write("small.png", png)));
}

// What travels from a helper is checked: any byte in a field, and nothing from a text
// that is cut short, too long or not one.
TEST(DecodeProtocolTest, PictureInformationTravelsWholeOrNotAtAll)
{
    PictureInfo info;
    info.width = 4000;
    info.height = 3000;
    info.make = "A 12:3\n";
    info.longitudeRef = "W";
    const std::string text = EncodePictureInfo(info);
    const auto back = DecodePictureInfo(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 4000);
    EXPECT_EQ(back->make, info.make);
    EXPECT_EQ(back->longitudeRef, "W");
    EXPECT_EQ(back->model, "");
    for (const std::string& bad : {text.substr(0, text.size() - 1), text + "x", std::string("-4 3\n"), std::string(""),
                                   std::string("4 3\n99999999999999999999:")})
        EXPECT_FALSE(DecodePictureInfo(bad)) << bad;
}

// The helper's list of picture types is kept between starts while the files that decide
// it stay as they were, and asked again once one changes; a helper that cannot answer
// gives no types and leaves no cache.
TEST_F(SandboxedPictureDecoderTest, PictureTypesAreKeptUntilTheHelperChanges)
{
    const std::string helper = temp / "mev-decode";
    std::filesystem::copy_file(m_options.helperPath, helper);
    std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
    std::filesystem::copy_file(GetFolderOf(m_options.helperPath) + "/" + VIPS_MODULE_NAME, temp / VIPS_MODULE_NAME);
    const std::string cache = temp / "cache/mev/picture-types";
    const auto types = LoadPictureTypes(helper, cache);
    EXPECT_EQ(types, CPictureDecoder().GetPictureExtensions());
    ASSERT_TRUE(std::filesystem::exists(cache));

    // Marked, the cache shows whether a later start used it or asked the helper.
    std::ofstream(cache, std::ios::app) << "type .mevtest\n";
    EXPECT_EQ(LoadPictureTypes(helper, cache).back(), ".mevtest");
    std::filesystem::last_write_time(helper, std::filesystem::last_write_time(helper) + std::chrono::seconds(5));
    EXPECT_EQ(LoadPictureTypes(helper, cache), types);
    // A cache with a line that is no type is not taken.
    std::ofstream(cache, std::ios::app) << "type /../x\n";
    EXPECT_EQ(LoadPictureTypes(helper, cache), types);
    std::ofstream(cache, std::ios::app) << "type .mevtest\n";
    EXPECT_EQ(LoadPictureTypes(m_options.helperPath, cache), types) << "another helper: asked again";

    const std::string failing = temp / "failing-cache";
    EXPECT_TRUE(LoadPictureTypes("/bin/false", failing).empty());
    EXPECT_TRUE(LoadPictureTypes(temp / "missing", failing).empty());
    const std::string hanging = temp.Write("hanging", "#!/bin/sh\necho 'type .jpg'\nexec sleep 60\n");
    std::filesystem::permissions(hanging, std::filesystem::perms::owner_all);
    EXPECT_TRUE(LoadPictureTypes(hanging, failing, std::chrono::milliseconds(300)).empty());
    EXPECT_FALSE(std::filesystem::exists(failing));
    // A cache that cannot be written costs a question to the helper at every start.
    EXPECT_EQ(LoadPictureTypes(helper, temp.Write("file") + "/picture-types"), types);
}

} // namespace
} // namespace mev
