#include "platform/bundle_resource_source.hpp"

#include <map>
#include <mutex>
#include <string>

namespace mev {

namespace {

std::once_flag g_bundleRegistered;

// Looked-up data is kept for the life of the process, whichever source object asked,
// because callers hold on to the bytes.
std::mutex g_bundleCacheMutex;
std::map<std::string, GBytes*, std::less<>>& BundleCache()
{
    static auto* cache = new std::map<std::string, GBytes*, std::less<>>();
    return *cache;
}

} // namespace

CBundleResourceSource::CBundleResourceSource()
{
    std::call_once(g_bundleRegistered, [] { g_resources_register(mev_get_resource()); });
}

std::optional<std::string_view> CBundleResourceSource::Load(std::string_view name) const
{
    if (name.empty() || name.front() == '/')
        return std::nullopt;
    std::lock_guard lock(g_bundleCacheMutex);
    auto& cache = BundleCache();
    auto found = cache.find(name);
    if (found == cache.end()) {
        const std::string path = "/mev/" + std::string(name);
        GBytes* bytes = g_resource_lookup_data(mev_get_resource(), path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        if (bytes == nullptr)
            return std::nullopt;
        found = cache.emplace(std::string(name), bytes).first;
    }
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(found->second, &size));
    return std::string_view(data != nullptr ? data : "", size);
}

} // namespace mev
