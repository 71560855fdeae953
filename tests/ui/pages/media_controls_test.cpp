// The desktop's media controls: the real program on a session bus of its own, read and
// driven over the bus as a desktop's panel does (org.mpris.MediaPlayer2).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

using test::CTempFolder;
using test::RunMainLoopUntil;

constexpr const char* OUR_NAME = "org.mpris.MediaPlayer2.org.mev.MediaBrowser";

// A tone of the given length (constant bit rate, so that its length is known from the
// start) with an ID3v1 tag (title, artist, album) at its end.
bool MakeTaggedClip(const std::string& path, int seconds, const std::string& title, const std::string& artist,
                    const std::string& album)
{
    const std::string command = "gst-launch-1.0 -q audiotestsrc num-buffers=" + std::to_string(seconds * 44100 / 1024)
        + " samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! lamemp3enc target=bitrate bitrate=64 cbr=true ! filesink location='"
        + path + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
    std::string tag = "TAG";
    for (const std::string* field : {&title, &artist, &album})
        tag += field->substr(0, 30) + std::string(30 - std::min<std::size_t>(field->size(), 30), '\0');
    tag += "2024" + std::string(30, '\0') + '\xff';
    std::ofstream(path, std::ios::binary | std::ios::app) << tag;
    return true;
}

// A child process, in a process group of its own, ended with SIGTERM, then SIGKILL, with
// whatever it started, when the test is done with it. A grandchild left behind would hold
// the test runner's output open and stall it until its time limit.
struct Child {
    GPid pid = 0;
    static void OwnGroup(gpointer) { setpgid(0, 0); }
    ~Child()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGTERM);
        for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
            g_usleep(50000);
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};

// A session bus that starts no services: a desktop's portals and accessibility bus, started
// on demand by a stock configuration, would outlive the test.
const char* const BUS_CONFIG = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

class MediaControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("dbus-daemon --version >/dev/null 2>&1 && gst-launch-1.0 --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no dbus-daemon or no gst-launch-1.0";
    }
    void TearDown() override
    {
        if (bus != nullptr)
            g_object_unref(bus);
    }

    // The program on a bus of the test's own, started with file, and its player there.
    void Start(const std::string& file)
    {
        // A bus of the test's own; the runtime folder lets the web engine reach it as well,
        // so that an entry of its own would show.
        const std::string config = folder.File("bus.conf");
        std::ofstream(config) << BUS_CONFIG;
        const std::string configArg = "--config-file=" + config;
        gchar* daemonArgs[] = {const_cast<gchar*>("dbus-daemon"), const_cast<gchar*>(configArg.c_str()),
                               const_cast<gchar*>("--nofork"), const_cast<gchar*>("--print-address=1"), nullptr};
        int out = -1;
        ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, daemonArgs, nullptr,
                                             GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), Child::OwnGroup,
                                             nullptr, &daemon.pid, nullptr, &out, nullptr, nullptr));
        std::string address;
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n')
            address += c;
        close(out);
        ASSERT_FALSE(address.empty());
        bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        ASSERT_NE(bus, nullptr);

        // Outside the test's folder, which the web process sees read-only.
        const std::string runtime = runtimeFolder.Path();
        chmod(runtime.c_str(), 0700);
        gchar** env = g_get_environ();
        env = g_environ_setenv(env, "DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
        env = g_environ_setenv(env, "XDG_RUNTIME_DIR", runtime.c_str(), TRUE);
        env = g_environ_setenv(env, "XDG_CONFIG_HOME", folder.MakeFolder("config").c_str(), TRUE);
        env = g_environ_setenv(env, "XDG_CACHE_HOME", cacheHome.c_str(), TRUE);
        gchar* programArgs[] = {const_cast<gchar*>(MEV_BINARY), const_cast<gchar*>(file.c_str()), nullptr};
        const bool started = g_spawn_async(nullptr, programArgs, env, GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD),
                                           Child::OwnGroup, nullptr, &program.pid, nullptr);
        g_strfreev(env);
        ASSERT_TRUE(started);
    }

    // A property of the player; nullptr when it cannot be read.
    GVariant* Get(const char* interface, const char* property)
    {
        GVariant* reply = g_dbus_connection_call_sync(bus, OUR_NAME, "/org/mpris/MediaPlayer2",
                                                      "org.freedesktop.DBus.Properties", "Get",
                                                      g_variant_new("(ss)", interface, property), G_VARIANT_TYPE("(v)"),
                                                      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply == nullptr)
            return nullptr;
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        g_variant_unref(reply);
        return value;
    }
    std::string GetString(const char* interface, const char* property)
    {
        GVariant* value = Get(interface, property);
        std::string text = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)
            ? g_variant_get_string(value, nullptr) : "(none)";
        if (value != nullptr)
            g_variant_unref(value);
        return text;
    }
    // "title|artist|album" of the track shown.
    std::string Track()
    {
        GVariant* metadata = Get("org.mpris.MediaPlayer2.Player", "Metadata");
        if (metadata == nullptr)
            return "(none)";
        const char* title = "";
        const char* album = "";
        const char** artists = nullptr;
        g_variant_lookup(metadata, "xesam:title", "&s", &title);
        g_variant_lookup(metadata, "xesam:album", "&s", &album);
        g_variant_lookup(metadata, "xesam:artist", "^a&s", &artists);
        const std::string track = std::string(title) + "|" + (artists != nullptr && artists[0] != nullptr ? artists[0] : "")
            + "|" + album;
        g_free(artists);
        g_variant_unref(metadata);
        return track;
    }
    std::string Status() { return GetString("org.mpris.MediaPlayer2.Player", "PlaybackStatus"); }
    void Call(const char* method) { CallWith(method, nullptr); }
    // Every media player on the bus.
    std::vector<std::string> Players()
    {
        std::vector<std::string> players;
        GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "ListNames", nullptr,
                                                      G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                                                      nullptr);
        if (reply == nullptr)
            return players;
        GVariantIter* names = nullptr;
        const char* name = nullptr;
        g_variant_get(reply, "(as)", &names);
        while (g_variant_iter_next(names, "&s", &name)) {
            if (g_str_has_prefix(name, "org.mpris.MediaPlayer2."))
                players.emplace_back(name);
        }
        g_variant_iter_free(names);
        g_variant_unref(reply);
        return players;
    }

    // A metadata entry of the track shown, nullptr when there is none.
    GVariant* MetadataEntry(const char* key)
    {
        GVariant* metadata = Get("org.mpris.MediaPlayer2.Player", "Metadata");
        if (metadata == nullptr)
            return nullptr;
        GVariant* value = g_variant_lookup_value(metadata, key, nullptr);
        g_variant_unref(metadata);
        return value;
    }
    std::int64_t Int64(const char* property)
    {
        GVariant* value = Get("org.mpris.MediaPlayer2.Player", property);
        const std::int64_t number = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_INT64)
            ? g_variant_get_int64(value) : -1;
        if (value != nullptr)
            g_variant_unref(value);
        return number;
    }
    bool Bool(const char* property)
    {
        GVariant* value = Get("org.mpris.MediaPlayer2.Player", property);
        const bool on = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
        if (value != nullptr)
            g_variant_unref(value);
        return on;
    }
    void CallWith(const char* method, GVariant* parameters)
    {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, OUR_NAME, "/org/mpris/MediaPlayer2",
                                                      "org.mpris.MediaPlayer2.Player", method, parameters, nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        EXPECT_NE(reply, nullptr) << method << ": " << (error != nullptr ? error->message : "");
        if (reply != nullptr)
            g_variant_unref(reply);
        g_clear_error(&error);
    }

    CTempFolder folder;
    // Outside the test's folder, which the web process sees read-only.
    CTempFolder runtimeFolder{"/tmp"};
    std::string cacheHome = folder.MakeFolder("cache");
    // The bus goes last, after the program.
    Child daemon;
    Child program;
    GDBusConnection* bus = nullptr;
};

