#include "ui/web/page_request.hpp"

#include <algorithm>
#include <limits>

#include "core/pages/page_protocol.hpp"
#include "core/pages/page_sink.hpp"

namespace mev {

namespace {

// While a read waits, the request is also polled as a safety net: a notification that is
// lost (its idle source dropped while the main loop shuts down, say) must not leave the
// web view waiting for the rest of a page forever.
constexpr guint POLL_INTERVAL_MS = 20;

// Receives the protocol's notifications on notifier threads and hands them to the
// request on the main loop, unless it has gone by then.
class CRequestSink : public IPageSink {
public:
    CRequestSink(CPageRequest& request, CUiOwner owner) : m_request(request), m_owner(std::move(owner)) {}

    void ReportData(std::uint32_t, std::uint64_t, std::uint64_t) override
    {
        CPageRequest* request = &m_request;
        PostToUi(m_owner, [request] { request->OnDataReported(); }, G_PRIORITY_DEFAULT);
    }

    void ReportResult(HResult) override {}

private:
    CPageRequest& m_request; // only touched through PostToUi, which checks it lives
    const CUiOwner m_owner;
};

} // namespace

std::shared_ptr<CPageRequest> CPageRequest::Start(const std::string& url)
{
    std::shared_ptr<CPageRequest> request(new CPageRequest());
    request->m_protocol = CPageProtocol::Create();
    if (!request->m_protocol)
        return nullptr;
    auto sink = std::make_shared<CRequestSink>(*request, request->m_guard.Owner());
    const HResult hr = request->m_protocol->Start(url, sink);
    if (hr != E_PENDING && hr != S_OK) {
        request->m_closed = true;
        return nullptr;
    }
    return request;
}

std::string CPageRequest::GetContentType() const
{
    return std::string(m_protocol->GetContentType());
}

CPageRequest::~CPageRequest()
{
    StopWaiting();
    if (m_task != nullptr) {
        g_task_return_new_error(m_task, G_IO_ERROR, G_IO_ERROR_CLOSED, "page request closed");
        g_object_unref(m_task);
    }
    if (!m_closed && m_protocol)
        m_protocol->Abort();
}

void CPageRequest::BeginRead(GTask* task, void* buffer, std::size_t size, GCancellable* cancellable)
{
    m_task = task;
    m_buffer = buffer;
    m_size = size;
    if (cancellable != nullptr) {
        if (g_cancellable_is_cancelled(cancellable)) {
            Close();
            CompleteRead(-1, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CANCELLED, "read cancelled"));
            return;
        }
        m_cancelSource = g_cancellable_source_new(cancellable);
        g_source_set_callback(m_cancelSource, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(&OnCancelled)),
                              this, nullptr);
        g_source_attach(m_cancelSource, nullptr);
    }
    if (TryCompleteRead())
        return;
    m_pollSource = g_timeout_source_new(POLL_INTERVAL_MS);
    g_source_set_callback(m_pollSource, &OnPoll, this, nullptr);
    g_source_attach(m_pollSource, nullptr);
}

void CPageRequest::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_protocol->Abort();
}

void CPageRequest::OnDataReported()
{
    if (m_task != nullptr)
        TryCompleteRead();
}

bool CPageRequest::TryCompleteRead()
{
    if (m_task == nullptr)
        return true;
    if (m_closed) {
        CompleteRead(0, nullptr);
        return true;
    }
    std::uint32_t count = 0;
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(m_size, std::numeric_limits<std::uint32_t>::max()));
    const HResult hr = m_protocol->Read(m_buffer, size, count);
    if (hr == S_OK && count > 0) {
        CompleteRead(static_cast<gssize>(count), nullptr);
        return true;
    }
    if (hr == S_OK || hr == E_PENDING)
        return false;
    if (hr == S_FALSE) {
        CompleteRead(0, nullptr);
        return true;
    }
    CompleteRead(-1, g_error_new(G_IO_ERROR, G_IO_ERROR_FAILED, "page read failed (0x%08x)", static_cast<unsigned>(hr)));
    return true;
}

void CPageRequest::CompleteRead(gssize count, GError* error)
{
    // Returning the task may run the reader's callback at once, which may start the next
    // read or drop the stream (and with it this object).
    auto self = shared_from_this();
    StopWaiting();
    GTask* task = m_task;
    m_task = nullptr;
    m_buffer = nullptr;
    m_size = 0;
    if (task == nullptr) {
        if (error != nullptr)
            g_error_free(error);
        return;
    }
    if (error != nullptr)
        g_task_return_error(task, error);
    else
        g_task_return_int(task, count);
    g_object_unref(task);
}

void CPageRequest::StopWaiting()
{
    if (m_pollSource != nullptr) {
        g_source_destroy(m_pollSource);
        g_source_unref(m_pollSource);
        m_pollSource = nullptr;
    }
    if (m_cancelSource != nullptr) {
        g_source_destroy(m_cancelSource);
        g_source_unref(m_cancelSource);
        m_cancelSource = nullptr;
    }
}

gboolean CPageRequest::OnPoll(gpointer self)
{
    static_cast<CPageRequest*>(self)->TryCompleteRead();
    return G_SOURCE_CONTINUE;
}

gboolean CPageRequest::OnCancelled(GCancellable*, gpointer self)
{
    auto* request = static_cast<CPageRequest*>(self);
    request->Close();
    request->CompleteRead(-1, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CANCELLED, "read cancelled"));
    return G_SOURCE_REMOVE;
}

} // namespace mev
