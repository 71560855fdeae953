#include "core/pages/media_support.hpp"

#include "core/shell/service_slot.hpp"

namespace mev {

namespace {

constinit CServiceSlot<const IMediaSupport> g_mediaSupport;

} // namespace

void SetMediaSupport(std::shared_ptr<const IMediaSupport> support)
{
    g_mediaSupport.Set(std::move(support));
}

bool IsMediaPlayerInstalled()
{
    const auto support = g_mediaSupport.Get();
    return support && support->IsMediaPlayerInstalled();
}

} // namespace mev
