#include "core/pages/page_protocol.hpp"

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "core/pages/image_pane_state.hpp"
#include "core/pages/page_templates.hpp"
#include "core/shell/url.hpp"
#include "core/pages/page_test_support.hpp"
#include "core/test_resources.hpp"
#include "core/work/background_work.hpp"
#include "wait_until.hpp"

namespace mev {
namespace {

using namespace std::chrono_literals;
using test::CRecordingSink;
using test::FlagsOf;
using test::ReadLikeBrowser;

constexpr std::uint32_t FIRST_UNKNOWN = BSCF_FIRSTDATANOTIFICATION | BSCF_AVAILABLEDATASIZEUNKNOWN; // 17
constexpr std::uint32_t NEXT_UNKNOWN = BSCF_INTERMEDIATEDATANOTIFICATION | BSCF_AVAILABLEDATASIZEUNKNOWN; // 18
constexpr std::uint32_t FIRST_ALL = BSCF_FIRSTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE; // 9
constexpr std::uint32_t LAST_ALL = BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE; // 12

// A gate the test generators wait at, so a test decides when the worker goes on.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> reached{false};

    void Wait()
    {
        reached = true;
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void Open()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

Gate* g_gate = nullptr;

void SmallPage(CPageProtocol& protocol)
{
    protocol.AppendPageData(std::string(100, 's'), true);
}

// How many times the reader of LongPageNotifiesEvery8192Bytes has read all there was and
// gone back to waiting.
std::atomic<int> g_readRounds{0};

// 20000 bytes in pieces of 100; after each notification it waits until the browser has
// read everything and waits again, so the notifications follow the "8192 bytes waiting"
// rule exactly: no piece is read before the notification that announces it.
void PiecewisePage(CPageProtocol& protocol)
{
    // Counted here, not read off the buffer, which the reader may already be emptying.
    std::uint32_t waiting = 0;
    int notified = 0;
    for (int i = 0; i < 200; ++i) {
        protocol.AppendPageData(std::string(100, char('a' + i % 26)), i == 199);
        waiting += 100;
        if (waiting >= CPageProtocol::NOTIFY_THRESHOLD) {
            waiting = 0;
            ++notified;
            for (int wait = 0; wait < 20000 && g_readRounds.load() < notified; ++wait)
                std::this_thread::sleep_for(1ms);
        }
    }
}

void GatedPage(CPageProtocol& protocol)
{
    g_gate->Wait();
    protocol.AppendPageData("gated", true);
}

// Ignores the cancel flag while it waits, like a worker stuck in a slow file system.
void StuckPage(CPageProtocol& protocol)
{
    protocol.AppendPageData(std::string(9000, 'x'), false);
    g_gate->Wait();
    protocol.AppendPageData("after", true);
}

void UnfinishedPage(CPageProtocol& protocol)
{
    protocol.AppendPageData("0123456789", false);
}

void ThrowingPage(CPageProtocol& protocol)
{
    protocol.AppendPageData("partial", false);
    throw std::bad_alloc();
}

std::atomic<int> g_pagesStarted{0};

// Made until it is called off.
void PageUntilCancelled(CPageProtocol& protocol)
{
    ++g_pagesStarted;
    while (!protocol.IsCancelled())
        std::this_thread::sleep_for(1ms);
}

class PageProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { test::InstallSourceTreeResources(); }
};

TEST_F(PageProtocolTest, StartChecksTheUrl)
{
    test::CTempFolder temp;
    const std::string image = temp.Write("a.jpg");
    struct Case {
        std::string url;
        HResult result;
    };
    const Case cases[] = {
        {"mev://images/?" + temp.Path(), E_PENDING},
        {"MEV://IMAGES/?" + temp.Path(), E_PENDING},
        {"mev:image/?" + image, E_PENDING},
        {"mev://image/?" + EncodeUrlPath(image), E_PENDING},
        {"mev://front/?" + image, E_PENDING},
        {"mev://blank/?" + temp.Path(), E_PENDING},
        {"mev://audio/?" + image, E_PENDING},
        {"mev://video/?" + image, E_PENDING},
        {"mev://images/?" + temp.Path() + "/none", INET_E_CANNOT_LOAD_DATA},
        {"mev://thumbs/?" + temp.Path(), INET_E_CANNOT_LOAD_DATA},
        {"mev://images/", INET_E_CANNOT_LOAD_DATA},
        {"mev://images/?", INET_E_CANNOT_LOAD_DATA},
        {"file://" + image, INET_E_CANNOT_LOAD_DATA},
    };
    for (const auto& c : cases) {
        auto sink = std::make_shared<CRecordingSink>();
        auto protocol = CPageProtocol::Create();
        ASSERT_EQ(protocol->Start(c.url, sink), c.result) << c.url;
        if (c.result != E_PENDING)
            continue;
        // The threaded page is the same text as the one made on the calling thread.
        const std::string page = ReadLikeBrowser(*protocol, *sink);
        EXPECT_EQ(page, CPageProtocol::RenderPage(c.url).value_or("?")) << c.url;
        EXPECT_FALSE(page.empty()) << c.url;
        EXPECT_EQ(sink->Results(), std::vector<HResult>{S_OK}) << c.url;
    }
}

TEST_F(PageProtocolTest, SmallPageGivesOneNotificationAndOneResult)
{
    auto sink = std::make_shared<CRecordingSink>();
    auto protocol = CPageProtocol::Create();
    ASSERT_EQ(protocol->StartGenerator("", SmallPage, 0, sink), E_PENDING);
    EXPECT_EQ(ReadLikeBrowser(*protocol, *sink), std::string(100, 's'));
    for (int i = 0; i < 5; ++i) {
        std::uint32_t count = 99;
        char byte;
        EXPECT_EQ(protocol->Read(&byte, 1, count), S_FALSE);
        EXPECT_EQ(count, 0u);
    }
    ASSERT_TRUE(protocol->WaitUntilIdle(20s));
    const auto notifications = sink->Notifications();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].flags, FIRST_ALL);
    EXPECT_EQ(notifications[0].progress, 100u);
    EXPECT_EQ(notifications[0].maximum, 100u);
    EXPECT_EQ(sink->Results(), std::vector<HResult>{S_OK});
}

