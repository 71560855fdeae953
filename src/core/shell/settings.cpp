#include "core/shell/settings.hpp"

#include <charconv>

#include "core/shell/service_slot.hpp"

namespace mev {

namespace {

constexpr std::string_view SECTION = "Settings";

constinit CServiceSlot<ISettingsStore> g_settingsStore;

std::shared_ptr<ISettingsStore> CurrentStore()
{
    return g_settingsStore.Get();
}

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

void SetSettingsStore(std::shared_ptr<ISettingsStore> store)
{
    g_settingsStore.Set(std::move(store));
}

ISettingsStore* GetSettingsStore()
{
    return g_settingsStore.Get().get();
}

std::string GetSettingString(std::string_view name, std::string_view defaultText)
{
    if (const auto store = CurrentStore()) {
        if (auto value = store->ReadString(SECTION, name))
            return std::move(*value);
    }
    return std::string(defaultText);
}

bool SetSettingString(std::string_view name, std::string_view text)
{
    const auto store = CurrentStore();
    return store && store->WriteString(SECTION, name, text);
}

int GetSettingInt(std::string_view name, int defaultValue)
{
    const auto store = CurrentStore();
    if (!store)
        return defaultValue;
    const auto value = store->ReadString(SECTION, name);
    if (!value)
        return defaultValue;
    // A value edited into something that is not a whole number gives the default.
    const std::string_view text = Trim(*value);
    int result = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return defaultValue;
    return result;
}

bool SetSettingInt(std::string_view name, int value)
{
    return SetSettingString(name, std::to_string(value));
}

} // namespace mev
