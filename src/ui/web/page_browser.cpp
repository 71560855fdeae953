#include "ui/web/page_browser.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <glibmm/main.h>
#include <gtkmm/eventcontrollermotion.h>
#include <webkit/webkit.h>

#include "core/pages/picture_generators.hpp"
#include "core/shell/url.hpp"
#include "platform/session_bus.hpp"
#include "ui/web/engine_access.hpp"
#include "ui/web/external_transport.hpp"

namespace mev {

namespace {

bool IsScriptIdentifier(const std::string& name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$')
            return false;
    }
    return true;
}

bool HasScheme(const char* uri, const char* scheme)
{
    const std::size_t length = std::strlen(scheme);
    return uri != nullptr && g_ascii_strncasecmp(uri, scheme, length) == 0 && uri[length] == ':';
}

// Pages of other schemes never load in our views; links the user follows to the web or
// to mail open in the desktop's own programs. Everything else is simply refused.
bool MayOpenOutside(const char* uri)
{
    return HasScheme(uri, "http") || HasScheme(uri, "https") || HasScheme(uri, "mailto") || HasScheme(uri, "ftp");
}

void OpenOutside(const char* uri)
{
    GError* error = nullptr;
    GAppLaunchContext* context = NewLaunchContext();
    if (!g_app_info_launch_default_for_uri(uri, context, &error))
        g_error_free(error);
    g_object_unref(context);
}

// The text GTK is handed must be UTF-8; a decoded link that is not stays encoded.
std::string ReadableUrl(const char* uri)
{
    std::string decoded = DecodeUrl(uri);
    if (g_utf8_validate(decoded.data(), static_cast<gssize>(decoded.size()), nullptr))
        return decoded;
    return uri;
}

std::string ImagePathUnder(WebKitHitTestResult* hit)
{
    if (!webkit_hit_test_result_context_is_image(hit))
        return {};
    const char* uri = webkit_hit_test_result_get_image_uri(hit);
    std::string path;
    // A thumbnail shows its picture through a mev: URL that names it.
    if (uri == nullptr || (!FileUrlToPath(DecodeUrl(uri), path) && !PicturePathOfUrl(uri, path)))
        return {};
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec))
        return {};
    return path;
}

std::string EncodedTarget(const std::string& url)
{
    const auto query = url.find('?');
    return query == std::string::npos ? url : url.substr(0, query + 1) + EncodeUrlPath(url.substr(query + 1));
}

// A script's value is handed on either as JSON text or, for a list, as its strings.
struct ScriptCall {
    std::weak_ptr<bool> alive;
    std::function<void(bool, std::string)> done;
    std::function<void(bool, std::vector<std::string>)> doneList;
};

// The string items of an array value, in order.
bool ReadStringArray(JSCValue* value, std::vector<std::string>& items)
{
    if (!jsc_value_is_array(value))
        return false;
    JSCValue* lengthValue = jsc_value_object_get_property(value, "length");
    const std::int32_t length = jsc_value_to_int32(lengthValue);
    g_object_unref(lengthValue);
    for (std::int32_t i = 0; i < length; ++i) {
        JSCValue* item = jsc_value_object_get_property_at_index(value, static_cast<guint>(i));
        if (jsc_value_is_string(item)) {
            char* text = jsc_value_to_string(item);
            items.emplace_back(text != nullptr ? text : "");
            g_free(text);
        }
        g_object_unref(item);
    }
    return true;
}

} // namespace

std::string ScriptString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

