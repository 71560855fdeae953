#include "core/files/user_file.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files/huge_pages.hpp"

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

namespace {

using ListedCallback = std::function<void(const std::string* first, std::size_t count)>;

// The entries of folder of one type (links followed) whose names accept takes, in the
// folder's own order: only links and entries of a type the file system does not tell
// are examined. opened tells whether the folder could be read at all.
CStatus ListEntriesOfType(const std::string& folder, unsigned char direntType, mode_t type,
                          const std::function<bool(std::string_view)>& accept, std::vector<std::string>& names,
                          const std::function<bool()>& cancelled, const ListedCallback& listed, bool& opened)
{
    constexpr std::size_t LISTED_BATCH = 4096;
    DIR* dir = opendir(folder.c_str());
    opened = dir != nullptr;
    if (dir == nullptr)
        return CStatus::LastError();
    // The list is made room for once: grown by doubling, a million names are moved
    // about twice over, which took a quarter of the listing's time. A folder's size
    // roughly bounds its entries (ext4 and tmpfs spend 20 bytes or more on each), and
    // room never written costs no memory.
    constexpr std::size_t MOST_RESERVED = std::size_t{1} << 22;
    struct stat folderFacts {};
    if (names.empty() && fstat(dirfd(dir), &folderFacts) == 0 && folderFacts.st_size > 0)
        names.reserve(std::min(static_cast<std::size_t>(folderFacts.st_size) / 20, MOST_RESERVED));
    // Filled a page at a time, the list of a million names faulted 8,000 times.
    AdviseHugePages(names.data(), names.capacity() * sizeof(std::string));
    CStatus status;
    std::size_t handed = names.size();
    for (std::size_t seen = 0;; ++seen) {
        if ((seen & 1023) == 1023 && cancelled && cancelled())
            break;
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                status = CStatus::LastError();
            break;
        }
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !accept(name))
            continue;
        bool wanted = entry->d_type == direntType;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat facts {};
            wanted = fstatat(dirfd(dir), entry->d_name, &facts, 0) == 0 && (facts.st_mode & S_IFMT) == type;
        }
        if (!wanted)
            continue;
        names.emplace_back(name);
        if (listed && names.size() - handed == LISTED_BATCH) {
            listed(names.data() + handed, LISTED_BATCH);
            handed = names.size();
        }
    }
    closedir(dir);
    if (listed && names.size() > handed)
        listed(names.data() + handed, names.size() - handed);
    return status;
}

} // namespace

CStatus ListRegularFiles(const std::string& folder, const std::function<bool(std::string_view)>& accept,
                         std::vector<std::string>& names, const std::function<bool()>& cancelled,
                         const ListedCallback& listed)
{
    bool opened = false;
    return ListEntriesOfType(folder, DT_REG, S_IFREG, accept, names, cancelled, listed, opened);
}

CStatus ListSubFolderNames(const std::string& folder, const std::function<bool(std::string_view)>& accept,
                           std::vector<std::string>& names, const std::function<bool()>& cancelled)
{
    bool opened = false;
    const CStatus status = ListEntriesOfType(folder, DT_DIR, S_IFDIR, accept, names, cancelled, {}, opened);
    return opened ? CStatus() : status;
}

} // namespace mev
