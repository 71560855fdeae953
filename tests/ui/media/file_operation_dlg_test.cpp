#include "ui/media/file_operation_dlg.hpp"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "ui/ui_test_support.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

TEST(FileOperationDlg, DeleteAsksFirstAndReportsWhatItCouldNotDelete)
{
    test::CTempFolder dir;
    const std::vector<std::string> files = {dir.Write("a.mp3"), dir / "vanished.mp3", dir.Write("c.mp3")};
    int done = 0;
    std::vector<FileOpResult> results;
    auto record = [&](const CFileOperation& op) {
        ++done;
        results = op.Results();
    };

    CFileOperationDlg::RunCommand(nullptr, FileOpKind::Delete, files, record);
    EXPECT_EQ(test::AnswerMessageBox(Gtk::ResponseType::NO), "This will delete 3 files.\nNo undo. Are you sure?");
    test::RunMainLoopFor(100);
    EXPECT_EQ(done, 0);
    EXPECT_TRUE(fs::exists(files[0]));

    CFileOperationDlg::RunCommand(nullptr, FileOpKind::Delete, files, record);
    test::AnswerMessageBox(Gtk::ResponseType::YES);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return done == 1; }));
    EXPECT_EQ(results, (std::vector<FileOpResult>{FileOpResult::Done, FileOpResult::Failed, FileOpResult::Done}));
    EXPECT_EQ(test::AnswerMessageBox(Gtk::ResponseType::OK),
              "1 files can not be moved or deleted. They may be in use by other applications.");
    EXPECT_FALSE(fs::exists(files[0]));
    EXPECT_FALSE(CFileOperationDlg::IsBusy());
}

} // namespace
} // namespace mev