struct CPageBrowser::Callbacks {
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self)
    {
        // A link of the page that goes away no longer stands under the pointer.
        if (event == WEBKIT_LOAD_STARTED) {
            static_cast<CPageBrowser*>(self)->ClearStatusText();
            static_cast<CPageBrowser*>(self)->m_inPageShown.clear();
        }
        if (event == WEBKIT_LOAD_FINISHED) {
            auto* browser = static_cast<CPageBrowser*>(self);
            // A lost page's time to bring the process down again counts from its return:
            // a reload that takes long on a busy machine is no reason to trust it again.
            if (browser->m_recovering) {
                browser->m_recovering = false;
                browser->m_lostAt = g_get_monotonic_time();
            }
            browser->m_signalLoadFinished.emit();
        }
    }

    // A page that cannot be produced simply does not load: no error page.
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer) { return TRUE; }

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer)
    {
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
            return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION
            && (IsPageUri(uri) || g_strcmp0(uri, "about:blank") == 0)) {
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        webkit_policy_decision_ignore(decision);
        const bool followed = webkit_navigation_action_is_user_gesture(action)
            || webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
        if (followed && MayOpenOutside(uri))
            OpenOutside(uri);
        return TRUE;
    }

    static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self)
    {
        // Every view of the process hears this; each brings back its own page once the
        // engine has finished with the old process.
        auto* browser = static_cast<CPageBrowser*>(self);
        std::weak_ptr<bool> alive = browser->m_alive;
        Glib::signal_idle().connect_once([alive, browser] {
            if (!alive.expired())
                browser->RecoverPage();
        });
    }

    static void OnUriChanged(WebKitWebView* view, GParamSpec*, gpointer self)
    {
        // The engine's address has caught up with the file a page turned into.
        auto* browser = static_cast<CPageBrowser*>(self);
        const char* uri = webkit_web_view_get_uri(view);
        if (uri != nullptr && browser->m_inPageShown == uri)
            browser->m_inPageShown.clear();
    }

    static void OnResponsiveChanged(WebKitWebView* view, GParamSpec*, gpointer self)
    {
        // A web process that stops answering (stuck in a read, stopped) holds every view
        // it serves. The engine says so after a few seconds without an answer; a little
        // later it is ended, and the views come back as after a crash.
        constexpr unsigned GRACE_MS = 3000;
        auto* browser = static_cast<CPageBrowser*>(self);
        browser->m_hangTimer.disconnect();
        if (webkit_web_view_get_is_web_process_responsive(view))
            return;
        browser->m_hangTimer = Glib::signal_timeout().connect(
            [view] {
                if (!webkit_web_view_get_is_web_process_responsive(view))
                    webkit_web_view_terminate_web_process(view);
                return false;
            },
            GRACE_MS);
    }

    static void OnPlayerMessage(WebKitUserContentManager*, JSCValue* message, gpointer self)
    {
        auto* browser = static_cast<CPageBrowser*>(self);
        std::string what;
        double position = 0;
        double duration = -1;
        if (IsPageUri(webkit_web_view_get_uri(browser->m_view))
            && ConvertPlayerMessage(message, what, position, duration))
            browser->m_signalPlayerState.emit(what, position, duration);
    }

    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

    static void OnMouseTargetChanged(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self)
    {
        std::string text;
        if (webkit_hit_test_result_context_is_link(hit)) {
            if (const char* uri = webkit_hit_test_result_get_link_uri(hit))
                text = ReadableUrl(uri);
        }
        static_cast<CPageBrowser*>(self)->ShowStatusText(text);
    }

    static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, WebKitHitTestResult* hit,
                                  gpointer data)
    {
        auto* self = static_cast<CPageBrowser*>(data);
        // A copy: the provider may replace itself while its menu is up.
        const ContextMenuProvider provider = GetContextMenuProvider();
        if (self->m_menuId == 0 || !provider)
            return TRUE; // WebKit's own menu is never shown
        double x = 0;
        double y = 0;
        if (GdkEvent* event = webkit_context_menu_get_event(menu); event != nullptr && gdk_event_get_position(event, &x, &y)) {
            // The event is in surface coordinates; the menu wants the view's.
            if (GtkNative* native = gtk_widget_get_native(GTK_WIDGET(view))) {
                double nx = 0;
                double ny = 0;
                gtk_native_get_surface_transform(native, &nx, &ny);
                gtk_widget_translate_coordinates(GTK_WIDGET(native), GTK_WIDGET(view), x - nx, y - ny, &x, &y);
            }
        }
        const std::string imagePath = ImagePathUnder(hit);
        const int menuId = self->m_menuId;
        provider(menuId, *self->m_widget, x, y, imagePath);
        return TRUE;
    }

    static void OnScriptDone(GObject* source, GAsyncResult* result, gpointer data)
    {
        std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        std::string json;
        std::vector<std::string> items;
        bool ok = value != nullptr;
        if (value != nullptr) {
            if (call->doneList) {
                ok = ReadStringArray(value, items);
            } else if (!jsc_value_is_undefined(value)) {
                if (char* text = jsc_value_to_json(value, 0)) {
                    json = text;
                    g_free(text);
                }
            }
            g_object_unref(value);
        }
        if (error != nullptr)
            g_error_free(error);
        if (call->alive.expired())
            return;
        if (call->doneList)
            call->doneList(ok, std::move(items));
        else if (call->done)
            call->done(ok, json);
    }
};

