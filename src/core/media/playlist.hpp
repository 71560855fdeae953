#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/shell/status.hpp"

namespace mev {

// One line pair of an extended M3U playlist.
struct PlaylistEntry {
    std::string path;   // absolute
    std::string title;  // the name the list shows (UTF-8)
    int seconds = -1;   // length, -1 when unknown
};

// ".m3u" and ".m3u8", in any case.
bool IsPlaylistName(std::string_view name);

// The files an M3U playlist names, in its order, as absolute paths with "." and ".."
// resolved: lines relative to folder (the playlist's own), absolute paths and file: URLs.
// Comment and directive lines ('#'), blank lines, other URLs and a leading byte-order
// mark are skipped; lines may end in CR LF.
std::vector<std::string> ParsePlaylist(std::string_view text, std::string_view folder);

// A path that fits on one playlist line: no line break and no NUL in it.
bool CanWritePlaylistPath(std::string_view path);

// The text of an extended M3U playlist saved in folder: "#EXTM3U", then for each entry
// "#EXTINF:<seconds>,<title>" and its path relative to folder. Entries whose path
// cannot stand on a line are left out and added to *skipped.
// A relative path that would read as a comment ('#') or a URL ("a:b") gets a leading "./".
std::string FormatPlaylist(const std::vector<PlaylistEntry>& entries, std::string_view folder,
                           std::vector<std::string>* skipped = nullptr);

// Reads a playlist file (at most MAX_PLAYLIST_BYTES of it) and parses it against its
// own folder. Fails when it cannot be read.
CStatus ReadPlaylistFile(const std::string& path, std::vector<std::string>& paths);
inline constexpr std::size_t MAX_PLAYLIST_BYTES = 16u << 20;

// Writes the text in place of path, whole or not at all.
CStatus WritePlaylistFile(const std::string& path, std::string_view text);

} // namespace mev
