#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <webkit/webkit.h>

#include "browser_test_fixture.hpp"
#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/shell/url.hpp"
#include "ui/web/external_transport.hpp"

namespace mev::test {
namespace {

using BrowserExternal = BrowserFixture;

// The path of the picture behind a thumbnail, as the page reports it.
std::string PathOfImage(BrowserFixture& fixture, int index)
{
    const std::string json = fixture.Eval("PictureUrl(document.getElementById('p" + std::to_string(index) + "'))");
    if (json.size() < 2)
        return {};
    std::string path;
    FileUrlToPath(DecodeUrl(json.substr(1, json.size() - 2)), path);
    return path;
}

TEST_F(BrowserExternal, IndexPageReportsTheClickedPictureAndTheCounts)
{
    CTempFolder folder;
    std::set<std::string> files;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        ASSERT_TRUE(WritePicture(folder.File(name), 60, 40));
        files.insert(folder.File(name));
    }
    IndexTotal = 0;
    IndexChecked = 0;
    CurrentImagePath.clear();
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));

    // Init() clicks the first picture and reports the counts.
    ASSERT_TRUE(RunMainLoopUntil([&] { return IndexTotal == 3; }));
    EXPECT_EQ(IndexChecked, 0);
    ASSERT_TRUE(RunMainLoopUntil([&] { return !CurrentImagePath.empty(); }));
    EXPECT_EQ(CurrentImagePath, PathOfImage(*this, 0));
    EXPECT_TRUE(host.HasCommand(ScriptPane::Image, ID_PRIVATE_SHOW_IMAGE));

    const std::string second = PathOfImage(*this, 1);
    EXPECT_TRUE(files.count(second)) << second;
    host.commands.clear();
    std::optional<bool> called;
    browser->CallScriptFunction("DisplayNext", [&](bool result) { called = result; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return called.has_value() && CurrentImagePath == second; }))
        << CurrentImagePath;
    EXPECT_TRUE(*called);
    EXPECT_TRUE(host.HasCommand(ScriptPane::Image, ID_PRIVATE_SHOW_IMAGE));

    // Hovering shows the path in the status line.
    browser->ExecScript("ShowPath(document.getElementById('p2'));");
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.statusTexts.empty(); }));
    EXPECT_EQ(host.statusTexts.back(), PathOfImage(*this, 2));
}

TEST_F(BrowserExternal, MethodNamesMatchInAnyCaseAndCarryTheirArguments)
{
    ASSERT_TRUE(NavigateAndWait(*browser, GetBlankPageUrl()));
    IndexTotal = 0;
    IndexChecked = 0;
    browser->ExecScript("window.external.reportindexstatus(2, 10);");
    ASSERT_TRUE(RunMainLoopUntil([&] { return IndexTotal == 10; }));
    EXPECT_EQ(IndexChecked, 2);

    // Wrong argument types change nothing: a fraction, a string.
    browser->ExecScript("window.external.ReportIndexStatus(1.5, 4); window.external.ReportIndexStatus('1', 4);"
                        "window.external.REPORTINDEXPROGRESS(7);");
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.statusTexts.empty(); }));
    EXPECT_EQ(host.statusTexts.back(), "7");
    EXPECT_EQ(IndexTotal, 10);

    browser->ExecScript("window.external.WmpVideoDone(document.body);");
    ASSERT_TRUE(RunMainLoopUntil([&] { return host.HasCommand(ScriptPane::Video, ID_PRIVATE_VIDEO_DONE); }));

    // Only the six methods exist.
    EXPECT_EQ(Eval("typeof window.external.NoSuchMethod"), "\"undefined\"");
    EXPECT_EQ(Eval("'wmpaudiodone' in window.external"), "true");
    EXPECT_EQ(Eval("typeof window.external.constructor"), "\"undefined\"");
}

// Names that break naive HTML or URL building. A '/' cannot be part of a file name, so
// the closing script tag uses a backslash.
const char* const HOSTILE_NAMES[] = {
    "\"><script>alert(1)<\\script>.jpg",
    "'><img src=x onerror=alert(2)>.jpg",
    "a&b.jpg",
    "100%.jpg",
    "%41%2F.jpg",
    "#1.jpg",
    "what?.jpg",
    "with blank.jpg",
    "caf\xc3\xa9.jpg",
};

