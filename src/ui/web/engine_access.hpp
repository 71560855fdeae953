#pragma once

#include <webkit/webkit.h>

#include "ui/web/browser_engine.hpp"

namespace mev {

// What the browser views take from the engine set up by InitBrowserEngine.

// A new view (a reference the caller owns) with the shared settings and web process,
// autoplay allowed and window.external installed.
// With forMedia the view belongs to the context that plays media (see AddMediaFolder).
WebKitWebView* NewPageView(bool forMedia = false);

// True when the view belongs to the context that plays media now.
bool IsMediaContext(WebKitWebView* view);

IScriptHost* GetScriptHost();
const ContextMenuProvider& GetContextMenuProvider();

} // namespace mev
