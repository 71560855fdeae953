#include "core/shell/resources.hpp"

#include "core/shell/service_slot.hpp"

namespace mev {

namespace {

constinit CServiceSlot<const IResourceSource> g_resourceSource;

} // namespace

void SetResourceSource(std::shared_ptr<const IResourceSource> source)
{
    g_resourceSource.Set(std::move(source));
}

std::optional<std::string_view> LoadResourceData(std::string_view name)
{
    const auto source = g_resourceSource.Get();
    if (!source)
        return std::nullopt;
    return source->Load(name);
}

} // namespace mev
