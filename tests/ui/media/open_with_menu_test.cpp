#include "ui/media/open_with_menu.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

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
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return std::filesystem::exists(output); }, 10000));
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
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return std::filesystem::exists(output); }, 10000));
    std::filesystem::remove(program);
    EXPECT_FALSE(RunOpenWithEntry("video", ID_OPENWITH_FIRST, clip));
    EXPECT_EQ(BuildOpenWithPopup("video", &CCommandActions::MenuActionName)->get_n_items(), 1);
    EXPECT_EQ(GetOpenWithListName(IDR_INDEX_MENU), "image");
    EXPECT_EQ(GetOpenWithListName(IDR_VIDEO_LIST_MENU), "video");
}

} // namespace
} // namespace mev
