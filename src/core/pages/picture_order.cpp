#include "core/pages/picture_order.hpp"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <thread>

#include "core/files/user_file.hpp"
#include "core/media/folder_tree_model.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/picture_info.hpp"
#include "core/shell/file_names.hpp"

namespace mev {

std::atomic<int> IndexSortOrder{0};
std::atomic<bool> IndexShowNames{false};

namespace {

constexpr int DESCENDING = 16;

struct SortItem {
    std::int64_t number = 0;  // date taken (else modification time) in ns, or size
    const char* nameKey = nullptr; // the name's collation key, kept in one of KeyParts
    std::uint32_t nameKeyLength = 0;
    std::uint32_t index = 0;
    std::string type;

    std::string_view NameKey() const { return {nameKey, nameKeyLength}; }
};

// The names' keys, one buffer per thread that made them: a million keys allocated one
// by one cost as many allocations and frees, and twice their size in memory.
using KeyParts = std::vector<std::string>;

// An EXIF date ("YYYY:MM:DD HH:MM:SS", the camera's local time) as nanoseconds since
// the epoch, comparable with modification times; false for anything else.
bool ExifDateToNanoseconds(const std::string& text, std::int64_t& nanoseconds)
{
    if (text.size() < 19)
        return false;
    int fields[6] = {};
    for (int i = 0; i < 6; ++i) {
        const std::size_t at = i == 0 ? 0 : 2 + 3 * static_cast<std::size_t>(i);
        const std::size_t digits = i == 0 ? 4 : 2;
        for (std::size_t k = at; k < at + digits; ++k) {
            if (text[k] < '0' || text[k] > '9')
                return false;
            fields[i] = fields[i] * 10 + (text[k] - '0');
        }
    }
    if (fields[0] < 1900 || fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31)
        return false;
    std::tm when{};
    when.tm_year = fields[0] - 1900;
    when.tm_mon = fields[1] - 1;
    when.tm_mday = fields[2];
    when.tm_hour = fields[3];
    when.tm_min = fields[4];
    when.tm_sec = fields[5];
    when.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&when);
    if (seconds == static_cast<std::time_t>(-1))
        return false;
    nanoseconds = static_cast<std::int64_t>(seconds) * 1000000000;
    return true;
}

void MakeItem(const std::string& folder, const std::string& name, PictureSortKey key, SortItem& item,
              std::string* keys)
{
    if (keys != nullptr) {
        const std::string nameKey = MakeFolderSortKey(name);
        *keys += nameKey;
        item.nameKeyLength = static_cast<std::uint32_t>(nameKey.size());
    }
    if (key == PictureSortKey::Type) {
        item.type = CMediaKinds::KeyOf(name);
        return;
    }
    if (key == PictureSortKey::Name)
        return;
    const std::string path = JoinPath(folder, name);
    FileFacts facts;
    if (!ReadFileFacts(path, facts))
        return;
    if (key == PictureSortKey::Date) {
        // The camera's date where the picture has one; a copy's is its own mtime.
        if (const auto reader = GetPictureInfoReader()) {
            if (const auto picture = reader->ReadPictureInfo(path);
                picture && ExifDateToNanoseconds(picture->dateTaken, item.number))
                return;
        }
    }
    item.number = key == PictureSortKey::Size
        ? static_cast<std::int64_t>(facts.size)
        : facts.modifiedSeconds * 1000000000 + facts.modifiedNanoseconds;
}

// Collation keys and file examinations cost far more than comparing: each is made once,
// on a few threads for a large folder.
bool MakeItems(const std::string& folder, const std::vector<std::string>& names, PictureSortKey key,
               std::vector<SortItem>& items, KeyParts& keyParts, const std::function<bool()>& cancelled,
               const CNameKeyMaker* made)
{
    constexpr std::size_t PER_THREAD = 16384;
    items.resize(names.size());
    const bool keysMade = made != nullptr && made->Count() == names.size() && made->KeysKept();
    for (std::size_t i = 0; i < names.size(); ++i) {
        items[i].index = static_cast<std::uint32_t>(i);
        if (keysMade) {
            const std::string_view nameKey = made->Key(i);
            items[i].nameKey = nameKey.data();
            items[i].nameKeyLength = static_cast<std::uint32_t>(nameKey.size());
        }
    }
    if (keysMade && key == PictureSortKey::Name)
        return !(cancelled && cancelled());
    const std::size_t threads =
        std::clamp<std::size_t>(names.size() / PER_THREAD, 1, std::max(1u, std::min(4u, std::thread::hardware_concurrency())));
    std::atomic<bool> stop{false};
    keyParts.assign(threads, {});
    const auto work = [&](std::size_t part) {
        const std::size_t begin = names.size() * part / threads;
        const std::size_t end = names.size() * (part + 1) / threads;
        std::string& keys = keyParts[part];
        if (!keysMade)
            keys.reserve((end - begin) * 32);
        for (std::size_t i = begin; i < end; ++i) {
            if ((i & 1023) == 0 && (stop.load(std::memory_order_relaxed) || (part == 0 && cancelled && cancelled()))) {
                stop = true;
                return;
            }
            MakeItem(folder, names[i], key, items[i], keysMade ? nullptr : &keys);
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < threads; ++part)
        helpers.emplace_back(work, part);
    work(0);
    for (std::thread& helper : helpers)
        helper.join();
    if (stop.load())
        return false;
    if (keysMade)
        return true;
    // The buffers are complete: each item's key is where its part's running length says.
    for (std::size_t part = 0; part < threads; ++part) {
        const char* at = keyParts[part].data();
        for (std::size_t i = names.size() * part / threads; i < names.size() * (part + 1) / threads; ++i) {
            items[i].nameKey = at;
            at += items[i].nameKeyLength;
        }
    }
    return true;
}

} // namespace

int EncodePictureOrder(PictureOrder order)
{
    return static_cast<int>(order.key) + (order.descending ? DESCENDING : 0);
}

PictureOrder DecodePictureOrder(int code)
{
    const int key = code & ~DESCENDING;
    if (code < 0 || key > static_cast<int>(PictureSortKey::Type))
        return {};
    return {static_cast<PictureSortKey>(key), (code & DESCENDING) != 0};
}

void SortPictureNames(const std::string& folder, std::vector<std::string>& names, PictureOrder order,
                      const std::function<bool()>& cancelled, std::size_t head,
                      const std::function<void(const std::vector<std::string>&)>& headReady,
                      const CNameKeyMaker* keys)
{
    if (names.size() < 2) {
        if (headReady && !names.empty())
            headReady(names);
        return;
    }
    // Name order's first names may be known already, from the keys' making.
    const std::size_t headCount = std::min(head, names.size());
    const bool headKept = headReady && keys != nullptr && order.key == PictureSortKey::Name
        && keys->Count() == names.size() && keys->HeadKept(headCount, order.descending);
    if (headKept) {
        std::vector<std::string> first;
        first.reserve(headCount);
        for (std::size_t i = 0; i < headCount; ++i)
            first.push_back(names[keys->Head()[i]]);
        headReady(first);
    }
    std::vector<SortItem> items;
    KeyParts keyParts;
    if (!MakeItems(folder, names, order.key, items, keyParts, cancelled, keys))
        return;
    const auto less = [&names, descending = order.descending](const SortItem& a, const SortItem& b) {
        const SortItem& x = descending ? b : a;
        const SortItem& y = descending ? a : b;
        if (x.number != y.number)
            return x.number < y.number;
        if (x.type != y.type)
            return x.type < y.type;
        if (const int byKey = x.NameKey().compare(y.NameKey()); byKey != 0)
            return byKey < 0;
        return names[x.index] < names[y.index];
    };
    auto rest = items.begin();
    if (headKept) {
        std::vector<bool> inHead(names.size());
        for (std::size_t i = 0; i < headCount; ++i)
            inHead[keys->Head()[i]] = true;
        rest = std::partition(items.begin(), items.end(), [&inHead](const SortItem& item) { return inHead[item.index]; });
        std::sort(items.begin(), rest, less);
    } else if (headReady) {
        // The first screenful need not wait for a large folder's whole sort: one pass
        // that keeps the least few seen so far, where most names are turned away by a
        // single comparison.
        rest += static_cast<std::ptrdiff_t>(std::min(head, items.size()));
        std::partial_sort(items.begin(), rest, items.end(), less);
        std::vector<std::string> first;
        first.reserve(static_cast<std::size_t>(rest - items.begin()));
        for (auto it = items.begin(); it != rest; ++it)
            first.push_back(names[it->index]);
        headReady(first);
    }
    std::sort(rest, items.end(), less);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const SortItem& item : items)
        sorted.push_back(std::move(names[item.index]));
    names = std::move(sorted);
}

