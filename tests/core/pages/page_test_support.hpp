#pragma once

// Shared pieces of the page-engine tests: a sink that records what the protocol reports,
// a loop that reads a request the way the browser does, and temporary folders.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/pages/page_protocol.hpp"
#include "core/pages/page_sink.hpp"

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

// Reads after each notification until S_FALSE, as the browser does. Fails the test (and
// returns what it has) when a notification does not come.
inline std::string ReadLikeBrowser(CPageProtocol& protocol, CRecordingSink& sink, std::uint32_t chunk = 4096)
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

// A fresh folder under the system's temporary folder, removed with everything in it.
class CTempFolder {
public:
    explicit CTempFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path())
    {
        std::string pattern = (base / "mev-pages-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~CTempFolder()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_path; }

    std::string Write(std::string_view name, std::string_view bytes = "data") const
    {
        const std::string path = m_path + "/" + std::string(name);
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string MakeFolder(std::string_view name) const
    {
        const std::string path = m_path + "/" + std::string(name);
        std::filesystem::create_directories(path);
        return path;
    }

private:
    std::string m_path;
};

} // namespace mev::test
