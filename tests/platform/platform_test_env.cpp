#include "platform_test_env.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace mev::test {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

std::string g_dataHome;

// Installs two desktop applications and makes them the defaults, in folders of the test
// run's own. It runs before any test, before GLib first reads the XDG variables.
class CDesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config == nullptr)
            return;
        g_dataHome = fs::path(config).parent_path().string() + "/data";
        setenv("XDG_DATA_HOME", g_dataHome.c_str(), 1);
        std::error_code ec;
        fs::create_directories(g_dataHome + "/applications", ec);
        fs::create_directories(config, ec);
        WriteFile(g_dataHome + "/applications/mev-test-viewer.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test Viewer\nExec=/usr/bin/touch %f\n"
                  "MimeType=image/png;\n");
        WriteFile(g_dataHome + "/applications/mev-test-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=cat %u\n"
                  "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        WriteFile(g_dataHome + "/applications/mev-test-sandboxed.desktop",
                  "[Desktop Entry]\nType=Application\nName=Sandboxed\nExec=env MEV=1 touch %f\n"
                  "MimeType=image/gif;\n");
        WriteFile(std::string(config) + "/mimeapps.list",
                  "[Default Applications]\nimage/png=mev-test-viewer.desktop\n"
                  "image/gif=mev-test-sandboxed.desktop\n"
                  "x-scheme-handler/http=mev-test-browser.desktop\n");
    }
};

const auto* const g_desktopEnvironment = ::testing::AddGlobalTestEnvironment(new CDesktopEnvironment);

} // namespace

std::string TestApplicationsFolder()
{
    return g_dataHome + "/applications";
}

} // namespace mev::test
