#include "platform/platform_init.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>

#include "core/media/folder_tree_model.hpp"
#include "core/media/media_kinds.hpp"
#include "core/pages/media_support.hpp"
#include "core/players/mixer.hpp"
#include "core/shell/resources.hpp"
#include "core/shell/settings.hpp"
#include "core/pages/picture_info.hpp"
#include "core/tags/title_reader.hpp"
#include "core/thumbs/picture_decoder.hpp"
#include "core/work/thread_priority.hpp"
#include "platform/alsa_mixer.hpp"
#include "platform/bundle_resource_source.hpp"
#include "platform/gst_media_support.hpp"
#include "platform/key_file_settings.hpp"
#include "platform/system_services.hpp"
#include "platform/taglib_title_reader.hpp"
#include "platform/session_bus.hpp"
#include "platform/user_folders.hpp"
#include "platform/picture_types.hpp"
#include "platform/sandboxed_picture_decoder.hpp"

namespace mev {

namespace {
std::once_flag g_platformInitialised;
} // namespace

void InitPlatform()
{
    std::call_once(g_platformInitialised, [] {
        EnsureHomeFolder();
        SetSettingsStore(std::make_shared<CKeyFileSettings>(CKeyFileSettings::DefaultPath()));
        // After the store has its file: an unusable configuration folder leaves the
        // settings at their defaults rather than moving them to a temporary place.
        EnsureUsableUserFolders();
        ForgetUnreachableSessionBus();
        CGstMediaSupport::PreferLightDecoders();
        // The last change of the environment: every thread starts after it.
        ClaimSessionBus();
        SetResourceSource(std::make_shared<CBundleResourceSource>());
        SetMediaSupport(std::make_shared<CGstMediaSupport>());
        SetFolderSortKey(&MakeLocaleFolderSortKey);
        SetThreadLowering(&LowerToBackgroundPriority);
        SetTitleReader(std::make_shared<CTagLibTitleReader>());
        SetMixerFactory([] { return std::make_unique<CAlsaMixer>(); });
        // Pictures are parsed only in helper processes: the program does not even load
        // their libraries, which would double what it costs to start.
        if (std::string helper = CSandboxedPictureDecoder::FindHelper(); helper.empty()) {
            g_message("Pictures cannot be shown: the decode helper mev-decode is not installed");
        } else if (std::vector<std::string> types = LoadPictureTypes(helper, PictureTypesCacheFile()); types.empty()) {
            g_message("Pictures cannot be shown: the decode helper %s does not start", helper.c_str());
        } else {
            CMediaKinds::Instance().SetDecoderImageKeys(types);
            CSandboxedPictureDecoder::Options options;
            options.helperPath = std::move(helper);
            options.memoryLimit = CSandboxedPictureDecoder::GetDefaultMemoryLimit();
            options.warmCount = std::max(1u, std::thread::hardware_concurrency());
            options.extensions = std::move(types);
            auto decoder = std::make_shared<CSandboxedPictureDecoder>(std::move(options));
            SetPictureInfoReader(decoder);
            SetPictureDecoder(std::move(decoder));
        }
    });
}

} // namespace mev
