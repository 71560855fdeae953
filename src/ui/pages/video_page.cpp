#include "ui/pages/video_page.hpp"

#include "core/commands/command_ids.hpp"

namespace mev {

namespace {

constexpr SPlayerTraits VIDEO_TRAITS{MediaKind::Video, "video", "video", IDR_VIDEO_LIST_MENU, IDR_VIDEO_MENU,
                                     ID_PRIVATE_VIDEO_DONE};

} // namespace

CVideoPage::CVideoPage(CMediaPageHost& host) : CPlayerPage(VIDEO_TRAITS, host) {}

} // namespace mev
