#include "core/thumbs/thumbnail_cache.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <string>
#include <vector>
#include <thread>

#include <gtest/gtest.h>

#include "core/thumbs/md5.hpp"
#include "core/thumbs/picture_decoder.hpp"
#include "core/thumbs/png_text.hpp"
#include "core/thumbs/thumbnail_scheduler.hpp"
#include "temp_folder.hpp"
#include "wait_until.hpp"

namespace mev {
namespace {

namespace fs = std::filesystem;

// A 1x1 PNG as an encoder writes it: header, data, end.
const std::string PNG(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01"
    "\x08\x06\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0b\x49\x44\x41\x54\x78\x9c\x63\x60\x00\x02\x00"
    "\x00\x05\x00\x01\x7a\x5e\xab\x3f\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    68);

TEST(ThumbnailCacheTest, NamesFollowTheDesktopRuleForHostilePaths)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex(std::string(1000, 'a')), "cabe45dcc9ae5b66ba86600cca6b8ba8");
    // The example of the desktop's thumbnail rules.
    const CThumbnailCache cache("/c/thumbnails");
    EXPECT_EQ(cache.GetPath(ThumbnailSize::Normal, "file:///home/jens/photos/me.png"),
              "/c/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
    // Encoded byte by byte as GLib does: its few kept punctuation marks stay.
    EXPECT_EQ(CThumbnailCache::MakeUri("/a b/#1;%?\n\xE9\xFF!$&'()*+,:=@~.jpg"),
              "file:///a%20b/%231%3B%25%3F%0A%E9%FF!$&'()*+,:=@~.jpg");
    EXPECT_EQ(CThumbnailCache::MakeUri("relative.jpg"), "");
    EXPECT_EQ(cache.GetFailPath("file:///x"), "/c/thumbnails/fail/mev-" MEV_VERSION "/" + Md5Hex("file:///x") + ".png");
    EXPECT_EQ(CThumbnailCache("").GetPath(ThumbnailSize::Large, "file:///x"), "");
}

TEST(ThumbnailCacheTest, SizeIsChosenFromTheDisplayedWidth)
{
    EXPECT_EQ(ChooseThumbnailSize(80), ThumbnailSize::Normal);
    EXPECT_EQ(ChooseThumbnailSize(128), ThumbnailSize::Normal);
    EXPECT_EQ(ChooseThumbnailSize(129), ThumbnailSize::Large);
    EXPECT_EQ(ChooseThumbnailSize(512), ThumbnailSize::XLarge);
    EXPECT_EQ(ChooseThumbnailSize(5000), ThumbnailSize::XXLarge);
    EXPECT_STREQ(GetThumbnailFolderName(ThumbnailSize::XXLarge), "xx-large");
}

TEST(ThumbnailCacheTest, PixelCapRefusesBombsAndEmptySizes)
{
    EXPECT_TRUE(IsDecodeSizeAllowed(4000, 3000));
    EXPECT_TRUE(IsDecodeSizeAllowed(20000, 10000));
    EXPECT_FALSE(IsDecodeSizeAllowed(100000, 100000));
    EXPECT_FALSE(IsDecodeSizeAllowed(0, 10));
    EXPECT_FALSE(IsDecodeSizeAllowed(std::numeric_limits<std::uint64_t>::max(), 2)); // no overflow
}

TEST(ThumbnailCacheTest, TextChunksRoundTripAndBrokenPngsAreRefused)
{
    const auto tagged = AddPngText(PNG, {{"Thumb::URI", "file:///a%20b"}, {"Thumb::MTime", "17"}});
    ASSERT_TRUE(tagged);
    const auto entries = ReadPngText(*tagged);
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, (PngTextEntries{{"Thumb::URI", "file:///a%20b"}, {"Thumb::MTime", "17"}}));
    EXPECT_TRUE(ReadPngText(PNG) && ReadPngText(PNG)->empty());
    EXPECT_FALSE(ReadPngText(tagged->substr(0, 40)));          // cut before its image data
    EXPECT_FALSE(ReadPngText("GIF89a"));
    EXPECT_FALSE(AddPngText(PNG, {{"", "x"}}));
    EXPECT_FALSE(AddPngText(PNG, {{std::string(80, 'k'), "x"}}));
    EXPECT_FALSE(AddPngText(PNG.substr(0, 20), {{"k", "x"}}));
}

TEST(ThumbnailCacheTest, StoredThumbnailIsValidOnlyForItsUriAndTime)
{
    test::CTempFolder temp;
    const std::string root = temp.File("thumbnails");
    const CThumbnailCache cache(root);
    const std::string uri = CThumbnailCache::MakeUri("/pictures/a b.jpg");
    ASSERT_TRUE(cache.Store(ThumbnailSize::Large, uri, 1700000000, PNG));

    const auto loaded = cache.Load(ThumbnailSize::Large, uri, 1700000000);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(IsThumbnailValid(*loaded, uri, 1700000000));
    EXPECT_TRUE(cache.Load(ThumbnailSize::Normal, uri, 1700000000)) << "a larger size serves a smaller one";
    EXPECT_FALSE(cache.Load(ThumbnailSize::XLarge, uri, 1700000000));
    EXPECT_FALSE(cache.Load(ThumbnailSize::Large, uri, 1700000001)) << "the picture changed";
    EXPECT_FALSE(cache.Load(ThumbnailSize::Large, CThumbnailCache::MakeUri("/pictures/a_b.jpg"), 1700000000));

    // Private to the user, written whole: nothing else is left in the folder.
    const fs::path file = cache.GetPath(ThumbnailSize::Large, uri);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(root).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

    // A thumbnail of another program, written for an older time, is made anew.
    const std::string other = CThumbnailCache::MakeUri("/pictures/other.jpg");
    ASSERT_TRUE(cache.Store(ThumbnailSize::Normal, other, 5, PNG));
    EXPECT_FALSE(cache.Load(ThumbnailSize::Normal, other, 6));

    // A cache that cannot be written (its folder is a file) stores nothing and says so.
    const CThumbnailCache blocked(temp.Write("blocked"));
    EXPECT_FALSE(blocked.Store(ThumbnailSize::Normal, uri, 1, PNG));
    EXPECT_FALSE(blocked.Load(ThumbnailSize::Normal, uri, 1));
}

TEST(ThumbnailCacheTest, FailuresAreRecordedUntilThePictureChanges)
{
    test::CTempFolder temp;
    const CThumbnailCache cache(temp.File("thumbnails"));
    const std::string uri = CThumbnailCache::MakeUri("/pictures/broken.jpg");
    EXPECT_FALSE(cache.HasFailed(uri, 10));
    cache.RecordFailure(uri, 10);
    EXPECT_TRUE(cache.HasFailed(uri, 10));
    EXPECT_FALSE(cache.HasFailed(uri, 11));
    EXPECT_FALSE(cache.Load(ThumbnailSize::Normal, uri, 10));
}

TEST(ThumbnailSchedulerTest, CancelledWaiterLeavesWithoutASlotAndTheNextGetsIt)
{
    CThumbnailScheduler scheduler(1);
    ASSERT_TRUE(scheduler.Acquire([] { return false; }));
    std::atomic<bool> cancel{false};
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = scheduler.Acquire([&] { return cancel.load(); }) ? 1 : 0; });
    ASSERT_TRUE(test::WaitUntil([&] { return scheduler.GetWaitingCount() >= 1; }));
    std::thread next([&] {
        EXPECT_TRUE(scheduler.Acquire([] { return false; }));
        scheduler.Release();
    });
    ASSERT_TRUE(test::WaitUntil([&] { return scheduler.GetWaitingCount() >= 2; }));
    cancel = true;
    scheduler.Wake();
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    scheduler.Release();
    next.join();
}

