#include "ui/app/color_scheme.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/shell/url.hpp"
#include "browser_test_fixture.hpp"

namespace mev::test {
namespace {

using ColorScheme = BrowserFixture;

constexpr const char* BACKGROUND = "getComputedStyle(document.body).backgroundColor";
constexpr const char* DARK = "\"rgb(30, 30, 30)\"";
constexpr const char* WHITE = "\"rgb(255, 255, 255)\"";
constexpr const char* BLACK = "\"rgb(0, 0, 0)\"";

// The pages MEV writes follow the desktop's dark preference, with light text on the dark
// ground; the blank and player pages stay black either way.
TEST_F(ColorScheme, GeneratedPagesFollowTheDesktopsDarkPreference)
{
    CTempFolder folder;
    const std::string picture = folder.File("a.png");
    ASSERT_TRUE(WritePicture(picture, 40, 30));
    struct Page {
        std::string url;
        const char* light;
        const char* dark;
    };
    const std::vector<Page> pages = {{GetFrontPageUrl(), WHITE, DARK},
                                     {"mev://images/?" + folder.Path(), WHITE, DARK},
                                     {"mev://image/?" + picture, WHITE, DARK},
                                     {GetBlankPageUrl(), BLACK, BLACK}};
    for (int scheme : {COLOR_SCHEME_DARK, 0}) {
        ApplyDesktopColorScheme(scheme);
        for (const Page& page : pages) {
            SCOPED_TRACE(page.url + (scheme == COLOR_SCHEME_DARK ? " dark" : " light"));
            ASSERT_TRUE(NavigateAndWait(*browser, page.url));
            EXPECT_TRUE(WaitFor(BACKGROUND, scheme == COLOR_SCHEME_DARK ? page.dark : page.light));
        }
    }
    ApplyDesktopColorScheme(COLOR_SCHEME_DARK);
    ASSERT_TRUE(NavigateAndWait(*browser, GetFrontPageUrl()));
    EXPECT_TRUE(WaitFor("getComputedStyle(document.querySelector('td')).color", "\"rgb(232, 232, 232)\""));
    ApplyDesktopColorScheme(0);
}

} // namespace
} // namespace mev::test