TEST_F(BrowserExternal, HostileFileNamesShowAsPicturesAndReportTheirOwnPath)
{
    CTempFolder folder;
    std::set<std::string> files;
    for (const char* name : HOSTILE_NAMES) {
        ASSERT_TRUE(WritePicture(folder.File(name), 50, 30)) << name;
        files.insert(folder.File(name));
    }
    int dialogs = 0;
    auto onDialog = +[](WebKitWebView*, WebKitScriptDialog*, gpointer count) -> gboolean {
        ++*static_cast<int*>(count);
        return TRUE;
    };
    g_signal_connect(browser->GetWebView(), "script-dialog", G_CALLBACK(onDialog), &dialogs);

    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));
    const int count = static_cast<int>(std::size(HOSTILE_NAMES));
    EXPECT_EQ(Eval("document.images.length"), std::to_string(count));
    ASSERT_TRUE(WaitFor("Array.prototype.every.call(document.images, function (i) { return i.complete; })", "true"));
    EXPECT_EQ(Eval("Array.prototype.filter.call(document.images, function (i) { return i.naturalWidth == 50; }).length"),
              std::to_string(count));

    std::set<std::string> reported;
    for (int i = 0; i < count; ++i) {
        const std::string expected = PathOfImage(*this, i);
        ASSERT_TRUE(files.count(expected)) << expected;
        CurrentImagePath.clear();
        browser->ExecScript("document.getElementById('p" + std::to_string(i) + "').click();");
        ASSERT_TRUE(RunMainLoopUntil([&] { return !CurrentImagePath.empty(); })) << expected;
        EXPECT_EQ(CurrentImagePath, expected);
        reported.insert(CurrentImagePath);
    }
    EXPECT_EQ(reported, files);

    // Each one also opens on its own image page.
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        const std::string url = "mev://image/?" + file;
        ASSERT_TRUE(NavigateAndWait(*browser, url));
        EXPECT_EQ(browser->GetLocationUrl(), url);
        EXPECT_TRUE(WaitFor("document.getElementById('pic').naturalWidth", "50"));
    }
    EXPECT_EQ(dialogs, 0);
    g_signal_handlers_disconnect_by_data(browser->GetWebView(), &dialogs);
}

bool SameValue(const ScriptValue& a, const ScriptValue& b)
{
    if (a.index() != b.index())
        return false;
    if (const auto* text = std::get_if<std::string>(&a))
        return *text == std::get<std::string>(b);
    if (const auto* number = std::get_if<std::int32_t>(&a))
        return *number == std::get<std::int32_t>(b);
    return true;
}

TEST(BrowserExternalMessages, ConvertsTheShapesAScriptCanPost)
{
    // Kept for the whole run: tearing down a JavaScriptCore VM runs the library's inlined
    // shared_ptr code through the sanitized copy in this program, which UBSan misreads.
    static JSCContext* const context = jsc_context_new();
    struct Case {
        const char* script;
        bool valid;
        std::string name;
        std::vector<ScriptValue> args;
    };
    const Case cases[] = {
        {"['IndexImageClicked', 'mev://x', 'file:///a.jpg']", true, "IndexImageClicked",
         {std::string("mev://x"), std::string("file:///a.jpg")}},
        {"['ReportIndexStatus', 2, -10]", true, "ReportIndexStatus", {std::int32_t{2}, std::int32_t{-10}}},
        {"['ReportIndexStatus', 1.5, 4294967296, null, NaN]", true, "ReportIndexStatus",
         {ScriptObject{}, ScriptObject{}, ScriptObject{}, ScriptObject{}}},
        {"['WMPAudioDone']", true, "WMPAudioDone", {}},
        {"[]", false, "", {}},
        {"[7, 'x']", false, "", {}},
        {"'WMPAudioDone'", false, "", {}},
        {"({0: 'WMPAudioDone', length: 1})", false, "", {}},
        {"new Array(100).fill('x')", false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        JSCValue* value = jsc_context_evaluate(context, c.script, -1);
        std::string name;
        std::vector<ScriptValue> args;
        EXPECT_EQ(ConvertScriptMessage(value, name, args), c.valid);
        if (c.valid) {
            EXPECT_EQ(name, c.name);
            ASSERT_EQ(args.size(), c.args.size());
            for (std::size_t i = 0; i < args.size(); ++i)
                EXPECT_TRUE(SameValue(args[i], c.args[i])) << "argument " << i;
        }
        g_object_unref(value);
    }
}

} // namespace
} // namespace mev::test
