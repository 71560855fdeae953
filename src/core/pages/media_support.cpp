#include "core/pages/media_support.hpp"

#include <mutex>

namespace mev {

namespace {

std::mutex g_mediaSupportMutex;
std::shared_ptr<const IMediaSupport> g_mediaSupport;

} // namespace

void SetMediaSupport(std::shared_ptr<const IMediaSupport> support)
{
    std::lock_guard lock(g_mediaSupportMutex);
    g_mediaSupport = std::move(support);
}

bool IsMediaPlayerInstalled()
{
    std::shared_ptr<const IMediaSupport> support;
    {
        std::lock_guard lock(g_mediaSupportMutex);
        support = g_mediaSupport;
    }
    return support && support->IsMediaPlayerInstalled();
}

} // namespace mev
