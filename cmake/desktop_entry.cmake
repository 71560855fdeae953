# The menu entry offers MEV for every type its tabs list: each image/, audio/ and video/
# type of the MIME database that a plain extension names (as the program reads the same
# database at start), the Flash movie when the emulator is bundled, and folders.
set(MEV_MIME_GLOBS /usr/share/mime/globs2 CACHE FILEPATH "The MIME database's globs file the menu entry's types come from")
set(types)
if(EXISTS "${MEV_MIME_GLOBS}")
  file(STRINGS "${MEV_MIME_GLOBS}" lines REGEX "^[0-9]+:(image|audio|video)/[^:]+:\\*\\.[^*?[:]+(:|$)")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9]+:([^:]+):.*" "\\1" type "${line}")
    list(APPEND types "${type}")
  endforeach()
endif()
if(NOT types)
  message(WARNING "No MIME database at ${MEV_MIME_GLOBS}: the menu entry offers the common types only")
  set(types image/jpeg image/png image/gif image/bmp image/webp image/tiff image/svg+xml image/heif
            image/avif image/jxl audio/mpeg audio/ogg audio/flac audio/x-wav audio/mp4 video/mpeg
            video/mp4 video/webm video/ogg video/x-matroska video/quicktime)
endif()
list(SORT types)
list(REMOVE_DUPLICATES types)
list(PREPEND types inode/directory)
if(MEV_WITH_FLASH_PLAYER)
  list(APPEND types application/vnd.adobe.flash.movie application/x-shockwave-flash)
endif()
list(JOIN types ";" MEV_MIME_TYPES)
set(MEV_MIME_TYPES "${MEV_MIME_TYPES};")
configure_file(${MEV_SOURCE_DIR}/data/${MEV_APP_ID}.desktop.in ${CMAKE_BINARY_DIR}/${MEV_APP_ID}.desktop @ONLY)
