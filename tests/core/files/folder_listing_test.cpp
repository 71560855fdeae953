#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/files/user_file.hpp"
#include "special_files.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

// A folder large enough to be read ahead on a thread of its own, with entries of every
// kind among its files: each regular file (or link to one) is listed once, in the
// folder's own order, and nothing else; a listing called off stops early.
TEST(FolderListing, LargeFolderListsEachRegularFileOnceAndNothingElse)
{
    test::CTempFolder folder;
    const std::string root = folder.Path();
    std::set<std::string> files;
    for (int i = 0; i < 5000; ++i) {
        const std::string name = "picture with a long name " + std::to_string(i) + ".jpg";
        std::ofstream(root + "/" + name);
        files.insert(name);
    }
    ASSERT_TRUE(test::MakeFifo(root + "/fifo.jpg"));
    ASSERT_TRUE(test::MakeLink(root + "/picture with a long name 7.jpg", root + "/link.jpg"));
    files.insert("link.jpg");
    ASSERT_TRUE(test::MakeLink(root + "/gone.jpg", root + "/dangling.jpg"));
    std::filesystem::create_directory(root + "/sub.jpg");
    ASSERT_TRUE(test::MakeLink(root + "/sub.jpg", root + "/sublink.jpg"));

    std::vector<std::string> names;
    ASSERT_TRUE(ListRegularFiles(root, [](std::string_view) { return true; }, names));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), files);
    EXPECT_EQ(names.size(), files.size());
    // The folder's own order: as the directory stream gives it.
    std::vector<std::string> streamed;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (files.count(name) != 0)
            streamed.push_back(name);
    }
    EXPECT_EQ(names, streamed);

    std::vector<std::string> folders;
    ASSERT_TRUE(ListSubFolderNames(root, [](std::string_view) { return true; }, folders));
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"sub.jpg", "sublink.jpg"}));

    int asked = 0;
    std::vector<std::string> some;
    ASSERT_TRUE(ListRegularFiles(root, [](std::string_view) { return true; }, some, [&] { return ++asked > 1; }));
    EXPECT_LT(some.size(), files.size());
}

} // namespace
} // namespace mev
