#pragma once

// Shared pieces of the page-engine tests: a sink that records what the protocol reports,
// a loop that reads a request the way the browser does, and temporary folders.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/pages/page_protocol.hpp"
#include "core/pages/page_sink.hpp"
#include "temp_folder.hpp"

namespace mev::test {

struct Notification {
    std::uint32_t flags;
    std::uint64_t progress;
    std::uint64_t maximum;
};

class CRecordingSink : public IPageSink {
public:
    void ReportData(std::uint32_t flags, std::uint64_t progress, std::uint64_t maximum) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_notifications.push_back({flags, progress, maximum});
        }
        m_changed.notify_all();
    }

    void ReportResult(HResult result) override
    {
        std::lock_guard lock(m_mutex);
        m_results.push_back(result);
    }

    // Waits until more than `seen` notifications have arrived; false on time-out.
    bool WaitForNotification(std::size_t seen, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_notifications.size() > seen; });
    }

    std::vector<Notification> Notifications() const
    {
        std::lock_guard lock(m_mutex);
        return m_notifications;
    }

    std::vector<HResult> Results() const
    {
        std::lock_guard lock(m_mutex);
        return m_results;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Notification> m_notifications;
    std::vector<HResult> m_results;
};

inline std::vector<std::uint32_t> FlagsOf(const std::vector<Notification>& notifications)
{
    std::vector<std::uint32_t> flags;
    for (const auto& n : notifications)
        flags.push_back(n.flags);
    return flags;
}

// Reads after each notification until S_FALSE, as the browser does; onPending runs each
// time it has read all there was and goes back to waiting. Fails the test (and returns
// what it has) when a notification does not come.
inline std::string ReadLikeBrowser(CPageProtocol& protocol, CRecordingSink& sink, std::uint32_t chunk = 4096,
                                   const std::function<void()>& onPending = {})
{
    std::string page;
    std::vector<char> buffer(chunk);
    std::size_t seen = 0;
    for (;;) {
        if (!sink.WaitForNotification(seen)) {
            ADD_FAILURE() << "no data notification after " << seen;
            return page;
        }
        seen = sink.Notifications().size();
        for (;;) {
            std::uint32_t count = 0;
            const HResult hr = protocol.Read(buffer.data(), chunk, count);
            if (hr == S_OK) {
                page.append(buffer.data(), count);
                continue;
            }
            if (hr == S_FALSE)
                return page;
            EXPECT_EQ(hr, E_PENDING);
            if (onPending)
                onPending();
            break;
        }
    }
}

// Where a test with thousands of files makes them: a RAM disk when there is one, since
// creating files on some disks takes milliseconds each.
inline std::filesystem::path BulkTempBase()
{
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

} // namespace mev::test
