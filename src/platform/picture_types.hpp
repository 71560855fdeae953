#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace mev {

// The file name extensions (".jpg") of the pictures the decode helper reads. Finding them
// means starting every loader libvips has, whose libraries (poppler, ImageMagick, HEIF,
// JPEG XL...) the program itself never maps: the helper is asked ("--list-types") and the
// answer is kept in 'cacheFile' with the size and time of each file that decides it (the
// helper, libvips, its loader modules), so that later starts only look at those files.
// Empty when the helper cannot answer within 'limit' (it is then killed); a cache that
// cannot be written is asked again.
std::vector<std::string> LoadPictureTypes(const std::string& helperPath, const std::string& cacheFile,
                                          std::chrono::milliseconds limit = std::chrono::seconds(20));

// $XDG_CACHE_HOME/mev/picture-types (or its default under the home folder).
std::string PictureTypesCacheFile();

} // namespace mev
