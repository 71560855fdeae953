#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mev {

class ISettingsStore;

// One row of an Open With popup: a program entry (command id and display name) or the
// separator above "Select...".
struct OpenWithMenuRow {
    int id = 0;  // 0 for the separator
    std::string name;
};

// The programs chosen before for one media kind ("image", "audio", "video"), kept in the
// settings section "open_<kind>_with": value name = display name, value = program path.
// Built from the store for each use and thrown away afterwards.
class COpenWithList {
public:
    // A non-empty list name loads that list from the process's settings store.
    explicit COpenWithList(std::string_view listName = {});
    // The same with the store given (tests, or a store other than the process's).
    COpenWithList(std::string_view listName, ISettingsStore* store);

    // Empties the list and reads the section of listName; programs whose files have
    // gone are left out.
    void Load(std::string_view listName);
    // Appends the program when the path names an existing file that is not a folder.
    void Add(const std::string& programPath);
    // Replaces the stored section with the list: one value per display name, the later
    // path winning. Does nothing before a Load.
    void Save();

    std::size_t GetCount() const { return m_pairs.size(); }
    // The path or display name of pair i, or "" when there is no such pair.
    std::string PathAt(std::size_t i) const;
    std::string NameAt(std::size_t i) const;
    const std::string& GetSectionName() const { return m_section; }

    // Puts up to maxCount entries with ids firstId, firstId + 1, ... and a separator at the
    // top of popup (which holds "Select..."): entry 0 lands just above the separator, so
    // the newest of the first maxCount programs is at the top. Returns how many went in.
    int InsertIntoMenu(std::vector<OpenWithMenuRow>& popup, int firstId, int maxCount) const;

    // "open_<name>_with".
    static std::string SectionOf(std::string_view listName);
    // The program file's name without folder and extension.
    static std::string DisplayNameOf(std::string_view programPath);

private:
    struct Pair {
        std::string name;
        std::string path;
    };

    ISettingsStore* m_store;
    std::string m_section;
    std::vector<Pair> m_pairs;
};

} // namespace mev
