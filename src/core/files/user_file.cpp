#include "core/files/user_file.hpp"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
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

// Reads a folder's entries a block at a time. On a large folder a second thread reads
// ahead while the caller sorts out the entries: reading them is most of a listing's time,
// spent in the kernel, and the rest (copying names, testing them) then costs nothing.
// A small folder is read on the caller's thread alone.
class CFolderBlocks {
public:
    explicit CFolderBlocks(int fd) : m_fd(fd) {}
    CFolderBlocks(const CFolderBlocks&) = delete;
    CFolderBlocks& operator=(const CFolderBlocks&) = delete;

    ~CFolderBlocks()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        if (m_reader.joinable())
            m_reader.join();
    }

    // The next block of entry records; false at the end or on an error (Error() tells).
    // A block stays valid until the next call.
    bool Next(std::string_view& block)
    {
        if (!m_reader.joinable()) {
            if (m_first == nullptr)
                m_first = std::make_unique<char[]>(FIRST_BLOCK);
            const ssize_t got = Read(m_fd, m_first.get(), FIRST_BLOCK, m_error);
            if (got <= 0)
                return false;
            // A full first block: many more follow, read ahead from now on.
            if (static_cast<std::size_t>(got) > FIRST_BLOCK / 2)
                m_reader = std::thread([this] { ReadAhead(); });
            block = std::string_view(m_first.get(), static_cast<std::size_t>(got));
            return true;
        }
        std::unique_lock lock(m_mutex);
        if (m_taken > m_released) {
            ++m_released; // the block handed out last is done with
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return m_read > m_taken || m_ended; });
        if (m_read == m_taken) {
            m_error = m_readError;
            return false;
        }
        const std::size_t slot = m_taken++ % BLOCKS;
        block = std::string_view(m_blocks[slot].get(), m_sizes[slot]);
        return true;
    }

    int Error() const { return m_error; }

private:
    static constexpr std::size_t FIRST_BLOCK = 32 * 1024;
    static constexpr std::size_t BLOCK = 256 * 1024;
    static constexpr std::size_t BLOCKS = 4;

    // One block of entries into 'into': its size, 0 at the end, or -1 with error set.
    static ssize_t Read(int fd, char* into, std::size_t size, int& error)
    {
        ssize_t got = 0;
        do
            got = getdents64(fd, into, size);
        while (got < 0 && errno == EINTR);
        error = got < 0 ? errno : 0;
        return got;
    }

    void ReadAhead()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || m_read - m_released < BLOCKS; });
            if (m_stopping)
                return;
            const std::size_t slot = m_read % BLOCKS;
            lock.unlock();
            if (m_blocks[slot] == nullptr)
                m_blocks[slot] = std::make_unique<char[]>(BLOCK);
            int error = 0;
            const ssize_t got = Read(m_fd, m_blocks[slot].get(), BLOCK, error);
            lock.lock();
            if (got <= 0) {
                m_ended = true;
                m_readError = error;
                m_changed.notify_all();
                return;
            }
            m_sizes[slot] = static_cast<std::size_t>(got);
            ++m_read;
            m_changed.notify_all();
        }
    }

    const int m_fd;
    int m_error = 0;
    std::unique_ptr<char[]> m_first;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<std::unique_ptr<char[]>, BLOCKS> m_blocks;
    std::array<std::size_t, BLOCKS> m_sizes {};
    // Counts of blocks read ahead, handed out and done with; the reader stays at most
    // BLOCKS ahead of what is done with.
    std::size_t m_read = 0;
    std::size_t m_taken = 0;
    std::size_t m_released = 0;
    bool m_ended = false;
    int m_readError = 0;
    bool m_stopping = false;
};

// The entries of folder of one type (links followed) whose names accept takes, in the
// folder's own order: only links and entries of a type the file system does not tell
// are examined. opened tells whether the folder could be read at all.
CStatus ListEntriesOfType(const std::string& folder, unsigned char direntType, mode_t type,
                          const std::function<bool(std::string_view)>& accept, std::vector<std::string>& names,
                          const std::function<bool()>& cancelled, const ListedCallback& listed, bool& opened)
{
    constexpr std::size_t LISTED_BATCH = 4096;
    const CUniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    opened = dir.Get() >= 0;
    if (!opened)
        return CStatus::LastError();
    // The list is made room for once: grown by doubling, a million names are moved
    // about twice over, which took a quarter of the listing's time. A folder's size
    // roughly bounds its entries (ext4 and tmpfs spend 20 bytes or more on each), and
    // room never written costs no memory.
    constexpr std::size_t MOST_RESERVED = std::size_t{1} << 22;
    struct stat folderFacts {};
    if (names.empty() && fstat(dir.Get(), &folderFacts) == 0 && folderFacts.st_size > 0)
        names.reserve(std::min(static_cast<std::size_t>(folderFacts.st_size) / 20, MOST_RESERVED));
    // Filled a page at a time, the list of a million names faulted 8,000 times.
    AdviseHugePages(names.data(), names.capacity() * sizeof(std::string));
    std::size_t handed = names.size();
    std::size_t seen = 0;
    bool stopped = false;
    CFolderBlocks blocks(dir.Get());
    std::string_view block;
    while (!stopped && blocks.Next(block)) {
        for (std::size_t at = 0; at < block.size();) {
            const auto* entry = reinterpret_cast<const dirent64*>(block.data() + at);
            at += entry->d_reclen;
            if ((++seen & 1023) == 0 && cancelled && cancelled()) {
                stopped = true;
                break;
            }
            const std::string_view name(entry->d_name);
            if (name == "." || name == ".." || !accept(name))
                continue;
            bool wanted = entry->d_type == direntType;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat facts {};
                wanted = fstatat(dir.Get(), entry->d_name, &facts, 0) == 0 && (facts.st_mode & S_IFMT) == type;
            }
            if (!wanted)
                continue;
            names.emplace_back(name);
            if (listed && names.size() - handed == LISTED_BATCH) {
                listed(names.data() + handed, LISTED_BATCH);
                handed = names.size();
            }
        }
    }
    if (listed && names.size() > handed)
        listed(names.data() + handed, names.size() - handed);
    return blocks.Error() != 0 && !stopped ? CStatus(blocks.Error()) : CStatus();
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
