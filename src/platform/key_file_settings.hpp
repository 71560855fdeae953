#pragma once

#include <functional>
#include <mutex>
#include <string>

#include <glib.h>

#include "core/shell/settings.hpp"

namespace mev {

// Settings kept in an INI file through GKeyFile, one group per section. Every write
// applies its one change to the file as it is on disk at that moment, under a lock on
// the folder, and replaces the file atomically (temporary file, then rename): another
// process's values survive unless this one changed the same value. A file that cannot be read as
// a key file gives the defaults and is moved aside to "<file>.bad" before the first write
// replaces it. Names and values may hold any bytes: what is not UTF-8 text is escaped in
// the file and comes back unchanged. Safe to use from several threads.
class CKeyFileSettings : public ISettingsStore {
public:
    explicit CKeyFileSettings(std::string filePath);
    ~CKeyFileSettings() override;
    CKeyFileSettings(const CKeyFileSettings&) = delete;
    CKeyFileSettings& operator=(const CKeyFileSettings&) = delete;

    // $XDG_CONFIG_HOME/mev/settings.ini (~/.config when the variable is not set).
    static std::string DefaultPath();

    const std::string& GetFilePath() const { return m_filePath; }

    std::optional<std::string> ReadString(std::string_view section, std::string_view name) const override;
    bool WriteString(std::string_view section, std::string_view name, std::string_view value) override;
    bool RemoveValue(std::string_view section, std::string_view name) override;
    std::vector<std::string> ListNames(std::string_view section) const override;

    // How names appear as keys in the file, and back.
    static std::string EncodeKey(std::string_view name);
    static std::string DecodeKey(std::string_view key);

private:
    void Load();
    // Loads path into keyFile; false when it is missing (then *missing) or unusable.
    static bool LoadKeyFile(const std::string& path, GKeyFile* keyFile, bool* missing = nullptr);
    bool SetAsideBadFile();
    // change returns whether it changed anything. Memory takes the saved file on success
    // and is left as it was on failure.
    bool Save(const std::function<bool(GKeyFile*)>& change);

    const std::string m_filePath;
    mutable std::mutex m_mutex;
    GKeyFile* m_keyFile;
};

} // namespace mev
