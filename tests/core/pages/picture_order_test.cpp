#include "core/pages/picture_order.hpp"

#include <memory>
#include <optional>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/files/user_file.hpp"
#include "core/media/folder_tree_model.hpp"
#include "core/pages/picture_info.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

// The index's order: numbers in names in numeric order; date, size and type with name
// order among equals; each reversible; files that cannot be examined come first.
TEST(PictureOrder, SortsByEachKeyEitherWay)
{
    test::CTempFolder folder;
    const auto write = [&](const std::string& name, std::size_t bytes, int ageSeconds) {
        std::ofstream(folder.Path() + "/" + name) << std::string(bytes, 'x');
        std::filesystem::last_write_time(folder.Path() + "/" + name,
                                         std::filesystem::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
    };
    write("img10.jpg", 30, 100);
    write("IMG9.png", 10, 300);
    write("img2.jpg", 20, 200);
    write("b.gif", 20, 400);
    const std::vector<std::string> all = {"img10.jpg", "IMG9.png", "gone.jpg", "img2.jpg", "b.gif"};
    struct Case {
        PictureOrder order;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{PictureSortKey::Name, false}, {"b.gif", "gone.jpg", "img2.jpg", "IMG9.png", "img10.jpg"}},
        {{PictureSortKey::Name, true}, {"img10.jpg", "IMG9.png", "img2.jpg", "gone.jpg", "b.gif"}},
        {{PictureSortKey::Date, false}, {"gone.jpg", "b.gif", "IMG9.png", "img2.jpg", "img10.jpg"}},
        {{PictureSortKey::Size, false}, {"gone.jpg", "IMG9.png", "b.gif", "img2.jpg", "img10.jpg"}},
        {{PictureSortKey::Size, true}, {"img10.jpg", "img2.jpg", "b.gif", "IMG9.png", "gone.jpg"}},
        {{PictureSortKey::Type, false}, {"b.gif", "gone.jpg", "img2.jpg", "img10.jpg", "IMG9.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(EncodePictureOrder(c.order));
        std::vector<std::string> names = all;
        SortPictureNames(folder.Path(), names, c.order);
        EXPECT_EQ(names, c.expected);
        // The head of the order, handed out before the rest is sorted, is the same.
        std::vector<std::string> head;
        names = all;
        SortPictureNames(folder.Path(), names, c.order, {}, 2, [&](const std::vector<std::string>& first) { head = first; });
        EXPECT_EQ(head, std::vector<std::string>(c.expected.begin(), c.expected.begin() + 2));
        EXPECT_EQ(names, c.expected);
        EXPECT_EQ(DecodePictureOrder(EncodePictureOrder(c.order)), c.order);
    }
    // The camera's date, where a picture has one, goes before its file's time.
    struct CCameraDates : IPictureInfoReader {
        std::optional<PictureInfo> ReadPictureInfo(const std::string& path) const override
        {
            PictureInfo info;
            if (path.ends_with("/img10.jpg"))
                info.dateTaken = "2001:02:03 04:05:06";
            else if (path.ends_with("/img2.jpg"))
                info.dateTaken = "not a date";
            else
                return std::nullopt;
            return info;
        }
    };
    const auto before = GetPictureInfoReader();
    SetPictureInfoReader(std::make_shared<CCameraDates>());
    std::vector<std::string> names = all;
    SortPictureNames(folder.Path(), names, {PictureSortKey::Date, false});
    SetPictureInfoReader(before);
    EXPECT_EQ(names, (std::vector<std::string>{"gone.jpg", "img10.jpg", "b.gif", "IMG9.png", "img2.jpg"}));

    // A setting that makes no sense reads as the default.
    for (int code : {-1, 4, 99})
        EXPECT_EQ(DecodePictureOrder(code), PictureOrder{}) << code;
}

// A folder of more than one batch: the keys made while it is listed are every name's,
// in the listing's order, and sort it as keys made afterwards do.
TEST(PictureOrder, KeysMadeWhileListingSortAsAnyOthers)
{
    test::CTempFolder folder;
    const std::size_t count = 2 * CNameKeyMaker::BATCH + 300;
    for (std::size_t i = 0; i < count; ++i)
        std::ofstream(folder.Path() + "/" + (i % 3 == 0 ? "IMG" : "img") + std::to_string(i * 7919 % 10007) + ".jpg");
    std::vector<std::string> names;
    std::size_t handed = 0;
    CNameKeyMaker maker;
    ASSERT_TRUE(ListRegularFiles(
        folder.Path(), [](std::string_view) { return true; }, names, {},
        [&](const std::string* first, std::size_t n) {
            EXPECT_EQ(first, names.data() + handed);
            handed += n;
            maker.Add(first, n);
        }));
    ASSERT_EQ(handed, count);
    ASSERT_TRUE(maker.Finish({}));
    ASSERT_EQ(maker.Count(), count);
    for (const std::size_t i : {std::size_t{0}, CNameKeyMaker::BATCH - 1, CNameKeyMaker::BATCH, count - 1})
        EXPECT_EQ(maker.Key(i), MakeFolderSortKey(names[i])) << i;
    for (const PictureOrder order : {PictureOrder{PictureSortKey::Name, true}, PictureOrder{PictureSortKey::Size, false}}) {
        std::vector<std::string> expected = names;
        SortPictureNames(folder.Path(), expected, order);
        std::vector<std::string> sorted = names;
        SortPictureNames(folder.Path(), sorted, order, {}, 0, {}, &maker);
        EXPECT_EQ(sorted, expected);
    }
    // The first names of name order, either way, kept as the keys are made (names that
    // differ only in case have one key): the same first screenful and the same order,
    // whether the keys were kept (all of them, or just up to the last name) or not.
    names.insert(names.begin() + CNameKeyMaker::BATCH + 5, {"a0.jpg", "A0.jpg", "a00.jpg"});
    names.insert(names.end(), {"zz9.jpg", "ZZ9.jpg"});
    const std::pair<bool, std::size_t> cases[] = {
        {false, SIZE_MAX}, {true, names.size()}, {false, CNameKeyMaker::BATCH + 10}};
    for (const auto& [descending, keyLimit] : cases) {
        const PictureOrder order{PictureSortKey::Name, descending};
        std::vector<std::string> expected = names;
        SortPictureNames(folder.Path(), expected, order);
        CNameKeyMaker keeper;
        keeper.KeepHead(64, descending);
        keeper.KeepKeysUpTo(keyLimit);
        keeper.Add(names.data(), names.size());
        ASSERT_TRUE(keeper.Finish({}));
        EXPECT_EQ(keeper.KeysKept(), keyLimit >= names.size());
        ASSERT_TRUE(keeper.HeadKept(64, descending));
        EXPECT_FALSE(keeper.HeadKept(64, !descending));
        std::vector<std::string> first;
        std::vector<std::string> sorted = names;
        SortPictureNames(folder.Path(), sorted, order, {}, 64, [&](const std::vector<std::string>& head) { first = head; },
                         &keeper);
        EXPECT_EQ(first, std::vector<std::string>(expected.begin(), expected.begin() + 64)) << descending;
        EXPECT_EQ(sorted, expected) << descending;
    }
    // Called off, it gives nothing.
    CNameKeyMaker cancelled;
    cancelled.Add(names.data(), names.size());
    EXPECT_FALSE(cancelled.Finish([] { return true; }));
    EXPECT_EQ(cancelled.Count(), 0u);
}

} // namespace
} // namespace mev
