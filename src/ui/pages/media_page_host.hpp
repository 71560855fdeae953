#pragma once

#include <functional>
#include <string>

namespace mev {

class CMediaPage;
class CPageBrowser;

// What a media page needs of the window that holds it (the main frame).
class CMediaPageHost {
public:
    virtual ~CMediaPageHost() = default;
    virtual void SetStatusMessage(const std::string& text) = 0;
    // Moves the current page's browser URL to the full-screen window, or back.
    virtual void ToggleFullScreen() = 0;
    // Offers a command to the whole command chain; false when nobody took it.
    virtual bool RouteCommand(int id) = 0;
    // The page shown last: the target of page messages and of Change Folder.
    virtual void SetCurrentPage(CMediaPage* page) = 0;
    // The page message (codes 1 to 3) to the page shown last; done, when given, gets its
    // answer (0 when there is no such page).
    virtual void SendPageMessage(int, const std::string&, std::function<void(int)> done) { if (done) done(0); }
    // Full Screen stays enabled while the full-screen window is shown, whatever the
    // page's own browser holds.
    virtual bool IsFullScreenShown() const { return false; }
    // The full-screen window's browser while that window is shown, else nullptr: pictures
    // chosen then go there.
    virtual CPageBrowser* GetShownFullScreenBrowser() { return nullptr; }
};

} // namespace mev
