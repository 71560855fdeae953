#include "ui/dialogs/file_operation_dlg.hpp"

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtkmm.h>

#include "special_files.hpp"
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

// A FIFO among the files to copy blocked the copy for ever; it fails like any file that
// cannot be copied, and the rest are copied.
TEST(FileOperationDlg, FifoIsReportedAsAFileThatCannotBeCopied)
{
    test::CTempFolder dir;
    const std::string dest = dir.MakeFolder("dest");
    ASSERT_TRUE(test::MakeFifo(dir / "a fifo.mp3"));
    std::vector<FileOpResult> results;
    CFileOperationDlg::Start(nullptr,
                             std::make_shared<CFileOperation>(FileOpKind::Copy,
                                                              std::vector<std::string>{dir / "a fifo.mp3", dir.Write("b.mp3")}, dest),
                             [&](const CFileOperation& op) { results = op.Results(); });
    const bool done = test::RunMainLoopUntil([&] { return !results.empty(); }, 30000);
    if (!done)
        close(open((dir / "a fifo.mp3").c_str(), O_RDWR | O_NONBLOCK)); // lets the stuck copy go
    ASSERT_TRUE(done) << "the copy hangs on a FIFO";
    EXPECT_EQ(results, (std::vector<FileOpResult>{FileOpResult::Failed, FileOpResult::Done}));
    EXPECT_EQ(test::AnswerMessageBox(Gtk::ResponseType::OK), "1 files can not be copied.");
}

// Quitting while a copy runs cancels it and waits until its temporary file is gone.
TEST(FileOperationDlg, QuittingDuringACopyLeavesNoPartialFile)
{
    test::CTempFolder dir;
    const std::string dest = dir.MakeFolder("dest");
    const std::string big = dir / "big.mkv";
    {
        std::ofstream out(big, std::ios::binary);
    }
    std::filesystem::resize_file(big, 8ull << 30); // sparse: quick to make, long to copy
    auto op = std::make_shared<CFileOperation>(FileOpKind::Copy, std::vector<std::string>{big}, dest);
    CFileOperationDlg::Start(nullptr, op, nullptr);
    ASSERT_TRUE(test::RunMainLoopUntil([&] { return op->BytesDone() > 0; }));
    CFileOperationDlg::CancelAndWait();
    EXPECT_TRUE(op->IsFinished());
    EXPECT_EQ(op->Results(), std::vector<FileOpResult>{FileOpResult::Cancelled});
    EXPECT_TRUE(std::filesystem::is_empty(dest));
    test::RunMainLoopUntil([] { return !CFileOperationDlg::IsBusy(); }, 30000);
}

} // namespace
} // namespace mev
