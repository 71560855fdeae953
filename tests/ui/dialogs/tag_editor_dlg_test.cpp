#include "ui/dialogs/tag_editor_dlg.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/shell/url.hpp"
#include "core/tags/id3v1_tag.hpp"
#include "core/tags/title_reader.hpp"
#include "tag_fixtures.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

TEST(TagEditorDlg, FieldsFollowTheSelectionWithLocksLimitsAndAutoUpdate)
{
    test::CTempFolder dir;
    dir.Write("one.mp3", std::string(300, 'a'));
    dir.Write("two.mp3", std::string(300, 'b'));
    std::vector<std::string> urls;
    CTagEditorDlg* dialog = CTagEditorDlg::Open(nullptr, dir.Path(), [&](const std::string& url) { urls.push_back(url); });
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->GetEditor().Rows().size(), 2u);
    EXPECT_FALSE(dialog->GetUpdateButton().get_sensitive());

    const int first = dialog->GetEditor().Rows()[0].name == "one.mp3" ? 0 : 1;
    dialog->SelectRow(first);
    EXPECT_TRUE(dialog->GetUpdateButton().get_sensitive());
    EXPECT_EQ(std::string(dialog->GetFileEntry().get_text()), "one.mp3");
    // Forty characters do not fit: the field keeps thirty.
    dialog->GetTitleEntry().set_text(std::string(40, 'T'));
    EXPECT_EQ(std::string(dialog->GetTitleEntry().get_text()), std::string(30, 'T'));
    dialog->GetAlbumEntry().set_text("Shared album");
    dialog->GetAlbumLock().set_active(true);
    dialog->GetAutoUpdate().set_active(true);
    dialog->SelectRow(1 - first);

    // The row left was written with what was on screen, then the next row loaded.
    EXPECT_EQ(std::string(dialog->GetFileEntry().get_text()), "two.mp3");
    EXPECT_EQ(std::string(dialog->GetTitleEntry().get_text()), "");
    EXPECT_EQ(std::string(dialog->GetAlbumEntry().get_text()), "Shared album");
    CId3v1Tag tag;
    ASSERT_TRUE(tag.Read(dir / "one.mp3"));
    EXPECT_EQ(tag.GetTitle(), std::string(30, 'T'));
    EXPECT_EQ(tag.GetAlbum(), "Shared album");
    ASSERT_FALSE(urls.empty());
    EXPECT_EQ(urls.back(), GetBlankPageUrl());

    g_signal_emit_by_name(dialog->GetUpdateButton().gobj(), "clicked");
    ASSERT_TRUE(tag.Read(dir / "two.mp3"));
    EXPECT_EQ(tag.GetAlbum(), "Shared album");
    dialog->Close();
    test::RunMainLoopFor(50);
}

// The editor writes ID3v1 only: it says so for a file that has an ID3v2 tag too, and
// leaves that tag as it was.
TEST(TagEditorDlg, NotesAnId3v2TagItLeavesAlone)
{
    test::CTempFolder dir;
    ASSERT_TRUE(test::WriteId3v2Mp3(dir / "newer.mp3", "Newer title", 4, TagLib::String::UTF8));
    dir.Write("plain.mp3", std::string(300, 'p'));
    CTagEditorDlg* dialog = CTagEditorDlg::Open(nullptr, dir.Path(), [](const std::string&) {});
    ASSERT_NE(dialog, nullptr);
    const int newer = dialog->GetEditor().Rows()[0].name == "newer.mp3" ? 0 : 1;
    EXPECT_FALSE(dialog->GetId3v2Note().get_visible());
    dialog->SelectRow(newer);
    EXPECT_TRUE(dialog->GetId3v2Note().get_visible());
    dialog->GetTitleEntry().set_text("Older title");
    g_signal_emit_by_name(dialog->GetUpdateButton().gobj(), "clicked");
    dialog->SelectRow(1 - newer);
    EXPECT_FALSE(dialog->GetId3v2Note().get_visible());
    dialog->Close();
    test::RunMainLoopFor(50);

    CId3v1Tag tag;
    ASSERT_TRUE(tag.Read(dir / "newer.mp3"));
    EXPECT_EQ(tag.GetTitle(), "Older title");
    ASSERT_NE(GetTitleReader(), nullptr);
    EXPECT_TRUE(GetTitleReader()->HasId3v2Tag(dir / "newer.mp3"));
    EXPECT_EQ(GetTitleReader()->ReadTitle(dir / "newer.mp3"), "Newer title");
}

} // namespace
} // namespace mev
