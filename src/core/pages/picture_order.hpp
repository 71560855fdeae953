#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mev {

// The order of the thumbnail index.
enum class PictureSortKey { Name = 0, Date = 1, Size = 2, Type = 3 };

struct PictureOrder {
    PictureSortKey key = PictureSortKey::Name;
    bool descending = false;
    bool operator==(const PictureOrder&) const = default;
};

// As one number for the settings and the page workers: the key, plus 16 when descending.
// Anything unknown reads as name order, ascending.
int EncodePictureOrder(PictureOrder order);
PictureOrder DecodePictureOrder(int code);

// The index's order and whether it shows the file names under the thumbnails. Written
// by the UI, read by page workers.
extern std::atomic<int> IndexSortOrder;
extern std::atomic<bool> IndexShowNames;

// Sorts the names of pictures in folder. Name order is the folder tree's (letter case
// folded, numbers in numeric order) and reads nothing from the disk; date (the EXIF
// date taken where the installed picture information reader finds one, else the
// modification time), size and type (the extension) read or stat each file once and
// fall back to name order among equals. Files that cannot be examined sort as oldest
// and smallest. Descending reverses the whole order. Stops early, leaving names in
// some order, once cancelled() is true. When headReady is given, the first head names of
// the order are handed to it as soon as they are known, before the rest is sorted.
void SortPictureNames(const std::string& folder, std::vector<std::string>& names, PictureOrder order,
                      const std::function<bool()>& cancelled = {}, std::size_t head = 0,
                      const std::function<void(const std::vector<std::string>&)>& headReady = {});

} // namespace mev
