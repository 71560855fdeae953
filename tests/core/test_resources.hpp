#pragma once

// Resources for tests: the files of the source tree's resources folder, read on first use
// and kept for the rest of the process, as the compiled-in bundle would keep them.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/shell/resources.hpp"

namespace mev::test {

class CSourceTreeResources : public IResourceSource {
public:
    explicit CSourceTreeResources(std::string folder = std::string(MEV_SOURCE_DIR) + "/resources")
        : m_folder(std::move(folder))
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
        const std::string path = m_folder + "/" + key;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
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
    std::string m_folder;
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
