#pragma once

namespace mev {

// Parses the options (--help, --version, Images=..., Audios=..., Videos=..., show=...),
// starts the application and runs its main loop. Returns the process exit code.
int RunApplication(int argc, char** argv);

} // namespace mev
