#pragma once

#include <memory>
#include <string>

#include "core/tags/track_info.hpp"

namespace mev {

// Reads what the tags of an audio file other than ID3v1 say (ID3v2, Vorbis comments,
// MP4 atoms, APE). The platform installs one at start-up; called from list workers,
// several at once.
class ITitleReader {
public:
    virtual ~ITitleReader() = default;
    // The title, UTF-8; "" when the file has none or cannot be read.
    virtual std::string ReadTitle(const std::string& path) const = 0;
    // The playing time in whole seconds, -1 when unknown.
    virtual int ReadLength(const std::string& path) const = 0;
    // Whether an MP3 file carries an ID3v2 tag.
    virtual bool HasId3v2Tag(const std::string& path) const = 0;
    // Title, artist and album as the tags give them, UTF-8; "" for each one missing.
    virtual TrackInfo ReadTrack(const std::string& path) const = 0;
};

// Safe to call at any time, also while workers use the reader.
void SetTitleReader(std::shared_ptr<const ITitleReader> reader);
std::shared_ptr<const ITitleReader> GetTitleReader();

// The title a list shows for an audio file: the ID3v1 title of an MP3 when it has one,
// otherwise what the installed reader finds; "" for none.
std::string ReadAudioTitle(const std::string& path);

} // namespace mev
