#pragma once

#include <string>

namespace mev {

// The largest tag picture handed on; bigger ones are left in the file.
inline constexpr std::size_t MAX_COVER_BYTES = 8 * 1024 * 1024;
// How many tag pictures the cache keeps; the oldest go first.
inline constexpr int MAX_CACHED_COVERS = 100;

// The picture a desktop's media controls show for an audio file, as a path: the front
// cover its tags carry (ID3v2, FLAC, Vorbis comments, MP4), written to cacheFolder under
// a name made of the picture's hash, so that no name from the file or the tag reaches a
// path; else a picture named cover, folder or front (.jpg, .jpeg, .png, any case) beside
// the file; "" for none. Tag pictures that are no JPEG, PNG, GIF, WebP or BMP, or are
// bigger than MAX_COVER_BYTES, count as none. Safe on any thread.
std::string FindCoverArt(const std::string& path, const std::string& cacheFolder);

// $XDG_CACHE_HOME/mev/covers (or its default under the home folder).
std::string CoverCacheFolder();

} // namespace mev
