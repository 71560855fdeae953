#include "core/commands/command_router.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/commands/command_ids.hpp"

namespace mev {
namespace {

// A chain link with a table of rules and handlers; it logs every call so the tests can
// see the order in which the router asked.
class CTableTarget : public ICommandTarget {
public:
    struct Rule {
        bool enabled = true;
        bool checked = false;
        bool hasHandler = true;
    };
    CTableTarget(std::string name, std::vector<std::string>& log) : m_name(std::move(name)), m_log(log) {}

    void Add(int id, Rule rule) { m_rules[id] = rule; }

    bool OnUpdateCommand(CCmdUI& ui) override
    {
        m_log.push_back(m_name + ":update:" + std::to_string(ui.id));
        auto it = m_rules.find(ui.id);
        if (it == m_rules.end())
            return false;
        ui.Enable(it->second.enabled);
        ui.SetCheck(it->second.checked);
        return true;
    }

    bool OnCommand(int id) override
    {
        m_log.push_back(m_name + ":command:" + std::to_string(id));
        auto it = m_rules.find(id);
        if (it == m_rules.end() || !it->second.hasHandler)
            return false;
        ++runs[id];
        return true;
    }

    std::map<int, int> runs;

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    std::map<int, Rule> m_rules;
};

struct Chain {
    std::vector<std::string> log;
    CTableTarget view{"view", log}, doc{"doc", log}, tabs{"tabs", log}, page{"page", log},
        frame{"frame", log}, app{"app", log};
    CCommandRouter router{[this] {
        return CCommandRouter::Chain{&view, &doc, &tabs, nullptr, &page, &frame, &app};
    }};
};

TEST(CommandRouter, OffersCommandsAlongTheChainInOrder)
{
    Chain c;
    c.doc.Add(ID_VIEW_CHANGEFOLDER, {});
    c.page.Add(ID_VIEW_CHANGEFOLDER, {});  // shadowed by the document
    c.page.Add(ID_VIEW_FULLSCREEN, {});
    c.frame.Add(ID_VOLUME_UP, {});
    c.app.Add(ID_APP_EXIT, {});

    struct Case {
        int id;
        const char* runsIn;
        std::vector<std::string> expectedLog;
    };
    const std::string cf = std::to_string(ID_VIEW_CHANGEFOLDER);
    const std::string fs = std::to_string(ID_VIEW_FULLSCREEN);
    const std::string ex = std::to_string(ID_APP_EXIT);
    const Case cases[] = {
        {ID_VIEW_CHANGEFOLDER, "doc",
         {"view:update:" + cf, "doc:update:" + cf, "view:command:" + cf, "doc:command:" + cf}},
        {ID_VIEW_FULLSCREEN, "page",
         {"view:update:" + fs, "doc:update:" + fs, "tabs:update:" + fs, "page:update:" + fs,
          "view:command:" + fs, "doc:command:" + fs, "tabs:command:" + fs, "page:command:" + fs}},
        {ID_APP_EXIT, "app",
         {"view:update:" + ex, "doc:update:" + ex, "tabs:update:" + ex, "page:update:" + ex,
          "frame:update:" + ex, "app:update:" + ex, "view:command:" + ex, "doc:command:" + ex,
          "tabs:command:" + ex, "page:command:" + ex, "frame:command:" + ex, "app:command:" + ex}},
    };
    for (const Case& k : cases) {
        c.log.clear();
        EXPECT_TRUE(c.router.Execute(k.id)) << k.id;
        EXPECT_EQ(c.log, k.expectedLog) << k.id;
    }
    EXPECT_EQ(c.doc.runs[ID_VIEW_CHANGEFOLDER], 1);
    EXPECT_EQ(c.page.runs[ID_VIEW_CHANGEFOLDER], 0);
    EXPECT_EQ(c.page.runs[ID_VIEW_FULLSCREEN], 1);
    EXPECT_EQ(c.app.runs[ID_APP_EXIT], 1);
}

TEST(CommandRouter, DisabledOrUnknownCommandsAreIgnored)
{
    Chain c;
    c.page.Add(ID_VIEW_STOP, {.enabled = false});
    c.frame.Add(ID_VIEW_STOP, {});                    // enabled later, but the page's rule decides
    c.tabs.Add(ID_FILE_CREATE_AUTORUN, {.enabled = true, .hasHandler = false});
    c.app.Add(ID_FILE_CREATE_AUTORUN, {});

    EXPECT_FALSE(c.router.Execute(ID_VIEW_STOP));
    EXPECT_EQ(c.page.runs[ID_VIEW_STOP], 0);
    EXPECT_EQ(c.frame.runs[ID_VIEW_STOP], 0);

    // Nobody knows the command: disabled, and nothing runs.
    c.log.clear();
    EXPECT_FALSE(c.router.Execute(ID_TOOLS_TAGEDITOR));
    for (const std::string& entry : c.log)
        EXPECT_EQ(entry.find(":command:"), std::string::npos) << entry;
    CCmdUI ui;
    ui.id = ID_TOOLS_TAGEDITOR;
    ui.checked = true;
    EXPECT_FALSE(c.router.UpdateState(ui));
    EXPECT_FALSE(ui.enabled);
    EXPECT_FALSE(ui.checked);
    EXPECT_EQ(ui.id, ID_TOOLS_TAGEDITOR);

    // A rule that enables the command while its own target has no handler: the handler
    // further down the chain runs.
    EXPECT_TRUE(c.router.Execute(ID_FILE_CREATE_AUTORUN));
    EXPECT_EQ(c.app.runs[ID_FILE_CREATE_AUTORUN], 1);
}

TEST(CommandRouter, StateComesFromTheFirstRuleThatAnswers)
{
    Chain c;
    c.page.Add(ID_VIEW_LOOP, {.enabled = true, .checked = true});
    c.frame.Add(ID_VIEW_LOOP, {.enabled = false, .checked = false});
    c.page.Add(ID_WIDTH_80, {.enabled = true, .checked = false});
    c.view.Add(ID_WIDTH_64, {.enabled = false, .checked = true});

    struct Case {
        int id;
        bool answered, enabled, checked;
    };
    const Case cases[] = {
        {ID_VIEW_LOOP, true, true, true},
        {ID_WIDTH_80, true, true, false},
        {ID_WIDTH_64, true, false, true},
        {ID_WIDTH_32, false, false, false},
    };
    for (const Case& k : cases) {
        CCmdUI ui;
        ui.id = k.id;
        EXPECT_EQ(c.router.UpdateState(ui), k.answered) << k.id;
        EXPECT_EQ(ui.enabled, k.enabled) << k.id;
        EXPECT_EQ(ui.checked, k.checked) << k.id;
    }
}

TEST(CommandRouter, EmptyChainKnowsNothing)
{
    CCommandRouter router{[] { return CCommandRouter::Chain{}; }};
    EXPECT_FALSE(router.Execute(ID_APP_EXIT));
    CCommandRouter noSource{nullptr};
    CCmdUI ui;
    ui.id = ID_APP_EXIT;
    EXPECT_FALSE(noSource.UpdateState(ui));
    EXPECT_FALSE(noSource.Execute(ID_APP_EXIT));
}

} // namespace
} // namespace mev
