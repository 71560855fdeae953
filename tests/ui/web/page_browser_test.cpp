#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <sys/types.h>
#include <unistd.h>

#include <webkit/webkit.h>

#include "browser_test_fixture.hpp"
#include "core/shell/program_path.hpp"
#include "core/shell/url.hpp"

namespace mev::test {
namespace {

using BrowserPages = BrowserFixture;

TEST_F(BrowserPages, FixedPagesLoadAndReadBack)
{
    struct Case {
        std::string url;
        std::string expression;
        std::string expected;
    };
    const Case cases[] = {
        {GetFrontPageUrl(), "document.querySelector('h3').textContent", "\"MEV\""},
        {GetBlankPageUrl(), "document.body.getAttribute('bgColor')", "\"#000000\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_TRUE(NavigateAndWait(*browser, c.url));
        EXPECT_EQ(Eval(c.expression), c.expected);
        // The location reads back decoded, as the program built it.
        EXPECT_EQ(browser->GetLocationUrl(), c.url);
    }
}

// The web process ends under the view: the page comes back in a new one; the same page
// ending it again shortly after gets the blank page instead of a loop of crashes.
TEST_F(BrowserPages, PageComesBackAfterTheWebProcessEndsAndTurnsBlankWhenItEndsAgain)
{
    const std::string front = GetFrontPageUrl();
    ASSERT_TRUE(NavigateAndWait(*browser, front));
    ASSERT_EQ(Eval("window.mark = 1"), "1");
    webkit_web_view_terminate_web_process(browser->GetWebView());
    EXPECT_TRUE(WaitFor("document.querySelector('h3').textContent", "\"MEV\""));
    EXPECT_EQ(Eval("typeof window.mark"), "\"undefined\"") << "a new page, not the old one";
    EXPECT_EQ(browser->GetLocationUrl(), front);

    webkit_web_view_terminate_web_process(browser->GetWebView());
    EXPECT_TRUE(RunMainLoopUntil([this] { return browser->GetLocationUrl() == GetBlankPageUrl() && !browser->IsLoading(); }));
    EXPECT_TRUE(WaitFor("document.body.getAttribute('bgColor')", "\"#000000\""));
}

// The web processes this program started: processes named so whose parent chain leads
// here (the sandbox puts its own processes between).
std::set<pid_t> OurWebProcesses()
{
    const auto parentOf = [](pid_t pid) -> pid_t {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0)
                return static_cast<pid_t>(std::stol(line.substr(5)));
        }
        return 0;
    };
    std::set<pid_t> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string comm;
        std::getline(std::ifstream(entry.path() / "comm"), comm);
        if (comm.rfind("WebKitWebProces", 0) != 0)
            continue;
        const auto pid = static_cast<pid_t>(std::stol(name));
        for (pid_t up = parentOf(pid); up > 1; up = parentOf(up)) {
            if (up == getpid()) {
                found.insert(pid);
                break;
            }
        }
    }
    return found;
}

// A web process that stops answering (here stopped outright, as one stuck reading a FIFO
// is) held every pane until restart: it is ended, and the page comes back in a new one.
TEST_F(BrowserPages, PageComesBackWhenTheWebProcessStopsAnswering)
{
    const std::string front = GetFrontPageUrl();
    ASSERT_TRUE(NavigateAndWait(*browser, front));
    ASSERT_EQ(Eval("window.mark = 1"), "1");
    const std::set<pid_t> stopped = OurWebProcesses();
    ASSERT_FALSE(stopped.empty());
    for (pid_t pid : stopped)
        kill(pid, SIGSTOP);
    browser->Navigate(GetBlankPageUrl()); // the engine waits for an answer
    const bool back = RunMainLoopUntil(
        [&] {
            for (pid_t pid : OurWebProcesses()) {
                if (stopped.count(pid) == 0)
                    return true;
            }
            return false;
        },
        30000);
    for (pid_t pid : stopped)
        kill(pid, SIGCONT);
    ASSERT_TRUE(back) << "the stopped web process was never replaced";
    // A page answers again, from a new process.
    EXPECT_TRUE(WaitFor("typeof window.mark", "\"undefined\""));
}

TEST_F(BrowserPages, LocationOfAPathWithEscapesAndBlanksReadsBackUnchanged)
{
    CTempFolder folder;
    const std::string odd = folder.File("My Pictures 100% #1 what?");
    ASSERT_TRUE(std::filesystem::create_directory(odd));
    const std::string url = "mev://images/?" + odd;
    ASSERT_TRUE(NavigateAndWait(*browser, url));
    EXPECT_EQ(browser->GetLocationUrl(), url);
    EXPECT_EQ(Eval("typeof DisplayNext"), "\"function\"");
}

