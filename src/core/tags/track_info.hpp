#pragma once

#include <string>

namespace mev {

// What a player shows of a file beside its picture: title, artist, album, as UTF-8.
struct TrackInfo {
    std::string title;
    std::string artist;
    std::string album;
};

// The one place that reads them from a file's tag; the title is the file name when the
// tag gives none (or there is no tag).
TrackInfo ReadTrackInfo(const std::string& path);

} // namespace mev