TEST_F(PageProtocolTest, LongPageNotifiesEvery8192Bytes)
{
    auto sink = std::make_shared<CRecordingSink>();
    auto protocol = CPageProtocol::Create();
    g_readRounds = 0;
    ASSERT_EQ(protocol->StartGenerator("", PiecewisePage, 0, sink), E_PENDING);
    const std::string page = ReadLikeBrowser(*protocol, *sink, 3000, [] { ++g_readRounds; });
    ASSERT_EQ(page.size(), 20000u);
    EXPECT_EQ(page.substr(0, 3), "aaa");
    EXPECT_EQ(page.substr(19900), std::string(100, char('a' + 199 % 26)));
    ASSERT_TRUE(protocol->WaitUntilIdle(20s));
    const auto notifications = sink->Notifications();
    EXPECT_EQ(FlagsOf(notifications), (std::vector<std::uint32_t>{FIRST_UNKNOWN, NEXT_UNKNOWN, LAST_ALL}));
    ASSERT_EQ(notifications.size(), 3u);
    EXPECT_EQ(notifications[0].progress, 8200u);
    EXPECT_EQ(notifications[1].progress, 8200u);
    EXPECT_EQ(notifications[2].progress, 3600u);
    EXPECT_EQ(protocol->GetBuffer().BytesRead(), 20000u);
    EXPECT_EQ(sink->Results().size(), 1u);
}

TEST_F(PageProtocolTest, PendingWhileTheWorkerRuns)
{
    Gate gate;
    g_gate = &gate;
    auto sink = std::make_shared<CRecordingSink>();
    auto protocol = CPageProtocol::Create();
    ASSERT_EQ(protocol->StartGenerator("", GatedPage, 0, sink), E_PENDING);
    char buffer[64];
    std::uint32_t count = 7;
    EXPECT_EQ(protocol->Read(buffer, sizeof buffer, count), E_PENDING);
    EXPECT_EQ(count, 0u);
    // A second request on a busy object is refused rather than mixed into the first.
    EXPECT_EQ(protocol->StartGenerator("", SmallPage, 0, sink), INET_E_CANNOT_LOAD_DATA);
    EXPECT_TRUE(sink->Results().empty());
    gate.Open();
    EXPECT_EQ(ReadLikeBrowser(*protocol, *sink), "gated");
    EXPECT_EQ(sink->Results().size(), 1u);

    // Once the worker has ended the object takes a new request with a fresh page.
    ASSERT_TRUE(protocol->WaitForWorker(20s));
    auto sink2 = std::make_shared<CRecordingSink>();
    ASSERT_EQ(protocol->StartGenerator("", SmallPage, 0, sink2), E_PENDING);
    EXPECT_EQ(ReadLikeBrowser(*protocol, *sink2), std::string(100, 's'));
    EXPECT_EQ(sink2->Results().size(), 1u);
    g_gate = nullptr;
}

TEST_F(PageProtocolTest, PagesThatStopEarlyStillEnd)
{
    const std::pair<PageGenerator, std::string> cases[] = {
        {UnfinishedPage, "0123456789"},
        {ThrowingPage, "partial"},
    };
    for (const auto& [generator, expected] : cases) {
        auto sink = std::make_shared<CRecordingSink>();
        auto protocol = CPageProtocol::Create();
        ASSERT_EQ(protocol->StartGenerator("", generator, 0, sink), E_PENDING);
        EXPECT_EQ(ReadLikeBrowser(*protocol, *sink), expected);
        ASSERT_TRUE(protocol->WaitUntilIdle(20s));
        const auto notifications = sink->Notifications();
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_EQ(notifications[0].flags, FIRST_ALL);
        EXPECT_EQ(notifications[0].progress, expected.size());
        EXPECT_EQ(sink->Results().size(), 1u);
    }
}