CNameKeyMaker::~CNameKeyMaker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void CNameKeyMaker::Add(const std::string* first, std::size_t count)
{
    std::unique_lock lock(m_mutex);
    for (std::size_t i = 0; i < count; ++i) {
        if (m_batches.size() == m_sealed) {
            m_batches.emplace_back();
            m_batches.back().names.reserve(BATCH * 24);
        }
        Batch& batch = m_batches.back();
        batch.names.append(first[i]).push_back('\0');
        if (++batch.count == BATCH)
            Seal();
    }
    // Small folders are done before a thread would have started.
    if (!m_worker.joinable() && m_sealed > 0) {
        m_worker = std::thread([this] {
            std::unique_lock workerLock(m_mutex);
            while (!m_stopping) {
                if (!MakeOne(workerLock))
                    m_changed.wait(workerLock);
            }
        });
    }
}

void CNameKeyMaker::Seal()
{
    ++m_sealed;
    m_changed.notify_all();
}

bool CNameKeyMaker::MakeOne(std::unique_lock<std::mutex>& lock)
{
    if (m_stopping || m_next >= m_sealed)
        return false;
    const std::size_t number = m_next++;
    Batch& batch = m_batches[number];
    lock.unlock();
    // Made where the last batch's were, which stays in the cache, and then copied to
    // memory that faults once per huge page: a million keys in small buffers faulted
    // as often as the making itself took.
    thread_local std::string keys;
    keys.clear();
    // Past the limit no key is kept: a batch that ends beyond it keeps none.
    const bool keeping = number * BATCH + batch.count <= m_keepLimit;
    if (keeping)
        batch.keyEnds.reserve(batch.count);
    // Most names of a large folder are turned away from the head by one comparison with
    // its last name as the batch began, made while the key is fresh; the few left join
    // the head at the end of the batch.
    HeadEntry last;
    const bool heading = m_headCount > 0;
    const bool full = heading && LastOfHead(last);
    std::vector<HeadEntry> offered;
    for (std::size_t at = 0, i = 0; at < batch.names.size(); ++i) {
        const std::string_view name(batch.names.data() + at);
        const std::size_t begin = keys.size();
        keys += MakeFolderSortKey(name);
        if (keeping)
            batch.keyEnds.push_back(static_cast<std::uint32_t>(keys.size()));
        at += name.size() + 1;
        if (heading) {
            const std::string_view key = std::string_view(keys).substr(begin);
            if (!full || HeadBefore(key, name, last.key, last.name))
                offered.push_back({std::string(key), std::string(name), static_cast<std::uint32_t>(number * BATCH + i)});
        }
    }
    if (!offered.empty())
        JoinHead(offered);
    // The names are not needed again.
    std::string().swap(batch.names);
    lock.lock();
    if (keeping) {
        char* room = m_keyBytes.Take(keys.size());
        std::copy(keys.begin(), keys.end(), room);
        batch.keys = std::string_view(room, keys.size());
    }
    ++m_made;
    m_changed.notify_all();
    return true;
}

