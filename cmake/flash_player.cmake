# The Flash emulator the Flash page plays .swf files with. It is fetched while building
# (cmake/fetch_flash_player.cmake) into a folder next to the program, where the program
# looks for it at start, and installed under the data folder, where an installed
# program looks. A build without it still works; ".swf" is then not listed.
include(GNUInstallDirs)
set(MEV_FLASH_PLAYER_DIR ${CMAKE_BINARY_DIR}/ruffle)
set(MEV_FLASH_PLAYER_STAMP ${CMAKE_BINARY_DIR}/ruffle.stamp)
option(MEV_WITH_FLASH_PLAYER "Fetch the Flash emulator from the npm registry" ON)

if(MEV_WITH_FLASH_PLAYER)
  add_custom_command(
    OUTPUT ${MEV_FLASH_PLAYER_STAMP}
    COMMAND ${CMAKE_COMMAND} -DDEST=${MEV_FLASH_PLAYER_DIR} -DSTAMP=${MEV_FLASH_PLAYER_STAMP}
            -DWORK=${CMAKE_BINARY_DIR}/ruffle-fetch -P ${MEV_SOURCE_DIR}/cmake/fetch_flash_player.cmake
    DEPENDS ${MEV_SOURCE_DIR}/cmake/fetch_flash_player.cmake
    COMMENT "Fetching the Flash emulator"
    VERBATIM)
  add_custom_target(flash_player ALL DEPENDS ${MEV_FLASH_PLAYER_STAMP})
endif()

# Its licences are in the copyright file.
install(DIRECTORY ${MEV_FLASH_PLAYER_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/mev/ruffle OPTIONAL
        PATTERN "LICENSE_*" EXCLUDE)
