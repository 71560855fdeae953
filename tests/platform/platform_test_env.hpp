#pragma once

#include <string>

#include "temp_folder.hpp"

namespace mev::test {

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The folder of the private desktop applications that the test environment installs:
// "mev-test-viewer.desktop" is the default for image/png and "mev-test-browser.desktop"
// for web links.
std::string TestApplicationsFolder();

} // namespace mev::test
