#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace mev {

// Asks the system to back the whole 2 MB pages inside [data, data + size) with huge
// pages: memory filled from start to end (the names and keys of a folder of a million
// pictures) then faults once every 2 MB instead of every 4 KB. Nothing where the system
// has no such pages.
void AdviseHugePages(const void* data, std::size_t size);

// Bytes handed out from a few blocks that grow as more is taken, the large ones backed
// by huge pages; all kept until this is destroyed. Not for two threads at once.
class CHugePageBytes {
public:
    // Room for size bytes, which stays where it is.
    char* Take(std::size_t size);

private:
    struct Free {
        void operator()(char* block) const;
    };
    std::vector<std::unique_ptr<char[], Free>> m_blocks;
    std::size_t m_used = 0;
    std::size_t m_size = 0;
};

} // namespace mev
