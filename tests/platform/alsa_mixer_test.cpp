#include "platform/alsa_mixer.hpp"

#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/players/mixer_volume.hpp"

namespace mev {
namespace {

// amixer's report on Master (its lines carry the level as "[33%]"); "" when it cannot run.
std::string AmixerMaster()
{
    std::string output;
    if (std::FILE* pipe = ::popen("amixer get Master 2>/dev/null", "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// The test run has its own configuration folder, where the sound server of the session
// cannot be looked up: name its socket directly when it can be found.
void FindSoundServer()
{
    if (std::getenv("PULSE_SERVER") != nullptr)
        return;
    std::vector<std::filesystem::path> candidates;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        candidates.emplace_back(std::filesystem::path(runtime) / "pulse/native");
    std::error_code ec;
    if (const char* home = std::getenv("HOME")) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(home) / ".config/pulse", ec)) {
            if (entry.path().filename().string().ends_with("-runtime"))
                candidates.emplace_back(entry.path() / "native");
        }
    }
    for (const auto& socket : candidates) {
        if (std::filesystem::is_socket(socket, ec)) {
            setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
            return;
        }
    }
}

// The system's master volume through the sound server (a null sink in the test run):
// writes arrive there, and a change made by another program is reported on the main loop.
TEST(AlsaMixer, FollowsTheSoundServersMasterVolume)
{
    FindSoundServer();
    CAlsaMixer probe;
    if (!probe.IsOpen() || !probe.GetMaximum())
        GTEST_SKIP() << "no ALSA \"Master\" control on the default device (is a sound server running?)";

    CMixerVolume volume(std::make_unique<CAlsaMixer>());
    const int before = volume.GetVolumePercent();
    ASSERT_TRUE(volume.WritePercent(33));
    EXPECT_EQ(volume.GetVolumePercent(), 33);
    EXPECT_NE(AmixerMaster().find("[33%]"), std::string::npos) << AmixerMaster();

    int changes = 0;
    volume.GetMixer()->SetChangeHandler([&] { ++changes; });
    ASSERT_EQ(std::system("amixer -q set Master 70% >/dev/null 2>&1"), 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(45);
    while (changes == 0 && std::chrono::steady_clock::now() < end) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(10000);
    }
    EXPECT_GT(changes, 0);
    EXPECT_EQ(volume.GetVolumePercent(), 70);
    volume.GetMixer()->SetChangeHandler({});

    volume.WritePercent(before);
    // An element that does not exist: open, but without a control.
    CAlsaMixer none(CAlsaMixer::DEFAULT_DEVICE, "No Such Control");
    EXPECT_FALSE(none.GetMaximum());
    EXPECT_FALSE(none.WriteValue(1));
    EXPECT_FALSE(CAlsaMixer("mev-no-such-device").IsOpen());
}

} // namespace
} // namespace mev
