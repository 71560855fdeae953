#include "platform/bundle_resource_source.hpp"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "core/pages/media_support.hpp"
#include "core/shell/resources.hpp"
#include "core/shell/settings.hpp"
#include "platform/gst_media_support.hpp"
#include "platform/platform_init.hpp"
#include "platform_test_env.hpp"

namespace mev {
namespace {

// Every file of the compiled-in bundle, as a name relative to /mev.
std::vector<std::string> BundleNames(const std::string& folder = "")
{
    std::vector<std::string> names;
    gchar** children = g_resource_enumerate_children(mev_get_resource(), ("/mev/" + folder).c_str(),
                                                     G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (children == nullptr)
        return names;
    for (gchar** child = children; *child != nullptr; ++child) {
        const std::string name = folder + *child;
        if (name.back() == '/') {
            for (auto& inner : BundleNames(name))
                names.push_back(std::move(inner));
        } else {
            names.push_back(name);
        }
    }
    g_strfreev(children);
    return names;
}

TEST(BundleResourceSource, ServesTheSourceTreeFilesByteForByte)
{
    CBundleResourceSource source;
    const auto names = BundleNames();
    if (names.empty())
        GTEST_SKIP() << "the resources folder is still empty";
    for (const auto& name : names) {
        const auto data = source.Load(name);
        ASSERT_TRUE(data.has_value()) << name;
        // A page the build writes from a template lies in the build folder.
        std::string path = std::string(MEV_SOURCE_DIR) + "/resources/" + name;
        if (!std::filesystem::exists(path))
            path = std::string(MEV_GENERATED_RESOURCES) + "/" + name;
        EXPECT_EQ(std::string(*data), test::ReadFile(path)) << name;
        const auto again = source.Load(name);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->data(), data->data()) << name << ": the same bytes each time";
    }
    // Registered for the process, so GTK and GIO find the same files by path.
    GBytes* bytes = g_resources_lookup_data(("/mev/" + names.front()).c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    ASSERT_NE(bytes, nullptr);
    g_bytes_unref(bytes);
}

TEST(BundleResourceSource, MissingNames)
{
    CBundleResourceSource source;
    for (const char* name : {"", "/mev/pages/index.html", "pages/no-such.html", "pages", "../etc/passwd", "pages/"})
        EXPECT_FALSE(source.Load(name).has_value()) << name;
}

TEST(GstMediaSupport, LooksForThePlaybackPlugin)
{
    test::CTempFolder dir;
    std::filesystem::create_directories(dir / "a");
    std::filesystem::create_directories(dir / "b/libgstplayback.so");
    EXPECT_FALSE(CGstMediaSupport(std::vector<std::string>{}).IsMediaPlayerInstalled());
    EXPECT_FALSE(CGstMediaSupport({dir / "a", dir / "b", dir / "missing"}).IsMediaPlayerInstalled())
        << "a folder of that name is no plugin";
    test::WriteFile(dir / "a/libgstplayback.so", "");
    EXPECT_TRUE(CGstMediaSupport({dir / "missing", dir / "a"}).IsMediaPlayerInstalled());
}

TEST(GstMediaSupport, FoldersFromEnvironment)
{
    const char* names[] = {"GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH", "GST_PLUGIN_PATH_1_0",
                           "GST_PLUGIN_PATH"};
    std::vector<std::pair<std::string, const char*>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value != nullptr ? strdup(value) : nullptr);
        unsetenv(name);
    }

    const auto defaults = CGstMediaSupport::FoldersFromEnvironment();
    ASSERT_FALSE(defaults.empty());
    EXPECT_EQ(defaults.back(), "/usr/lib/gstreamer-1.0");
    if (std::filesystem::exists("/usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstplayback.so")) {
        EXPECT_TRUE(CGstMediaSupport().IsMediaPlayerInstalled());
    }

    setenv("GST_PLUGIN_SYSTEM_PATH", "/s1:/s2", 1);
    setenv("GST_PLUGIN_PATH", "/extra::", 1);
    EXPECT_EQ(CGstMediaSupport::FoldersFromEnvironment(), (std::vector<std::string>{"/extra", "/s1", "/s2"}));
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "/v1", 1);
    setenv("GST_PLUGIN_PATH_1_0", "", 1);
    EXPECT_EQ(CGstMediaSupport::FoldersFromEnvironment(), std::vector<std::string>{"/v1"});
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", 1);
    EXPECT_TRUE(CGstMediaSupport::FoldersFromEnvironment().empty()) << "an empty system path means none";
    EXPECT_FALSE(CGstMediaSupport().IsMediaPlayerInstalled());

    for (auto& [name, value] : saved) {
        if (value != nullptr) {
            setenv(name.c_str(), value, 1);
            free(const_cast<char*>(value));
        } else {
            unsetenv(name.c_str());
        }
    }
}

TEST(PlatformInit, InstallsTheServices)
{
    InitPlatform();
    InitPlatform();
    ASSERT_NE(GetSettingsStore(), nullptr);
    EXPECT_TRUE(SetSettingString("platform_init_test", "v"));
    EXPECT_EQ(GetSettingString("platform_init_test", ""), "v");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    EXPECT_NE(test::ReadFile(std::string(config) + "/mev/settings.ini").find("platform_init_test=v"), std::string::npos);

    const auto names = BundleNames();
    if (!names.empty()) {
        EXPECT_TRUE(LoadResourceData(names.front()).has_value());
    }
    EXPECT_EQ(IsMediaPlayerInstalled(), CGstMediaSupport().IsMediaPlayerInstalled());
}

} // namespace
} // namespace mev
