#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Sorts the names of pictures in folder. Name order is the folder tree's (letter case
// folded, numbers in numeric order) and reads nothing from the disk; date (the EXIF
// date taken where the installed picture information reader finds one, else the
// modification time), size and type (the extension) read or stat each file once and
// fall back to name order among equals. Files that cannot be examined sort as oldest
// and smallest. Descending reverses the whole order. Stops early, leaving names in
// some order, once cancelled() is true. When headReady is given, the first head names of
// the order are handed to it as soon as they are known, before the rest is sorted. The
// names' keys (MakeFolderSortKey), when given in their order (CNameKeyMaker), are taken
// from nameKeys instead of being made.
void SortPictureNames(const std::string& folder, std::vector<std::string>& names, PictureOrder order,
                      const std::function<bool()>& cancelled = {}, std::size_t head = 0,
                      const std::function<void(const std::vector<std::string>&)>& headReady = {},
                      std::vector<std::string>* nameKeys = nullptr);

// Makes the name keys of a folder's pictures while the folder is still being listed: a
// large folder's listing keeps one processor busy and its keys take twice as long again,
// so they are made beside it on a thread of its own, started with the first full batch.
class CNameKeyMaker {
public:
    CNameKeyMaker() = default;
    ~CNameKeyMaker();
    CNameKeyMaker(const CNameKeyMaker&) = delete;
    CNameKeyMaker& operator=(const CNameKeyMaker&) = delete;

    // The next names of the list, in order; they are copied.
    void Add(const std::string* first, std::size_t count);
    // The keys of every name added, in order, the ones not made yet made here; empty
    // once cancelled() is true.
    std::vector<std::string> Take(const std::function<bool()>& cancelled);

private:
    struct Batch {
        std::vector<std::string> names;
        std::vector<std::string> keys;
    };
    // Makes the keys of one waiting batch; false when none waits.
    bool MakeOne(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches;  // in order; kept until taken
    std::size_t m_next = 0;       // the first batch nobody has started
    std::size_t m_made = 0;       // batches whose keys are made
    bool m_stopping = false;
    std::thread m_worker;
};

} // namespace mev
