#include "core/pages/picture_info.hpp"

#include <gtest/gtest.h>

#include "core/pages/page_protocol.hpp"
#include "core/shell/size_text.hpp"
#include "core/shell/url.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

TEST(PictureInfo, ExifValuesAreFormattedForPeople)
{
    struct Case {
        std::string got;
        const char* expected;
    };
    const Case cases[] = {
        {FormatExposureTime("1/250"), "1/250 s"},
        {FormatExposureTime("10/2500"), "1/250 s"},
        {FormatExposureTime("2/1"), "2 s"},
        {FormatExposureTime("5/10"), "0.5 s"},
        {FormatExposureTime("1/0"), ""},
        {FormatExposureTime("junk"), ""},
        {FormatFNumber("28/10"), "f/2.8"},
        {FormatFNumber("8/1"), "f/8"},
        {FormatFNumber(""), ""},
        {FormatFocalLength("50/1"), "50 mm"},
        {FormatFocalLength("175/10"), "17.5 mm"},
        {FormatGpsCoordinate("52/1 31/1 1230/100", "N"), "52.52008\u00b0 N"},
        {FormatGpsCoordinate("13/1 24/1 0/1", "W"), "13.4\u00b0 W"},
        {FormatGpsCoordinate("52/1 31/1 1230/0", "N"), ""},
        {FormatGpsCoordinate("200/1 0/1 0/1", "N"), ""},
        {FormatDateTaken("2024:05:06 07:08:09"), "2024-05-06 07:08:09"},
        {FormatSize(512, SizeStyle::Prose), "512 bytes"},
        {FormatSize(2'516'582, SizeStyle::Prose), "2.4 MB"},
        {MakePictureStatus(4000, 3000, 2'516'582, 25), "4000 \u00d7 3000 pixels, 2.4 MB, zoom 25%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

class CFixedReader : public IPictureInfoReader {
public:
    std::optional<PictureInfo> ReadPictureInfo(const std::string&) const override { return info; }
    std::optional<PictureInfo> info;
};

// The panel shows the fields present, escaped, and says so when the file has nothing.
TEST(PictureInfo, PanelShowsPresentFieldsEscaped)
{
    test::CTempFolder temp;
    const std::string path = temp.Write("a <b>.jpg", "12345");
    auto reader = std::make_shared<CFixedReader>();
    PictureInfo info;
    info.width = 40;
    info.height = 30;
    info.make = "Maker & <Sons>";
    info.model = "Maker & <Sons> M1";
    info.exposureTime = "1/60";
    reader->info = info;
    SetPictureInfoReader(reader);
    const std::string page =
        CPageProtocol::RenderPage("mev://pictureinfo/?" + EncodeUrlPath(path)).value_or("not started");
    EXPECT_NE(page.find("<b>a &lt;b&gt;.jpg</b>"), std::string::npos) << page;
    EXPECT_NE(page.find("<th>Camera</th><td>Maker &amp; &lt;Sons&gt; M1</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>1/60 s</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>5 bytes</td>"), std::string::npos);
    EXPECT_EQ(page.find("GPS"), std::string::npos);
    reader->info.reset();
    EXPECT_NE(CPageProtocol::RenderPage("mev://pictureinfo/?" + EncodeUrlPath(path)).value_or("").find("No information."),
              std::string::npos);
    SetPictureInfoReader(nullptr);
}

} // namespace
} // namespace mev
