#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/shell/status.hpp"

namespace mev {

// One media tab as the autorun file sees it: its name, whether its page was ever
// opened, and the root folder that page shows.
struct AutorunTab {
    std::string name;
    bool opened = false;
    std::string folder;
};

// The autorun files written beside the program, so that a disc or stick made from the
// program's folder starts it on the folders shown now: AUTORUN.INF (CR LF lines) for the
// platform that reads it, and an executable autorun.sh that Linux desktops offer to run
// from a medium's root. Folders are written relative to the program folder.
class CAutorunFile {
public:
    static constexpr const char* INF_NAME = "AUTORUN.INF";
    static constexpr const char* SCRIPT_NAME = "autorun.sh";
    static constexpr const char* SHOW_OPTION = "show";
    static constexpr const char* DONE_MESSAGE = "Done.\nAutorun.inf has been saved as:\n%s";
    static constexpr const char* FAILED_MESSAGE = "Failed.\nCan not create:\n%s";

    // selected is the selected tab's index, -1 for none.
    CAutorunFile(std::string programPath, std::vector<AutorunTab> tabs, int selected);

    // True while every opened tab's folder (when not empty) lies in the program folder.
    bool CanCreate() const;

    const std::string& GetProgramFolder() const { return m_programFolder; }
    std::string GetTargetPath() const;
    std::string GetInfText() const;
    std::string GetScriptText() const;

    // Writes both files whole, replacing earlier ones, or changes nothing and fails
    // (EINVAL while CanCreate is false).
    CStatus Write() const;
    // Message 5019 or 5020 with the target path.
    std::string GetResultMessage(bool written) const;

    // The shell word that stands for exactly text: single quotes, with each ' as '\''.
    static std::string QuoteForShell(std::string_view text);

private:
    bool IsInProgramFolder(const std::string& folder) const;
    std::string GetRelativeFolder(const std::string& folder) const;
    // (option, value) pairs in command-line order: tab folders, then show.
    std::vector<std::pair<std::string, std::string>> GetOptions() const;

    std::string m_programPath;
    std::string m_programFolder;
    std::string m_programName;
    std::vector<AutorunTab> m_tabs;
    int m_selected;
};

} // namespace mev
