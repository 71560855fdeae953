#include "core/pages/page_protocol.hpp"

#include <array>
#include <exception>

#include "core/pages/notification_queue.hpp"
#include "core/pages/page_generators.hpp"
#include "core/pages/page_templates.hpp"
#include "core/pages/picture_generators.hpp"
#include "core/pages/picture_info.hpp"
#include "core/pages/page_url.hpp"
#include "core/work/background_work.hpp"

namespace mev {

namespace {

constexpr std::array<PageRoute, 16> PAGE_ROUTES{{
    {"front", GenerateFixedPage, HTML_ABOUT_PAGE},
    {"blank", GenerateFixedPage, HTML_BLANK_PAGE},
    {"images", GenerateIndexPage, 0},
    {"image", GenerateImagePage, 0},
    {"audio", GenerateAudioPage, 0},
    {"video", GenerateVideoPage, 0},
    {"thumb128", GenerateThumbnail<128, true>, 0, "image/png", false, PageWork::Picture},
    {"thumb256", GenerateThumbnail<256, true>, 0, "image/png", false, PageWork::Picture},
    {"thumb512", GenerateThumbnail<512, true>, 0, "image/png", false, PageWork::Picture},
    {"thumb1024", GenerateThumbnail<1024, true>, 0, "image/png", false, PageWork::Picture},
    {"near128", GenerateThumbnail<128, false>, 0, "image/png", false, PageWork::NearPicture},
    {"near256", GenerateThumbnail<256, false>, 0, "image/png", false, PageWork::NearPicture},
    {"near512", GenerateThumbnail<512, false>, 0, "image/png", false, PageWork::NearPicture},
    {"near1024", GenerateThumbnail<1024, false>, 0, "image/png", false, PageWork::NearPicture},
    {"picture", GeneratePictureRendition, 0, "image/jpeg", false, PageWork::Picture},
    {"pictureinfo", GeneratePictureInfoPage, 0},
}};

} // namespace

const PageRoute* FindPageRoute(std::string_view host)
{
    for (const auto& route : PAGE_ROUTES) {
        if (route.host == host)
            return &route;
    }
    return nullptr;
}

std::shared_ptr<CPageProtocol> CPageProtocol::Create()
{
    return std::shared_ptr<CPageProtocol>(new CPageProtocol());
}

CPageProtocol::CPageProtocol()
    : m_notifications(std::make_shared<CNotificationQueue>())
{
}

// The job holds a reference until its very end: nothing is left to wait for here.
CPageProtocol::~CPageProtocol() = default;

bool CPageProtocol::IsCancelled() const
{
    return m_cancel.load(std::memory_order_acquire) || m_token.IsCancelled();
}

HResult CPageProtocol::Start(std::string_view url, std::shared_ptr<IPageSink> sink)
{
    std::string host;
    std::string argument;
    if (!ParsePageUrl(url, host, argument))
        return INET_E_CANNOT_LOAD_DATA;
    const PageRoute* route = FindPageRoute(host);
    if (route == nullptr)
        return INET_E_CANNOT_LOAD_DATA;
    m_contentType = route->contentType;
    m_abortWaits = route->abortWaits;
    m_work = route->work;
    return StartGenerator(std::move(argument), route->generator, route->fixedTemplate, std::move(sink));
}

HResult CPageProtocol::StartGenerator(std::string argument, PageGenerator generator, int fixedTemplate,
                                      std::shared_ptr<IPageSink> sink)
{
    if (generator == nullptr)
        return INET_E_CANNOT_LOAD_DATA;
    {
        // One request at a time: a second worker would write into the same buffer, and
        // clearing the cancel flag would wake a worker that was told to stop.
        std::lock_guard lock(m_stateMutex);
        if (m_workerRunning)
            return INET_E_CANNOT_LOAD_DATA;
    }

    std::shared_ptr<CPageProtocol> self;
    try {
        self = shared_from_this();
    } catch (const std::bad_weak_ptr&) {
        return INET_E_CANNOT_LOAD_DATA; // not made by Create: nothing would keep it alive
    }

    m_buffer.Clear();
    m_argument = std::move(argument);
    m_fixedTemplate = fixedTemplate;
    m_cancel.store(false);
    m_complete.store(false);
    m_resultReported.store(false);
    m_firstNotificationSent = false;
    std::uint64_t generation = 0;
    CCancelToken token;
    {
        std::lock_guard lock(m_stateMutex);
        m_sink = std::move(sink);
        m_workerRunning = true;
        m_workerStarted = false;
        generation = ++m_generation;
        m_token = token;
    }
    using Lane = CBackgroundWork::Lane;
    const Lane lane = m_work == PageWork::Document ? Lane::Pages : Lane::Pictures;
    const int priority = m_work == PageWork::NearPicture ? CBackgroundWork::NEAR_SCREEN : CBackgroundWork::ON_SCREEN;
    const bool posted = CBackgroundWork::Get().GetPool(lane).Post(
        [self, generator, generation] {
            if (self->BeginWorker(generation))
                self->RunWorker(generator);
        },
        token, [self, generation] { self->EndUnstarted(generation); }, priority);
    if (!posted) {
        std::lock_guard lock(m_stateMutex);
        m_workerRunning = false;
        m_complete.store(true);
        return INET_E_CANNOT_LOAD_DATA;
    }
    return E_PENDING;
}

bool CPageProtocol::BeginWorker(std::uint64_t generation)
{
    std::lock_guard lock(m_stateMutex);
    if (generation != m_generation || !m_workerRunning || m_workerStarted)
        return false;
    m_workerStarted = true;
    return true;
}

void CPageProtocol::EndUnstarted(std::uint64_t generation)
{
    {
        std::lock_guard lock(m_stateMutex);
        if (generation != m_generation || !m_workerRunning || m_workerStarted)
            return;
        m_workerRunning = false;
        m_complete.store(true, std::memory_order_release);
    }
    m_stateChanged.notify_all();
}

void CPageProtocol::RunWorker(PageGenerator generator)
{
    try {
        generator(*this);
    } catch (...) {
        // Out of memory or a failing file-system call: the page ends where it stopped.
    }
    // A page that stopped before its last piece still gets a closing notification,
    // otherwise a browser waiting for more data would wait forever.
    const bool closed = m_complete.exchange(true, std::memory_order_acq_rel);
    if (!closed && !IsCancelled()) {
        const std::uint32_t held = m_buffer.Used();
        const std::uint32_t flags = m_firstNotificationSent
            ? BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE
            : BSCF_FIRSTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE;
        m_firstNotificationSent = true;
        NotifyData(flags, held, held);
    }
    // The worker says it has ended as its last act on the object: every byte and
    // notification it produced is in place before this.
    {
        std::lock_guard lock(m_stateMutex);
        m_workerRunning = false;
    }
    m_stateChanged.notify_all();
}

std::shared_ptr<IPageSink> CPageProtocol::GetSink() const
{
    std::lock_guard lock(m_stateMutex);
    return m_sink;
}

HResult CPageProtocol::Read(void* dest, std::uint32_t size, std::uint32_t& count)
{
    count = 0;
    // Read the end state before taking bytes: a piece appended between the take and the
    // check could otherwise be left behind an early S_FALSE.
    const bool complete = m_complete.load(std::memory_order_acquire);
    if (size == 0) {
        if (m_buffer.Used() > 0)
            return S_OK;
    } else {
        if (dest == nullptr)
            return E_FAIL;
        count = m_buffer.Take(dest, size);
        if (count > 0)
            return S_OK;
    }
    if (!complete)
        return E_PENDING;
    if (!m_resultReported.exchange(true)) {
        if (auto sink = GetSink())
            sink->ReportResult(S_OK);
    }
    return S_FALSE;
}

HResult CPageProtocol::Abort()
{
    m_cancel.store(true, std::memory_order_release);
    std::function<void()> waker;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_stateMutex);
        waker = m_cancelWaker;
        m_token.Cancel(); // a job still queued is dropped
        generation = m_generation;
    }
    EndUnstarted(generation);
    if (waker)
        waker();
    if (m_abortWaits)
        WaitForWorker(STOP_WAIT);
    return S_OK;
}

