#include "ui/widgets/browse_for_folder.hpp"

#include <string>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

GtkWidget* FindFolderDialog()
{
    GListModel* windows = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        auto* window = static_cast<GtkWidget*>(g_list_model_get_item(windows, i));
        g_object_unref(window);
        if (GTK_IS_FILE_CHOOSER_DIALOG(window) && gtk_widget_get_visible(window))
            return window;
    }
    return nullptr;
}

void CountMessage(const gchar*, GLogLevelFlags, const gchar* message, gpointer count)
{
    ADD_FAILURE() << message;
    ++*static_cast<int*>(count);
}

TEST(BrowseForFolder, ClosingTheDialogAnswersOnceAndQuietly)
{
    int complaints = 0;
    const guint handler = g_log_set_handler(
        "Gtk", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING), &CountMessage, &complaints);
    test::CTempFolder folder;
    int answers = 0;
    std::string chosen = "none";
    BrowseForFolder(nullptr, "", folder.Path(), [&](const std::string& answer) {
        ++answers;
        chosen = answer;
    });
    GtkWidget* dialog = nullptr;
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return (dialog = FindFolderDialog()) != nullptr; }));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return answers > 0; }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return FindFolderDialog() == nullptr; }));
    // No second answer comes.
    test::RunMainLoopFor(300);
    g_log_remove_handler("Gtk", handler);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(complaints, 0);
}

} // namespace
} // namespace mev