TEST_F(PageProtocolTest, ReadWithoutStartEndsAtOnce)
{
    auto protocol = CPageProtocol::Create();
    char byte;
    std::uint32_t count = 1;
    EXPECT_EQ(protocol->Read(&byte, 1, count), S_FALSE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(protocol->Abort(), S_OK);
    EXPECT_EQ(protocol->Terminate(), S_OK);
}

TEST_F(PageProtocolTest, AbortStopsALargeListing)
{
    test::CTempFolder temp(test::BulkTempBase());
    for (int i = 0; i < 10000; ++i)
        temp.Write("picture" + std::to_string(i) + ".jpg", "");
    ImageWidth = 80;
    auto sink = std::make_shared<CRecordingSink>();
    auto protocol = CPageProtocol::Create();
    ASSERT_EQ(protocol->Start("mev://images/?" + temp.Path(), sink), E_PENDING);
    ASSERT_TRUE(sink->WaitForNotification(0));
    EXPECT_EQ(protocol->Abort(), S_OK);
    // Abort waited for the worker, which stopped after the entry it was on, and reported
    // nothing itself.
    EXPECT_TRUE(protocol->WaitForWorker(0ms));
    EXPECT_TRUE(sink->Results().empty());
    ASSERT_TRUE(protocol->WaitUntilIdle(20s));
    std::string page;
    char buffer[4096];
    std::uint32_t count = 0;
    HResult hr;
    while ((hr = protocol->Read(buffer, sizeof buffer, count)) == S_OK)
        page.append(buffer, count);
    EXPECT_EQ(hr, S_FALSE);
    // What was sent is the start of the whole page, cut at a thumbnail's end.
    const std::string whole = CPageProtocol::RenderPage("mev://images/?" + temp.Path()).value_or("");
    EXPECT_EQ(whole.compare(0, page.size(), page), 0);
    EXPECT_EQ(page.substr(page.size() - 2), "\r\n");
}

// The object may go while its worker still runs; the worker then keeps it alive and it
// dies on the worker's own thread.
TEST_F(PageProtocolTest, ReleasedWhileTheWorkerRuns)
{
    Gate gate;
    g_gate = &gate;
    auto sink = std::make_shared<CRecordingSink>();
    std::weak_ptr<CPageProtocol> weak;
    {
        auto protocol = CPageProtocol::Create();
        weak = protocol;
        ASSERT_EQ(protocol->StartGenerator("", GatedPage, 0, sink), E_PENDING);
    }
    EXPECT_FALSE(weak.expired());
    gate.Open();
    ASSERT_TRUE(sink->WaitForNotification(0));
    for (int i = 0; i < 20000 && !weak.expired(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(test::FlagsOf(sink->Notifications()), std::vector<std::uint32_t>{FIRST_ALL});
    g_gate = nullptr;
}

// A worker that does not stop within the wait must not harm anything after the release.
TEST_F(PageProtocolTest, WorkerOutlivesTheStopWait)
{
    Gate gate;
    g_gate = &gate;
    auto sink = std::make_shared<CRecordingSink>();
    std::weak_ptr<CPageProtocol> weak;
    {
        auto protocol = CPageProtocol::Create();
        weak = protocol;
        ASSERT_EQ(protocol->StartGenerator("", StuckPage, 0, sink), E_PENDING);
        ASSERT_TRUE(sink->WaitForNotification(0));
        EXPECT_EQ(protocol->Terminate(), S_OK); // returns after the 3000 ms wait
        EXPECT_FALSE(protocol->WaitForWorker(0ms));
        char buffer[100];
        std::uint32_t count = 0;
        EXPECT_EQ(protocol->Read(buffer, sizeof buffer, count), S_OK);
    }
    gate.Open();
    for (int i = 0; i < 20000 && !weak.expired(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(weak.expired());
    // Cancelled: the late piece was refused and nothing more was announced.
    EXPECT_EQ(test::FlagsOf(sink->Notifications()), std::vector<std::uint32_t>{FIRST_UNKNOWN});
    EXPECT_TRUE(sink->Results().empty());
    g_gate = nullptr;
}

// Quitting: stopping the background work calls off the pages being made, drops the ones
// still waiting for a thread, and returns once every page has ended.
TEST_F(PageProtocolTest, StoppingTheBackgroundWorkEndsItsPages)
{
    CBackgroundWork work;
    CBackgroundWork::Install(&work);
    g_pagesStarted = 0;
    const int threads = static_cast<int>(work.GetPool(CBackgroundWork::Lane::Pages).GetThreadLimit());
    std::vector<std::shared_ptr<CPageProtocol>> pages;
    for (int i = 0; i <= threads; ++i) {
        pages.push_back(CPageProtocol::Create());
        ASSERT_EQ(pages.back()->StartGenerator("", PageUntilCancelled, 0, std::make_shared<CRecordingSink>()), E_PENDING);
    }
    ASSERT_TRUE(test::WaitUntil([&] { return g_pagesStarted.load() == threads; }));
    work.Stop();
    CBackgroundWork::Install(nullptr);
    for (const auto& page : pages)
        EXPECT_TRUE(page->WaitForWorker(0ms));
    EXPECT_EQ(g_pagesStarted.load(), threads);
}

} // namespace
} // namespace mev
