#include "core/files/file_writer.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/shell/file_names.hpp"

namespace mev {

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::string_view TEMP_PREFIX = ".mev-";
constexpr std::string_view TEMP_SUFFIX = ".part";

// The process id in ".mev-<pid>-<n>.part", or 0 for any other name.
pid_t TemporaryOwner(std::string_view name)
{
    if (name.size() <= TEMP_PREFIX.size() + TEMP_SUFFIX.size() || name.substr(0, TEMP_PREFIX.size()) != TEMP_PREFIX
        || name.substr(name.size() - TEMP_SUFFIX.size()) != TEMP_SUFFIX)
        return 0;
    name = name.substr(TEMP_PREFIX.size(), name.size() - TEMP_PREFIX.size() - TEMP_SUFFIX.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9 || dash + 1 == name.size())
        return 0;
    long pid = 0;
    for (char c : name.substr(0, dash)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    for (char c : name.substr(dash + 1)) {
        if (c < '0' || c > '9')
            return 0;
    }
    return static_cast<pid_t>(pid);
}

} // namespace

unsigned CFileWriter::RemoveStaleTemporaries(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    unsigned removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const pid_t owner = TemporaryOwner(entry->d_name);
        // A writer still running, ours or another copy's, keeps its file; so does one
        // whose process id has been taken since: better a stray file than a lost one.
        if (owner <= 0 || owner == getpid() || kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info {};
        if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
            && unlinkat(dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    closedir(dir);
    return removed;
}

CFileWriter::~CFileWriter()
{
    Discard();
}

CStatus CFileWriter::Open(const std::string& finalPath)
{
    Discard();
    static std::atomic<unsigned> s_counter{0};
    const std::string folder = FolderOf(finalPath);
    // A hidden name of our own in the destination folder, so the rename stays on one
    // file system; O_EXCL never opens someone else's file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = JoinPath(folder, ".mev-" + std::to_string(getpid()) + "-" +
                                                      std::to_string(s_counter.fetch_add(1)) + ".part");
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = temp;
            m_finalPath = finalPath;
            return {};
        }
        if (errno != EEXIST)
            return CStatus::LastError();
    }
    return CStatus(EEXIST);
}

CStatus CFileWriter::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = write(m_fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return CStatus::LastError();
        if (done == 0)
            return CStatus(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return {};
}

CStatus CFileWriter::Commit()
{
    if (m_fd < 0)
        return CStatus(EBADF);
    CStatus status;
    if (fsync(m_fd) != 0)
        status = CStatus::LastError();
    if (close(m_fd) != 0 && status)
        status = CStatus::LastError();
    m_fd = -1;
    if (status && rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0)
        status = CStatus::LastError();
    if (!status) {
        Discard();
        return status;
    }
    m_tempPath.clear();
    return status;
}

void CFileWriter::Discard()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

} // namespace mev
