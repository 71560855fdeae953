// The single picture on the Images tab as a person drives it: zoom and rotation keys, the
// status line, Delete, and the information panel.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "core/commands/command_ids.hpp"
#include "core/pages/image_pane_state.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/shell/command_line.hpp"
#include "core/shell/settings.hpp"
#include "core/shell/url.hpp"
#include "ui/app/main_frame.hpp"
#include "ui/app/media_tab_ctrl.hpp"
#include "ui/pages/image_page.hpp"
#include "ui/web/page_browser.hpp"
#include "camera_jpeg.hpp"
#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

class CNoTarget : public ICommandTarget {
public:
    bool OnUpdateCommand(CCmdUI&) override { return false; }
    bool OnCommand(int) override { return false; }
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The main window on the Images tab, showing the first picture of a folder.
class PictureViewKeysTest : public ::testing::Test {
protected:
    void Start(const std::string& folder)
    {
        SetCommandLine({"mev"});
        SetSettingInt(CMediaTabCtrl::SELECTION_SETTING, 0);
        frame = std::make_unique<CMainFrame>(*test::GetTestApplication(), target);
        test::GetTestApplication()->add_window(*frame);
        frame->Start();
        frame->set_default_size(1000, 700);
        frame->present();
        ASSERT_TRUE(test::RunMainLoopUntil([this] { return frame->get_mapped(); }));
        page = dynamic_cast<CImagePage*>(frame->GetTabCtrl().GetSelectedPage());
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->IsStarted(); }));
        page->OnFolderSelected(folder);
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return Status().find(" pixels, ") != std::string::npos; }))
            << Status();
        ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^MEV - Untitled$' windowfocus --sync"));
        // As after a click into the picture: typed keys in the folder tree find folders.
        page->GetBrowser().GetWidget().grab_focus();
        ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->GetBrowser().GetWidget().has_focus(); }));
    }
    void TearDown() override
    {
        if (frame) {
            frame->close();
            test::RunMainLoopFor(50);
            frame.reset();
        }
    }

    std::string Status() { return frame->GetStatusBar().GetPaneText(0); }
    int Zoom()
    {
        const std::string status = Status();
        const auto at = status.find("zoom ");
        return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + 5);
    }
    std::string Eval(const std::string& code)
    {
        std::string json;
        return test::EvaluateInPage(page->GetBrowser(), code, json) ? json : "";
    }

    test::CTempFolder folder;
    CNoTarget target;
    std::unique_ptr<CMainFrame> frame;
    CImagePage* page = nullptr;
};

TEST_F(PictureViewKeysTest, ZoomKeysShowInTheStatusLineAndRotationLeavesTheFile)
{
    const std::string photo = folder / "photo.jpg";
    ASSERT_TRUE(test::WritePicture(photo, 2400, 1600, 0x806040));
    Start(folder.Path());
    EXPECT_NE(Status().find("2400 \u00d7 1600 pixels, "), std::string::npos) << Status();
    const int fitted = Zoom();
    ASSERT_GT(fitted, 0) << Status();
    ASSERT_LT(fitted, 100);

    ASSERT_TRUE(test::XdoTool("key plus"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Zoom() > fitted; })) << Status();
    ASSERT_TRUE(test::XdoTool("key 1"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Zoom() == 100; })) << Status();
    ASSERT_TRUE(test::XdoTool("key minus"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Zoom() == 75; })) << Status();
    ASSERT_TRUE(test::XdoTool("key 0"));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Zoom() == fitted; })) << Status();

    // Turned for viewing, fitted anew; the file keeps every byte and its time.
    const std::string bytes = ReadAll(photo);
    const auto time = std::filesystem::last_write_time(photo);
    ASSERT_TRUE(test::XdoTool("key ctrl+r"));
    EXPECT_TRUE(test::RunMainLoopUntil(
        [&] { return Eval("document.getElementById('pic').style.transform") == "\"rotate(90deg)\""; }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return Zoom() > 0 && Zoom() != fitted; })) << Status();
    EXPECT_EQ(ReadAll(photo), bytes);
    EXPECT_EQ(std::filesystem::last_write_time(photo), time);
}

TEST_F(PictureViewKeysTest, DeleteAsksThenShowsTheNextPicture)
{
    std::vector<std::string> pictures;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        pictures.push_back(folder / name);
        ASSERT_TRUE(test::WritePicture(pictures.back(), 60, 40));
    }
    Start(folder.Path());
    frame->PostToCurrentPage(ID_IMAGE_NEXT);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath != pictures[0] && !CurrentImagePath.empty(); }));
    const std::string shown = CurrentImagePath;
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl() == "mev://image/?" + shown; }));
    // The picture after it in the index, whatever order the index keeps.
    std::string next;
    ASSERT_TRUE(test::RunMainLoopUntil([&] {
        std::string json;
        test::EvaluateInPage(*page->GetIndexBrowser(page->GetCurrentSlot()),
                             "(function () { for (var i = 0; i < PictureCount(); i++) if (PictureUrl(i) == '"
                                 + MakeFileUrl(shown) + "') return i + 1 < PictureCount() ? PictureUrl(i + 1) : PictureUrl(i - 1); return ''; })()",
                             json);
        return json.size() > 2 && FileUrlToPath(DecodeUrl(json.substr(1, json.size() - 2)), next);
    }));

    // Saying no keeps the file.
    ASSERT_TRUE(test::XdoTool("key Delete"));
    EXPECT_NE(test::AnswerMessageBox(Gtk::ResponseType::NO).find("delete 1 files"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(shown));

    ASSERT_TRUE(test::XdoTool("search --sync --onlyvisible --name '^MEV - Untitled$' windowfocus --sync"));
    ASSERT_TRUE(test::XdoTool("key Delete"));
    test::AnswerMessageBox(Gtk::ResponseType::YES);
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return !std::filesystem::exists(shown); }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return page->GetBrowser().GetLocationUrl() == "mev://image/?" + next; }))
        << page->GetBrowser().GetLocationUrl();
    // The index is rebuilt without it and comes up on the same picture, which stays.
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return IndexTotal == 2; }));
    EXPECT_TRUE(test::RunMainLoopUntil([&] { return CurrentImagePath == next; })) << CurrentImagePath;
    EXPECT_EQ(page->GetBrowser().GetLocationUrl(), "mev://image/?" + next);
}

TEST_F(PictureViewKeysTest, InformationPanelShowsTheCamera)
{
    const std::string photo = folder / "camera.jpg";
    ASSERT_TRUE(test::WriteCameraJpeg(photo, {{"exif-ifd0-Make", "Testmaker"},
                                              {"exif-ifd0-Model", "TM <1>"},
                                              {"exif-ifd2-FNumber", "28/10"}}));
    Start(folder.Path());

    ASSERT_TRUE(test::XdoTool("key alt+Return"));
    std::string source;
    ASSERT_TRUE(test::RunMainLoopUntil([&] {
        source = Eval("(function () { var f = document.getElementById('info');"
                      " return f && f.style.display == 'block' ? f.src : ''; })()");
        return source.size() > 2;
    }));
    source = source.substr(1, source.size() - 2);
    EXPECT_EQ(source, "mev://pictureinfo/?" + EncodeUrlPath(photo));
    const std::string panel = CPageProtocol::RenderPage(source).value_or("");
    EXPECT_NE(panel.find("<td>Testmaker TM &lt;1&gt;</td>"), std::string::npos) << panel;
    EXPECT_NE(panel.find("<td>f/2.8</td>"), std::string::npos) << panel;
}

} // namespace
} // namespace mev
