#include "platform/platform_init.hpp"

#include <memory>
#include <mutex>

#include "core/pages/media_support.hpp"
#include "core/players/mixer.hpp"
#include "core/shell/resources.hpp"
#include "core/shell/settings.hpp"
#include "platform/alsa_mixer.hpp"
#include "platform/bundle_resource_source.hpp"
#include "platform/gst_media_support.hpp"
#include "platform/key_file_settings.hpp"

namespace mev {

namespace {
std::once_flag g_platformInitialised;
} // namespace

void InitPlatform()
{
    std::call_once(g_platformInitialised, [] {
        SetSettingsStore(std::make_shared<CKeyFileSettings>(CKeyFileSettings::DefaultPath()));
        SetResourceSource(std::make_shared<CBundleResourceSource>());
        SetMediaSupport(std::make_shared<CGstMediaSupport>());
        SetMixerFactory([] { return std::make_unique<CAlsaMixer>(); });
    });
}

} // namespace mev
