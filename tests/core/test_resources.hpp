#pragma once

// Resources for tests: the files of the source tree's resources folder, and the pages the
// build writes from templates, read on first use and kept for the rest of the process, as
// the compiled-in bundle would keep them.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/shell/resources.hpp"

namespace mev::test {

class CSourceTreeResources : public IResourceSource {
public:
    explicit CSourceTreeResources(std::vector<std::string> folders = {std::string(MEV_SOURCE_DIR) + "/resources",
                                                                      MEV_GENERATED_RESOURCES})
        : m_folders(std::move(folders))
    {
    }

    std::optional<std::string_view> Load(std::string_view name) const override
    {
        // Names are bundle paths: nothing may climb out of the resources folder.
        if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos)
            return std::nullopt;
        std::lock_guard lock(m_mutex);
        const std::string key(name);
        if (auto found = m_loaded.find(key); found != m_loaded.end())
            return std::string_view(*found->second);
        std::string path;
        std::error_code ec;
        for (const std::string& folder : m_folders) {
            path = folder + "/" + key;
            if (std::filesystem::is_regular_file(path, ec))
                break;
            path.clear();
        }
        if (path.empty())
            return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        auto bytes = std::make_unique<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        const std::string_view view(*bytes);
        m_loaded.emplace(key, std::move(bytes));
        return view;
    }

private:
    std::vector<std::string> m_folders;
    mutable std::mutex m_mutex;
    mutable std::map<std::string, std::unique_ptr<std::string>> m_loaded;
};

// Makes LoadResourceData read the source tree's resources for the rest of the test run.
inline void InstallSourceTreeResources()
{
    static const auto source = std::make_shared<CSourceTreeResources>();
    SetResourceSource(source);
}

} // namespace mev::test
