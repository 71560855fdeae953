// Test main for the core and platform tests: a fixed time zone and locale, and a private
// configuration and cache folder so that no test touches the user's real profile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/work/background_work.hpp"

int main(int argc, char** argv)
{
    setenv("TZ", "UTC", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    std::string tmpl = (std::filesystem::temp_directory_path() / "mev-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) {
        setenv("XDG_CONFIG_HOME", (tmpl + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (tmpl + "/cache").c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    // Background jobs end before their files are removed and before main returns.
    mev::CBackgroundWork::StopShared();
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return rc;
}