CPageBrowser::CPageBrowser() : m_alive(std::make_shared<bool>(true))
{
    m_cancellable = g_cancellable_new();
    AttachView(NewPageView());
}

void CPageBrowser::AttachView(WebKitWebView* view)
{
    m_view = view;
    m_widget = Glib::wrap(GTK_WIDGET(m_view));
    gtk_widget_set_hexpand(GTK_WIDGET(m_view), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(m_view), TRUE);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(&Callbacks::OnLoadChanged), this);
    g_signal_connect(m_view, "load-failed", G_CALLBACK(&Callbacks::OnLoadFailed), this);
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(&Callbacks::OnDecidePolicy), this);
    g_signal_connect(m_view, "create", G_CALLBACK(&Callbacks::OnCreate), this);
    g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(&Callbacks::OnWebProcessTerminated), this);
    m_hangTimer.disconnect();
    g_signal_connect(m_view, "notify::is-web-process-responsive", G_CALLBACK(&Callbacks::OnResponsiveChanged), this);
    g_signal_connect(m_view, "notify::uri", G_CALLBACK(&Callbacks::OnUriChanged), this);
    g_signal_connect(m_view, "mouse-target-changed", G_CALLBACK(&Callbacks::OnMouseTargetChanged), this);
    g_signal_connect(m_view, "context-menu", G_CALLBACK(&Callbacks::OnContextMenu), this);
    g_signal_connect(webkit_web_view_get_user_content_manager(m_view), "script-message-received::mevPlayer",
                     G_CALLBACK(&Callbacks::OnPlayerMessage), this);
    if (m_blackBackdrop)
        ApplyBlackBackdrop();
    // The engine reports no change of target when the pointer jumps straight off a link
    // and out of the view, or when the view leaves the screen (another tab).
    auto motion = Gtk::EventControllerMotion::create();
    m_leaveConnection = motion->signal_leave().connect([this] { ClearStatusText(); });
    m_widget->add_controller(motion);
    m_unmapConnection = m_widget->signal_unmap().connect([this] { ClearStatusText(); });
}

CPageBrowser::~CPageBrowser()
{
    m_alive.reset();
    m_hangTimer.disconnect();
    m_leaveConnection.disconnect();
    m_unmapConnection.disconnect();
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(m_view), this);
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_object_unref(m_view);
}

bool CPageBrowser::MoveToMediaContext()
{
    if (IsMediaContext(m_view))
        return false;
    WebKitWebView* old = m_view;
    // Script calls still waiting on the old view answer as failed.
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    m_cancellable = g_cancellable_new();
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(old), this);
    g_signal_handlers_disconnect_by_data(old, this);
    AttachView(NewPageView(true));
    m_lastRequest.clear();
    m_inPageRequest.clear();
    m_inPageShown.clear();
    ++m_loads;
    m_statusText.clear();
    // The owner puts the new view where the old one was.
    m_signalViewReplaced.emit();
    g_object_unref(old);
    return true;
}

void CPageBrowser::SetBlackBackdrop()
{
    if (m_blackBackdrop)
        return;
    m_blackBackdrop = true;
    ApplyBlackBackdrop();
}

