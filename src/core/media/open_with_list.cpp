#include "core/media/open_with_list.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/shell/file_names.hpp"
#include "core/shell/settings.hpp"

namespace mev {

COpenWithList::COpenWithList(std::string_view listName) : COpenWithList(listName, GetSettingsStore()) {}

COpenWithList::COpenWithList(std::string_view listName, ISettingsStore* store) : m_store(store)
{
    if (!listName.empty())
        Load(listName);
}

std::string COpenWithList::SectionOf(std::string_view listName)
{
    return "open_" + std::string(listName) + "_with";
}

std::string COpenWithList::DisplayNameOf(std::string_view programPath)
{
    return GetFileNamePart(programPath, true);
}

void COpenWithList::Load(std::string_view listName)
{
    m_pairs.clear();
    m_section = SectionOf(listName);
    if (m_store == nullptr)
        return;
    for (const std::string& name : m_store->ListNames(m_section)) {
        if (auto path = m_store->ReadString(m_section, name))
            Add(*path);
    }
}

void COpenWithList::Add(const std::string& programPath)
{
    if (programPath.empty())
        return;
    std::error_code ec;
    // A program that has gone, or a folder, is never offered.
    if (!std::filesystem::exists(programPath, ec) || std::filesystem::is_directory(programPath, ec))
        return;
    m_pairs.push_back({DisplayNameOf(programPath), programPath});
}

void COpenWithList::Save()
{
    if (m_section.empty() || m_store == nullptr)
        return;
    for (const std::string& name : m_store->ListNames(m_section))
        m_store->RemoveValue(m_section, name);
    // Writing in list order lets a later pair of the same name replace the earlier path.
    for (const Pair& pair : m_pairs)
        m_store->WriteString(m_section, pair.name, pair.path);
}

std::string COpenWithList::PathAt(std::size_t i) const
{
    return i < m_pairs.size() ? m_pairs[i].path : std::string();
}

std::string COpenWithList::NameAt(std::size_t i) const
{
    return i < m_pairs.size() ? m_pairs[i].name : std::string();
}

int COpenWithList::InsertIntoMenu(std::vector<OpenWithMenuRow>& popup, int firstId, int maxCount) const
{
    const int n = std::min(std::max(maxCount, 0), static_cast<int>(m_pairs.size()));
    if (n == 0)
        return 0;
    popup.insert(popup.begin(), OpenWithMenuRow{});
    for (int i = 0; i < n; ++i)
        popup.insert(popup.begin(), OpenWithMenuRow{firstId + i, m_pairs[static_cast<std::size_t>(i)].name});
    return n;
}

} // namespace mev
