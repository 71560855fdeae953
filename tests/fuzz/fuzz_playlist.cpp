// M3U playlists: whatever a playlist file holds gives absolute, normalised paths, and
// the paths it gives are written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/media/playlist.hpp"
#include "fuzz_support.hpp"

using namespace mev;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> paths = ParsePlaylist(text, "/music/lists");
    std::vector<PlaylistEntry> entries;
    std::vector<std::string> writable;
    for (const std::string& path : paths) {
        FUZZ_CHECK(!path.empty() && path[0] == '/');
        // A URL may name a file with a line break ("%0A"); never one with a NUL.
        FUZZ_CHECK(path.find('\0') == std::string::npos);
        FUZZ_CHECK(path.find("/../") == std::string::npos && path.find("/./") == std::string::npos);
        entries.push_back({path, text.substr(0, 40), -1});
        if (CanWritePlaylistPath(path))
            writable.push_back(path);
    }
    std::vector<std::string> skipped;
    const std::string written = FormatPlaylist(entries, "/music/lists", &skipped);
    FUZZ_CHECK(skipped.size() + writable.size() == paths.size());
    FUZZ_CHECK(ParsePlaylist(written, "/music/lists") == writable);
    return 0;
}
