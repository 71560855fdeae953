#include "core/pages/page_url.hpp"

#include <gtest/gtest.h>

#include "core/shell/url.hpp"
#include "core/pages/page_test_support.hpp"

namespace mev {
namespace {

TEST(PageUrl, ParsesHostAndArgument)
{
    test::CTempFolder temp;
    const std::string dir = temp.Path();
    temp.Write("sp ace.jpg");
    temp.Write("what?.jpg");
    temp.Write("100%.jpg");
    temp.Write("a&b.jpg");
    struct Case {
        std::string url;
        bool ok;
        std::string host;
        std::string argument;
    };
    const Case cases[] = {
        {"mev://images/?" + dir, true, "images", dir},
        {"MEV://IMAGES/?" + dir, true, "images", dir},
        {"mev:images/?" + dir, true, "images", dir},
        {"mev:\\\\front\\?" + dir, true, "front", dir},
        {"mev://thumbs/?" + dir, true, "thumbs", dir}, // an unknown host is Start's business
        {"mev://image/?" + dir + "/sp%20ace.jpg", true, "image", dir + "/sp ace.jpg"},
        {"mev://image/?" + dir + "/what%3F.jpg", true, "image", dir + "/what?.jpg"},
        {"mev://image/?" + dir + "/what?.jpg", true, "image", dir + "/what?.jpg"},
        {"mev://image/?" + dir + "/100%25.jpg", true, "image", dir + "/100%.jpg"},
        {"mev://image/?" + dir + "/a&b.jpg", true, "image", dir + "/a&b.jpg"},
        {"mev://images/", false, "", ""},
        {"mev://images/?", false, "", ""},
        {"mev://images", false, "", ""},
        {"mev:", false, "", ""},
        {"mev://", false, "", ""},
        {"", false, "", ""},
        {"http://images/?" + dir, false, "", ""},
        {"mevx://images/?" + dir, false, "", ""},
        {"mev://images/?" + dir + "/missing", false, "", ""},
        {"mev://image/?" + dir + "/sp%2520ace.jpg", false, "", ""},
        {"mev://image/?" + dir + "/a&b.jpg%00.txt", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string host = "unchanged";
        std::string argument = "unchanged";
        EXPECT_EQ(ParsePageUrl(c.url, host, argument), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.url;
            EXPECT_EQ(argument, c.argument) << c.url;
        } else {
            EXPECT_EQ(host, "unchanged") << c.url;
            EXPECT_EQ(argument, "unchanged") << c.url;
        }
    }
}

// What the browser wrapper sends for any file name comes back as exactly that name.
TEST(PageUrl, EncodedArgumentsComeBackExactly)
{
    test::CTempFolder temp;
    const char* names[] = {"\"><script>alert(1)<", "a&b.jpg", "100%.jpg", "#1.jpg", "what?.jpg",
                           "latin\xE9\xFF.jpg", "%41.jpg", "back\\slash.jpg", "tab\there.jpg"};
    for (const char* name : names) {
        const std::string path = temp.Write(name);
        std::string host;
        std::string argument;
        ASSERT_TRUE(ParsePageUrl("mev://image/?" + EncodeUrlPath(path), host, argument)) << name;
        EXPECT_EQ(argument, path);
    }
}

} // namespace
} // namespace mev
