#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/shell/status.hpp"

namespace mev {

// A person's folders may hold FIFOs, sockets and links to devices under any name. A plain
// open() of a FIFO waits for a writer, and a read of /dev/zero never ends, so every file
// of theirs is opened through here before anything reads it.

class CUniqueFd;

// Opens the file for reading without blocking (a link counts as what it names) and
// keeps it in file only when it is a regular file; the descriptor is then blocking again.
// Fails otherwise, file then empty (ENODEV for a FIFO, device or socket, EISDIR for a
// folder).
CStatus OpenRegularFile(const std::string& path, CUniqueFd& file);

// Whether the path names a regular file, following links: what lists of media take.
bool IsRegularFilePath(const std::string& path);

// Adds to names the regular files of folder (a link to one is one) whose names accept
// takes, in the folder's own order: one pass over the folder, and only links and entries
// of a type the file system does not tell are examined. Stops early once cancelled() is
// true. Fails when the folder cannot be read; names then holds what was read. While it
// lists, listed() is handed the names added since its last call, every few thousand
// names and once at the end: every name once, in order.
CStatus ListRegularFiles(const std::string& folder, const std::function<bool(std::string_view)>& accept,
                         std::vector<std::string>& names, const std::function<bool()>& cancelled = {},
                         const std::function<void(const std::string* first, std::size_t count)>& listed = {});

// Adds to names the sub-folders of folder (a link to one is one) whose names accept
// takes, in the folder's own order, as ListRegularFiles does. Fails only when the folder
// cannot be read at all: an error further on keeps what was read.
CStatus ListSubFolderNames(const std::string& folder, const std::function<bool(std::string_view)>& accept,
                           std::vector<std::string>& names, const std::function<bool()>& cancelled = {});

// What one stat() of a path tells, following links.
struct FileFacts {
    bool regular = false;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
};

// Fails when the path cannot be examined.
CStatus ReadFileFacts(const std::string& path, FileFacts& facts);

// Reads the file into text, stopping once text holds maxBytes or more. Opened without
// blocking, so a FIFO under the name reads as empty rather than stalling. Fails when it
// cannot be opened or read.
CStatus ReadFileNonBlocking(const std::string& path, std::size_t maxBytes, std::string& text);

// Closes the descriptor when it goes.
class CUniqueFd {
public:
    explicit CUniqueFd(int fd = -1) : m_fd(fd) {}
    ~CUniqueFd();
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    int Get() const { return m_fd; }
    // Takes fd in place of the descriptor held, which is closed.
    void Reset(int fd = -1);
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace mev
