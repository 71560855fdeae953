#include "core/files/file_operation.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/files/file_writer.hpp"
#include "core/files/user_file.hpp"
#include "core/shell/file_names.hpp"

namespace mev {

namespace {

constexpr std::size_t CHUNK = 1 << 20;

bool IsReadOnly(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0 || access(path.c_str(), W_OK) != 0;
}

} // namespace

CFileOperation::CFileOperation(FileOpKind kind, std::vector<std::string> sources, std::string folder)
    : m_kind(kind), m_sources(std::move(sources)), m_folder(std::move(folder)),
      m_results(m_sources.size(), FileOpResult::Pending)
{
}

std::string CFileOperation::Destination(const std::string& folder, const std::string& source)
{
    return JoinPath(folder, GetFileNamePart(source));
}

bool CFileOperation::IsSameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

unsigned CFileOperation::CountOf(FileOpResult result) const
{
    return static_cast<unsigned>(std::count(m_results.begin(), m_results.end(), result));
}

void CFileOperation::Run()
{
    if (m_kind != FileOpKind::Delete) {
        std::uint64_t total = 0;
        for (const std::string& source : m_sources) {
            struct stat st {};
            if (stat(source.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                total += static_cast<std::uint64_t>(st.st_size);
        }
        m_bytesTotal.store(total);
        // What an earlier run that crashed here left half written goes now.
        CFileWriter::RemoveStaleTemporaries(m_folder);
    }
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        if (m_cancel.load()) {
            m_results[i] = FileOpResult::Cancelled;
            continue;
        }
        switch (m_kind) {
        case FileOpKind::Copy:
            m_results[i] = CopyOne(m_sources[i]);
            break;
        case FileOpKind::Move:
            m_results[i] = MoveOne(m_sources[i]);
            break;
        case FileOpKind::Delete:
            m_results[i] = DeleteOne(m_sources[i]);
            break;
        }
        m_filesDone.fetch_add(1);
    }
    m_finished.store(true, std::memory_order_release);
}

FileOpResult CFileOperation::CopyOne(const std::string& source)
{
    const std::string destination = Destination(m_folder, source);
    if (destination == source || IsSameFile(source, destination))
        return FileOpResult::Skipped;
    const CStatus status = CopyFileContents(source, destination);
    if (status.Code() == ECANCELED)
        return FileOpResult::Cancelled;
    return status ? FileOpResult::Done : FileOpResult::Failed;
}

FileOpResult CFileOperation::MoveOne(const std::string& source)
{
    const std::string destination = Destination(m_folder, source);
    if (destination == source || IsSameFile(source, destination))
        return FileOpResult::Skipped;
    if (IsReadOnly(destination))
        return FileOpResult::Failed;
    struct stat st {};
    if (lstat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return FileOpResult::Failed;
    if (rename(source.c_str(), destination.c_str()) == 0) {
        m_bytesDone.fetch_add(static_cast<std::uint64_t>(st.st_size));
        return FileOpResult::Done;
    }
    if (errno != EXDEV)
        return FileOpResult::Failed;
    // Another file system: the source goes only once its copy is complete on disk.
    const CStatus status = CopyFileContents(source, destination);
    if (status.Code() == ECANCELED)
        return FileOpResult::Cancelled;
    if (!status)
        return FileOpResult::Failed;
    return unlink(source.c_str()) == 0 ? FileOpResult::Done : FileOpResult::Failed;
}

FileOpResult CFileOperation::DeleteOne(const std::string& source)
{
    struct stat st {};
    if (lstat(source.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return FileOpResult::Failed;
    return unlink(source.c_str()) == 0 ? FileOpResult::Done : FileOpResult::Failed;
}

CStatus CFileOperation::CopyFileContents(const std::string& source, const std::string& destination)
{
    // Regular files only: a FIFO would block the open and a device would never end.
    CUniqueFd in;
    if (const CStatus status = OpenRegularFile(source, in); !status)
        return status;
    struct stat st {};
    if (fstat(in.Get(), &st) != 0)
        return CStatus::LastError();
    CFileWriter out;
    if (const CStatus status = out.Open(destination); !status)
        return status;
    std::vector<char> buffer(CHUNK);
    for (;;) {
        if (m_cancel.load())
            return CStatus(ECANCELED); // out discards the temporary file
        const ssize_t got = read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return CStatus::LastError();
        if (got == 0)
            break;
        if (const CStatus status = out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got))); !status)
            return status;
        m_bytesDone.fetch_add(static_cast<std::uint64_t>(got));
    }
    // A source that shrank while it was read is not a complete copy.
    struct stat after {};
    if (fstat(in.Get(), &after) != 0)
        return CStatus::LastError();
    if (lseek(out.Fd(), 0, SEEK_CUR) != after.st_size)
        return CStatus(EIO);
    if (fchmod(out.Fd(), st.st_mode & 07777) != 0)
        return CStatus::LastError();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out.Fd(), times) != 0)
        return CStatus::LastError();
    return out.Commit();
}

} // namespace mev
