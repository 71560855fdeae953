#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mev {

// The program's persistent settings: named values in named sections ("Settings",
// "open_image_with", ...). The platform provides the file-backed store; tests hand in
// their own.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual std::optional<std::string> ReadString(std::string_view section, std::string_view name) const = 0;
    virtual bool WriteString(std::string_view section, std::string_view name, std::string_view value) = 0;
    virtual bool RemoveValue(std::string_view section, std::string_view name) = 0;
    virtual std::vector<std::string> ListNames(std::string_view section) const = 0;
};

// Installs the process's store (at start-up, before any other thread runs). Without
// one, reads give the defaults and writes fail.
void SetSettingsStore(std::shared_ptr<ISettingsStore> store);
ISettingsStore* GetSettingsStore();

// Values of the section "Settings".
std::string GetSettingString(std::string_view name, std::string_view defaultText);
bool SetSettingString(std::string_view name, std::string_view text);
int GetSettingInt(std::string_view name, int defaultValue);
bool SetSettingInt(std::string_view name, int value);

} // namespace mev
