#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mev {

// The most pixels a picture may have for MEV to decode it: larger pictures (or files
// that claim to be larger, as decompression bombs do) get the broken-picture placeholder.
// 200 million pixels lets through panoramas and medium-format photos.
inline constexpr std::uint64_t MAX_DECODE_PIXELS = 200'000'000;

// Whether a picture of that size may be decoded: neither side zero, at most the cap.
bool IsDecodeSizeAllowed(std::uint64_t width, std::uint64_t height);

struct EncodedPicture {
    std::string bytes;      // PNG or JPEG
    std::string mimeType;   // "image/png" or "image/jpeg"
    int sourceWidth = 0;    // the picture's own size, before scaling
    int sourceHeight = 0;
    // Only part of the picture could be read (a file cut short): what was read is shown,
    // with a mark that says so.
    bool damaged = false;
};

// Turns picture files into what a page can show: thumbnails made by shrinking on load,
// and full renditions of formats the web view cannot show itself. Implementations are
// called from several worker threads at once.
class IPictureDecoder {
public:
    virtual ~IPictureDecoder() = default;
    // A PNG whose longer side is at most 'size' (never enlarged), turned upright by the
    // picture's orientation tag. Nothing for unreadable or over-large pictures.
    virtual std::optional<EncodedPicture> MakeThumbnail(const std::string& path, int size) const = 0;
    // The whole picture, upright, as PNG (with transparency) or JPEG (without).
    virtual std::optional<EncodedPicture> MakeRendition(const std::string& path) const = 0;
    // The file name extensions (".tif", lower case) of the picture formats it reads.
    virtual std::vector<std::string> GetPictureExtensions() const = 0;
    // Pictures are about to be asked for: a decoder that works through helper processes
    // starts them now, so that the first picture does not wait for one. Cheap once done.
    virtual void Prepare() const {}
    // While on, pictures may be asked for at any moment (the index of pictures is on
    // screen): such a decoder keeps one helper started, unused, past its idle limit, so
    // that the next folder's first picture does not wait for one either.
    virtual void KeepReady(bool /*on*/) const {}
};

// Safe to call at any time, also while workers use the decoder.
void SetPictureDecoder(std::shared_ptr<const IPictureDecoder> decoder);
std::shared_ptr<const IPictureDecoder> GetPictureDecoder();

} // namespace mev
