#pragma once

namespace mev {

// Installs the platform's services into the core: the settings file, the compiled-in
// resources, the media-support check, the tag reader, the folder order and the system mixer; replaces
// unusable user folders (EnsureUsableUserFolders). Called once at start-up, before other
// threads run
// (later calls do nothing).
void InitPlatform();

} // namespace mev
