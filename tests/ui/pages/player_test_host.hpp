#pragma once

// The window around a player page in the display tests: it records the playback-done
// commands the page scripts post and hands them to the page, as the program does.
#include <string>
#include <vector>

#include "core/pages/page_url.hpp"
#include "core/pages/script_external.hpp"
#include "core/shell/file_names.hpp"
#include "ui/web/page_browser.hpp"
#include "ui/pages/media_page.hpp"
#include "ui/pages/media_page_host.hpp"

namespace mev::test {

class CPlayerHost : public CMediaPageHost, public IScriptHost {
public:
    void SetStatusMessage(const std::string&) override {}
    void ToggleFullScreen() override { ++fullScreenToggles; }
    bool RouteCommand(int) override { return false; }
    void SetCurrentPage(CMediaPage*) override {}
    void PostPaneCommand(ScriptPane, int commandId) override
    {
        done.push_back(commandId);
        if (page != nullptr)
            page->PostCommand(commandId);
    }
    void SetStatusText(const std::string&) override {}
    bool IsImagePaneVisible() const override { return false; }

    CMediaPage* page = nullptr;
    std::vector<int> done;
    int fullScreenToggles = 0;
};

// Appends the file name of every page the browser finishes loading to played. A fresh
// web process may report the first load twice: one entry per page.
inline void RecordPlayedPages(CPageBrowser& browser, std::vector<std::string>& played)
{
    browser.signal_load_finished().connect([&browser, &played] {
        std::string kind;
        std::string path;
        if (ParsePageUrl(browser.GetLocationUrl(), kind, path) && (played.empty() || played.back() != GetFileNamePart(path)))
            played.push_back(GetFileNamePart(path));
    });
}

} // namespace mev::test
