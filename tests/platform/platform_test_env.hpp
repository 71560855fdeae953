#pragma once

#include <string>

namespace mev::test {

// A private temporary folder for one test, removed with the object.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The folder of the private desktop applications that the test environment installs:
// "mev-test-viewer.desktop" is the default for image/png and "mev-test-browser.desktop"
// for web links.
std::string TestApplicationsFolder();

} // namespace mev::test