TEST_F(MediaControlsTest, TheDesktopSeesOnePlayerWithTheTagsAndDrivesIt)
{
    ASSERT_TRUE(MakeTaggedClip(folder.File("one.mp3"), 20, "First Tune", "Some Band", "An Album"));
    ASSERT_TRUE(MakeTaggedClip(folder.File("two.mp3"), 20, "Second Tune", "Other Band", "B Album"));
    Start(folder.File("one.mp3"));

    ASSERT_TRUE(RunMainLoopUntil([&] { return Track() == "First Tune|Some Band|An Album"; })) << Track();
    EXPECT_EQ(Status(), "Playing");
    EXPECT_EQ(GetString("org.mpris.MediaPlayer2", "DesktopEntry"), "org.mev.MediaBrowser");
    EXPECT_EQ(GetString("org.mpris.MediaPlayer2", "Identity"), "MEV");

    // Nothing is checked: Next and Previous walk the list.
    Call("Next");
    EXPECT_TRUE(RunMainLoopUntil([&] { return Track() == "Second Tune|Other Band|B Album"; })) << Track();
    Call("PlayPause");
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Paused"; })) << Status();
    Call("PlayPause");
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Playing"; })) << Status();
    Call("Previous");
    EXPECT_TRUE(RunMainLoopUntil([&] { return Track() == "First Tune|Some Band|An Album"; })) << Track();
    Call("Stop");
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Stopped"; })) << Status();
    // One entry: the web engine's own (named after no desktop entry) stays away.
    EXPECT_EQ(Players(), std::vector<std::string>{OUR_NAME});
}

TEST_F(MediaControlsTest, PositionLengthAndSeekingFollowThePagesPlayer)
{
    ASSERT_TRUE(MakeTaggedClip(folder.File("one.mp3"), 20, "First Tune", "Some Band", "An Album"));
    ASSERT_TRUE(MakeTaggedClip(folder.File("two.mp3"), 20, "Second Tune", "Other Band", "B Album"));
    Start(folder.File("one.mp3"));
    std::vector<std::int64_t> seeked;
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, nullptr, "org.mpris.MediaPlayer2.Player", "Seeked", "/org/mpris/MediaPlayer2", nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, gpointer data) {
            gint64 position = 0;
            g_variant_get(parameters, "(x)", &position);
            static_cast<std::vector<std::int64_t>*>(data)->push_back(position);
        },
        &seeked, nullptr);

    // The length is the page's, and the position moves on while it plays.
    ASSERT_TRUE(RunMainLoopUntil([&] { return Bool("CanSeek"); }));
    GVariant* length = MetadataEntry("mpris:length");
    ASSERT_NE(length, nullptr);
    EXPECT_NEAR(static_cast<double>(g_variant_get_int64(length)), 20e6, 1e6);
    g_variant_unref(length);
    EXPECT_TRUE(RunMainLoopUntil([&] { return Int64("Position") > 500000; })) << Int64("Position");
    GVariant* trackId = MetadataEntry("mpris:trackid");
    ASSERT_NE(trackId, nullptr);
    const std::string track = g_variant_get_string(trackId, nullptr);
    g_variant_unref(trackId);

    CallWith("SetPosition", g_variant_new("(ox)", track.c_str(), gint64(10000000)));
    ASSERT_TRUE(RunMainLoopUntil([&] { return !seeked.empty(); }));
    EXPECT_NEAR(static_cast<double>(seeked.back()), 10e6, 0.5e6);
    EXPECT_GE(Int64("Position"), 9500000);
    // A position for another track is ignored: the next seek starts from 10 s.
    CallWith("SetPosition", g_variant_new("(ox)", "/org/mev/MediaBrowser/Track/999", gint64(2000000)));
    CallWith("Seek", g_variant_new("(x)", gint64(-5000000)));
    ASSERT_TRUE(RunMainLoopUntil([&] { return seeked.size() >= 2; }));
    EXPECT_NEAR(static_cast<double>(seeked[1]), 5.5e6, 1e6);
    // Past the end is the next file.
    CallWith("Seek", g_variant_new("(x)", gint64(60000000)));
    EXPECT_TRUE(RunMainLoopUntil([&] { return Track() == "Second Tune|Other Band|B Album"; })) << Track();
    g_dbus_connection_signal_unsubscribe(bus, subscription);
}

