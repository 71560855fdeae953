#include "core/work/background_work.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace mev {

namespace {

// Threads per lane: pages are few at a time; picture jobs mostly wait for a decode slot
// (one per processor) or read a cached thumbnail, and enough of them run for cache hits
// to pass decodes; a hung file system ties up one file thread, not the program.
constexpr unsigned PAGE_THREADS = 8;
constexpr unsigned PICTURE_THREADS = 32;
constexpr unsigned NOTICE_THREADS = 4;
constexpr unsigned FILE_THREADS = 4;
// Beyond these a request is refused, as a thread that cannot start was before.
constexpr std::size_t PAGE_QUEUE = 1024;
constexpr std::size_t PICTURE_QUEUE = 16384;
constexpr std::size_t NOTICE_QUEUE = 16384;
constexpr std::size_t FILE_QUEUE = 256;

std::atomic<CBackgroundWork*> g_installed{nullptr};
std::mutex g_sharedMutex;
std::unique_ptr<CBackgroundWork> g_shared; // under g_sharedMutex

unsigned DecodeSlots()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace

CBackgroundWork::CBackgroundWork()
    : m_thumbnails(CThumbnailCache::GetDefaultRoot(), DecodeSlots()),
      m_pages(PAGE_THREADS, PAGE_QUEUE),
      m_pictures(PICTURE_THREADS, PICTURE_QUEUE),
      m_notices(NOTICE_THREADS, NOTICE_QUEUE),
      m_files(FILE_THREADS, FILE_QUEUE)
{
}

CBackgroundWork::~CBackgroundWork()
{
    Stop();
}

CWorkPool& CBackgroundWork::GetPool(Lane lane)
{
    switch (lane) {
    case Lane::Pages:
        return m_pages;
    case Lane::Pictures:
        return m_pictures;
    case Lane::Notices:
        return m_notices;
    case Lane::Files:
        break;
    }
    return m_files;
}

void CBackgroundWork::Stop()
{
    // Picture jobs wait for decode slots: the scheduler looks at their cancelled tokens.
    CThumbnailScheduler& scheduler = m_thumbnails.GetScheduler();
    m_pictures.Stop([&scheduler] { scheduler.Wake(); });
    m_pages.Stop();
    m_files.Stop();
    m_notices.Stop();
}

CBackgroundWork& CBackgroundWork::Get()
{
    if (CBackgroundWork* installed = g_installed.load(std::memory_order_acquire))
        return *installed;
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared)
        g_shared = std::make_unique<CBackgroundWork>();
    return *g_shared;
}

void CBackgroundWork::Install(CBackgroundWork* work)
{
    g_installed.store(work, std::memory_order_release);
}

void CBackgroundWork::StopShared()
{
    std::lock_guard lock(g_sharedMutex);
    if (g_shared)
        g_shared->Stop();
}

} // namespace mev
