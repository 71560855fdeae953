#include "core/media/open_with_list.hpp"

#include <filesystem>
#include <map>
#include <utility>

#include <gtest/gtest.h>

#include "core/shell/settings.hpp"
#include "temp_folder.hpp"

namespace mev {
namespace {

// Keeps each section's names in the order they were first written, as the settings
// file does.
class COrderedStore : public ISettingsStore {
public:
    std::optional<std::string> ReadString(std::string_view section, std::string_view name) const override
    {
        for (const auto& [n, v] : Section(section)) {
            if (n == name)
                return v;
        }
        return std::nullopt;
    }
    bool WriteString(std::string_view section, std::string_view name, std::string_view value) override
    {
        auto& values = m_sections[std::string(section)];
        for (auto& [n, v] : values) {
            if (n == name) {
                v = value;
                return true;
            }
        }
        values.emplace_back(name, value);
        return true;
    }
    bool RemoveValue(std::string_view section, std::string_view name) override
    {
        auto& values = m_sections[std::string(section)];
        std::erase_if(values, [&](const auto& nv) { return nv.first == name; });
        return true;
    }
    std::vector<std::string> ListNames(std::string_view section) const override
    {
        std::vector<std::string> names;
        for (const auto& nv : Section(section))
            names.push_back(nv.first);
        return names;
    }
    const std::vector<std::pair<std::string, std::string>>& Section(std::string_view section) const
    {
        static const std::vector<std::pair<std::string, std::string>> none;
        auto found = m_sections.find(std::string(section));
        return found == m_sections.end() ? none : found->second;
    }

private:
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> m_sections;
};

class OpenWithListTest : public ::testing::Test {
protected:
    // Chooses the program as "Select..." does: load, add, save.
    void Choose(const std::string& path)
    {
        COpenWithList list("image", &m_store);
        list.Add(path);
        list.Save();
    }
    std::vector<std::string> MenuNames(const COpenWithList& list) const
    {
        std::vector<OpenWithMenuRow> popup{{32808, "Select..."}};
        list.InsertIntoMenu(popup, 32809, 3);
        std::vector<std::string> names;
        for (const auto& row : popup)
            names.push_back(row.id == 0 ? "-" : std::to_string(row.id) + " " + row.name);
        return names;
    }

    test::CTempFolder m_folder;
    COrderedStore m_store;
};

TEST_F(OpenWithListTest, NewestOfTheFirstThreeOnTopAndOnlyThreeShown)
{
    EXPECT_EQ(MenuNames(COpenWithList("image", &m_store)), (std::vector<std::string>{"32808 Select..."}));

    // Program names are bytes: one with a quote, spaces and a byte that is not UTF-8.
    const std::string odd = m_folder.Write("Be\"ta \xE9.sh");
    for (const std::string& path : {m_folder.Write("Alpha"), odd, m_folder.Write("Gamma.bin"),
                                    m_folder.Write("Delta")})
        Choose(path);

    COpenWithList list("image", &m_store);
    EXPECT_EQ(list.GetSectionName(), "open_image_with");
    EXPECT_EQ(m_store.ListNames("open_image_with").size(), 4u);
    EXPECT_EQ(MenuNames(list), (std::vector<std::string>{"32811 Gamma", "32810 Be\"ta \xE9", "32809 Alpha", "-",
                                                         "32808 Select..."}));
    EXPECT_EQ(list.PathAt(1), odd);
    EXPECT_EQ(list.PathAt(4), "");
    EXPECT_TRUE(COpenWithList("audio", &m_store).GetCount() == 0);
}

TEST_F(OpenWithListTest, DuplicatesCollapseOnSaveLaterPathWinning)
{
    const std::string first = m_folder.Write("Alpha");
    m_folder.MakeFolder("bin");
    const std::string second = m_folder.Write("bin/Alpha");
    Choose(first);
    Choose(m_folder.Write("Beta"));

    COpenWithList list("image", &m_store);
    list.Add(second);
    EXPECT_EQ(list.GetCount(), 3u);
    list.Save();

    COpenWithList again("image", &m_store);
    ASSERT_EQ(again.GetCount(), 2u);
    EXPECT_EQ(again.NameAt(0), "Alpha");
    EXPECT_EQ(again.PathAt(0), second);
    EXPECT_EQ(again.NameAt(1), "Beta");
}

TEST_F(OpenWithListTest, VanishedProgramsAreDroppedAndForgottenAtTheNextSave)
{
    const std::string beta = m_folder.Write("Beta");
    Choose(m_folder.Write("Alpha"));
    Choose(beta);
    Choose(m_folder.Write("Gamma"));
    std::filesystem::remove(beta);

    COpenWithList list("image", &m_store);
    EXPECT_EQ(MenuNames(list), (std::vector<std::string>{"32810 Gamma", "32809 Alpha", "-", "32808 Select..."}));
    EXPECT_EQ(m_store.ListNames("open_image_with").size(), 3u);

    // Neither a folder, a missing file nor an empty path is ever added.
    list.Add(m_folder.MakeFolder("Tools"));
    list.Add(m_folder / "missing");
    list.Add("");
    list.Save();
    EXPECT_EQ(m_store.ListNames("open_image_with"), (std::vector<std::string>{"Alpha", "Gamma"}));

    // A list never loaded has no section and saves nothing.
    COpenWithList unnamed("", &m_store);
    unnamed.Add(m_folder / "Alpha");
    unnamed.Save();
    EXPECT_EQ(m_store.ListNames("open__with").size(), 0u);
}

} // namespace
} // namespace mev
