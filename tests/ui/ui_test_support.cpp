#include "ui_test_support.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtkmm/treeview.h>
#include <gtkmm/window.h>
#include <webkit/webkit.h>
#include <sigc++/connection.h>
#include <gtkmm/messagedialog.h>

#include "ui/web/page_browser.hpp"

namespace mev::test {

namespace {

gboolean Wake(gpointer)
{
    return G_SOURCE_CONTINUE;
}

} // namespace

bool RunMainLoopUntil(std::function<bool()> cond, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A ticking source, so that a condition fed by other threads is seen even when the
    // main loop has nothing else to do.
    GSource* tick = g_timeout_source_new(10);
    g_source_set_callback(tick, &Wake, nullptr, nullptr);
    g_source_attach(tick, nullptr);
    bool met = false;
    while (!(met = cond()) && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
    return met;
}

void RunMainLoopFor(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // What is ready now runs even when a busy machine let the whole time pass before
    // the first look at the clock.
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i)
        g_main_context_iteration(nullptr, FALSE);
    RunMainLoopUntil([deadline] { return std::chrono::steady_clock::now() >= deadline; }, ms + 1000);
}

bool WritePicture(const std::string& path, int width, int height, unsigned rgb)
{
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    if (pixbuf == nullptr)
        return false;
    gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xff);
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    const char* type = ext == "png" ? "png" : ext == "bmp" ? "bmp" : "jpeg";
    const gboolean saved = gdk_pixbuf_save(pixbuf, path.c_str(), type, nullptr, nullptr);
    g_object_unref(pixbuf);
    return saved != FALSE;
}

bool EvaluateInPage(CPageBrowser& browser, const std::string& code, std::string& json, int timeoutMs)
{
    auto state = std::make_shared<std::pair<bool, std::pair<bool, std::string>>>();
    browser.EvaluateScript(code, [state](bool ok, std::string result) {
        state->first = true;
        state->second = {ok, std::move(result)};
    });
    if (!RunMainLoopUntil([state] { return state->first; }, timeoutMs))
        return false;
    json = state->second.second;
    return state->second.first;
}

bool NavigateAndWait(CPageBrowser& browser, const std::string& url, int timeoutMs)
{
    // A load that the navigation cut short also reports "finished": wait for this page.
    auto finished = std::make_shared<bool>(false);
    sigc::connection connection = browser.signal_load_finished().connect([finished] { *finished = true; });
    browser.Navigate(url);
    WebKitWebView* view = browser.GetWebView();
    const bool done = RunMainLoopUntil(
        [&] { return *finished && !webkit_web_view_is_loading(view) && browser.GetLocationUrl() == url; }, timeoutMs);
    connection.disconnect();
    return done;
}

bool WriteFlashMovie(const std::string& path, int frames, const std::string& rgb)
{
    const std::string command = "'" MEV_SOURCE_DIR "/tools/make-swf.sh' '" + path + "' 160 120 12 "
        + std::to_string(frames) + " " + rgb;
    return std::system(command.c_str()) == 0;
}

long ViewPixel(CPageBrowser& browser, const std::function<std::pair<int, int>(int width, int height)>& where)
{
    struct Snapshot {
        bool done = false;
        GdkTexture* texture = nullptr;
    };
    auto snapshot = std::make_shared<Snapshot>();
    webkit_web_view_get_snapshot(
        browser.GetWebView(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::shared_ptr<Snapshot>> owner(static_cast<std::shared_ptr<Snapshot>*>(data));
            (*owner)->texture = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
            (*owner)->done = true;
        },
        new std::shared_ptr<Snapshot>(snapshot));
    RunMainLoopUntil([&] { return snapshot->done; });
    if (snapshot->texture == nullptr)
        return -1;
    const int width = gdk_texture_get_width(snapshot->texture);
    const int height = gdk_texture_get_height(snapshot->texture);
    std::vector<guchar> pixels(static_cast<std::size_t>(width) * height * 4);
    gdk_texture_download(snapshot->texture, pixels.data(), static_cast<gsize>(width) * 4);
    g_object_unref(snapshot->texture);
    const auto [x, y] = where(width, height);
    if (x < 0 || y < 0 || x >= width || y >= height)
        return -1;
    // Downloaded as B8G8R8A8 (premultiplied) on little-endian machines.
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
    return (long(pixels[at + 2]) << 16) | (long(pixels[at + 1]) << 8) | long(pixels[at]);
}

