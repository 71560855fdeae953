#include "core/files/user_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mev {

CStatus OpenRegularFile(const std::string& path, CUniqueFd& file)
{
    file.Reset();
    CUniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0)
        return CStatus::LastError();
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0)
        return CStatus::LastError();
    if (S_ISDIR(info.st_mode))
        return CStatus(EISDIR);
    if (!S_ISREG(info.st_mode))
        return CStatus(ENODEV);
    if (const int flags = fcntl(fd.Get(), F_GETFL); flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return CStatus::LastError();
    file.Reset(fd.Release());
    return {};
}

bool IsRegularFilePath(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CStatus ReadFileFacts(const std::string& path, FileFacts& facts)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return CStatus::LastError();
    facts.regular = S_ISREG(info.st_mode);
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    facts.modifiedNanoseconds = info.st_mtim.tv_nsec;
    return {};
}

CStatus ReadFileNonBlocking(const std::string& path, std::size_t maxBytes, std::string& text)
{
    text.clear();
    const CUniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0)
        return CStatus::LastError();
    char buffer[65536];
    while (text.size() < maxBytes) {
        const ssize_t got = read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return CStatus::LastError();
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return {};
}

CUniqueFd::~CUniqueFd()
{
    Reset();
}

void CUniqueFd::Reset(int fd)
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = fd;
}

} // namespace mev
