#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/files/huge_pages.hpp"

namespace mev {

// The order of the thumbnail index.
enum class PictureSortKey { Name = 0, Date = 1, Size = 2, Type = 3 };

struct PictureOrder {
    PictureSortKey key = PictureSortKey::Name;
    bool descending = false;
    bool operator==(const PictureOrder&) const = default;
};

// As one number for the settings and the page workers: the key, plus 16 when descending.
// Anything unknown reads as name order, ascending.
int EncodePictureOrder(PictureOrder order);
PictureOrder DecodePictureOrder(int code);

// The index's order and whether it shows the file names under the thumbnails. Written
// by the UI, read by page workers.
extern std::atomic<int> IndexSortOrder;
extern std::atomic<bool> IndexShowNames;

class CNameKeyMaker;

// Sorts the names of pictures in folder. Name order is the folder tree's (letter case
// folded, numbers in numeric order) and reads nothing from the disk; date (the EXIF
// date taken where the installed picture information reader finds one, else the
// modification time), size and type (the extension) read or stat each file once and
// fall back to name order among equals. Files that cannot be examined sort as oldest
// and smallest. Descending reverses the whole order. Stops early, leaving names in
// some order, once cancelled() is true. When headReady is given, the first head names of
// the order are handed to it as soon as they are known, before the rest is sorted. The
// names' keys are taken from keys when it holds them all, in the names' order, and so
// are the first names of name order when it kept them (KeepHead).
void SortPictureNames(const std::string& folder, std::vector<std::string>& names, PictureOrder order,
                      const std::function<bool()>& cancelled = {}, std::size_t head = 0,
                      const std::function<void(const std::vector<std::string>&)>& headReady = {},
                      const CNameKeyMaker* keys = nullptr);

// Makes the name keys (MakeFolderSortKey) of a folder's pictures while the folder is
// still being listed: a large folder's listing keeps one processor busy, and its keys
// take as long again. They are made beside it, on a thread of its own started with the
// first full batch, so a small folder never starts one. Names and keys are kept a batch
// to a buffer, never one allocation each.
class CNameKeyMaker {
public:
    static constexpr std::size_t BATCH = 4096;

    CNameKeyMaker() = default;
    ~CNameKeyMaker();
    CNameKeyMaker(const CNameKeyMaker&) = delete;
    CNameKeyMaker& operator=(const CNameKeyMaker&) = delete;

    // The next names of the list, in order; they are copied.
    void Add(const std::string* first, std::size_t count);
    // Makes what is left, here and on the helper; false, with no keys, once cancelled()
    // is true.
    bool Finish(const std::function<bool()>& cancelled);
    // After Finish: the number of names, whether their keys were all kept, and the key
    // of the i-th name added (only when they were).
    std::size_t Count() const { return m_count; }
    bool KeysKept() const { return m_count <= m_keepLimit; }
    std::string_view Key(std::size_t i) const;

    // Keeps the keys only while there are at most count names: past that, only the head
    // (KeepHead) is kept, and whoever sorts the rest makes their keys again. A large
    // folder's keys fill tens of megabytes of fresh memory, which its first screenful
    // need not wait for. Before the first Add.
    void KeepKeysUpTo(std::size_t count) { m_keepLimit = count; }

    // Keeps the first count names of name order (descending: of its reverse) as their
    // keys are made, so that a large folder's first screenful is known when its last key
    // is, not after a pass over a million of them. Before the first Add.
    void KeepHead(std::size_t count, bool descending);
    // After Finish: whether the first count names of that order were kept, and the
    // indices (in the order of Add) of those kept, in order.
    bool HeadKept(std::size_t count, bool descending) const;
    const std::vector<std::uint32_t>& Head() const { return m_headOrder; }

private:
    struct Batch {
        std::string names; // each followed by a NUL
        std::string_view keys; // in m_keyBytes
        std::vector<std::uint32_t> keyEnds;
        std::size_t count = 0;
    };
    // Makes the keys of the next batch waiting, with the lock held on entry and on
    // return; false when none waits.
    bool MakeOne(std::unique_lock<std::mutex>& lock);
    void Seal();
    struct HeadEntry {
        std::string key;
        std::string name;
        std::uint32_t index = 0;
    };
    // Whether a name comes before another in the order kept.
    bool HeadBefore(std::string_view keyA, std::string_view nameA, std::string_view keyB, std::string_view nameB) const;
    auto HeadOrder() const
    {
        return [this](const HeadEntry& a, const HeadEntry& b) { return HeadBefore(a.key, a.name, b.key, b.name); };
    }
    // The last of the head, once it holds all it keeps; false before.
    bool LastOfHead(HeadEntry& last);
    // Adds to the head those offered that come before its last.
    void JoinHead(std::vector<HeadEntry>& offered);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches; // its elements stay where they are as it grows
    std::size_t m_sealed = 0;    // batches complete and ready for a maker
    std::size_t m_next = 0;      // the next one to take
    std::size_t m_made = 0;
    std::size_t m_count = 0;
    std::size_t m_keepLimit = SIZE_MAX;
    bool m_stopping = false;
    std::thread m_worker;
    CHugePageBytes m_keyBytes; // under m_mutex

    std::mutex m_headMutex;
    std::vector<HeadEntry> m_head; // a heap, the last of the order on top
    std::size_t m_headCount = 0;
    bool m_headDescending = false;
    std::vector<std::uint32_t> m_headOrder;
};

} // namespace mev
