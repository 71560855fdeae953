#include "ui/web/browser_engine.hpp"

#include <algorithm>
#include <filesystem>
#include <set>

#include <sys/stat.h>

#include <gio/gunixinputstream.h>
#include <webkit/webkit.h>

#include "core/files/user_file.hpp"
#include "core/pages/file_request.hpp"
#include "platform/session_bus.hpp"
#include "ui/web/engine_access.hpp"
#include "ui/web/external_transport.hpp"
#include "ui/web/page_request.hpp"
#include "ui/web/page_stream.hpp"

namespace mev {

namespace {

struct EngineState {
    bool initialised = false;
    WebKitWebContext* context = nullptr;
    // The context whose web process plays media, and the folders its sandbox shows.
    // It starts as the shared one; a folder outside its sandbox gets a fresh context,
    // since a sandbox cannot grow once its first process runs.
    WebKitWebContext* mediaContext = nullptr;
    std::vector<std::string> mediaFolders;
    WebKitSettings* settings = nullptr;
    IScriptHost* host = nullptr;
    ContextMenuProvider menuProvider;
    // Live views; a new view is related to one of them so that all share a web process.
    std::vector<WebKitWebView*> views;
};

EngineState& State()
{
    static EngineState state;
    return state;
}

void FinishWithError(WebKitURISchemeRequest* request, const char* uri)
{
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "no page for %s", uri != nullptr ? uri : "");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

void FinishWithStream(WebKitURISchemeRequest* request, GInputStream* stream, gint64 length, const char* contentType,
                      bool shared = false)
{
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, length);
    webkit_uri_scheme_response_set_content_type(response, contentType);
    if (shared) {
        // Files are fetched by pages of other mev: hosts; only local pages reach the
        // scheme at all.
        SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
        soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
        // Said again among the headers: the engine compiles WebAssembly as it streams in
        // only when they name its type, and otherwise waits for the whole file.
        soup_message_headers_append(headers, "Content-Type", contentType);
        webkit_uri_scheme_response_set_http_headers(response, headers); // takes the headers
    }
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
}

// A file named by its URL path (the Flash emulator's files, a Flash movie), read as it is.
bool ServeFile(WebKitURISchemeRequest* request, const char* uri)
{
    FileRequest file;
    if (uri == nullptr || !ParseFileRequestUrl(uri, file))
        return false;
    // Opened without blocking and only as a regular file: this runs on the main loop.
    CUniqueFd fd;
    struct stat info {};
    if (!OpenRegularFile(file.path, fd) || fstat(fd.Get(), &info) != 0) {
        FinishWithError(request, uri);
        return true;
    }
    GInputStream* stream = g_unix_input_stream_new(fd.Release(), TRUE);
    FinishWithStream(request, stream, static_cast<gint64>(info.st_size), file.contentType.c_str(), true);
    return true;
}

void OnSchemeRequest(WebKitURISchemeRequest* request, gpointer)
{
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    if (ServeFile(request, uri))
        return;
    auto pageRequest = CPageRequest::Start(uri != nullptr ? uri : "");
    if (!pageRequest) {
        FinishWithError(request, uri);
        return;
    }
    const std::string contentType = pageRequest->GetContentType();
    FinishWithStream(request, NewPageStream(std::move(pageRequest)), -1, contentType.c_str());
}

// The user's languages as language tags ("de_AT.UTF-8" becomes "de-AT"), for pages'
// navigator.language. Under the C locale WebKit would offer "c", which Intl refuses:
// the Flash emulator, for one, then cannot start.
std::vector<std::string> PreferredLanguages()
{
    std::vector<std::string> tags;
    for (const char* const* name = g_get_language_names(); *name != nullptr; ++name) {
        std::string tag = *name;
        tag = tag.substr(0, tag.find_first_of(".@"));
        if (tag.empty() || tag == "C" || tag == "POSIX")
            continue;
        std::replace(tag.begin(), tag.end(), '_', '-');
        if (std::find(tags.begin(), tags.end(), tag) == tags.end())
            tags.push_back(tag);
    }
    if (tags.empty())
        tags.push_back("en-US");
    return tags;
}

// Everything a context needs to show the program's pages.
void RegisterPageScheme(WebKitWebContext* context)
{
    webkit_web_context_register_uri_scheme(context, "mev", &OnSchemeRequest, nullptr, nullptr);
    // A local scheme may show file:// pictures and play file:// media, which the
    // generated pages consist of.
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_local(security, "mev");
    // The Flash page fetches the emulator's WebAssembly and the movie from other mev:
    // hosts than its own.
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "mev");

    const std::vector<std::string> languages = PreferredLanguages();
    std::vector<const char*> languageList;
    for (const auto& language : languages)
        languageList.push_back(language.c_str());
    languageList.push_back(nullptr);
    webkit_web_context_set_preferred_languages(context, languageList.data());
}

std::string NormalFolder(const std::string& folder)
{
    std::string text = std::filesystem::path(folder).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool LiesIn(const std::string& path, const std::string& folder)
{
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0
                              && (folder.back() == '/' || path[folder.size()] == '/'));
}

