#pragma once

#include "core/thumbs/picture_decoder.hpp"

namespace mev {

// Decodes pictures with libvips: thumbnails shrink on load where the format allows (JPEG
// by DCT scaling, WebP, HEIF, TIFF pyramids, vector formats rendered at the small size),
// one thread per decode so that the scheduler's slots use the processors. Thumbnails of
// whole JPEG files, the bulk of any photo folder, come from gdk-pixbuf, whose scaled
// JPEG decode takes two thirds of the time. Pictures over
// the pixel cap, and truncated or corrupt ones, give nothing. A thread that decodes is
// lowered in priority for the rest of its life (workers live for one request).
class CPictureDecoder : public IPictureDecoder {
public:
    // False when libvips cannot start; the decoder then gives nothing.
    static bool Initialise();

    std::optional<EncodedPicture> MakeThumbnail(const std::string& path, int size) const override;
    std::optional<EncodedPicture> MakeRendition(const std::string& path) const override;
    std::vector<std::string> GetPictureExtensions() const override;
};

} // namespace mev
