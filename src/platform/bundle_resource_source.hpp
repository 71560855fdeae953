#pragma once

#include <gio/gio.h>

#include "core/shell/resources.hpp"

// The bundle that glib-compile-resources builds from the resources folder.
extern "C" GResource* mev_get_resource(void);

namespace mev {

// Resources from the compiled-in GResource bundle: a name such as "pages/index.html" is
// the bundle path /mev/pages/index.html.
class CBundleResourceSource : public IResourceSource {
public:
    // Registers the bundle for the process (once), so GTK finds its icons as well.
    CBundleResourceSource();

    std::optional<std::string_view> Load(std::string_view name) const override;
};

} // namespace mev
