#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace mev {

// Thumbnail width of the index page: 32, 64, 80, 120 or 240 pixels, 0 = fit to the index
// window, -1 = actual width. Written by the UI, read by page workers.
extern std::atomic<int> ImageWidth;

// Counts reported by the index page script and the image it last showed. Written and read
// on the UI thread only.
extern int IndexTotal;
extern int IndexChecked;
extern std::string CurrentImagePath;
extern std::string ContextImagePath;

// The current index browser as the "fit" thumbnail width sees it. Read from worker
// threads: implementations must be thread-safe.
class IIndexWidthSource {
public:
    virtual ~IIndexWidthSource() = default;
    virtual int GetIndexClientWidth() const = 0;
    virtual int GetThumbMetric() const = 0;
};

void SetIndexWidthSource(std::shared_ptr<const IIndexWidthSource> source);
std::shared_ptr<const IIndexWidthSource> GetIndexWidthSource();

// The width attribute for thumbnails from ImageWidth: 0 = none (actual width); for "fit"
// the index window's client width minus the thumb metric minus 12, at least 32.
int GetThumbnailWidth();

} // namespace mev
