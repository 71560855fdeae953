// The tag editor opened from the Audios tab and the tab's file list behind it.
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "ui/pages/audio_page.hpp"
#include "ui/dialogs/tag_editor_dlg.hpp"
#include "ui/ui_test_support.hpp"
#include "ui/pages/player_test_host.hpp"

namespace mev {
namespace {

std::string TaggedFile(const std::string& title)
{
    std::string block = "TAG" + title + std::string(125 - title.size(), '\0');
    block[127] = '\xff';
    return std::string(200, 'x') + block;
}

TEST(TagEditorAndList, RowsTheEditorRenamedOrWroteShowTheirNewTitleAndNameWhenItCloses)
{
    test::CTempFolder dir;
    dir.Write("a.mp3", TaggedFile("Alpha"));
    dir.Write("b.mp3", TaggedFile("Beta"));
    dir.Write("c.mp3", std::string(200, 'c'));
    test::CPlayerHost host;
    CAudioPage page(host);
    host.page = &page;
    // The window lets go of the page before either goes, whatever way the test ends.
    struct CHolder {
        Gtk::Window window;
        ~CHolder() { window.unset_child(); }
    } holder;
    holder.window.set_default_size(900, 600);
    holder.window.set_child(page);
    holder.window.present();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page.IsStarted() && page.GetFileList() != nullptr; }));
    CFileListCtrl& list = *page.GetFileList();
    page.GetTree().Rebuild(dir.Path());
    page.GetTree().SelectRoot();
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return list.GetCount() == 3 && !list.IsFilling(); }));
    const CFileListModel& model = list.GetModel();
    auto names = [&] { return model.GetNameText(0) + "|" + model.GetNameText(1) + "|" + model.GetNameText(2); };
    ASSERT_EQ(names(), "Alpha|Beta|c");
    list.SelectOnly(1);

    page.OnCommand(ID_TOOLS_TAGEDITOR);
    CTagEditorDlg* dialog = nullptr;
    for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
        if (auto* d = dynamic_cast<CTagEditorDlg*>(w))
            dialog = d;
    }
    ASSERT_NE(dialog, nullptr);
    auto row = [&](const std::string& name) {
        const auto& rows = dialog->GetEditor().Rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].name == name)
                return static_cast<int>(i);
        }
        return -1;
    };
    auto update = [&] { g_signal_emit_by_name(dialog->GetUpdateButton().gobj(), "clicked"); };
    dialog->SelectRow(row("a.mp3"));
    dialog->GetTitleEntry().set_text("Zulu");
    update();
    dialog->SelectRow(row("c.mp3"));
    dialog->GetFileEntry().set_text("0 first");
    update();
    dialog->Close();

    ASSERT_TRUE(test::RunMainLoopUntil([&] { return names() == "0 first|Beta|Zulu"; })) << names();
    EXPECT_EQ(model.At(0).path, dir / "0 first.MP3");
    EXPECT_EQ(model.At(2).path, dir / "a.mp3");
    EXPECT_EQ(list.GetSelectedPath(), dir / "b.mp3") << "the selection stays with its file";
    test::RunMainLoopFor(50);
}

} // namespace
} // namespace mev
