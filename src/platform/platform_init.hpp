#pragma once

namespace mev {

// Installs the platform's services into the core: the settings file, the compiled-in
// resources, the media-support check and the system mixer. Called once at start-up
// (later calls do nothing).
void InitPlatform();

} // namespace mev
