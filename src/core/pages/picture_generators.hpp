#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mev {

class CPageProtocol;

// mev://thumb128/?<path> (and thumb256, thumb512, thumb1024): the picture's thumbnail as
// PNG, from the shared cache or made on a decode slot and stored there. Nothing (an
// empty response, which the page shows as a broken picture) for files that cannot be
// decoded, which are recorded as failed.
void GenerateThumbnail128(CPageProtocol& protocol);
void GenerateThumbnail256(CPageProtocol& protocol);
void GenerateThumbnail512(CPageProtocol& protocol);
void GenerateThumbnail1024(CPageProtocol& protocol);

// mev://picture/?<path>: the whole picture converted for the web view, for the formats
// it cannot show itself.
void GeneratePictureRendition(CPageProtocol& protocol);

// Whether the web view decodes pictures with this file name itself.
bool IsWebPicture(std::string_view fileName);

// The URL a page shows the picture itself by: the file, or its rendition.
std::string MakePictureUrl(const std::string& path);

// How many pictures were decoded for thumbnails since the start (cache hits not counted).
std::uint64_t GetThumbnailDecodeCount();

} // namespace mev