// Commands are enabled by the address the pane reports, so it must never read empty
// while the first pages of a new view start, cancel one another and commit.
TEST_F(BrowserPages, LocationNeverReadsEmptyWhileLoadsReplaceOneAnother)
{
    std::vector<std::string> seen;
    auto record = +[](GObject*, GParamSpec*, gpointer data) {
        auto* self = static_cast<std::pair<CPageBrowser*, std::vector<std::string>*>*>(data);
        self->second->push_back(self->first->GetLocationUrl());
    };
    std::pair<CPageBrowser*, std::vector<std::string>*> context{browser.get(), &seen};
    GObject* view = G_OBJECT(browser->GetWidget().gobj());
    const gulong handler = g_signal_connect(view, "notify::uri", G_CALLBACK(record), &context);
    bool finished = false;
    auto connection = browser->signal_load_finished().connect([&] { finished = true; });

    for (const std::string& url : {GetBlankPageUrl(), GetFrontPageUrl(), GetBlankPageUrl(), GetFrontPageUrl()}) {
        browser->Navigate(url);
        seen.push_back(browser->GetLocationUrl());
    }
    EXPECT_TRUE(RunMainLoopUntil([&] { return finished && browser->GetLocationUrl() == GetFrontPageUrl(); }));
    RunMainLoopFor(200);
    g_signal_handler_disconnect(view, handler);
    connection.disconnect();

    for (const std::string& location : seen)
        EXPECT_FALSE(location.empty());
    EXPECT_EQ(browser->GetLocationUrl(), GetFrontPageUrl());
}

TEST_F(BrowserPages, AFailedPageShowsNothing)
{
    CTempFolder folder;
    for (const std::string& url : {"mev://images/?" + folder.File("gone"), std::string("mev://thumbs/?") + folder.Path(),
                                  std::string("mev://images/"), std::string("mev:images")}) {
        SCOPED_TRACE(url);
        bool finished = false;
        auto connection = browser->signal_load_finished().connect([&] { finished = true; });
        browser->Navigate(url);
        ASSERT_TRUE(RunMainLoopUntil([&] { return finished; }));
        connection.disconnect();
        // No error page of the engine: the document stays empty.
        EXPECT_EQ(Eval("document.body ? document.body.innerText : ''"), "\"\"");
    }
}

TEST_F(BrowserPages, ScriptFunctionsAreFoundAndCalledOnlyWhenDefined)
{
    CTempFolder folder;
    ASSERT_TRUE(WritePicture(folder.File("a.png"), 40, 30));
    ASSERT_TRUE(NavigateAndWait(*browser, "mev://images/?" + folder.Path()));

    struct Case {
        std::string name;
        bool exists;
    };
    const Case cases[] = {
        {"DisplayNext", true}, {"AutoPlay", true},        {"NoSuchFunction", false},
        {"lastClickedID", false}, {"alert(1);x", false}, {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<bool> found;
        browser->HasScriptFunction(c.name, [&](bool result) { found = result; });
        ASSERT_TRUE(RunMainLoopUntil([&] { return found.has_value(); }));
        EXPECT_EQ(*found, c.exists);
    }

    std::optional<bool> called;
    browser->CallScriptFunction("NoSuchFunction", [&](bool result) { called = result; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return called.has_value(); }));
    EXPECT_FALSE(*called);

    // Autoplay: on after AutoPlay(3), off after StopAutoPlay.
    std::optional<bool> executed;
    browser->ExecScript("AutoPlay(3);", [&](bool ok) { executed = ok; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return executed.has_value(); }));
    EXPECT_TRUE(*executed);
    std::optional<bool> autoPlay;
    browser->InAutoPlayMode([&](bool on) { autoPlay = on; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return autoPlay.has_value(); }));
    EXPECT_TRUE(*autoPlay);
    std::optional<bool> stopped;
    browser->StopAutoPlay([&](bool result) { stopped = result; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return stopped.has_value(); }));
    EXPECT_TRUE(*stopped);
    autoPlay.reset();
    browser->InAutoPlayMode([&](bool on) { autoPlay = on; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return autoPlay.has_value(); }));
    EXPECT_FALSE(*autoPlay);

    // A script error and empty code report failure.
    for (const std::string code : {"throw new Error('x');", "this is not script", ""}) {
        executed.reset();
        browser->ExecScript(code, [&](bool ok) { executed = ok; });
        ASSERT_TRUE(RunMainLoopUntil([&] { return executed.has_value(); }));
        EXPECT_FALSE(*executed) << code;
    }
    // A statement whose value cannot leave the page still counts as executed.
    executed.reset();
    browser->ExecScript("document.body", [&](bool ok) { executed = ok; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return executed.has_value(); }));
    EXPECT_TRUE(*executed);
}

