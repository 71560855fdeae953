#include "core/pages/page_templates.hpp"

#include "core/shell/resources.hpp"

namespace mev {

std::string_view GetTemplateResourceName(int templateId)
{
    switch (templateId) {
    case HTML_INDEX_PAGE: return "pages/index.html";
    case HTML_IMAGE_PAGE: return "pages/image.html";
    case HTML_AUDIO_PAGE: return "pages/audio_plain.html";
    case HTML_VIDEO_PAGE: return "pages/video_plain.html";
    case HTML_ABOUT_PAGE: return "pages/about.html";
    case HTML_AUDIO_PLAYER_PAGE: return "pages/audio_player.html";
    case HTML_VIDEO_PLAYER_PAGE: return "pages/video_player.html";
    case HTML_FLASH_PAGE: return "pages/flash.html";
    case HTML_BLANK_PAGE: return "pages/blank.html";
    default: return {};
    }
}

std::optional<std::string_view> LoadTemplate(int templateId)
{
    const std::string_view name = GetTemplateResourceName(templateId);
    if (name.empty())
        return std::nullopt;
    return LoadResourceData(name);
}

} // namespace mev
