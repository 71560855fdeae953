#include "core/pages/picture_generators.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "core/media/media_kinds.hpp"
#include "core/pages/page_protocol.hpp"
#include "core/pages/page_url.hpp"
#include "core/shell/url.hpp"
#include "core/shell/utf8.hpp"
#include "core/thumbs/picture_decoder.hpp"
#include "core/thumbs/thumbnail_cache.hpp"
#include "core/thumbs/thumbnail_engine.hpp"
#include "core/work/background_work.hpp"

namespace mev {

namespace {

std::atomic<std::uint64_t> g_decodeCount{0};

// Thumbnail requests being answered, and those answered since the start, for a page
// that waits for its first screenful's (AwaitFirstThumbnails).
struct ThumbnailTraffic {
    std::mutex mutex;
    std::condition_variable changed;
    int answering = 0;
    std::uint64_t answered = 0;
};

ThumbnailTraffic& Traffic()
{
    static ThumbnailTraffic traffic;
    return traffic;
}

// Counts one request while it is being answered.
class CAnswering {
public:
    CAnswering()
    {
        std::lock_guard lock(Traffic().mutex);
        ++Traffic().answering;
    }
    ~CAnswering()
    {
        ThumbnailTraffic& traffic = Traffic();
        {
            std::lock_guard lock(traffic.mutex);
            --traffic.answering;
            ++traffic.answered;
        }
        traffic.changed.notify_all();
    }
    CAnswering(const CAnswering&) = delete;
    CAnswering& operator=(const CAnswering&) = delete;
};

CThumbnailEngine& Engine()
{
    return CBackgroundWork::Get().GetThumbnails();
}

const CThumbnailCache& Cache()
{
    return Engine().GetCache();
}

bool LiesInCache(const std::string& path)
{
    const std::string& root = Cache().GetRoot();
    return !root.empty() && path.size() > root.size() && path.compare(0, root.size(), root) == 0
        && path[root.size()] == '/';
}

// A decode slot held for a request. Cancelling the request wakes the wait, so a
// picture the page no longer wants leaves the queue before its decode.
class CRequestSlot {
public:
    CRequestSlot(CPageProtocol& protocol, bool urgent)
        : m_scheduler(Engine().GetScheduler()), m_held(Acquire(m_scheduler, protocol, urgent))
    {
    }
    ~CRequestSlot()
    {
        if (m_held)
            m_scheduler.Release();
    }
    CRequestSlot(const CRequestSlot&) = delete;
    CRequestSlot& operator=(const CRequestSlot&) = delete;
    bool IsHeld() const { return m_held; }

private:
    static bool Acquire(CThumbnailScheduler& scheduler, CPageProtocol& protocol, bool urgent)
    {
        protocol.SetCancelWaker([&scheduler] { scheduler.Wake(); });
        const bool held = scheduler.Acquire([&protocol] { return protocol.IsCancelled(); }, urgent);
        protocol.SetCancelWaker(nullptr);
        return held;
    }

