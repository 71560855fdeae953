#pragma once

#include <cstdint>

#include "core/pages/results.hpp"

namespace mev {

// The browser's side of one mev: request. ReportData is called from short-lived notifier
// threads, never from the caller of Start; an implementation marshals to its own thread.
class IPageSink {
public:
    virtual ~IPageSink() = default;
    virtual void ReportData(std::uint32_t flags, std::uint64_t progress, std::uint64_t maximum) = 0;
    virtual void ReportResult(HResult result) = 0;
};

} // namespace mev
