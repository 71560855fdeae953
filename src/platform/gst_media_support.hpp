#pragma once

#include <string>
#include <vector>

#include "core/pages/media_support.hpp"

namespace mev {

// Pages can play audio and video when GStreamer's playback plugin (playbin) is
// installed: WebKit plays HTML5 media through it.
class CGstMediaSupport : public IMediaSupport {
public:
    // Searches the folders GStreamer itself would search, as the environment sets them.
    CGstMediaSupport();
    explicit CGstMediaSupport(std::vector<std::string> pluginFolders);

    bool IsMediaPlayerInstalled() const override;

    const std::vector<std::string>& GetPluginFolders() const { return m_pluginFolders; }

    // GST_PLUGIN_SYSTEM_PATH_1_0 (or GST_PLUGIN_SYSTEM_PATH) replaces the system
    // folders; GST_PLUGIN_PATH_1_0 (or GST_PLUGIN_PATH) adds to them.
    static std::vector<std::string> FoldersFromEnvironment();

    // Has the players decode MP3 with libmpg123 rather than FFmpeg, which GStreamer ranks
    // the same and picks by name: one MP3 then maps FFmpeg and the hundred libraries it
    // links into the web process (15 MB that stay). FFmpeg still decodes what nothing
    // else can. Through the environment, which web processes inherit; a ranking the
    // user set is left as it is. Call it before any other thread starts.
    static void PreferLightDecoders();

private:
    std::vector<std::string> m_pluginFolders;
};

} // namespace mev