TEST_F(BrowserPages, BlankPageHasNoFunctionsToCall)
{
    ASSERT_TRUE(NavigateAndWait(*browser, GetBlankPageUrl()));
    for (const std::string name : {"DisplayNext", "ToggleSize"}) {
        std::optional<bool> called;
        browser->CallScriptFunction(name, [&](bool result) { called = result; });
        ASSERT_TRUE(RunMainLoopUntil([&] { return called.has_value(); }));
        EXPECT_FALSE(*called) << name;
    }
    std::optional<bool> stopped;
    browser->StopAutoPlay([&](bool result) { stopped = result; });
    ASSERT_TRUE(RunMainLoopUntil([&] { return stopped.has_value(); }));
    EXPECT_FALSE(*stopped);
}

TEST_F(BrowserPages, CallbacksNeverRunAfterTheBrowserIsGone)
{
    ASSERT_TRUE(NavigateAndWait(*browser, GetBlankPageUrl()));
    int calls = 0;
    browser->EvaluateScript("1 + 1", [&](bool, std::string) { ++calls; });
    browser->HasScriptFunction("not an identifier", [&](bool) { ++calls; });
    window->unset_child();
    browser.reset();
    RunMainLoopFor(300);
    EXPECT_EQ(calls, 0);
    browser = std::make_unique<CPageBrowser>();
    window->set_child(browser->GetWidget());
}

TEST_F(BrowserPages, OtherSchemesDoNotLoadInTheView)
{
    ASSERT_TRUE(NavigateAndWait(*browser, GetFrontPageUrl()));
    const std::string front = browser->GetLocationUrl();
    const std::string targets[] = {"http://127.0.0.1:9/", "https://127.0.0.1:9/x", "file:///etc/hostname",
                                   "data:text/html,<p>x</p>"};
    for (const auto& target : targets) {
        SCOPED_TRACE(target);
        // Asked for, the address shows until the view has turned the load down.
        browser->Navigate(target);
        EXPECT_TRUE(RunMainLoopUntil([&] { return browser->GetLocationUrl() == front; })) << browser->GetLocationUrl();
        EXPECT_EQ(Eval("document.querySelector('h3').textContent"), "\"MEV\"");
        // Nor can the page itself go there.
        browser->ExecScript("location.href = " + std::string("'") + target + "';");
        RunMainLoopFor(300);
        EXPECT_TRUE(RunMainLoopUntil([&] { return browser->GetLocationUrl() == front; })) << browser->GetLocationUrl();
    }
    // A window the page tries to open does not appear either.
    EXPECT_EQ(Eval("window.open('http://127.0.0.1:9/') === null"), "true");
}

TEST_F(BrowserPages, PagesOfAnotherSchemeCannotReachTheProgram)
{
    // Even a script that posts to the channel directly is not heard outside mev: pages.
    webkit_web_view_load_html(browser->GetWebView(),
                              "<html><body><script>"
                              "window.webkit.messageHandlers.mevExternal.postMessage("
                              "['ShowIndexImagePath', 'file:///tmp/x.jpg']);"
                              "window.webkit.messageHandlers.mevExternal.postMessage(['WMPAudioDone', null]);"
                              "document.title = 'posted';"
                              "</script></body></html>",
                              nullptr);
    ASSERT_TRUE(WaitFor("document.title", "\"posted\""));
    EXPECT_EQ(Eval("typeof (window.external && window.external.ShowIndexImagePath)"), "\"undefined\"");
    RunMainLoopFor(300);
    EXPECT_TRUE(host.statusTexts.empty());
    EXPECT_TRUE(host.commands.empty());

    // The same call from one of our pages is heard.
    ASSERT_TRUE(NavigateAndWait(*browser, GetBlankPageUrl()));
    browser->ExecScript("window.webkit.messageHandlers.mevExternal.postMessage(['WMPAudioDone', null]);");
    ASSERT_TRUE(RunMainLoopUntil([&] { return !host.commands.empty(); }));
    EXPECT_TRUE(host.HasCommand(ScriptPane::Audio, 32824));
}

} // namespace
} // namespace mev::test
