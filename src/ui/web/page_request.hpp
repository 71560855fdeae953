#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <gio/gio.h>

#include "platform/post_to_ui.hpp"

namespace mev {

class CPageProtocol;

// One mev: request seen from WebKit's side: drives a CPageProtocol and answers the
// stream's asynchronous reads from its buffer. Lives and dies on the main loop; the
// protocol's data notifications arrive on other threads and come over by PostToUi.
class CPageRequest : public std::enable_shared_from_this<CPageRequest> {
public:
    // Starts the page; nullptr when the URL is refused (the page then does not load).
    static std::shared_ptr<CPageRequest> Start(const std::string& url);

    // "text/html" for pages, the picture type for thumbnails and renditions.
    std::string GetContentType() const;
    ~CPageRequest();
    CPageRequest(const CPageRequest&) = delete;
    CPageRequest& operator=(const CPageRequest&) = delete;

    // Completes task with the byte count (0 at the end) once data is there; one read at
    // a time, as GInputStream guarantees.
    void BeginRead(GTask* task, void* buffer, std::size_t size, GCancellable* cancellable);
    // Stops the worker; any later read ends the stream.
    void Close();

    void OnDataReported(); // main loop only

private:
    CPageRequest() = default;
    bool TryCompleteRead();
    void CompleteRead(gssize count, GError* error);
    void StopWaiting();
    static gboolean OnPoll(gpointer self);
    static gboolean OnCancelled(GCancellable* cancellable, gpointer self);

    std::shared_ptr<CPageProtocol> m_protocol;
    bool m_closed = false;
    GTask* m_task = nullptr;
    void* m_buffer = nullptr;
    std::size_t m_size = 0;
    GSource* m_pollSource = nullptr;
    GSource* m_cancelSource = nullptr;
    CLifetimeGuard m_guard; // notifications that come after the request went do nothing
};

} // namespace mev
