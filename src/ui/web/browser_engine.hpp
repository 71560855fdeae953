#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtkmm/widget.h>

#include "core/pages/script_external.hpp"

namespace mev {

// Once, before the first CPageBrowser: registers the mev scheme (served by CPageProtocol
// through a stream of our own) as a local scheme, lets the web process see the given
// folders (media are opened inside its sandbox) and creates the shared settings.
void InitBrowserEngine(const std::vector<std::string>& sandboxFolders);

// Lets the web process that plays media open files in folder (or the file itself):
// the sandbox of the current media context shows it already, or a fresh context whose
// sandbox adds it becomes the media context (true). Player browsers move to it with
// CPageBrowser::MoveToMediaContext. False also for folders no sandbox may show (the
// home folder itself).
bool AddMediaFolder(const std::string& folder);

// The application's side of window.external; nullptr drops every call.
void SetScriptHost(IScriptHost* host);

// Pops up the program's own menu for a browser whose menu id is not 0. imagePath is the
// decoded path of the picture under the pointer, "" when there is none.
using ContextMenuProvider = std::function<void(int menuId, Gtk::Widget& browser, double x, double y,
                                               const std::string& imagePath)>;
void SetContextMenuProvider(ContextMenuProvider provider);

} // namespace mev
