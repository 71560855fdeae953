# The audio and video player pages are one page, resources/templates/player.html.in,
# with its own end message and media element each. They are written into the build
# folder's resources/pages (CR LF kept, as in every page), where the bundle and the
# tests' resource folders find them beside the source tree's pages.
set(MEV_GENERATED_RESOURCES ${PROJECT_BINARY_DIR}/resources)
set(MEV_GENERATED_PAGES)
foreach(kind Audio Video)
  string(TOLOWER ${kind} lower)
  set(PLAYER_DONE "WMP${kind}Done")
  if(kind STREQUAL "Audio")
    set(PLAYER_ELEMENT "<audio id=\"media\" src=\"?\" autoplay preload=\"auto\" style=\"width: 80%;\"></audio>")
  else()
    set(PLAYER_ELEMENT "<video id=\"media\" src=\"?\" autoplay preload=\"auto\" width=\"100%\" height=\"100%\"></video>")
  endif()
  configure_file(${MEV_SOURCE_DIR}/resources/templates/player.html.in
                 ${MEV_GENERATED_RESOURCES}/pages/${lower}_player.html @ONLY NEWLINE_STYLE CRLF)
  list(APPEND MEV_GENERATED_PAGES pages/${lower}_player.html)
endforeach()
