#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm/widget.h>
#include <sigc++/signal.h>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GCancellable GCancellable;

namespace mev {

// A script string literal of text, for code handed to a page.
std::string ScriptString(const std::string& text);

// One WebKitWebView showing mev: pages. Every view shares the first view's web process.
// Script calls are asynchronous: their callbacks run later on the main loop, and never
// after the browser has been destroyed.
class CPageBrowser {
public:
    CPageBrowser();
    ~CPageBrowser();
    CPageBrowser(const CPageBrowser&) = delete;
    CPageBrowser& operator=(const CPageBrowser&) = delete;

    Gtk::Widget& GetWidget();
    WebKitWebView* GetWebView() const { return m_view; }

    // A raw mev: URL with a '/' path; the text after the first '?' is percent-encoded so
    // that any file name reaches the page engine unchanged.
    void Navigate(const std::string& url);
    // Lets the page shown make itself url's page: its script function, given argument
    // and url's encoded form, answers true once it has (its address then reads url).
    // Without such a function, or when it answers otherwise, url loads as with Navigate.
    // Until the page has answered, GetLocationUrl gives url.
    void NavigateInPage(const std::string& url, const std::string& function, const std::string& argument);
    void Refresh();
    // True while a page is still coming in.
    bool IsLoading() const;
    // The address shown, or while a navigation is under way the one it goes to; empty
    // before the first navigation.
    std::string GetLocationUrl() const;

    void HasScriptFunction(const std::string& name, std::function<void(bool)> done);
    void ExecScript(const std::string& code, std::function<void(bool ok)> done = {});
    void CallScriptFunction(const std::string& name, std::function<void(bool called)> done = {});
    void EvaluateScript(const std::string& code, std::function<void(bool ok, std::string jsonResult)> done);
    // The strings of the array the script's value is, read from the engine's own values
    // (items that are not strings are left out); ok is false when the value is no array.
    void EvaluateStringList(const std::string& code, std::function<void(bool ok, std::vector<std::string> items)> done);
    void InAutoPlayMode(std::function<void(bool)> done);
    void StopAutoPlay(std::function<void(bool)> done = {});

    // Replaces the view with one of the context that plays media now, when this one is
    // of another (see AddMediaFolder); the new view shows nothing yet. True when replaced:
    // signal_view_replaced has then told the owner to show GetWidget() instead.
    bool MoveToMediaContext();

    // Every page of this browser on black, and black before a page has painted: for
    // the full-screen window, where a white flash between pictures glares.
    void SetBlackBackdrop();
    // The page's title, as its script sets it.
    std::string GetTitle() const;

    void SetContextMenuId(int menuId);
    int GetContextMenuId() const { return m_menuId; }
    void SetOffScreen(bool offScreen);

    sigc::signal<void(const std::string&)>& signal_status_text() { return m_signalStatusText; }
    sigc::signal<void()>& signal_load_finished() { return m_signalLoadFinished; }
    sigc::signal<void()>& signal_view_replaced() { return m_signalViewReplaced; }
    // A player page's report on its player: what ("playing", "paused", "seeked", "time"),
    // position and duration in seconds (-1: not known).
    using PlayerStateSignal = sigc::signal<void(const std::string& what, double position, double duration)>;
    PlayerStateSignal& signal_player_state() { return m_signalPlayerState; }

private:
    struct Callbacks;
    void AttachView(WebKitWebView* view);
    void ApplyBlackBackdrop();
    void RunScript(const std::string& code, std::function<void(bool ok, std::string json)> done);
    void PostResult(std::function<void()> result);
    void ShowStatusText(const std::string& text);
    // Gives the message line back when this browser's link text is on it.
    void ClearStatusText();
    // The web process ended under this view: its page comes back, or the blank page when
    // the same page ended it shortly before as well.
    void RecoverPage();

    WebKitWebView* m_view = nullptr;
    Gtk::Widget* m_widget = nullptr;
    std::shared_ptr<bool> m_alive;
    GCancellable* m_cancellable = nullptr;
    int m_menuId = 0;
    // The engine reports no address at all while the first load of a view starts, or
    // after it was cancelled; until something commits, this last request stands for it.
    std::string m_lastRequest;
    // The encoded URL a page was asked to turn into by NavigateInPage, until it answers.
    std::string m_inPageRequest;
    // The encoded URL a page turned into, until the engine's address says so too.
    std::string m_inPageShown;
    // Loads asked for (not turns within a page): a page's answer to a turn asked for
    // before the last of them counts for nothing.
    std::uint64_t m_loads = 0;
    bool m_offScreen = false;
    std::string m_lostPage;
    std::int64_t m_lostAt = 0;
    bool m_recovering = false;
    std::string m_statusText;
    sigc::connection m_leaveConnection;
    sigc::connection m_unmapConnection;
    // Ends a web process that has stopped answering.
    sigc::connection m_hangTimer;
    sigc::signal<void(const std::string&)> m_signalStatusText;
    sigc::signal<void()> m_signalLoadFinished;
    bool m_blackBackdrop = false;
    sigc::signal<void()> m_signalViewReplaced;
    PlayerStateSignal m_signalPlayerState;
};

} // namespace mev
