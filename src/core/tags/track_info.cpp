#include "core/tags/track_info.hpp"

#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "core/tags/id3v1_tag.hpp"
#include "core/tags/title_reader.hpp"

namespace mev {

namespace {

// Tag writers pad fields with blanks as often as with NULs.
std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

} // namespace

TrackInfo ReadTrackInfo(const std::string& path)
{
    TrackInfo info;
    CId3v1Tag tag;
    if (tag.Read(path)) {
        info.title = Trimmed(tag.GetTitle());
        info.artist = Trimmed(tag.GetArtist());
        info.album = Trimmed(tag.GetAlbum());
    }
    // What ID3v1 lacks, the file's other tags may give (ID3v2, Vorbis comments, MP4).
    if (info.title.empty() || info.artist.empty() || info.album.empty()) {
        if (auto reader = GetTitleReader()) {
            const TrackInfo other = reader->ReadTrack(path);
            if (info.title.empty())
                info.title = other.title;
            if (info.artist.empty())
                info.artist = other.artist;
            if (info.album.empty())
                info.album = other.album;
        }
    }
    if (info.title.empty())
        info.title = ToDisplayText(GetFileNamePart(path));
    return info;
}

} // namespace mev