void CPageProtocol::SetCancelWaker(std::function<void()> waker)
{
    std::lock_guard lock(m_stateMutex);
    m_cancelWaker = std::move(waker);
}

HResult CPageProtocol::Terminate()
{
    return Abort();
}

bool CPageProtocol::WaitForWorker(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_stateMutex);
    return m_stateChanged.wait_for(lock, timeout, [this] { return !m_workerRunning; });
}

bool CPageProtocol::WaitUntilIdle(std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!WaitForWorker(timeout))
        return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return m_notifications->WaitUntilIdle(left.count() > 0 ? left : std::chrono::milliseconds(0));
}

bool CPageProtocol::AppendPageData(std::string_view bytes, bool last)
{
    if (IsCancelled() || m_complete.load(std::memory_order_acquire))
        return false;
    const auto held = m_buffer.Append(bytes);
    if (!held)
        return false;
    if (last)
        m_complete.store(true, std::memory_order_release);
    // Small pieces gather until 8192 bytes wait or the page ends.
    if (*held < NOTIFY_THRESHOLD && !last)
        return true;
    std::uint32_t flags = 0;
    if (!m_firstNotificationSent) {
        flags = BSCF_FIRSTDATANOTIFICATION | (last ? BSCF_DATAFULLYAVAILABLE : BSCF_AVAILABLEDATASIZEUNKNOWN);
        m_firstNotificationSent = true;
    } else {
        flags = last ? BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE
                     : BSCF_INTERMEDIATEDATANOTIFICATION | BSCF_AVAILABLEDATASIZEUNKNOWN;
    }
    NotifyData(flags, *held, *held);
    return true;
}

