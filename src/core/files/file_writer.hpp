#pragma once

#include <string>
#include <string_view>

#include "core/shell/status.hpp"

namespace mev {

// A file that is written under a temporary name in its final folder and only takes its
// final name, replacing what was there, once it is complete and flushed. Whatever fails
// before Commit, the temporary file is removed and an earlier file of the final name is
// left as it was.
class CFileWriter {
public:
    CFileWriter() = default;
    ~CFileWriter();
    CFileWriter(const CFileWriter&) = delete;
    CFileWriter& operator=(const CFileWriter&) = delete;

    // Creates the temporary file in the folder of finalPath; fails when it cannot be made.
    CStatus Open(const std::string& finalPath);
    CStatus Write(std::string_view bytes);
    int Fd() const { return m_fd; }
    // Flushes, closes and renames over the final path. Fails (temporary file gone) when
    // any step fails.
    CStatus Commit();
    // Removes the temporary file; the final path is not touched.
    void Discard();

    // Removes the temporary files that writers of processes no longer running (a crash,
    // a power cut) left in the folder. Returns how many went.
    static unsigned RemoveStaleTemporaries(const std::string& folder);

private:
    int m_fd = -1;
    std::string m_tempPath;
    std::string m_finalPath;
};

} // namespace mev
