#include "ui/widgets/open_with_menu.hpp"

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm/filechooserdialog.h>

#include "core/commands/command_ids.hpp"
#include "core/media/open_with_list.hpp"
#include "core/shell/settings.hpp"
#include "ui/app/command_actions.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string LabelAt(const Glib::RefPtr<Gio::MenuModel>& section, int i)
{
    Glib::VariantBase value = section->get_item_attribute(i, Gio::MenuModel::Attribute::LABEL, Glib::VariantType("s"));
    if (!value)
        return {};
    return Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(value).get();
}

TEST(OpenWithMenu, ChosenProgramIsListedAndRunOnTheFileUntilItVanishes)
{
    ISettingsStore* store = GetSettingsStore();
    ASSERT_NE(store, nullptr);
    for (const std::string& name : store->ListNames("open_video_with"))
        store->RemoveValue("open_video_with", name);

    test::CTempFolder folder;
    const std::string output = folder / "ran-with";
    const std::string program =
        folder.Write("My_Viewer.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + output + ".part' && mv '" + output +
                                         ".part' '" + output + "'\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::string clip = folder.Write("a \"clip\" #1 %41 ?x \xE9.mp4");
    const std::string data = folder.Write("notes.txt");
    EXPECT_TRUE(IsProgramFile(program));
    EXPECT_FALSE(IsProgramFile(data));
    EXPECT_FALSE(IsProgramFile(folder.Path()));

    // "Select..." with a program: stored, then run on the file with its name unchanged.
    ASSERT_TRUE(AddOpenWithProgram("video", program, clip));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return std::filesystem::exists(output); }));
    EXPECT_EQ(ReadAll(output), clip);

    auto popup = BuildOpenWithPopup("video", &CCommandActions::MenuActionName);
    ASSERT_EQ(popup->get_n_items(), 2);
    auto programs = popup->get_item_link(0, Gio::MenuModel::Link::SECTION);
    ASSERT_EQ(programs->get_n_items(), 1);
    EXPECT_EQ(LabelAt(programs, 0), "My__Viewer");
    EXPECT_EQ(LabelAt(popup->get_item_link(1, Gio::MenuModel::Link::SECTION), 0), "Select...");

    // The entry runs the program again; once it is gone the entry does nothing and the
    // popup offers only "Select...".
    std::filesystem::remove(output);
    EXPECT_TRUE(RunOpenWithEntry("video", ID_OPENWITH_FIRST, clip));
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return std::filesystem::exists(output); }));
    std::filesystem::remove(program);
    EXPECT_FALSE(RunOpenWithEntry("video", ID_OPENWITH_FIRST, clip));
    EXPECT_EQ(BuildOpenWithPopup("video", &CCommandActions::MenuActionName)->get_n_items(), 1);
    EXPECT_EQ(GetOpenWithListName(IDR_INDEX_MENU), "image");
    EXPECT_EQ(GetOpenWithListName(IDR_VIDEO_LIST_MENU), "video");
}

TEST(OpenWithMenu, SelectStoresTheChosenProgramAndRunsItButRefusesDataFiles)
{
    ISettingsStore* store = GetSettingsStore();
    ASSERT_NE(store, nullptr);
    for (const std::string& name : store->ListNames("open_audio_with"))
        store->RemoveValue("open_audio_with", name);
    test::CTempFolder folder;
    const std::string output = folder / "ran-with";
    const std::string program = folder.Write("player", "#!/bin/sh\nprintf '%s' \"$1\" > '" + output + "'\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::string tune = folder.Write("tune #1.mp3");

    // Answers this call's chooser with a file once it is on screen. The answer lands in
    // state shared with the callback, which may come after this call has given up.
    auto choose = [&](const std::string& file) {
        std::vector<Gtk::Window*> before;
        for (Gtk::Window* w : Gtk::Window::list_toplevels())
            before.push_back(w);
        auto chosen = std::make_shared<std::string>("-");
        SelectOpenWithProgram(nullptr, "audio", tune, [chosen](const std::string& p) { *chosen = p; });
        Gtk::FileChooserDialog* dialog = nullptr;
        EXPECT_TRUE(test::RunMainLoopUntil([&] {
            for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
                auto* d = dynamic_cast<Gtk::FileChooserDialog*>(w);
                if (d != nullptr && d->get_visible() && std::find(before.begin(), before.end(), w) == before.end())
                    dialog = d;
            }
            return dialog != nullptr;
        }));
        if (dialog == nullptr)
            return *chosen;
        // The chooser takes the file once it has read its folder, and refuses "Open"
        // while its list does not show the file selected yet: asked again until it answers.
        dialog->set_file(Gio::File::create_for_path(file));
        EXPECT_TRUE(test::RunMainLoopUntil([&] {
            auto selected = dialog->get_file();
            return selected && selected->get_path() == file;
        }));
        EXPECT_TRUE(test::RunMainLoopUntil([&] {
            if (*chosen == "-" && dialog->get_visible()) {
                dialog->response(Gtk::ResponseType::ACCEPT);
                test::RunMainLoopUntil([&] { return *chosen != "-"; }, 500);
            }
            return *chosen != "-";
        }));
        return *chosen;
    };

    EXPECT_EQ(choose(tune), "");
    EXPECT_EQ(COpenWithList("audio").GetCount(), 0u);
    EXPECT_EQ(choose(program), program);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return ReadAll(output) == tune; }));
    COpenWithList list("audio");
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.PathAt(0), program);
}

} // namespace
} // namespace mev