bool CNameKeyMaker::Finish(const std::function<bool()>& cancelled)
{
    std::unique_lock lock(m_mutex);
    if (!m_batches.empty() && m_batches.size() > m_sealed)
        Seal();
    // What is left is shared with helpers where more processors wait.
    std::vector<std::thread> helpers;
    const std::size_t processors = std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
    for (std::size_t i = 2; i < processors && m_sealed - m_next > i; ++i) {
        helpers.emplace_back([this] {
            std::unique_lock helperLock(m_mutex);
            while (MakeOne(helperLock)) {
            }
        });
    }
    bool stopped = false;
    while (m_made < m_sealed) {
        if (cancelled && cancelled()) {
            m_stopping = stopped = true;
            m_changed.notify_all();
            break;
        }
        if (!MakeOne(lock))
            m_changed.wait(lock); // another thread's batch: each one made wakes this
    }
    // The helper thread has nothing left to do.
    m_stopping = true;
    m_changed.notify_all();
    lock.unlock();
    for (std::thread& helper : helpers)
        helper.join();
    if (m_worker.joinable())
        m_worker.join();
    if (stopped) {
        m_batches.clear();
        m_head.clear();
        return false;
    }
    std::sort(m_head.begin(), m_head.end(), HeadOrder());
    m_headOrder.clear();
    for (const HeadEntry& entry : m_head)
        m_headOrder.push_back(entry.index);
    std::vector<HeadEntry>().swap(m_head);
    m_count = 0;
    for (const Batch& batch : m_batches)
        m_count += batch.count;
    return true;
}

void CNameKeyMaker::KeepHead(std::size_t count, bool descending)
{
    m_headCount = count;
    m_headDescending = descending;
}

bool CNameKeyMaker::HeadKept(std::size_t count, bool descending) const
{
    return m_headCount >= count && m_headDescending == descending && m_headOrder.size() == std::min(m_headCount, m_count);
}

bool CNameKeyMaker::HeadBefore(std::string_view keyA, std::string_view nameA, std::string_view keyB,
                               std::string_view nameB) const
{
    if (m_headDescending) {
        std::swap(keyA, keyB);
        std::swap(nameA, nameB);
    }
    if (const int byKey = keyA.compare(keyB); byKey != 0)
        return byKey < 0;
    return nameA < nameB;
}

bool CNameKeyMaker::LastOfHead(HeadEntry& last)
{
    std::lock_guard lock(m_headMutex);
    if (m_head.size() < m_headCount)
        return false;
    last = m_head.front();
    return true;
}

void CNameKeyMaker::JoinHead(std::vector<HeadEntry>& offered)
{
    const auto before = HeadOrder();
    std::lock_guard lock(m_headMutex);
    for (HeadEntry& entry : offered) {
        if (m_head.size() < m_headCount) {
            m_head.push_back(std::move(entry));
            std::push_heap(m_head.begin(), m_head.end(), before);
        } else if (before(entry, m_head.front())) {
            std::pop_heap(m_head.begin(), m_head.end(), before);
            m_head.back() = std::move(entry);
            std::push_heap(m_head.begin(), m_head.end(), before);
        }
    }
}

std::string_view CNameKeyMaker::Key(std::size_t i) const
{
    const Batch& batch = m_batches[i / BATCH];
    const std::size_t at = i % BATCH;
    const std::uint32_t begin = at == 0 ? 0 : batch.keyEnds[at - 1];
    return batch.keys.substr(begin, batch.keyEnds[at] - begin);
}

} // namespace mev
