#pragma once

// A window with one page browser and a script host that records what the pages report.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtkmm/window.h>

#include "core/pages/script_external.hpp"
#include "ui/web/browser_engine.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/ui_test_support.hpp"

namespace mev::test {

class CRecordingScriptHost : public IScriptHost {
public:
    void PostPaneCommand(ScriptPane pane, int commandId) override { commands.emplace_back(pane, commandId); }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    bool IsImagePaneVisible() const override { return imagePaneVisible; }

    bool HasCommand(ScriptPane pane, int commandId) const
    {
        for (const auto& command : commands) {
            if (command.first == pane && command.second == commandId)
                return true;
        }
        return false;
    }

    std::vector<std::pair<ScriptPane, int>> commands;
    std::vector<std::string> statusTexts;
    bool imagePaneVisible = true;
};

class BrowserFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        SetScriptHost(&host);
        window = std::make_unique<Gtk::Window>();
        window->set_title("mev browser test");
        window->set_default_size(800, 600);
        browser = std::make_unique<CPageBrowser>();
        window->set_child(browser->GetWidget());
        window->present();
        RunMainLoopUntil([this] { return browser->GetWidget().get_mapped(); });
    }

    void TearDown() override
    {
        SetScriptHost(nullptr);
        SetContextMenuProvider({});
        window->unset_child();
        browser.reset();
        window->destroy();
        window.reset();
        RunMainLoopFor(50);
    }

    // The JSON value of an expression, "" on failure.
    std::string Eval(const std::string& code)
    {
        std::string json;
        if (!EvaluateInPage(*browser, code, json))
            return "";
        return json;
    }

    // Waits until the expression's JSON value is expected.
    bool WaitFor(const std::string& code, const std::string& expected, int timeoutMs = EVENT_WAIT_MS)
    {
        return RunMainLoopUntil([&] { return Eval(code) == expected; }, timeoutMs);
    }

    CRecordingScriptHost host;
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<CPageBrowser> browser;
};

} // namespace mev::test