TEST(ThumbnailSchedulerTest, WhatIsOnScreenGoesBeforeWhatIsNear)
{
    CThumbnailScheduler scheduler(1);
    ASSERT_TRUE(scheduler.Acquire([] { return false; }));
    std::mutex mutex;
    std::vector<std::string> order;
    const auto request = [&](const std::string& name, bool urgent) {
        return std::thread([&, name, urgent] {
            ASSERT_TRUE(scheduler.Acquire([] { return false; }, urgent));
            {
                std::lock_guard lock(mutex);
                order.push_back(name);
            }
            scheduler.Release();
        });
    };
    const auto queued = [&](std::size_t count) {
        // A request that never queues ends the run here rather than hanging it.
        if (!test::WaitUntil([&] { return scheduler.GetWaitingCount() >= count; })) {
            ADD_FAILURE() << "request " << count << " never queued";
            std::abort();
        }
    };
    std::thread near = request("near", false);
    queued(1);
    std::thread first = request("screen 1", true);
    queued(2);
    std::thread second = request("screen 2", true);
    queued(3);
    scheduler.Release();
    near.join();
    first.join();
    second.join();
    EXPECT_EQ(order, (std::vector<std::string>{"screen 1", "screen 2", "near"}));
}

} // namespace
} // namespace mev
