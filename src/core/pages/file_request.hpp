#pragma once

#include <string>
#include <string_view>

namespace mev {

// A file that a page loads besides itself, sent as it is stored.
struct FileRequest {
    std::string path;
    std::string contentType;
};

// The mev: URLs that name files by their URL path rather than a page by its '?'
// argument, so that relative references between the files resolve:
//   mev://flash/<name>  a file of the Flash emulator's folder (loader, chunks, WebAssembly)
//   mev://movie/<path>  a Flash movie (".swf"), the bytes the Flash page hands the emulator
// False for any other URL, for a name that would leave the emulator's folder, for a
// movie that is not a ".swf" file and for files that do not exist.
bool ParseFileRequestUrl(std::string_view url, FileRequest& request);

// The folder the Flash emulator's files are served from; "" (the start) serves none.
void SetFlashPlayerFolder(std::string folder);
std::string GetFlashPlayerFolder();

// Where the emulator lies for a program in programFolder: next to it (a build folder) or
// in ../share/mev (an installed program). "" when neither holds its loader and a
// WebAssembly module.
std::string FindFlashPlayerFolder(const std::string& programFolder);

} // namespace mev
