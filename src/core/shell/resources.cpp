#include "core/shell/resources.hpp"

#include <mutex>

namespace mev {

namespace {

std::mutex g_resourceMutex;
std::shared_ptr<const IResourceSource> g_resourceSource;

} // namespace

void SetResourceSource(std::shared_ptr<const IResourceSource> source)
{
    std::lock_guard lock(g_resourceMutex);
    g_resourceSource = std::move(source);
}

std::optional<std::string_view> LoadResourceData(std::string_view name)
{
    std::shared_ptr<const IResourceSource> source;
    {
        std::lock_guard lock(g_resourceMutex);
        source = g_resourceSource;
    }
    if (!source)
        return std::nullopt;
    return source->Load(name);
}

} // namespace mev
