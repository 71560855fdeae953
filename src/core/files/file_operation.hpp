#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/shell/status.hpp"

namespace mev {

enum class FileOpKind { Copy, Move, Delete };

// What became of one chosen file.
enum class FileOpResult { Pending, Done, Skipped, Failed, Cancelled };

// Copies, moves or deletes a list of files, one after the other, without a toolkit, so
// it can run on a worker thread while the window shows its progress.
//
// Nothing here may lose a file: a copy is written under a temporary name in the
// destination folder and renamed over the destination only once it is complete and
// flushed, with the source's modification time and permission bits; a move is a rename
// on one file system and otherwise such a copy followed by deleting the source; a
// destination that is the source itself (same path, or the same file reached through a
// link or another mount) is skipped.
//
// Read-only rules: a copy replaces a read-only destination (the earlier copy of a
// read-only file); a move onto an existing read-only destination fails. "Read-only"
// means no write bit for the owner or no write access for us, so it holds for root too.
class CFileOperation {
public:
    CFileOperation(FileOpKind kind, std::vector<std::string> sources, std::string folder = {});

    // Works through every file; call once, from any thread.
    void Run();
    // Stops before the next file; a copy under way is abandoned and leaves nothing behind.
    void Cancel() { m_cancel.store(true); }

    bool IsFinished() const { return m_finished.load(std::memory_order_acquire); }
    std::size_t FileCount() const { return m_sources.size(); }
    std::size_t FilesDone() const { return m_filesDone.load(); }
    std::uint64_t BytesDone() const { return m_bytesDone.load(); }
    std::uint64_t BytesTotal() const { return m_bytesTotal.load(); }

    // Valid once IsFinished: one result per source, in order.
    const std::vector<FileOpResult>& Results() const { return m_results; }
    const std::vector<std::string>& Sources() const { return m_sources; }
    unsigned CountOf(FileOpResult result) const;
    FileOpKind Kind() const { return m_kind; }

    // folder + '/' + the source's file name, runs of '/' collapsed.
    static std::string Destination(const std::string& folder, const std::string& source);
    // True when both paths name one existing file (device and inode).
    static bool IsSameFile(const std::string& a, const std::string& b);

private:
    FileOpResult CopyOne(const std::string& source);
    FileOpResult MoveOne(const std::string& source);
    FileOpResult DeleteOne(const std::string& source);
    // ECANCELED when cancelled.
    CStatus CopyFileContents(const std::string& source, const std::string& destination);

    FileOpKind m_kind;
    std::vector<std::string> m_sources;
    std::string m_folder;
    std::vector<FileOpResult> m_results;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::atomic<std::size_t> m_filesDone{0};
    std::atomic<std::uint64_t> m_bytesDone{0};
    std::atomic<std::uint64_t> m_bytesTotal{0};
};

} // namespace mev
