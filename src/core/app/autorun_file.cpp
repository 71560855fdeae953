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

// Writes text into a new file of its own in folder (never an existing one) and sets path
// to it; fails when it could not be written whole, and a partial file is removed.
CStatus WriteNewFile(const std::string& folder, std::string_view name, const std::string& text, std::string& path)
{
    path.clear();
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = JoinPath(folder, "." + std::string(name) + "." + std::to_string(random()));
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
        if (file == nullptr) {
            if (errno == EEXIST)
                continue;
            return CStatus::LastError();
        }
        CStatus status;
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
            status = CStatus::LastError();
        if (std::fclose(file) != 0 && status)
            status = CStatus::LastError();
        if (status)
            path = candidate;
        else
            std::remove(candidate.c_str());
        return status;
    }
    return CStatus(EEXIST);
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

CStatus CAutorunFile::Write() const
{
    if (!CanCreate())
        return CStatus(EINVAL);
    // Both files are written beside their targets first and renamed over them only when
    // complete, so a failure leaves nothing half-written.
    std::string inf, script;
    CStatus status = WriteNewFile(m_programFolder, INF_NAME, GetInfText(), inf);
    if (status)
        status = WriteNewFile(m_programFolder, SCRIPT_NAME, GetScriptText(), script);
    std::error_code ec;
    if (status) {
        using std::filesystem::perms;
        std::filesystem::permissions(script,
                                     perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                         perms::others_exec,
                                     ec);
        if (ec)
            status = CStatus(ec.value());
    }
    if (!status) {
        RemoveFile(inf);
        RemoveFile(script);
        return status;
    }
    std::filesystem::rename(inf, GetTargetPath(), ec);
    if (ec) {
        RemoveFile(inf);
        RemoveFile(script);
        return CStatus(ec.value());
    }
    std::filesystem::rename(script, JoinPath(m_programFolder, SCRIPT_NAME), ec);
    if (ec) {
        RemoveFile(script);
        return CStatus(ec.value());
    }
    return {};
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
