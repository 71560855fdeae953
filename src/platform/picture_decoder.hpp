#pragma once

#include <cstdint>
#include <functional>

#include "core/thumbs/picture_decoder.hpp"
#include "platform/decode_protocol.hpp"

namespace mev {

// Decodes pictures with libvips: thumbnails shrink on load where the format allows (JPEG
// by DCT scaling, WebP, HEIF, TIFF pyramids, vector formats rendered at the small size),
// one thread per decode so that the scheduler's slots use the processors. Thumbnails of
// whole JPEG, PNG, GIF and BMP files, the bulk of any photo folder, come from gdk-pixbuf,
// whose scaled JPEG decode takes two thirds of the time and which needs none of libvips:
// libvips is a module of its own (platform/vips_pictures.hpp), loaded with the first
// picture that needs it. Pictures over the pixel cap or the memory budget, and
// unreadable ones, give nothing; a thumbnail of a picture that reads only in part (cut
// short) shows that part, marked. A thread that decodes is lowered in priority for the
// rest of its life (workers live for one request).
// The program itself has its decodes made by helper processes (CSandboxedPictureDecoder),
// which call the Decode functions; this class decodes in the calling process.
class CPictureDecoder : public IPictureDecoder {
public:
    // Loads libvips now rather than with the first picture that needs it. False when it
    // cannot start: the decoder then reads JPEG, PNG, GIF and BMP files only.
    static bool Initialise();

    // Takes room in the decode memory budget for the next step of a decode, which keeps it
    // until the decode ends or asks again; false refuses the decode.
    using ReserveRoom = std::function<bool(std::uint64_t bytes)>;
    // Decode from a regular file opened for reading; 'extension' (".tga", from the file's
    // name) is what some loaders choose by.
    static std::optional<EncodedPicture> DecodeThumbnail(int fd, const std::string& extension, int size,
                                                         const ReserveRoom& reserve);
    static std::optional<EncodedPicture> DecodeRendition(int fd, const std::string& extension,
                                                         const ReserveRoom& reserve);
    // Readers open pictures by a name with the file's extension, which some loaders
    // choose by: links in a private temporary folder, or, in a sandbox without a
    // writable place, the links "picture.<ext>" of 'folder' to /proc/self/fd/N, N being
    // DECODE_PICTURE_FD.
    static void UseLinkFolder(const char* folder);
    // Removes the private folder (empty by then) at the end of a helper.
    static void RemoveAliasFolder();

    std::optional<EncodedPicture> MakeThumbnail(const std::string& path, int size) const override;
    std::optional<EncodedPicture> MakeRendition(const std::string& path) const override;
    std::vector<std::string> GetPictureExtensions() const override;
    // The files whose change may change GetPictureExtensions: the libvips module, libvips
    // and its folder of loader modules.
    static std::vector<std::string> GetTypeStamps();
};

} // namespace mev