void CPageBrowser::ApplyBlackBackdrop()
{
    const GdkRGBA black{0, 0, 0, 1};
    webkit_web_view_set_background_color(m_view, &black);
    WebKitUserStyleSheet* sheet = webkit_user_style_sheet_new(
        "html, body { background-color: #000000 !important; color: #d0d0d0 !important; }",
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(webkit_web_view_get_user_content_manager(m_view), sheet);
    webkit_user_style_sheet_unref(sheet);
}

std::string CPageBrowser::GetTitle() const
{
    const char* title = webkit_web_view_get_title(m_view);
    return title != nullptr ? title : "";
}

Gtk::Widget& CPageBrowser::GetWidget()
{
    return *m_widget;
}

void CPageBrowser::Navigate(const std::string& url)
{
    const std::string target = EncodedTarget(url);
    m_lastRequest = target;
    m_inPageRequest.clear();
    m_inPageShown.clear();
    ++m_loads;
    webkit_web_view_load_uri(m_view, target.c_str());
}

void CPageBrowser::NavigateInPage(const std::string& url, const std::string& function, const std::string& argument)
{
    // Only the page last asked for may turn itself into the next: a load still on its
    // way would replace it. (A player page counts as loading for as long as its media
    // streams in, so the load state cannot tell.) A turn within the page still on its way
    // counts as made: the page takes the calls in turn, so this one follows it.
    const char* shown = !m_inPageRequest.empty() ? m_inPageRequest.c_str()
        : m_inPageShown.empty()                  ? webkit_web_view_get_uri(m_view)
                                                 : m_inPageShown.c_str();
    if (!IsScriptIdentifier(function) || shown == nullptr || *shown == '\0' || m_lastRequest != shown) {
        Navigate(url);
        return;
    }
    const std::string target = EncodedTarget(url);
    m_lastRequest = target;
    m_inPageRequest = target;
    RunScript("(typeof " + function + " === 'function') ? !!" + function + "(" + ScriptString(argument) + ", "
                  + ScriptString(target) + ") : false",
              [this, target, loads = m_loads](bool ok, const std::string& json) {
                  // A load since then has the last word. A later turn within the page
                  // comes after this one, which the page made all the same (auto play
                  // on a busy machine: a short file ended before its turn was answered).
                  if (m_loads != loads)
                      return;
                  const bool latest = m_inPageRequest == target;
                  if (latest)
                      m_inPageRequest.clear();
                  if (ok && json == "true") {
                      // The page changed its address before it answered, but the engine
                      // may tell this side of it later: until then the address is this.
                      m_inPageShown = target;
                      if (latest) {
                          m_signalLoadFinished.emit();
                          return;
                      }
                      // Told as this file, while the later turn waits for its answer.
                      std::string later = std::move(m_inPageRequest);
                      m_inPageRequest.clear();
                      m_signalLoadFinished.emit();
                      if (m_loads == loads && m_inPageRequest.empty())
                          m_inPageRequest = std::move(later);
                      return;
                  }
                  if (latest)
                      webkit_web_view_load_uri(m_view, target.c_str());
              });
}

void CPageBrowser::Refresh()
{
    // A page still asked to turn into another is left for that one, loaded afresh.
    ++m_loads;
    if (!m_inPageRequest.empty()) {
        const std::string target = m_inPageRequest;
        m_inPageRequest.clear();
        webkit_web_view_load_uri(m_view, target.c_str());
        return;
    }
    webkit_web_view_reload(m_view);
}

bool CPageBrowser::IsLoading() const
{
    return webkit_web_view_is_loading(m_view);
}

std::string CPageBrowser::GetLocationUrl() const
{
    if (!m_inPageRequest.empty())
        return DecodeUrl(m_inPageRequest);
    if (!m_inPageShown.empty())
        return DecodeUrl(m_inPageShown);
    const char* uri = webkit_web_view_get_uri(m_view);
    return DecodeUrl(uri != nullptr && *uri != '\0' ? std::string(uri) : m_lastRequest);
}

void CPageBrowser::HasScriptFunction(const std::string& name, std::function<void(bool)> done)
{
    if (!IsScriptIdentifier(name)) {
        PostResult([done] { if (done) done(false); });
        return;
    }
    RunScript("typeof " + name + " === 'function'",
              [done](bool ok, const std::string& json) { if (done) done(ok && json == "true"); });
}

void CPageBrowser::ExecScript(const std::string& code, std::function<void(bool ok)> done)
{
    if (code.empty()) {
        PostResult([done] { if (done) done(false); });
        return;
    }
    // The statement's own value is not wanted, and might be one (an element) that
    // cannot leave the page.
    RunScript(code + "\n;void 0;", [done](bool ok, const std::string&) { if (done) done(ok); });
}

void CPageBrowser::CallScriptFunction(const std::string& name, std::function<void(bool called)> done)
{
    if (!IsScriptIdentifier(name)) {
        PostResult([done] { if (done) done(false); });
        return;
    }
    // Tested and called in one script, so the page cannot change in between.
    RunScript("(typeof " + name + " === 'function') ? (" + name + "(), true) : false",
              [done](bool ok, const std::string& json) { if (done) done(ok && json == "true"); });
}

void CPageBrowser::EvaluateScript(const std::string& code, std::function<void(bool ok, std::string jsonResult)> done)
{
    if (code.empty()) {
        PostResult([done] { if (done) done(false, {}); });
        return;
    }
    RunScript(code, std::move(done));
}

void CPageBrowser::EvaluateStringList(const std::string& code,
                                      std::function<void(bool ok, std::vector<std::string> items)> done)
{
    auto* call = new ScriptCall{m_alive, {}, done ? std::move(done) : [](bool, std::vector<std::string>) {}};
    webkit_web_view_evaluate_javascript(m_view, code.c_str(), static_cast<gssize>(code.size()), nullptr, nullptr,
                                        m_cancellable, &Callbacks::OnScriptDone, call);
}

void CPageBrowser::InAutoPlayMode(std::function<void(bool)> done)
{
    RunScript("(typeof InAutoPlayMode === 'function') ? !!InAutoPlayMode() : false",
              [done](bool ok, const std::string& json) { if (done) done(ok && json == "true"); });
}

void CPageBrowser::StopAutoPlay(std::function<void(bool)> done)
{
    RunScript("(typeof StopAutoPlay === 'function') ? (StopAutoPlay(), true) : false",
              [done](bool ok, const std::string& json) { if (done) done(ok && json == "true"); });
}

void CPageBrowser::SetContextMenuId(int menuId)
{
    m_menuId = menuId;
}

void CPageBrowser::SetOffScreen(bool offScreen)
{
    m_offScreen = offScreen;
}

void CPageBrowser::RunScript(const std::string& code, std::function<void(bool ok, std::string json)> done)
{
    auto* call = new ScriptCall{m_alive, std::move(done), {}};
    webkit_web_view_evaluate_javascript(m_view, code.c_str(), static_cast<gssize>(code.size()), nullptr, nullptr,
                                        m_cancellable, &Callbacks::OnScriptDone, call);
}

void CPageBrowser::PostResult(std::function<void()> result)
{
    std::weak_ptr<bool> alive = m_alive;
    Glib::signal_idle().connect_once([alive, result] {
        if (!alive.expired())
            result();
    });
}

void CPageBrowser::RecoverPage()
{
    // A page that brings the process down again within this time of coming back would
    // only do it again.
    constexpr std::int64_t REPEAT_WINDOW = 10 * G_USEC_PER_SEC;
    const char* uri = webkit_web_view_get_uri(m_view);
    const std::string page = uri != nullptr && *uri != '\0' ? std::string(uri) : m_lastRequest;
    if (page.empty())
        return;
    const std::int64_t now = g_get_monotonic_time();
    const bool again = page == m_lostPage && now - m_lostAt < REPEAT_WINDOW;
    m_lostPage = page;
    m_lostAt = now;
    ClearStatusText();
    m_recovering = !again;
    if (!again) {
        m_lastRequest = page;
        webkit_web_view_load_uri(m_view, page.c_str());
        return;
    }
    const std::string blank = GetBlankPageUrl();
    if (DecodeUrl(page) != blank)
        Navigate(blank);
}

void CPageBrowser::ClearStatusText()
{
    if (m_statusText.empty())
        return;
    m_statusText.clear();
    m_signalStatusText.emit({});
}

void CPageBrowser::ShowStatusText(const std::string& text)
{
    // Only the browser the user sees speaks to the status line.
    if (m_offScreen || !gtk_widget_get_mapped(GTK_WIDGET(m_view)) || text == m_statusText)
        return;
    m_statusText = text;
    m_signalStatusText.emit(text);
}

} // namespace mev
