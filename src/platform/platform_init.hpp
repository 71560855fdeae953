#pragma once

namespace mev {

// Installs the platform's services into the core: the settings file, the compiled-in
// resources and the media-support check. Called once at start-up (later calls do nothing).
void InitPlatform();

} // namespace mev
