#pragma once

#include <optional>
#include <string_view>

namespace mev {

// The page templates by their resource numbers; the files live under resources/pages
// (the two player pages are written from resources/templates/player.html.in).
inline constexpr int HTML_INDEX_PAGE = 135;
inline constexpr int HTML_IMAGE_PAGE = 136;
inline constexpr int HTML_AUDIO_PAGE = 137;
inline constexpr int HTML_VIDEO_PAGE = 138;
inline constexpr int HTML_ABOUT_PAGE = 139;
inline constexpr int HTML_AUDIO_PLAYER_PAGE = 152;
inline constexpr int HTML_VIDEO_PLAYER_PAGE = 153;
inline constexpr int HTML_FLASH_PAGE = 154;
inline constexpr int HTML_BLANK_PAGE = 155;

// The resource name LoadResourceData knows a template by, "" for an unknown number.
std::string_view GetTemplateResourceName(int templateId);

// The template's bytes as stored, or nothing when it is unknown or missing.
std::optional<std::string_view> LoadTemplate(int templateId);

} // namespace mev