bool XdoTool(const std::string& arguments, int timeoutMs)
{
    const std::string command = "xdotool " + arguments + " >/dev/null 2>&1";
    const bool searches = arguments.rfind("search ", 0) == 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (std::system(command.c_str()) == 0)
            return true;
        if (!searches || std::chrono::steady_clock::now() >= deadline)
            return false;
        RunMainLoopFor(100);
    }
}

std::string AnswerMessageBox(int response, int timeoutMs)
{
    Gtk::MessageDialog* box = nullptr;
    const bool shown = RunMainLoopUntil(
        [&] {
            for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
                box = dynamic_cast<Gtk::MessageDialog*>(window);
                if (box != nullptr && box->get_visible())
                    return true;
            }
            box = nullptr;
            return false;
        },
        timeoutMs);
    if (!shown)
        return "(no message)";
    const std::string text = box->property_text().get_value();
    box->response(response);
    RunMainLoopFor(20);
    return text;
}

bool WaitForSettledLayout(Gtk::Widget& widget, const std::function<std::string()>& read)
{
    int frames = 0;
    int checked = -1;
    std::string seen;
    const guint tick = widget.add_tick_callback([&frames](const Glib::RefPtr<Gdk::FrameClock>&) {
        ++frames;
        return true;
    });
    const bool settled = RunMainLoopUntil([&] {
        if (frames == checked)
            return false;
        checked = frames;
        std::string now = read();
        const bool same = !now.empty() && now == seen;
        seen = std::move(now);
        return same;
    });
    widget.remove_tick_callback(tick);
    return settled;
}

Gdk::Rectangle SettledCellArea(Gtk::TreeView& view, const std::string& path, Gtk::TreeViewColumn& column)
{
    // A busy machine showed row 1 at the top before the first layout, where row 0 was
    // then drawn: the click chose the wrong row.
    Gdk::Rectangle cell;
    WaitForSettledLayout(view, [&] {
        view.get_cell_area(Gtk::TreeModel::Path(path), column, cell);
        if (cell.get_height() <= 0 || cell.get_width() <= 0)
            return std::string();
        return std::to_string(cell.get_x()) + "," + std::to_string(cell.get_y()) + " "
               + std::to_string(cell.get_width()) + "x" + std::to_string(cell.get_height());
    });
    return cell;
}

bool ClickTreeCell(Gtk::Window& window, const std::string& windowTitle, Gtk::TreeView& view, const std::string& path,
                   Gtk::TreeViewColumn& column, int button, int dy, bool twice)
{
    const Gdk::Rectangle cell = SettledCellArea(view, path, column);
    int wx = 0;
    int wy = 0;
    view.convert_bin_window_to_widget_coords(cell.get_x() + cell.get_width() / 2,
                                             cell.get_y() + cell.get_height() / 2 + dy, wx, wy);
    double x = 0;
    double y = 0;
    if (!view.translate_coordinates(window, wx, wy, x, y))
        return false;
    double sx = 0;
    double sy = 0;
    window.get_surface_transform(sx, sy);
    const std::string where = std::to_string(static_cast<int>(x + sx)) + " " + std::to_string(static_cast<int>(y + sy));
    const bool ok = XdoTool("search --sync --onlyvisible --name '^" + windowTitle + "$' windowfocus --sync mousemove --window %1 "
                            + where + " click " + (twice ? "--repeat 2 --delay 80 " : "") + std::to_string(button));
    RunMainLoopFor(300);
    return ok;
}

} // namespace mev::test
