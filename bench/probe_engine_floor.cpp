// The floor under MEV's start-up figures: a GTK window holding one web view that shows a
// line of text, and nothing else, with the cheap settings MEV starts with (GTK's cairo
// renderer, no hardware acceleration in the engine, the document viewer's cache model;
// FLOOR_DEFAULTS=1 leaves the toolkit's and engine's defaults). Its start-up time, CPU
// and memory are what the toolkit and the web engine cost before MEV does anything. It takes the place of another build
// in the start-up benchmark (its window title matches MEV's; it ignores the arguments):
//   MEV_BEFORE=build/bench/probe_engine_floor COMPARE=geeqie bench/startup_time.sh demo 3
#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace {

void Activate(GtkApplication* application, gpointer)
{
    GtkWidget* window = gtk_application_window_new(application);
    gtk_window_set_title(GTK_WINDOW(window), "MEV - engine floor");
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 700);
    GtkWidget* view = webkit_web_view_new();
    if (g_getenv("FLOOR_DEFAULTS") == nullptr) {
        WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
        webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
        webkit_web_context_set_cache_model(webkit_web_view_get_context(WEBKIT_WEB_VIEW(view)),
                                           WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    }
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), "<html><body><p>engine floor</p></body></html>", "about:blank");
    gtk_window_set_child(GTK_WINDOW(window), view);
    gtk_window_maximize(GTK_WINDOW(window));
    gtk_window_present(GTK_WINDOW(window));
}

} // namespace

int main(int, char** argv)
{
    if (g_getenv("FLOOR_DEFAULTS") == nullptr)
        g_setenv("GSK_RENDERER", "cairo", FALSE);
    GtkApplication* application = gtk_application_new("org.mev.EngineFloor", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(Activate), nullptr);
    const int status = g_application_run(G_APPLICATION(application), 1, argv);
    g_object_unref(application);
    return status;
}
