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

CUniqueFd::~CUniqueFd()
{
    if (m_fd >= 0)
        close(m_fd);
}

} // namespace mev
