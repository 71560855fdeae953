#include "core/app/autorun_file.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "core/shell/file_names.hpp"
#include "core/shell/program_path.hpp"

namespace mev {

namespace {

// Writes text into a new file of its own in folder (never an existing one) and returns
// its path, or "" when it could not be written whole; a partial file is removed.
std::string WriteNewFile(const std::string& folder, std::string_view name, const std::string& text)
{
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string path = JoinPath(folder, "." + std::string(name) + "." + std::to_string(random()));
        std::FILE* file = std::fopen(path.c_str(), "wbx");
        if (file == nullptr) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = std::fclose(file) == 0;
        if (written && closed)
            return path;
        std::remove(path.c_str());
        return {};
    }
    return {};
}

void RemoveFile(const std::string& path)
{
    if (!path.empty())
        std::remove(path.c_str());
}

} // namespace

CAutorunFile::CAutorunFile(std::string programPath, std::vector<AutorunTab> tabs, int selected)
    : m_programPath(std::move(programPath)),
      m_programFolder(GetFolderOf(m_programPath)),
      m_programName(GetFileNamePart(m_programPath)),
      m_tabs(std::move(tabs)),
      m_selected(selected)
{
}

bool CAutorunFile::IsInProgramFolder(const std::string& folder) const
{
    // Whole path components: /opt/mev-data does not lie in /opt/mev.
    if (m_programFolder.empty())
        return false;
    if (folder == m_programFolder)
        return true;
    const std::string prefix = m_programFolder == "/" ? "/" : m_programFolder + "/";
    return folder.compare(0, prefix.size(), prefix) == 0;
}

bool CAutorunFile::CanCreate() const
{
    if (m_programFolder.empty())
        return false;
    for (const AutorunTab& tab : m_tabs) {
        if (tab.opened && !tab.folder.empty() && !IsInProgramFolder(tab.folder))
            return false;
    }
    return true;
}

std::string CAutorunFile::GetRelativeFolder(const std::string& folder) const
{
    if (folder == m_programFolder)
        return ".";
    // Without the leading '/': the program reads a relative value against its own folder.
    std::string relative = folder.substr(m_programFolder == "/" ? 1 : m_programFolder.size() + 1);
    return relative.empty() ? "." : relative;
}

std::vector<std::pair<std::string, std::string>> CAutorunFile::GetOptions() const
{
    std::vector<std::pair<std::string, std::string>> options;
    for (const AutorunTab& tab : m_tabs) {
        if (tab.opened && !tab.folder.empty() && IsInProgramFolder(tab.folder))
            options.emplace_back(tab.name, GetRelativeFolder(tab.folder));
    }
    if (m_selected >= 0 && m_selected < static_cast<int>(m_tabs.size()))
        options.emplace_back(SHOW_OPTION, m_tabs[static_cast<std::size_t>(m_selected)].name);
    return options;
}

std::string CAutorunFile::GetTargetPath() const
{
    return JoinPath(m_programFolder, INF_NAME);
}

std::string CAutorunFile::GetInfText() const
{
    std::string text = "[AutoRun]\r\nOPEN=" + m_programName;
    for (const auto& [name, value] : GetOptions()) {
        // A quote or line break would end the value or the line early and let the rest
        // of the folder name be read as more options or lines: such a folder is left out.
        if (value.find_first_of("\"\r\n") != std::string::npos)
            continue;
        text += " " + name + "=\"" + value + "\"";
    }
    text += "\r\nICON=" + m_programName + ",0\r\n";
    return text;
}

std::string CAutorunFile::GetScriptText() const
{
    // Only parameter expansion finds the script's folder: no command runs on a name.
    std::string text =
        "#!/bin/sh\n"
        "# Starts MEV from this medium on the folders it was showing.\n"
        "case $0 in\n"
        "*/*) here=${0%/*} ;;\n"
        "*) here=. ;;\n"
        "esac\n"
        "exec \"$here\"/" +
        QuoteForShell(m_programName);
    for (const auto& [name, value] : GetOptions())
        text += " " + QuoteForShell(name + "=" + value);
    text += "\n";
    return text;
}

bool CAutorunFile::Write() const
{
    if (!CanCreate())
        return false;
    // Both files are written beside their targets first and renamed over them only when
    // complete, so a failure leaves nothing half-written.
    const std::string inf = WriteNewFile(m_programFolder, INF_NAME, GetInfText());
    const std::string script = inf.empty() ? std::string() : WriteNewFile(m_programFolder, SCRIPT_NAME, GetScriptText());
    std::error_code ec;
    if (!script.empty()) {
        using std::filesystem::perms;
        std::filesystem::permissions(script,
                                     perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                         perms::others_exec,
                                     ec);
    }
    if (inf.empty() || script.empty() || ec) {
        RemoveFile(inf);
        RemoveFile(script);
        return false;
    }
    std::filesystem::rename(inf, GetTargetPath(), ec);
    if (ec) {
        RemoveFile(inf);
        RemoveFile(script);
        return false;
    }
    std::filesystem::rename(script, JoinPath(m_programFolder, SCRIPT_NAME), ec);
    if (ec) {
        RemoveFile(script);
        return false;
    }
    return true;
}

std::string CAutorunFile::GetResultMessage(bool written) const
{
    std::string text = written ? DONE_MESSAGE : FAILED_MESSAGE;
    const auto at = text.find("%s");
    return text.replace(at, 2, GetTargetPath());
}

std::string CAutorunFile::QuoteForShell(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted;
}

} // namespace mev
