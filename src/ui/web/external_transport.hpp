#pragma once

#include <string>
#include <vector>

#include <webkit/webkit.h>

#include "core/pages/script_external.hpp"

namespace mev {

// The script message channel that carries window.external calls out of the page.
inline constexpr const char* EXTERNAL_HANDLER_NAME = "mevExternal";
// The channel the player pages tell what their player does on: [what, position, duration].
inline constexpr const char* PLAYER_HANDLER_NAME = "mevPlayer";

// Injects window.external into the top frame of every mev: page shown with this content
// manager, and hands its calls, when the view shows a mev: page, to the script host.
void InstallExternalTransport(WebKitUserContentManager* manager, WebKitWebView* view);

// A player page's report: what ("playing", "paused", "seeked", "time"), the position and
// the duration in seconds (-1: unknown). False when the message does not have that shape.
bool ConvertPlayerMessage(JSCValue* message, std::string& what, double& position, double& duration);

// A posted message is an array [name, args...]. Strings stay strings; integral numbers
// that fit become int32; anything else (objects, fractions, null) becomes ScriptObject.
// False when the message does not have that shape.
bool ConvertScriptMessage(JSCValue* message, std::string& name, std::vector<ScriptValue>& args);

// "mev:" in any case at the start of the URI.
bool IsPageUri(const char* uri);

} // namespace mev
