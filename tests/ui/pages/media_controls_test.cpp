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

// A tone of the given length with an ID3v1 tag (title, artist, album) at its end.
bool MakeTaggedClip(const std::string& path, int seconds, const std::string& title, const std::string& artist,
                    const std::string& album)
{
    const std::string command = "gst-launch-1.0 -q audiotestsrc num-buffers=" + std::to_string(seconds * 44100 / 1024)
        + " samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! lamemp3enc ! filesink location='"
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
    void TearDown() override
    {
        if (bus != nullptr)
            g_object_unref(bus);
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
    void Call(const char* method)
    {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, OUR_NAME, "/org/mpris/MediaPlayer2",
                                                      "org.mpris.MediaPlayer2.Player", method, nullptr, nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
        EXPECT_NE(reply, nullptr) << method << ": " << (error != nullptr ? error->message : "");
        if (reply != nullptr)
            g_variant_unref(reply);
        g_clear_error(&error);
    }
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

    GDBusConnection* bus = nullptr;
};

TEST_F(MediaControlsTest, TheDesktopSeesOnePlayerWithTheTagsAndDrivesIt)
{
    if (std::system("dbus-daemon --version >/dev/null 2>&1 && gst-launch-1.0 --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no dbus-daemon or no gst-launch-1.0";
    CTempFolder folder;
    ASSERT_TRUE(MakeTaggedClip(folder.File("one.mp3"), 20, "First Tune", "Some Band", "An Album"));
    ASSERT_TRUE(MakeTaggedClip(folder.File("two.mp3"), 20, "Second Tune", "Other Band", "B Album"));

    // A bus of the test's own; the runtime folder lets the web engine reach it as well,
    // so that an entry of its own would show.
    const std::string config = folder.File("bus.conf");
    std::ofstream(config) << BUS_CONFIG;
    const std::string configArg = "--config-file=" + config;
    Child daemon;
    gchar* daemonArgs[] = {const_cast<gchar*>("dbus-daemon"), const_cast<gchar*>(configArg.c_str()),
                           const_cast<gchar*>("--nofork"), const_cast<gchar*>("--print-address=1"), nullptr};
    int out = -1;
    ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, daemonArgs, nullptr,
                                         GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), Child::OwnGroup, nullptr,
                                         &daemon.pid, nullptr, &out, nullptr, nullptr));
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
    CTempFolder runtimeFolder("/tmp");
    const std::string runtime = runtimeFolder.Path();
    chmod(runtime.c_str(), 0700);
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_RUNTIME_DIR", runtime.c_str(), TRUE);
    env = g_environ_setenv(env, "XDG_CONFIG_HOME", folder.MakeFolder("config").c_str(), TRUE);
    const std::string first = folder.File("one.mp3");
    gchar* programArgs[] = {const_cast<gchar*>(MEV_BINARY), const_cast<gchar*>(first.c_str()), nullptr};
    Child program;
    const bool started = g_spawn_async(nullptr, programArgs, env,
                                       GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD),
                                       Child::OwnGroup, nullptr, &program.pid, nullptr);
    g_strfreev(env);
    ASSERT_TRUE(started);

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

} // namespace
} // namespace mev
