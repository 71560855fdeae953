#include "core/files/user_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mev {

int OpenRegularFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info {};
    int failure = 0;
    if (fstat(fd, &info) != 0)
        failure = errno;
    else if (S_ISDIR(info.st_mode))
        failure = EISDIR;
    else if (!S_ISREG(info.st_mode))
        failure = ENODEV;
    else if (const int flags = fcntl(fd, F_GETFL); flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        failure = errno;
    if (failure != 0) {
        close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

bool IsRegularFilePath(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadFileFacts(const std::string& path, FileFacts& facts)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    facts.regular = S_ISREG(info.st_mode);
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    facts.modifiedNanoseconds = info.st_mtim.tv_nsec;
    return true;
}

bool ReadFileNonBlocking(const std::string& path, std::size_t maxBytes, std::string& text)
{
    text.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    while (text.size() < maxBytes) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    const int error = errno;
    close(fd);
    errno = error;
    return ok;
}

CUniqueFd::~CUniqueFd()
{
    if (m_fd >= 0)
        close(m_fd);
}

} // namespace mev