// WebKit aborts on paths it will not mount (/, /sys, /proc, /dev) and bubblewrap cannot
// mount the home folder or a folder above it; such folders are left out.
bool CanMountInSandbox(const std::filesystem::path& path)
{
    if (!path.is_absolute() || path == path.root_path())
        return false;
    const std::string first = std::next(path.begin())->string();
    if (first.empty() || first == "sys" || first == "proc" || first == "dev")
        return false;
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec) && !std::filesystem::is_regular_file(path, ec))
        return false;
    if (const char* home = g_get_home_dir(); home != nullptr && *home != '\0') {
        const std::filesystem::path homePath = std::filesystem::path(home).lexically_normal();
        const auto rel = homePath.lexically_relative(path);
        if (!rel.empty() && rel.native().rfind("..", 0) != 0)
            return false; // path is the home folder or lies above it
    }
    return true;
}

void OnViewGone(gpointer, GObject* view)
{
    auto& views = State().views;
    views.erase(std::remove(views.begin(), views.end(), reinterpret_cast<WebKitWebView*>(view)), views.end());
}

} // namespace

void InitBrowserEngine(const std::vector<std::string>& sandboxFolders)
{
    EngineState& state = State();
    if (state.initialised)
        return;
    state.initialised = true;
    // Before any web process starts: the media controls are the program's (see there).
    ClaimSessionBus();
    state.context = webkit_web_context_get_default();
    // The program's pages are generated, local and never revisited from a history, so
    // neither a page cache nor a resource cache earns its memory.
    webkit_web_context_set_cache_model(state.context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);

    std::set<std::string> added;
    for (const auto& folder : sandboxFolders) {
        const std::string text = NormalFolder(folder);
        if (!CanMountInSandbox(text) || !added.insert(text).second)
            continue;
        webkit_web_context_add_path_to_sandbox(state.context, text.c_str(), TRUE);
        state.mediaFolders.push_back(text);
    }
    state.mediaContext = state.context;
    RegisterPageScheme(state.context);

    state.settings = webkit_settings_new();
    webkit_settings_set_default_charset(state.settings, "UTF-8");
    webkit_settings_set_javascript_can_open_windows_automatically(state.settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(state.settings, FALSE);
    // Composited rendering keeps a GL context and its buffers in the web process (about
    // 130 MB with software GL), which pages of pictures, players and a Flash stage do
    // not need: they paint as well without it.
    webkit_settings_set_hardware_acceleration_policy(state.settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

void SetScriptHost(IScriptHost* host)
{
    State().host = host;
}

void SetContextMenuProvider(ContextMenuProvider provider)
{
    State().menuProvider = std::move(provider);
}

IScriptHost* GetScriptHost()
{
    return State().host;
}

const ContextMenuProvider& GetContextMenuProvider()
{
    return State().menuProvider;
}

bool AddMediaFolder(const std::string& folder)
{
    EngineState& state = State();
    if (!state.initialised)
        InitBrowserEngine({});
    const std::string text = NormalFolder(folder);
    for (const std::string& shown : state.mediaFolders) {
        if (LiesIn(text, shown))
            return false;
    }
    if (!CanMountInSandbox(text))
        return false;
    state.mediaFolders.push_back(text);
    WebKitWebContext* context = webkit_web_context_new();
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    for (const std::string& shown : state.mediaFolders) {
        std::error_code ec;
        if (std::filesystem::exists(shown, ec))
            webkit_web_context_add_path_to_sandbox(context, shown.c_str(), TRUE);
    }
    RegisterPageScheme(context);
    // Earlier media contexts stay: views may still show pages of them.
    state.mediaContext = context;
    return true;
}

bool IsMediaContext(WebKitWebView* view)
{
    const EngineState& state = State();
    return view != nullptr && webkit_web_view_get_context(view) == state.mediaContext;
}

WebKitWebView* NewPageView(bool forMedia)
{
    EngineState& state = State();
    if (!state.initialised)
        InitBrowserEngine({});
    WebKitWebContext* context = forMedia ? state.mediaContext : state.context;
    WebKitWebView* relative = nullptr;
    for (WebKitWebView* view : state.views) {
        if (webkit_web_view_get_context(view) == context) {
            relative = view;
            break;
        }
    }

    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    WebKitWebsitePolicies* policies = webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
    GObject* object = nullptr;
    if (relative != nullptr) {
        object = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", relative, "settings",
                                       state.settings, "user-content-manager", manager, "website-policies",
                                       policies, nullptr));
    } else {
        object = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings",
                                       state.settings, "user-content-manager", manager, "website-policies",
                                       policies, nullptr));
    }
    g_object_unref(policies);
    auto* view = WEBKIT_WEB_VIEW(g_object_ref_sink(object));
    InstallExternalTransport(manager, view);
    g_object_unref(manager);

    state.views.push_back(view);
    g_object_weak_ref(G_OBJECT(view), &OnViewGone, nullptr);
    // G_MESSAGES_DEBUG=mev shows when views are made, for counting what a session costs.
    g_log("mev", G_LOG_LEVEL_DEBUG, "web view made, %zu live", state.views.size());
    return view;
}

} // namespace mev
