#pragma once

#include <memory>

namespace mev {

// Whether the platform can play audio and video inside a page (the player templates are
// used only then). The platform layer installs its check at start-up.
class IMediaSupport {
public:
    virtual ~IMediaSupport() = default;
    virtual bool IsMediaPlayerInstalled() const = 0;
};

// Safe to call at any time, also while workers read it.
void SetMediaSupport(std::shared_ptr<const IMediaSupport> support);

// Asked anew for every page; false while no check is installed.
bool IsMediaPlayerInstalled();

} // namespace mev
