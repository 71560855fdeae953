#include "platform/gst_media_support.hpp"

#include <glib.h>

#include "platform/session_bus.hpp"

namespace mev {

namespace {

// Where distributions install GStreamer's own plugins; the multiarch one first.
constexpr const char* SYSTEM_PLUGIN_FOLDERS[] = {
#ifdef MEV_LIBRARY_ARCH
    "/usr/lib/" MEV_LIBRARY_ARCH "/gstreamer-1.0",
#endif
    "/usr/lib64/gstreamer-1.0",
    "/usr/lib/gstreamer-1.0",
};

const char* FirstSet(const char* name, const char* fallback)
{
    const char* value = g_getenv(name);
    return value != nullptr ? value : g_getenv(fallback);
}

void AppendList(std::vector<std::string>& folders, const char* list)
{
    gchar** parts = g_strsplit(list, G_SEARCHPATH_SEPARATOR_S, -1);
    for (gchar** part = parts; *part != nullptr; ++part) {
        if (**part != '\0')
            folders.emplace_back(*part);
    }
    g_strfreev(parts);
}

} // namespace

CGstMediaSupport::CGstMediaSupport()
    : m_pluginFolders(FoldersFromEnvironment())
{
}

CGstMediaSupport::CGstMediaSupport(std::vector<std::string> pluginFolders)
    : m_pluginFolders(std::move(pluginFolders))
{
}

std::vector<std::string> CGstMediaSupport::FoldersFromEnvironment()
{
    std::vector<std::string> folders;
    if (const char* extra = FirstSet("GST_PLUGIN_PATH_1_0", "GST_PLUGIN_PATH"))
        AppendList(folders, extra);
    if (const char* system = FirstSet("GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH")) {
        AppendList(folders, system);
    } else {
        folders.push_back(std::string(g_get_user_data_dir()) + "/gstreamer-1.0/plugins");
        for (const char* folder : SYSTEM_PLUGIN_FOLDERS)
            folders.emplace_back(folder);
    }
    return folders;
}

void CGstMediaSupport::PreferLightDecoders()
{
    constexpr const char* RANKS = "GST_PLUGIN_FEATURE_RANK";
    if (g_getenv(RANKS) != nullptr)
        return;
    g_setenv(RANKS, "mpg123audiodec:primary", TRUE);
    HideFromLaunchedPrograms(RANKS);
}

bool CGstMediaSupport::IsMediaPlayerInstalled() const
{
    for (const auto& folder : m_pluginFolders) {
        const std::string plugin = folder + "/libgstplayback.so";
        if (g_file_test(plugin.c_str(), G_FILE_TEST_IS_REGULAR))
            return true;
    }
    return false;
}

} // namespace mev
