#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mev {

class CPageProtocol;

// mev://thumb128/?<path> (and thumb256, thumb512, thumb1024): the picture's thumbnail as
// PNG, from the shared cache or made on a decode slot and stored there. Nothing (an
// empty response, which the page shows as a broken picture) for files that cannot be
// decoded, which are recorded as failed. mev://near128/?<path> and so on are the same
// for thumbnails asked for ahead of time: they wait behind the others for a slot.
template <int Pixels, bool Urgent>
void GenerateThumbnail(CPageProtocol& protocol);

inline constexpr auto GenerateThumbnail128 = &GenerateThumbnail<128, true>;

// mev://picture/?<path>: the whole picture converted for the web view, for the formats
// it cannot show itself.
void GeneratePictureRendition(CPageProtocol& protocol);

// Whether the web view decodes pictures with this file name itself.
bool IsWebPicture(std::string_view fileName);

// The URL a page shows the picture itself by: the file, or its rendition.
std::string MakePictureUrl(const std::string& path);

// The picture a thumbnail or rendition URL shows (mev://thumb128/?<path> and the like);
// false for any other URL and for files that do not exist.
bool PicturePathOfUrl(std::string_view url, std::string& path);

// Said when a page's first pictures are known, before their thumbnails are asked for:
// when the first one's thumbnail (shown width pixels wide) is not in the cache, the
// decoder's helpers start now rather than on the first request.
void PrepareThumbnails(const std::string& firstPicture, int width);

// Waits, at most a moment, until thumbnails have been asked for and none is still being
// made: the first screenful's, which a large folder's page asks for while the rest of
// its names would still be sorted, taking a processor from their decodes. Ends at once
// when the page is cancelled.
void AwaitFirstThumbnails(CPageProtocol& protocol);

// How many pictures were decoded for thumbnails since the start (cache hits not counted).
std::uint64_t GetThumbnailDecodeCount();

} // namespace mev
