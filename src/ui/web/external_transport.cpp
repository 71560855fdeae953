#include "ui/web/external_transport.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

#include "ui/web/engine_access.hpp"

namespace mev {

namespace {

// Page scripts see window.external with the six methods under any spelling of their
// names; each call posts [name, args...]. Values that cannot cross as a string or a
// number (the player object, elements) are sent as null and arrive as ScriptObject.
constexpr const char* EXTERNAL_SCRIPT = R"JS((function () {
  'use strict';
  if (location.protocol !== 'mev:' || !window.webkit || !window.webkit.messageHandlers)
    return;
  var port = window.webkit.messageHandlers.mevExternal;
  if (!port)
    return;
  var names = ['IndexImageClicked', 'ReportIndexStatus', 'ReportIndexProgress',
               'ShowIndexImagePath', 'WMPAudioDone', 'WMPVideoDone'];
  var methods = Object.create(null);
  names.forEach(function (name) {
    methods[name.toLowerCase()] = function () {
      var message = [name];
      for (var i = 0; i < arguments.length; ++i) {
        var a = arguments[i];
        message.push(typeof a === 'string' || typeof a === 'number' ? a : null);
      }
      port.postMessage(message);
    };
  });
  var external = new Proxy(Object.create(null), {
    get: function (target, key) {
      return typeof key === 'string' ? methods[key.toLowerCase()] : undefined;
    },
    has: function (target, key) {
      return typeof key === 'string' && (key.toLowerCase() in methods);
    }
  });
  Object.defineProperty(window, 'external',
                        { value: external, configurable: false, enumerable: true, writable: false });
})();
)JS";

constexpr int MAX_ARGUMENTS = 16;

void OnScriptMessage(WebKitUserContentManager*, JSCValue* message, gpointer viewData)
{
    // Only our own pages may reach the program; the view's URI says which page posted.
    if (!IsPageUri(webkit_web_view_get_uri(WEBKIT_WEB_VIEW(viewData))))
        return;
    IScriptHost* host = GetScriptHost();
    if (host == nullptr)
        return;
    std::string name;
    std::vector<ScriptValue> args;
    if (!ConvertScriptMessage(message, name, args))
        return;
    CScriptExternal external(*host);
    external.InvokeByName(name, args);
}

} // namespace

bool IsPageUri(const char* uri)
{
    return uri != nullptr && strncasecmp(uri, "mev:", 4) == 0;
}

bool ConvertScriptMessage(JSCValue* message, std::string& name, std::vector<ScriptValue>& args)
{
    name.clear();
    args.clear();
    if (message == nullptr || !jsc_value_is_array(message))
        return false;
    JSCValue* lengthValue = jsc_value_object_get_property(message, "length");
    const int length = jsc_value_to_int32(lengthValue);
    g_object_unref(lengthValue);
    if (length < 1 || length > MAX_ARGUMENTS + 1)
        return false;
    JSCValue* nameValue = jsc_value_object_get_property_at_index(message, 0);
    const bool named = jsc_value_is_string(nameValue);
    if (named) {
        char* text = jsc_value_to_string(nameValue);
        name = text;
        g_free(text);
    }
    g_object_unref(nameValue);
    if (!named)
        return false;
    for (int i = 1; i < length; ++i) {
        JSCValue* item = jsc_value_object_get_property_at_index(message, static_cast<guint>(i));
        if (jsc_value_is_string(item)) {
            char* text = jsc_value_to_string(item);
            args.emplace_back(std::string(text));
            g_free(text);
        } else if (jsc_value_is_number(item)) {
            const double number = jsc_value_to_double(item);
            if (std::isfinite(number) && std::trunc(number) == number
                && number >= std::numeric_limits<std::int32_t>::min()
                && number <= std::numeric_limits<std::int32_t>::max())
                args.emplace_back(static_cast<std::int32_t>(number));
            else
                args.emplace_back(ScriptObject{});
        } else {
            args.emplace_back(ScriptObject{});
        }
        g_object_unref(item);
    }
    return true;
}

bool ConvertPlayerMessage(JSCValue* message, std::string& what, double& position, double& duration)
{
    if (message == nullptr || !jsc_value_is_array(message))
        return false;
    JSCValue* lengthValue = jsc_value_object_get_property(message, "length");
    const int length = jsc_value_to_int32(lengthValue);
    g_object_unref(lengthValue);
    if (length != 3)
        return false;
    JSCValue* items[3];
    for (int i = 0; i < 3; ++i)
        items[i] = jsc_value_object_get_property_at_index(message, static_cast<guint>(i));
    const bool shaped = jsc_value_is_string(items[0]) && jsc_value_is_number(items[1]) && jsc_value_is_number(items[2]);
    if (shaped) {
        char* text = jsc_value_to_string(items[0]);
        what = text;
        g_free(text);
        position = jsc_value_to_double(items[1]);
        duration = jsc_value_to_double(items[2]);
    }
    for (JSCValue* item : items)
        g_object_unref(item);
    // Positions are seconds within a file: anything else is no report.
    constexpr double LONGEST = 1e9;  // seconds: far beyond any file, far within the microseconds kept
    return shaped && std::isfinite(position) && position >= 0 && position < LONGEST && std::isfinite(duration)
        && duration >= -1 && duration < LONGEST;
}

void InstallExternalTransport(WebKitUserContentManager* manager, WebKitWebView* view)
{
    // Tied to the view: a message that arrives while the view goes away is dropped.
    g_signal_connect_object(manager, "script-message-received::mevExternal", G_CALLBACK(&OnScriptMessage), view,
                            GConnectFlags(0));
    webkit_user_content_manager_register_script_message_handler(manager, EXTERNAL_HANDLER_NAME, nullptr);
    // Its messages go to the view's browser, which connects to it.
    webkit_user_content_manager_register_script_message_handler(manager, PLAYER_HANDLER_NAME, nullptr);
    WebKitUserScript* script = webkit_user_script_new(EXTERNAL_SCRIPT, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
}

} // namespace mev
