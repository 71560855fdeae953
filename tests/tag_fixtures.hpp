#pragma once

// Audio files with tags, made for tests and benchmarks: MP3 files written byte by byte
// around TagLib's tag writer, and Ogg, Opus, FLAC and MP4 files encoded by gst-launch.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/textidentificationframe.h>

namespace mev::test {

// A run of silent MPEG-1 layer III frames (128 kbit/s, 44.1 kHz): enough audio for a
// tag reader to find, though no player will make much of it.
inline void WriteBareMp3(const std::string& path, int frames = 4)
{
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    frame[3] = '\x64';
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < frames; ++i)
        out << frame;
}

// An MP3 file whose only tag is ID3v2 (version 3 or 4) with a title in the encoding.
inline bool WriteId3v2Mp3(const std::string& path, const std::string& title, int version,
                          TagLib::String::Type encoding)
{
    WriteBareMp3(path);
    TagLib::MPEG::File file(path.c_str(), false);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TIT2", encoding);
    frame->setText(TagLib::String(title, TagLib::String::UTF8));
    file.ID3v2Tag(true)->addFrame(frame);
    file.ID3v2Tag()->setArtist(TagLib::String("Fixture Artist"));
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                     version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate);
}

// An MP3 file whose only tag is an APE tag with the title.
inline bool WriteApeMp3(const std::string& path, const std::string& title)
{
    WriteBareMp3(path);
    TagLib::MPEG::File file(path.c_str(), false);
    file.APETag(true)->setTitle(TagLib::String(title, TagLib::String::UTF8));
    return file.save(TagLib::MPEG::File::APE, TagLib::File::StripOthers);
}

// A short tone encoded by gst-launch-1.0 (encoder: "vorbisenc ! oggmux", "flacenc",
// "opusenc ! oggmux", "avenc_aac ! mp4mux"), then given the title by TagLib. False when
// the tools or the encoder are missing.
inline bool WriteEncodedClip(const std::string& path, const std::string& encoder, const std::string& title)
{
    const std::string command = "gst-launch-1.0 -q audiotestsrc num-buffers=4 ! audioconvert ! audioresample ! "
                                + encoder + " ! filesink location='" + path + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(path))
        return false;
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr)
        return false;
    file.tag()->setTitle(TagLib::String(title, TagLib::String::UTF8));
    return file.save();
}

} // namespace mev::test
