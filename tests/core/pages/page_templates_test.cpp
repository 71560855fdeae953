#include "core/pages/page_templates.hpp"

#include <algorithm>

#include <gtest/gtest.h>

#include "core/shell/resources.hpp"
#include "core/test_resources.hpp"

namespace mev {
namespace {

std::string Load(int id)
{
    return std::string(LoadResourceData(GetTemplateResourceName(id)).value_or(""));
}

// What the panes and the program rely on in each template.
TEST(PageTemplates, ScriptContracts)
{
    test::InstallSourceTreeResources();
    struct Case {
        int id;
        bool errorHandler;
        std::vector<std::string> required;
    };
    const Case cases[] = {
        {135, true, {"var autoPlayTimerID = 0;", "var lastClickedID = \"\";", "var autoPlayMS = 0;", "var progress = 0;",
                     "var delayedAutoplayTimer = 0;", "var prevPic = null;", "function ShowPath(picy)",
                     "function StopAutoPlay()", "function InAutoPlayMode()", "function DisplayFirst()",
                     "function DisplayLast()", "function DisplayNext()", "function DisplayPrev()",
                     "function AutoPlay(secs)", "function AutoPlay2()", "function ReportIndexStatus()",
                     "function ImageClicked(pic, evt)", "function Init()", "function DoKeyDown(evt)",
                     "\"ShowIndexImagePath\"", "\"IndexImageClicked\", [document.URL, PictureUrl(i)]", "function PictureUrl(pic)",
                     "\"ReportIndexStatus\", [checked, names.length]", "#ff00ff", "#0000ff", "evt.ctrlKey",
                     "keyCode == 38", "keyCode == 40", "setTimeout(AutoPlay2, 1000)", "x-small", "Verdana",
                     "background-color: #ffffff", "margin: 3px 3px 0px 3px",
                     "<BODY onload=\"Init();\" onkeydown=\"DoKeyDown(event);\">\r\n"}},
        {136, true, {"var pich = 0;", "var picw = 0;", "var mode = 0;", "var rateW = 1;", "var rateH = 1;",
                     "function ToggleSize(evt)", "function FitToWindow()", "- 12", "50)", "visibility = \"visible\"",
                     "align=\"center\" valign=\"middle\">\r\n"}},
        {137, false, {"#000000", "#FF7F50", "overflow: hidden", "ondblclick=\"reloadit();\"", "function reloadit()",
                      "align=\"center\" valign=\"middle\">\r\n"}},
        {138, true, {"#000000", "overflow: hidden", "ondblclick=\"reloadit();\"", "function ToggleSize()",
                     "getElementById(\"mov\")", "parentNode.offsetWidth", "align=\"center\" valign=\"middle\">\r\n"}},
        {139, false, {"<h3>MEV</h3>", "#ff0000", "Last Updated:", "Feb. 2004", "Web:",
                      "<a href=\"https://mev.example.org/\">mev.example.org</a>", "height=\"80%\"", "overflow: hidden"}},
        {152, true, {"var timerID = 0;", "function ReportProgress()", "function Init()", "function GetBusy()",
                     "var MediaPlayer1", "CurrentPosition", "Duration", "\"WMPAudioDone\", [MediaPlayer1]",
                     "setInterval(ReportProgress, 1500)", "<audio id=\"media\" src=\"?\" autoplay", "#000000",
                     "return MediaPlayer1.CurrentPosition < MediaPlayer1.Duration;"}},
        {153, true, {"var timerID = 0;", "function ReportProgress()", "function Init()", "function GetBusy()",
                     "var MediaPlayer1", "\"WMPVideoDone\", [MediaPlayer1]", "setInterval(ReportProgress, 1500)",
                     "<video id=\"media\" src=\"?\" autoplay", "width=\"100%\" height=\"100%\"",
                     "return MediaPlayer1.CurrentPosition < MediaPlayer1.Duration;"}},
        {154, true, {"flashy.FrameNum >= flashy.TotalFrames", "\"WMPVideoDone\", [flashy]",
                     "setInterval(ReportProgress, 1500)", "return flashy.FrameNum < flashy.TotalFrames;",
                     "<embed src=\"?\" id=\"flashy\" width=\"100%\" height=\"100%\" type=\"application/x-shockwave-flash\" fullscreen=\"yes\">"}},
        {155, false, {}},
    };
    for (const auto& c : cases) {
        const std::string text = Load(c.id);
        ASSERT_FALSE(text.empty()) << c.id;
        EXPECT_EQ(text.rfind("<html>\r\n", 0), 0u) << c.id;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << c.id << ": bare line feed at " << i;
            }
        }
        EXPECT_EQ(text.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">") != std::string::npos,
                  c.id != 155)
            << c.id;
        EXPECT_EQ(text.find("window.onerror = function (msg, url, lineno) { return true; };") != std::string::npos,
                  c.errorHandler)
            << c.id;
        for (const auto& piece : c.required)
            EXPECT_NE(text.find(piece), std::string::npos) << c.id << ": " << piece;
        if (c.id == 152 || c.id == 153 || c.id == 154) {
            EXPECT_EQ(std::count(text.begin(), text.end(), '?'), 1) << c.id;
        }
    }
    EXPECT_EQ(Load(155), "<html>\r\n<body bgColor=\"#000000\" scroll=\"no\">\r\n<body>\r\n</html>");
    EXPECT_EQ(GetTemplateResourceName(140), "");
}

} // namespace
} // namespace mev
