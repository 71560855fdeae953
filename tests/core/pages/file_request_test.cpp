#include "core/pages/file_request.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/shell/url.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

class FileRequestTest : public ::testing::Test {
protected:
    void TearDown() override { SetFlashPlayerFolder(""); }
};

TEST_F(FileRequestTest, ServesEmulatorFilesAndMoviesOnly)
{
    test::CTempFolder temp;
    const std::string dir = temp.Path();
    std::filesystem::create_directory(dir + "/ruffle");
    temp.Write("ruffle/ruffle.js");
    temp.Write("ruffle/core.ruffle.1.js");
    temp.Write("ruffle/a1.wasm");
    temp.Write("secret.txt");
    temp.Write("my movie & 100%.swf");
    temp.Write("Loud.SWF");
    temp.Write("clip.mpg");
    std::filesystem::create_directory(dir + "/folder.swf");
    SetFlashPlayerFolder(dir + "/ruffle");

    struct Case {
        std::string url;
        std::string path; // "" when refused
        std::string contentType;
    };
    const Case cases[] = {
        {"mev://flash/ruffle.js", dir + "/ruffle/ruffle.js", "text/javascript"},
        {"mev://flash/core.ruffle.1.js", dir + "/ruffle/core.ruffle.1.js", "text/javascript"},
        {"mev://flash/a1.wasm", dir + "/ruffle/a1.wasm", "application/wasm"},
        {"mev://flash/ruffle.js?v=1", dir + "/ruffle/ruffle.js", "text/javascript"},
        {"mev://flash/missing.js", "", ""},
        {"mev://flash/..%2Fsecret.txt", "", ""},
        {"mev://flash/../secret.txt", "", ""},
        {"mev://flash/", "", ""},
        {"mev://flash/.hidden", "", ""},
        {MakeFileUrl(dir + "/my movie & 100%.swf").replace(0, 7, "mev://movie"), dir + "/my movie & 100%.swf",
         "application/x-shockwave-flash"},
        {"mev://movie" + dir + "/Loud.SWF", dir + "/Loud.SWF", "application/x-shockwave-flash"},
        {"mev://movie" + dir + "/secret.txt", "", ""},
        {"mev://movie" + dir + "/clip.mpg", "", ""},
        {"mev://movie" + dir + "/folder.swf", "", ""},
        {"mev://movie" + dir + "/gone.swf", "", ""},
        {"mev://video/?" + dir + "/Loud.SWF", "", ""},
    };
    for (const auto& c : cases) {
        FileRequest request;
        const bool ok = ParseFileRequestUrl(c.url, request);
        EXPECT_EQ(ok, !c.path.empty()) << c.url;
        if (ok) {
            EXPECT_EQ(request.path, c.path) << c.url;
            EXPECT_EQ(request.contentType, c.contentType) << c.url;
        }
    }

    // Without the emulator no file of it is served.
    SetFlashPlayerFolder("");
    FileRequest request;
    EXPECT_FALSE(ParseFileRequestUrl("mev://flash/ruffle.js", request));
}

TEST_F(FileRequestTest, FindsTheEmulatorNextToTheProgramOrInstalled)
{
    test::CTempFolder temp;
    const std::string dir = temp.Path();
    const auto addEmulator = [&](const std::string& folder, bool withWasm) {
        std::filesystem::create_directories(dir + "/" + folder);
        temp.Write(folder + "/ruffle.js");
        if (withWasm)
            temp.Write(folder + "/x.wasm");
    };
    std::filesystem::create_directories(dir + "/prefix/bin");
    EXPECT_EQ(FindFlashPlayerFolder(dir + "/prefix/bin"), "");
    addEmulator("prefix/bin/ruffle", false); // a loader without its module is no emulator
    EXPECT_EQ(FindFlashPlayerFolder(dir + "/prefix/bin"), "");
    addEmulator("prefix/share/mev/ruffle", true);
    EXPECT_EQ(FindFlashPlayerFolder(dir + "/prefix/bin"), dir + "/prefix/share/mev/ruffle");
    addEmulator("prefix/bin/ruffle", true);
    EXPECT_EQ(FindFlashPlayerFolder(dir + "/prefix/bin"), dir + "/prefix/bin/ruffle");
    EXPECT_EQ(FindFlashPlayerFolder(""), "");
}

} // namespace
} // namespace mev