    CThumbnailScheduler& m_scheduler;
    const bool m_held;
};

void MakeThumbnail(CPageProtocol& protocol, ThumbnailSize size, bool urgent)
{
    const CAnswering answering;
    const std::string& path = protocol.GetArgument();
    const auto mtime = GetModificationTime(path);
    if (!mtime)
        return; // gone since the page was made
    const CThumbnailCache& cache = Cache();
    const std::string uri = CThumbnailCache::MakeUri(path);
    if (auto png = cache.Load(size, uri, *mtime)) {
        protocol.AppendPageData(*png, true);
        return;
    }
    if (cache.HasFailed(uri, *mtime))
        return;
    const auto decoder = GetPictureDecoder();
    if (!decoder)
        return;

    const CRequestSlot slot(protocol, urgent);
    if (!slot.IsHeld())
        return; // no longer wanted: dropped before its decode
    // The same picture may have been made while this request waited (shown twice, or
    // asked for by an earlier visit of the page).
    if (auto png = cache.Load(size, uri, *mtime)) {
        protocol.AppendPageData(*png, true);
        return;
    }
    g_decodeCount.fetch_add(1, std::memory_order_relaxed);
    const auto thumbnail = decoder->MakeThumbnail(path, GetThumbnailPixels(size));
    if (!thumbnail) {
        cache.RecordFailure(uri, *mtime);
        return;
    }
    // Thumbnails of the cache's own files would only multiply.
    if (!LiesInCache(path))
        cache.Store(size, uri, *mtime, thumbnail->bytes);
    protocol.AppendPageData(thumbnail->bytes, true);
}

bool IsUtf8(std::string_view text)
{
    char32_t cp = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text.substr(at), cp);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

} // namespace

void PrepareThumbnails(const std::string& firstPicture, int width)
{
    const auto decoder = GetPictureDecoder();
    const auto mtime = GetModificationTime(firstPicture);
    if (width <= 0 || !decoder || !mtime)
        return;
    const CThumbnailCache& cache = Cache();
    const std::string uri = CThumbnailCache::MakeUri(firstPicture);
    if (!cache.Load(ChooseThumbnailSize(width), uri, *mtime) && !cache.HasFailed(uri, *mtime))
        decoder->Prepare();
}

void AwaitFirstThumbnails(CPageProtocol& protocol)
{
    // Long enough for a screenful of decodes, short enough that the rest of the page
    // is never held up for long when no request comes (a page not on screen).
    constexpr auto MOST = std::chrono::milliseconds(200);
    ThumbnailTraffic& traffic = Traffic();
    protocol.SetCancelWaker([&traffic] {
        { std::lock_guard lock(traffic.mutex); }
        traffic.changed.notify_all();
    });
    {
        std::unique_lock lock(traffic.mutex);
        const std::uint64_t before = traffic.answered;
        traffic.changed.wait_for(lock, MOST, [&] {
            return (traffic.answered > before && traffic.answering == 0) || protocol.IsCancelled();
        });
    }
    protocol.SetCancelWaker(nullptr);
}

template <int Pixels, bool Urgent>
void GenerateThumbnail(CPageProtocol& protocol)
{
    MakeThumbnail(protocol, ChooseThumbnailSize(Pixels), Urgent);
}

template void GenerateThumbnail<128, true>(CPageProtocol&);
template void GenerateThumbnail<256, true>(CPageProtocol&);
template void GenerateThumbnail<512, true>(CPageProtocol&);
template void GenerateThumbnail<1024, true>(CPageProtocol&);
template void GenerateThumbnail<128, false>(CPageProtocol&);
template void GenerateThumbnail<256, false>(CPageProtocol&);
template void GenerateThumbnail<512, false>(CPageProtocol&);
template void GenerateThumbnail<1024, false>(CPageProtocol&);

void GeneratePictureRendition(CPageProtocol& protocol)
{
    const auto decoder = GetPictureDecoder();
    if (!decoder)
        return;
    const CRequestSlot slot(protocol, true);
    if (!slot.IsHeld())
        return;
    if (const auto picture = decoder->MakeRendition(protocol.GetArgument()))
        protocol.AppendPageData(picture->bytes, true);
}

bool IsWebPicture(std::string_view fileName)
{
    static constexpr std::string_view WEB_KEYS[] = {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".apng", ".gif",
                                                    ".bmp", ".dib",  ".ico", ".cur", ".webp", ".svg"};
    const std::string key = CMediaKinds::KeyOf(fileName);
    for (std::string_view web : WEB_KEYS) {
        if (key == web)
            return true;
    }
    return false;
}

std::string MakePictureUrl(const std::string& path)
{
    // The web view maps a file URL back to a file name only through UTF-8; a name that is
    // not UTF-8 goes through the rendition, which takes any bytes.
    if (IsWebPicture(path) && IsUtf8(path))
        return MakeFileUrl(path);
    return "mev://picture/?" + EncodeUrlPath(path);
}

bool PicturePathOfUrl(std::string_view url, std::string& path)
{
    std::string host;
    std::string argument;
    if (!ParsePageUrl(url, host, argument))
        return false;
    if (host != "picture" && host.rfind("thumb", 0) != 0 && host.rfind("near", 0) != 0)
        return false;
    path = std::move(argument);
    return true;
}

std::uint64_t GetThumbnailDecodeCount()
{
    return g_decodeCount.load(std::memory_order_relaxed);
}

} // namespace mev
