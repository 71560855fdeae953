#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/pages/page_buffer.hpp"
#include "core/pages/page_sink.hpp"
#include "core/pages/results.hpp"
#include "core/work/work_pool.hpp"

namespace mev {

class CPageProtocol;
class CNotificationQueue;

// A page worker: writes the page for the protocol's argument with AppendPageData and
// AppendTemplate, checking IsCancelled between steps.
using PageGenerator = void (*)(CPageProtocol& protocol);

enum class PageWork { Document, Picture, NearPicture };

struct PageRoute {
    std::string_view host;
    PageGenerator generator;
    int fixedTemplate; // the template of "front" and "blank", 0 for the others
    std::string_view contentType = "text/html";
    // Pictures are many and small: cancelling one does not wait for its worker, which
    // may be in the middle of a decode.
    bool abortWaits = true;
    // Pictures run in a lane of their own, the ones on screen before the ones near it.
    PageWork work = PageWork::Document;
};

// The generator for a (lower-case) URL host, or null for a host that is not a page.
const PageRoute* FindPageRoute(std::string_view host);

// One mev: request. Start runs the page's generator as a job of the background work
// (CBackgroundWork) that fills the buffer; ReportData notifications tell the sink when to
// Read; the first Read that finds nothing more to come reports the result once and
// returns S_FALSE.
//
// The job and the notification jobs hold shared references (the job to this object,
// notifications only to the sink and their queue), so releasing the last outside
// reference while they run is safe: the object then lives until its job has ended.
class CPageProtocol : public std::enable_shared_from_this<CPageProtocol> {
public:
    static constexpr std::uint32_t NOTIFY_THRESHOLD = 8192;
    static constexpr std::chrono::milliseconds STOP_WAIT{3000};

    static std::shared_ptr<CPageProtocol> Create();
    ~CPageProtocol();
    CPageProtocol(const CPageProtocol&) = delete;
    CPageProtocol& operator=(const CPageProtocol&) = delete;

    // E_PENDING when a worker was started, otherwise INET_E_CANNOT_LOAD_DATA (bad URL,
    // unknown host, missing file or folder, no thread, or a previous request of this
    // object still running).
    HResult Start(std::string_view url, std::shared_ptr<IPageSink> sink);

    // Start with a generator chosen by the caller and an argument taken as it is.
    HResult StartGenerator(std::string argument, PageGenerator generator, int fixedTemplate,
                           std::shared_ptr<IPageSink> sink);

    // S_OK with count > 0 bytes; E_PENDING when nothing waits but more will come;
    // S_FALSE at the end (the sink's ReportResult is called on the first such Read only).
    HResult Read(void* dest, std::uint32_t size, std::uint32_t& count);

    // Both set the cancel flag and wait at most STOP_WAIT for the worker (not at all for
    // a route that says so); S_OK. No notification or result report follows from them.
    // A job that has not started yet never does.
    HResult Abort();
    HResult Terminate();

    // True when no worker runs any more (or none was started) within the time.
    bool WaitForWorker(std::chrono::milliseconds timeout) const;

    // Waits for the worker and then for every notification it posted to be delivered.
    bool WaitUntilIdle(std::chrono::milliseconds timeout) const;

    // Used by generators on the worker thread. AppendPageData refuses (false) after
    // cancellation, after the last piece, and when the buffer cannot grow; it notifies
    // the sink when 8192 bytes wait or the piece is the last.
    bool AppendPageData(std::string_view bytes, bool last);
    bool AppendTemplate(int templateId, bool last);
    // Notifies the sink of whatever waits, however little: for a piece the page should
    // see now rather than with the next 8192 bytes.
    void FlushPageData();
    void NotifyData(std::uint32_t flags, std::uint64_t progress, std::uint64_t maximum);
    const std::string& GetArgument() const { return m_argument; }
    int GetFixedTemplate() const { return m_fixedTemplate; }
    // Also true once the background work stops.
    bool IsCancelled() const;
    // Called on the cancelling thread right after the cancel flag is set, so that a
    // generator waiting elsewhere can look at IsCancelled again.
    void SetCancelWaker(std::function<void()> waker);
    // The content type of the route that was started ("text/html" before a start).
    std::string_view GetContentType() const { return m_contentType; }
    const CPageBuffer& GetBuffer() const { return m_buffer; }

    // Runs the page of a URL, or a generator, on the calling thread and returns the
    // whole text; nothing when the URL would not start.
    static std::optional<std::string> RenderPage(std::string_view url);
    static std::string RunGenerator(std::string argument, PageGenerator generator, int fixedTemplate = 0);

private:
    CPageProtocol();
    // Whether the job of that start may run (it was not called off before it started).
    bool BeginWorker(std::uint64_t generation);
    // The job of that start was dropped before it started.
    void EndUnstarted(std::uint64_t generation);
    void RunWorker(PageGenerator generator);
    std::shared_ptr<IPageSink> GetSink() const;

    std::atomic<bool> m_cancel{false};
    std::string m_argument;
    std::string_view m_contentType = "text/html";
    bool m_abortWaits = true;
    PageWork m_work = PageWork::Document;
    std::function<void()> m_cancelWaker; // under m_stateMutex
    int m_fixedTemplate = 0;
    bool m_firstNotificationSent = false; // worker only
    // Set once the last piece is in (or the worker has stopped): from then on an empty
    // buffer means the end, so the browser never waits for data that cannot come.
    std::atomic<bool> m_complete{true};
    std::atomic<bool> m_resultReported{false};
    CPageBuffer m_buffer;
    std::shared_ptr<CNotificationQueue> m_notifications;

    mutable std::mutex m_stateMutex;
    mutable std::condition_variable m_stateChanged;
    std::shared_ptr<IPageSink> m_sink;
    bool m_workerRunning = false; // from the start until the job ends or is dropped
    bool m_workerStarted = false;
    std::uint64_t m_generation = 0;
    CCancelToken m_token; // the current job's; written only while no job runs
};

} // namespace mev
