#include "core/tags/track_info.hpp"

#include "core/pages/display_text.hpp"
#include "core/shell/file_names.hpp"
#include "core/tags/id3v1_tag.hpp"

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
    if (info.title.empty())
        info.title = ToDisplayText(GetFileNamePart(path));
    return info;
}

} // namespace mev
