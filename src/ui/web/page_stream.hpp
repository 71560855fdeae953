#pragma once

#include <memory>

#include <gio/gio.h>

namespace mev {

class CPageRequest;

// A GInputStream whose asynchronous reads are answered by the request on the main loop.
// Closing the stream (or dropping its last reference) aborts the request.
GInputStream* NewPageStream(std::shared_ptr<CPageRequest> request);

} // namespace mev
