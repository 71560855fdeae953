#include "core/files/file_writer.hpp"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
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

} // namespace

CFileWriter::~CFileWriter()
{
    Discard();
}

bool CFileWriter::Open(const std::string& finalPath)
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
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool CFileWriter::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = write(m_fd, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

bool CFileWriter::Commit()
{
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    int failure = 0;
    if (fsync(m_fd) != 0)
        failure = errno;
    if (close(m_fd) != 0 && failure == 0)
        failure = errno;
    m_fd = -1;
    if (failure == 0 && rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        Discard();
        errno = failure;
        return false;
    }
    m_tempPath.clear();
    return true;
}

void CFileWriter::Discard()
{
    const int saved = errno;
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    errno = saved;
}

} // namespace mev
