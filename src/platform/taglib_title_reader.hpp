#pragma once

#include "core/tags/title_reader.hpp"

namespace mev {

// Titles and lengths through TagLib: ID3v2 (2.2 to 2.4, every text encoding) and APE
// in MP3 files, Vorbis comments in Ogg, Opus and FLAC, MP4 atoms, and the tags of the
// other formats TagLib knows. Only the tags are read; lengths come from the headers.
class CTagLibTitleReader : public ITitleReader {
public:
    CTagLibTitleReader();
    std::string ReadTitle(const std::string& path) const override;
    int ReadLength(const std::string& path) const override;
    bool HasId3v2Tag(const std::string& path) const override;
    TrackInfo ReadTrack(const std::string& path) const override;
};

} // namespace mev