void CPageProtocol::FlushPageData()
{
    if (IsCancelled() || m_complete.load(std::memory_order_acquire))
        return;
    const std::uint32_t held = m_buffer.Used();
    if (held == 0)
        return;
    std::uint32_t flags = BSCF_INTERMEDIATEDATANOTIFICATION | BSCF_AVAILABLEDATASIZEUNKNOWN;
    if (!m_firstNotificationSent) {
        flags = BSCF_FIRSTDATANOTIFICATION | BSCF_AVAILABLEDATASIZEUNKNOWN;
        m_firstNotificationSent = true;
    }
    NotifyData(flags, held, held);
}

bool CPageProtocol::AppendTemplate(int templateId, bool last)
{
    const auto data = LoadTemplate(templateId);
    if (!data)
        return false;
    return AppendPageData(*data, last);
}

void CPageProtocol::NotifyData(std::uint32_t flags, std::uint64_t progress, std::uint64_t maximum)
{
    if (auto sink = GetSink())
        m_notifications->Post(std::move(sink), flags, progress, maximum);
}

std::optional<std::string> CPageProtocol::RenderPage(std::string_view url)
{
    std::string host;
    std::string argument;
    if (!ParsePageUrl(url, host, argument))
        return std::nullopt;
    const PageRoute* route = FindPageRoute(host);
    if (route == nullptr)
        return std::nullopt;
    return RunGenerator(std::move(argument), route->generator, route->fixedTemplate);
}

std::string CPageProtocol::RunGenerator(std::string argument, PageGenerator generator, int fixedTemplate)
{
    const auto protocol = Create();
    protocol->m_argument = std::move(argument);
    protocol->m_fixedTemplate = fixedTemplate;
    protocol->m_complete.store(false);
    if (generator != nullptr) {
        try {
            generator(*protocol);
        } catch (...) {
        }
    }
    std::string page(protocol->m_buffer.Used(), '\0');
    page.resize(protocol->m_buffer.Take(page.data(), static_cast<std::uint32_t>(page.size())));
    return page;
}

} // namespace mev
