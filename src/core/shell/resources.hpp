#pragma once

#include <memory>
#include <optional>
#include <string_view>

namespace mev {

// Where embedded resources (page templates, icons) come from. Names are relative to the
// resources folder, e.g. "pages/index.html". The bytes returned must stay valid for the
// life of the process.
class IResourceSource {
public:
    virtual ~IResourceSource() = default;
    virtual std::optional<std::string_view> Load(std::string_view name) const = 0;
};

// Installed once at start-up (the platform's GResource bundle; tests use the files of
// the source tree). Safe to read from any thread afterwards.
void SetResourceSource(std::shared_ptr<const IResourceSource> source);

// The resource's bytes, or nothing when it is missing.
std::optional<std::string_view> LoadResourceData(std::string_view name);

} // namespace mev