TEST_F(MediaControlsTest, TheCoverComesFromTheTagThroughTheCache)
{
    const std::string tune = folder.File("tune.mp3");
    ASSERT_TRUE(MakeTaggedClip(tune, 20, "Tune", "Band", "Album"));
    // An ID3v2 tag with a front cover before the audio.
    const std::string picture = std::string("\x89PNG\r\n\x1A\n", 8) + "cover bytes";
    std::string frame = std::string("\0image/png\0\x03\0", 13) + picture;
    const auto size = [](std::size_t n, bool syncsafe) {
        std::string bytes(4, '\0');
        for (int i = 3; i >= 0; --i, n >>= syncsafe ? 7 : 8)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>(n & (syncsafe ? 0x7f : 0xff));
        return bytes;
    };
    frame = "APIC" + size(frame.size(), false) + std::string(2, '\0') + frame;
    std::ifstream in(tune, std::ios::binary);
    const std::string audio((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(tune, std::ios::binary | std::ios::trunc)
        << std::string("ID3\x03\0\0", 6) << size(frame.size(), true) << frame << audio;
    Start(tune);

    std::string art;
    ASSERT_TRUE(RunMainLoopUntil([&] {
        GVariant* value = MetadataEntry("mpris:artUrl");
        if (value != nullptr) {
            art = g_variant_get_string(value, nullptr);
            g_variant_unref(value);
        }
        return !art.empty();
    }));
    gchar* path = g_filename_from_uri(art.c_str(), nullptr, nullptr);
    ASSERT_NE(path, nullptr) << art;
    EXPECT_EQ(std::string(path).rfind(cacheHome + "/mev/", 0), 0U) << path;
    std::ifstream cached(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(cached)), std::istreambuf_iterator<char>()), picture);
    g_free(path);
}

TEST_F(MediaControlsTest, PlayAndPauseInThePageItselfAndTheLastEndReachTheDesktop)
{
    if (std::system("xdotool version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no xdotool";
    ASSERT_TRUE(MakeTaggedClip(folder.File("one.mp3"), 12, "First Tune", "Some Band", "An Album"));
    Start(folder.File("one.mp3"));
    // Playing, with its length known: the player's bar shows its full set of buttons.
    ASSERT_TRUE(RunMainLoopUntil([&] { return Status() == "Playing" && Bool("CanSeek"); }));

    // The window's size; the page fills it right of the lists, between the menu bar and
    // the tab row. The file's name (30 px with its margin) and the bar of buttons (36 px
    // high, 80 % wide) sit in the middle, the play/pause button first in the bar.
    int width = 0;
    int height = 0;
    ASSERT_TRUE(RunMainLoopUntil([&] {
        FILE* pipe = popen("xdotool search --onlyvisible --name '^MEV - ' getwindowgeometry --shell 2>/dev/null", "r");
        if (pipe == nullptr)
            return false;
        char line[128];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            std::sscanf(line, "WIDTH=%d", &width);
            std::sscanf(line, "HEIGHT=%d", &height);
        }
        pclose(pipe);
        return width > 600 && height > 400;
    }));
    const int left = 239;
    const int x = left + (width - 1 - left) / 10 + 24;
    const int y = (25 + height - 50) / 2 + 15;
    const std::string click = "search --onlyvisible --name '^MEV - ' mousemove --window %1 " + std::to_string(x) + " "
        + std::to_string(y) + " click 1";
    ASSERT_TRUE(test::XdoTool(click));
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Paused"; })) << Status();
    ASSERT_TRUE(test::XdoTool(click));
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Playing"; })) << Status();
    // Nothing follows the file.
    EXPECT_TRUE(RunMainLoopUntil([&] { return Status() == "Stopped"; })) << Status();
}

} // namespace
} // namespace mev
