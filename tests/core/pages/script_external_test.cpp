#include "core/pages/script_external.hpp"

#include <gtest/gtest.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"

namespace mev {
namespace {

class CRecordingHost : public IScriptHost {
public:
    void PostPaneCommand(ScriptPane pane, int commandId) override { posted.emplace_back(pane, commandId); }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    bool IsImagePaneVisible() const override { return imagePaneVisible; }

    std::vector<std::pair<ScriptPane, int>> posted;
    std::vector<std::string> status;
    bool imagePaneVisible = true;
};

TEST(ScriptExternal, NamesToIds)
{
    CRecordingHost host;
    const CScriptExternal external(host);
    struct Case {
        std::vector<std::string> names;
        std::vector<int> ids;
        HResult result;
    };
    const Case cases[] = {
        {{"IndexImageClicked"}, {1000}, S_OK},
        {{"indeximageclicked"}, {1000}, S_OK},
        {{"REPORTINDEXSTATUS", "ReportIndexProgress", "showIndexImagePath"}, {1001, 1002, 1003}, S_OK},
        {{"WMPAudioDone", "wmpvideodone"}, {1004, 1005}, S_OK},
        {{"Navigate"}, {-1}, DISP_E_UNKNOWNNAME},
        {{"Navigate", "WMPAudioDone"}, {-1, 1004}, DISP_E_UNKNOWNNAME},
        {{"IndexImageClicked "}, {-1}, DISP_E_UNKNOWNNAME},
        {{""}, {-1}, DISP_E_UNKNOWNNAME},
        {{}, {}, S_OK},
    };
    for (const auto& c : cases) {
        std::vector<int> ids{42};
        EXPECT_EQ(external.GetIDsOfNames(c.names, ids), c.result);
        EXPECT_EQ(ids, c.ids);
    }
}

TEST(ScriptExternal, Methods)
{
    const ScriptValue obj = ScriptObject{};
    const auto str = [](const char* text) { return ScriptValue(std::string(text)); };
    const auto i32 = [](std::int32_t v) { return ScriptValue(v); };
    const auto i16 = [](std::int16_t v) { return ScriptValue(v); };
    using Posted = std::vector<std::pair<ScriptPane, int>>;
    struct Case {
        const char* what;
        int id;
        std::vector<ScriptValue> args;
        bool imagePaneVisible;
        HResult result;
        std::string imagePath; // CurrentImagePath afterwards ("old" = unchanged)
        int checked;           // IndexChecked afterwards (-7 = unchanged)
        int total;
        Posted posted;
        std::vector<std::string> status;
    };
    const Posted showImage{{ScriptPane::Image, ID_PRIVATE_SHOW_IMAGE}};
    const Case cases[] = {
        {"click", 1000, {str("mev://images/?/Photos"), str("file:///Photos/My%20Cat.jpg")}, true, S_OK,
         "/Photos/My Cat.jpg", -7, -7, showImage, {}},
        {"click, file: in capitals", 1000, {str("u"), str("FILE:///a/b%23c.jpg")}, true, S_OK, "/a/b#c.jpg", -7, -7, showImage, {}},
        {"click, undecodable bytes kept", 1000, {str("u"), str("file:///p/latin%E9%FF.jpg")}, true, S_OK,
         "/p/latin\xE9\xFF.jpg", -7, -7, showImage, {}},
        {"click, pane hidden", 1000, {str("u"), str("file:///a.jpg")}, false, S_OK, "old", -7, -7, {}, {}},
        {"click, not file:", 1000, {str("u"), str("http://host/a.jpg")}, true, S_OK, "old", -7, -7, {}, {}},
        {"click, file: without a path", 1000, {str("u"), str("file:a.jpg")}, true, S_OK, "old", -7, -7, {}, {}},
        {"click, short", 1000, {str("u"), str("file")}, true, S_OK, "old", -7, -7, {}, {}},
        {"click, one argument", 1000, {str("file:///a.jpg")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"click, number", 1000, {str("u"), i32(3)}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"click, three", 1000, {str("u"), str("file:///a"), str("x")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"status", 1001, {i32(2), i32(10)}, true, S_OK, "old", 2, 10, {}, {}},
        {"status, 16-bit", 1001, {i16(-1), i16(300)}, true, S_OK, "old", -1, 300, {}, {}},
        {"status, mixed", 1001, {i16(4), i32(70000)}, true, S_OK, "old", 4, 70000, {}, {}},
        {"status, string", 1001, {i32(2), str("10")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"status, object", 1001, {obj, i32(10)}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"status, one", 1001, {i32(2)}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"progress", 1002, {i32(17)}, true, S_OK, "old", -7, -7, {}, {"17"}},
        {"progress, negative", 1002, {i32(-1)}, true, S_OK, "old", -7, -7, {}, {"4294967295"}},
        {"progress, 16-bit", 1002, {i16(-2)}, true, S_OK, "old", -7, -7, {}, {"4294967294"}},
        {"progress, string", 1002, {str("17")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"progress, none", 1002, {}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"path", 1003, {str("file:///Pics/a%20b.gif")}, true, S_OK, "old", -7, -7, {}, {"/Pics/a b.gif"}},
        {"path, shown as valid text", 1003, {str("file:///p/x%FF.gif")}, true, S_OK, "old", -7, -7, {},
         {"/p/x\xEF\xBF\xBD.gif"}},
        {"path, not file:", 1003, {str("mev://image/?/a.gif")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"path, number", 1003, {i32(1)}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"path, two", 1003, {str("file:///a"), str("file:///b")}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"audio done", 1004, {obj}, true, S_OK, "old", -7, -7, {{ScriptPane::Audio, ID_PRIVATE_AUDIO_DONE}}, {}},
        {"video done from Flash", 1005, {str("not a player")}, true, S_OK, "old", -7, -7,
         {{ScriptPane::Video, ID_PRIVATE_VIDEO_DONE}}, {}},
        {"video done, no argument", 1005, {}, true, S_OK, "old", -7, -7, {{ScriptPane::Video, ID_PRIVATE_VIDEO_DONE}}, {}},
        {"unknown id", 1006, {}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
        {"unknown id -1", -1, {obj}, true, DISP_E_MEMBERNOTFOUND, "old", -7, -7, {}, {}},
    };
    for (const auto& c : cases) {
        CRecordingHost host;
        host.imagePaneVisible = c.imagePaneVisible;
        CScriptExternal external(host);
        CurrentImagePath = "old";
        IndexChecked = -7;
        IndexTotal = -7;
        EXPECT_EQ(external.Invoke(c.id, c.args), c.result) << c.what;
        EXPECT_EQ(CurrentImagePath, c.imagePath) << c.what;
        EXPECT_EQ(IndexChecked, c.checked) << c.what;
        EXPECT_EQ(IndexTotal, c.total) << c.what;
        EXPECT_EQ(host.posted, c.posted) << c.what;
        EXPECT_EQ(host.status, c.status) << c.what;
    }
    CurrentImagePath.clear();
    IndexChecked = 0;
    IndexTotal = 0;
}

TEST(ScriptExternal, InvokeByName)
{
    CRecordingHost host;
    CScriptExternal external(host);
    EXPECT_EQ(external.InvokeByName("wmpaudiodone", {ScriptObject{}}), S_OK);
    EXPECT_EQ(external.InvokeByName("Play", {}), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(host.posted, (std::vector<std::pair<ScriptPane, int>>{{ScriptPane::Audio, ID_PRIVATE_AUDIO_DONE}}));
}

} // namespace
} // namespace mev
