#include "core/files/file_operation.hpp"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "special_files.hpp"
#include "temp_folder.hpp"
#include "wait_until.hpp"

namespace {

using mev::CFileOperation;
using mev::FileOpKind;
using mev::FileOpResult;
using mev::test::CTempFolder;
namespace fs = std::filesystem;

std::vector<FileOpResult> RunOp(FileOpKind kind, std::vector<std::string> sources, const std::string& folder = {})
{
    CFileOperation op(kind, std::move(sources), folder);
    op.Run();
    EXPECT_TRUE(op.IsFinished());
    return op.Results();
}

// Files of a folder other than the ones named: left-over temporary files show here.
std::size_t EntryCount(const std::string& folder)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++n;
    return n;
}

using R = FileOpResult;

TEST(FileOperation, SameFileUnderAnyNameIsSkipped)
{
    CTempFolder dir;
    const std::string a = dir.Write("a.mp3", "AAAA");
    const std::string b = dir.Write("b.mp3", "BBBB");
    // The source folder itself, the same folder through a symbolic link, and a folder
    // that holds a hard link of the file under the same name.
    fs::create_directory_symlink(dir.Path(), dir / "via-link");
    const std::string other = dir.MakeFolder("other");
    fs::create_hard_link(a, other + "/a.mp3");
    for (const std::string& folder : {dir.Path(), dir / "via-link", dir.Path() + "//"}) {
        EXPECT_EQ(RunOp(FileOpKind::Copy, {a, b}, folder), (std::vector<R>{R::Skipped, R::Skipped})) << folder;
        EXPECT_EQ(RunOp(FileOpKind::Move, {a, b}, folder), (std::vector<R>{R::Skipped, R::Skipped})) << folder;
    }
    EXPECT_EQ(RunOp(FileOpKind::Copy, {a}, other), std::vector<R>{R::Skipped});
    EXPECT_EQ(RunOp(FileOpKind::Move, {a}, other), std::vector<R>{R::Skipped});
    EXPECT_EQ(CTempFolder::Read(a), "AAAA");
    EXPECT_EQ(CTempFolder::Read(b), "BBBB");
    EXPECT_EQ(CTempFolder::Read(other + "/a.mp3"), "AAAA");
}

TEST(FileOperation, CopyKeepsTimeAndModeAndReplacesAReadOnlyEarlierCopy)
{
    CTempFolder dir;
    const std::string source = dir.Write("song.mp3", "first");
    const std::string dest = dir.MakeFolder("dest");
    chmod(source.c_str(), 0444);
    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 500}};
    utimensat(AT_FDCWD, source.c_str(), times, 0);

    EXPECT_EQ(RunOp(FileOpKind::Copy, {source}, dest), std::vector<R>{R::Done});
    chmod(source.c_str(), 0644);
    { std::ofstream(source) << "second"; }
    chmod(source.c_str(), 0444);
    // The earlier copy is read-only now; copying again still replaces it.
    EXPECT_EQ(RunOp(FileOpKind::Copy, {source}, dest), std::vector<R>{R::Done});
    struct stat st {};
    ASSERT_EQ(stat((dest + "/song.mp3").c_str(), &st), 0);
    EXPECT_EQ(CTempFolder::Read(dest + "/song.mp3"), "second");
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    struct stat src {};
    stat(source.c_str(), &src);
    EXPECT_EQ(st.st_mtim.tv_sec, src.st_mtim.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, src.st_mtim.tv_nsec);
    EXPECT_EQ(EntryCount(dest), 1u);
}

