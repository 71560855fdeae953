#pragma once

// Shared support for the display tests (tests/ui/**): the main loop, temporary folders,
// test pictures and reading a page back with JavaScript. The test main (ui_test_main.cpp)
// has already started GTK, the platform layer and the browser engine.
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include <gdkmm/rectangle.h>
#include <gtkmm/application.h>

#include "temp_folder.hpp"

namespace Gtk {
class TreeView;
class Widget;
class TreeViewColumn;
class Window;
}

namespace mev {
class CPageBrowser;
}

namespace mev::test {

// The limit of a wait for something that must happen. It is only reached when the code
// is wrong, so it is long enough for a machine busy with other work: wait for the event,
// never for a fixed time followed by an expectation that it happened.
constexpr int EVENT_WAIT_MS = 45000;

// Iterates the default GLib main context until cond() holds (true) or timeoutMs passed
// (false). cond is checked before each iteration and at least every 10 ms.
bool RunMainLoopUntil(std::function<bool()> cond, int timeoutMs = EVENT_WAIT_MS);

// Lets the main loop run for ms milliseconds: only to check that something does NOT
// happen meanwhile, or to let the toolkit settle where there is no event to wait for.
void RunMainLoopFor(int ms);

// The application object of the test run: created once, registered, never run. Windows
// may be added to it; its actions and accelerators work as in the program.
Glib::RefPtr<Gtk::Application> GetTestApplication();

// The private folder of this test run (XDG_CONFIG_HOME and XDG_CACHE_HOME lie in it);
// the browser engine lets the web process see it, so media in it can play.
const std::string& GetTestRoot();

// CTempFolder() makes its folders under GetTestRoot() in the display tests.
// Writes a width x height picture filled with one colour (0xRRGGBB); the format follows
// the extension (.png, .bmp, anything else JPEG). False when it could not be written.
bool WritePicture(const std::string& path, int width, int height, unsigned rgb = 0x3366cc);

// Runs code in the browser's page and waits for its JSON result (e.g. "\"MEV\"", "3",
// "true"); false on a script error or when nothing came back within timeoutMs.
bool EvaluateInPage(CPageBrowser& browser, const std::string& code, std::string& json,
                    int timeoutMs = EVENT_WAIT_MS);

// Writes a Flash movie of our own with tools/make-swf.sh: 160 x 120, 12 frames per
// second, the given number of frames on a background of rgb ("RRGGBB").
bool WriteFlashMovie(const std::string& path, int frames, const std::string& rgb);

// The colour (0xRRGGBB) the browser shows at the point where(width, height) picks in a
// snapshot of its visible area; -1 without a snapshot or outside it.
long ViewPixel(CPageBrowser& browser, const std::function<std::pair<int, int>(int width, int height)>& where);

// Navigates and waits for the load to finish (false on time-out).
bool NavigateAndWait(CPageBrowser& browser, const std::string& url, int timeoutMs = EVENT_WAIT_MS);

// Runs "xdotool <arguments>" with its output discarded; true when it succeeded. A
// command that searches for a window is tried again until timeoutMs has passed: its
// walk over the window tree ends with an X error whenever one of the toolkit's
// short-lived windows vanishes under it.
bool XdoTool(const std::string& arguments, int timeoutMs = EVENT_WAIT_MS);

// Waits for a message box, answers it with response (a Gtk::ResponseType) and gives its
// text; "(no message)" when none came within timeoutMs.
std::string AnswerMessageBox(int response, int timeoutMs = EVENT_WAIT_MS);

// Waits until read() gives the same text in two frames of widget in a row: the layout it
// reads has settled (before it, widgets report estimates). An empty text never counts.
// False when the limit passed first.
bool WaitForSettledLayout(Gtk::Widget& widget, const std::function<std::string()>& read);

// A tree view cell's area (bin window coordinates) once the view has laid the row out.
Gdk::Rectangle SettledCellArea(Gtk::TreeView& view, const std::string& path, Gtk::TreeViewColumn& column);

// Clicks with a real pointer through the X server at the middle of a tree view's cell
// (dy pixels lower), in the window titled windowTitle; twice for a double-click. Lets the
// main loop run 300 ms after. False when xdotool failed.
bool ClickTreeCell(Gtk::Window& window, const std::string& windowTitle, Gtk::TreeView& view, const std::string& path,
                   Gtk::TreeViewColumn& column, int button, int dy = 0, bool twice = false);

} // namespace mev::test
