#include "core/shell/settings.hpp"

#include <map>

#include <gtest/gtest.h>

namespace mev {
namespace {

// A store in memory that can be told to refuse writes, as a read-only profile would.
class CMemoryStore : public ISettingsStore {
public:
    std::optional<std::string> ReadString(std::string_view section, std::string_view name) const override
    {
        auto found = m_values.find({std::string(section), std::string(name)});
        if (found == m_values.end())
            return std::nullopt;
        return found->second;
    }
    bool WriteString(std::string_view section, std::string_view name, std::string_view value) override
    {
        if (m_readOnly)
            return false;
        m_values[{std::string(section), std::string(name)}] = std::string(value);
        return true;
    }
    bool RemoveValue(std::string_view section, std::string_view name) override
    {
        return !m_readOnly && (m_values.erase({std::string(section), std::string(name)}), true);
    }
    std::vector<std::string> ListNames(std::string_view) const override { return {}; }

    std::map<std::pair<std::string, std::string>, std::string> m_values;
    bool m_readOnly = false;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { SetSettingsStore(m_store); }
    void TearDown() override { SetSettingsStore(nullptr); }
    std::shared_ptr<CMemoryStore> m_store = std::make_shared<CMemoryStore>();
};

TEST_F(SettingsTest, ValuesLiveInSectionSettings)
{
    EXPECT_TRUE(SetSettingString("fld_of_Images", "/media/cd/pics"));
    EXPECT_TRUE(SetSettingInt("maintab_sel", 2));
    EXPECT_EQ(m_store->m_values.at({"Settings", "fld_of_Images"}), "/media/cd/pics");
    EXPECT_EQ(m_store->m_values.at({"Settings", "maintab_sel"}), "2");
    EXPECT_EQ(GetSettingString("fld_of_Images", "x"), "/media/cd/pics");
    EXPECT_EQ(GetSettingString("fld_of_Audios", "default"), "default");
    EXPECT_EQ(GetSettingInt("maintab_sel", 0), 2);
    EXPECT_TRUE(SetSettingInt("maintab_sel", -7));
    EXPECT_EQ(GetSettingInt("maintab_sel", 0), -7);
}

TEST_F(SettingsTest, IntegersThatDoNotParseGiveTheDefault)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {" 2 ", 2}, {"-3", -3}, {"", 9}, {"abc", 9}, {"4x", 9}, {"2147483647", 2147483647},
        {"2147483648", 9}, {"0x10", 9}, {"1.5", 9},
    };
    for (const auto& [text, expected] : cases) {
        m_store->m_values[{"Settings", "n"}] = text;
        EXPECT_EQ(GetSettingInt("n", 9), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsTest, RefusedWritesAndMissingStoreAreReported)
{
    m_store->m_readOnly = true;
    EXPECT_FALSE(SetSettingString("a", "b"));
    EXPECT_FALSE(SetSettingInt("a", 1));
    SetSettingsStore(nullptr);
    EXPECT_EQ(GetSettingsStore(), nullptr);
    EXPECT_FALSE(SetSettingString("a", "b"));
    EXPECT_EQ(GetSettingString("a", "dflt"), "dflt");
    EXPECT_EQ(GetSettingInt("a", 5), 5);
}

} // namespace
} // namespace mev