TEST(FileOperation, CopyThatFailsMidwayLeavesTheOldDestination)
{
    CTempFolder dir;
    const std::string source = dir.Write("big.mp3", std::string(3 << 20, 'n'));
    const std::string dest = dir.MakeFolder("dest");
    dir.Write("dest/big.mp3", "old contents");
    // A file size limit makes the write fail after the first megabyte, as a full disk
    // would; the child process keeps the limit away from the test runner.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit {1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        CFileOperation op(FileOpKind::Copy, {source}, dest);
        op.Run();
        _exit(op.Results()[0] == R::Failed ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(CTempFolder::Read(dest + "/big.mp3"), "old contents");
    EXPECT_EQ(EntryCount(dest), 1u);

    // A source that cannot be read fails the same way.
    EXPECT_EQ(RunOp(FileOpKind::Copy, {dir / "gone.mp3", dir.Path()}, dest), (std::vector<R>{R::Failed, R::Failed}));
    EXPECT_EQ(EntryCount(dest), 1u);
}

TEST(FileOperation, MovesWithinAndAcrossFileSystems)
{
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    CTempFolder disk;
    CTempFolder memory("/dev/shm");
    const std::string away = memory.Write("away.mp3", std::string(100000, 'm'));
    const std::string local = disk.Write("local.mp3", "local");
    const struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    utimensat(AT_FDCWD, away.c_str(), times, 0);
    const std::string dest = disk.MakeFolder("dest");

    EXPECT_EQ(RunOp(FileOpKind::Move, {away, local}, dest), (std::vector<R>{R::Done, R::Done}));
    EXPECT_FALSE(fs::exists(away));
    EXPECT_FALSE(fs::exists(local));
    EXPECT_EQ(CTempFolder::Read(dest + "/away.mp3"), std::string(100000, 'm'));
    EXPECT_EQ(CTempFolder::Read(dest + "/local.mp3"), "local");
    struct stat st {};
    stat((dest + "/away.mp3").c_str(), &st);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(EntryCount(dest), 2u);
    EXPECT_EQ(EntryCount(memory.Path()), 0u);
}

TEST(FileOperation, MoveOntoAReadOnlyFileFailsAndKeepsBoth)
{
    CTempFolder dir;
    const std::string source = dir.Write("a.mp3", "new");
    const std::string dest = dir.MakeFolder("dest");
    const std::string old = dir.Write("dest/a.mp3", "old");
    chmod(old.c_str(), 0444);
    CFileOperation op(FileOpKind::Move, {source}, dest);
    op.Run();
    EXPECT_EQ(op.CountOf(R::Failed), 1u);
    EXPECT_EQ(CTempFolder::Read(source), "new");
    EXPECT_EQ(CTempFolder::Read(old), "old");
}

TEST(FileOperation, DeleteCountsTheFileItCouldNotDelete)
{
    CTempFolder dir;
    const std::string a = dir.Write("a.mp3");
    const std::string c = dir.Write("c.mp3");
    chmod(c.c_str(), 0444); // read-only files go too
    CFileOperation op(FileOpKind::Delete, {a, dir / "vanished.mp3", c});
    op.Run();
    EXPECT_EQ(op.Results(), (std::vector<R>{R::Done, R::Failed, R::Done}));
    EXPECT_EQ(op.CountOf(R::Failed), 1u);
    EXPECT_EQ(EntryCount(dir.Path()), 0u);
}

TEST(FileOperation, HostileNamesAreCopiedMovedAndDeletedAsTheyAre)
{
    CTempFolder dir;
    const std::string dest = dir.MakeFolder("dest");
    const std::vector<std::string> names = {"it's \"quoted\".mp3", "#1 100% <b>&amp;.mp3", "two\nlines.mp3",
                                            "caf\xE9 \xFF.mp3", "back\\slash?.mp3"};
    std::vector<std::string> sources;
    for (const std::string& name : names)
        sources.push_back(dir.Write(name, name));
    EXPECT_EQ(RunOp(FileOpKind::Copy, sources, dest), std::vector<R>(names.size(), R::Done));
    for (const std::string& name : names)
        EXPECT_EQ(CTempFolder::Read(dest + "/" + name), name);
    const std::string moved = dir.MakeFolder("moved");
    EXPECT_EQ(RunOp(FileOpKind::Move, sources, moved), std::vector<R>(names.size(), R::Done));
    for (const std::string& name : names)
        EXPECT_EQ(CTempFolder::Read(moved + "/" + name), name);
    std::vector<std::string> copies;
    for (const std::string& name : names)
        copies.push_back(dest + "/" + name);
    EXPECT_EQ(RunOp(FileOpKind::Delete, copies), std::vector<R>(names.size(), R::Done));
    EXPECT_EQ(EntryCount(dest), 0u);
}

TEST(FileOperation, CancelLeavesTheRestAndNoPartialFile)
{
    CTempFolder dir;
    const std::string dest = dir.MakeFolder("dest");
    CFileOperation op(FileOpKind::Copy, {dir.Write("a.mp3"), dir.Write("b.mp3")}, dest);
    op.Cancel();
    op.Run();
    EXPECT_EQ(op.Results(), (std::vector<R>{R::Cancelled, R::Cancelled}));
    EXPECT_EQ(op.CountOf(R::Failed), 0u);
    EXPECT_EQ(EntryCount(dest), 0u);

    // Cancelled while a big copy runs: no partial file either.
    const std::string big = dir.Write("big.mp3", std::string(64 << 20, 'b'));
    CFileOperation copy(FileOpKind::Copy, {big}, dest);
    std::thread worker([&] { copy.Run(); });
    EXPECT_TRUE(mev::test::WaitUntil([&] { return copy.BytesDone() != 0 || copy.IsFinished(); }));
    copy.Cancel();
    worker.join();
    if (copy.Results()[0] == R::Cancelled)
        EXPECT_EQ(EntryCount(dest), 0u);
    else
        EXPECT_EQ(CTempFolder::Read(dest + "/big.mp3").size(), 64u << 20);
}

// A FIFO blocks its reader until someone writes, and a device never ends: neither is a
// file the operation can copy. They fail at once, like any file that cannot be read.
TEST(FileOperation, FifosAndDevicesAreRefusedAtOnce)
{
    auto dir = std::make_shared<CTempFolder>();
    const std::string dest = dir->MakeFolder("dest");
    ASSERT_TRUE(mev::test::MakeFifo(dir->File("a fifo.mp3")));
    ASSERT_TRUE(mev::test::MakeLink("/dev/zero", dir->File("zero.mp3")));
    const std::vector<std::string> sources = {dir->File("a fifo.mp3"), dir->File("zero.mp3"), dir->Write("b.mp3")};
    for (FileOpKind kind : {FileOpKind::Copy, FileOpKind::Move}) {
        auto op = std::make_shared<CFileOperation>(kind, sources, dest);
        if (!mev::test::FinishesWithin([op, dir] { op->Run(); })) {
            // Let the stuck reader go before failing.
            close(open(dir->File("a fifo.mp3").c_str(), O_RDWR | O_NONBLOCK));
            FAIL() << "the operation hangs on a FIFO";
        }
        EXPECT_EQ(op->Results(), (std::vector<R>{R::Failed, R::Failed, R::Done}));
    }
    EXPECT_EQ(EntryCount(dest), 1u);
}

// A copy cut short by a crash leaves its temporary file; the next operation into that
// folder takes it away, and leaves alone those of writers still running.
TEST(FileOperation, StaleTemporaryFilesOfEndedProcessesAreRemoved)
{
    CTempFolder dir;
    const std::string dest = dir.MakeFolder("dest");
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    const std::string stale = dir.Write("dest/.mev-" + std::to_string(ended) + "-0.part", "half");
    const std::string running = dir.Write("dest/.mev-" + std::to_string(getppid()) + "-3.part", "busy");
    const std::string other = dir.Write("dest/.mev-notes.part", "mine");
    EXPECT_EQ(RunOp(FileOpKind::Copy, {dir.Write("a.mp3")}, dest), std::vector<R>{R::Done});
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(other));
}

} // namespace
