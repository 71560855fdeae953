#pragma once

#include <string>

#include "core/thumbs/thumbnail_cache.hpp"
#include "core/thumbs/thumbnail_scheduler.hpp"

namespace mev {

// What making thumbnails shares across requests: the decode slots and the desktop's
// thumbnail cache. It lives as long as the work that uses it (see CBackgroundWork).
class CThumbnailEngine {
public:
    CThumbnailEngine(std::string cacheRoot, unsigned slots) : m_cache(std::move(cacheRoot)), m_scheduler(slots) {}
    CThumbnailEngine(const CThumbnailEngine&) = delete;
    CThumbnailEngine& operator=(const CThumbnailEngine&) = delete;

    CThumbnailScheduler& GetScheduler() { return m_scheduler; }
    const CThumbnailCache& GetCache() const { return m_cache; }

private:
    const CThumbnailCache m_cache;
    CThumbnailScheduler m_scheduler;
};

} // namespace mev
