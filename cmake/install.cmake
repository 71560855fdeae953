# What `cmake --install` (and `make install`, `make deb`) puts on a system. The program
# carries its pages and icons in its resource bundle, so the binary is all it loads at
# run time; the rest makes it a desktop application: menu entry, icons, AppStream data,
# manual page, copyright and changelog. Its data folder share/mev (the Flash emulator,
# when bundled) is always made: it tells an installed program from a copy carried with
# its media (see IsInstalledProgramFolder).
include(GNUInstallDirs)
set(MEV_APP_ID org.mev.MediaBrowser)
# The window's X11 class, which GTK takes from the program's name; the menu entry names it.
set(MEV_WM_CLASS mev)
include(${MEV_SOURCE_DIR}/cmake/desktop_entry.cmake)

# Manual page and changelog go compressed, as Debian has them; -n keeps the bytes the
# same from build to build.
set(MEV_DOCS)
foreach(doc mev.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${doc}.gz
                     COMMAND gzip -9n -c ${MEV_SOURCE_DIR}/data/${doc} > ${CMAKE_BINARY_DIR}/${doc}.gz
                     DEPENDS ${MEV_SOURCE_DIR}/data/${doc} VERBATIM)
  list(APPEND MEV_DOCS ${CMAKE_BINARY_DIR}/${doc}.gz)
endforeach()
add_custom_target(mev_docs ALL DEPENDS ${MEV_DOCS})

# What running and installing need, without the tests: `make run`, `make install` and
# `make deb` build this target only, and installing builds nothing more.
add_custom_target(mev_program)
add_dependencies(mev_program mev mev-decode mev_vips mev_docs)
if(TARGET flash_player)
  add_dependencies(mev_program flash_player)
endif()
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS mev RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The decode helper is no command of its own: the program finds it in libexec/mev of its
# prefix (see CSandboxedPictureDecoder::FindHelper).
install(TARGETS mev-decode RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/mev)
# Its libvips half, loaded from its folder when a picture needs it.
install(TARGETS mev_vips LIBRARY DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/mev)
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_DATADIR}/mev)
install(FILES ${CMAKE_BINARY_DIR}/${MEV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# File managers find programs for a type through the folder's MIME cache. A package
# leaves it to the system's trigger (DESTDIR set, or CPack's staging folder); a direct
# install makes it.
install(CODE "set(MEV_APPS_DIR \"${CMAKE_INSTALL_DATADIR}/applications\")")
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
    find_program(MEV_UPDATE_DESKTOP_DATABASE update-desktop-database)
    if(MEV_UPDATE_DESKTOP_DATABASE)
      execute_process(COMMAND "${MEV_UPDATE_DESKTOP_DATABASE}" -q "${CMAKE_INSTALL_PREFIX}/${MEV_APPS_DIR}")
    endif()
  endif()
]])
install(FILES ${MEV_SOURCE_DIR}/data/${MEV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${MEV_SOURCE_DIR}/data/icons/scalable/apps/${MEV_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${MEV_SOURCE_DIR}/resources/icons/${size}x${size}/apps/${MEV_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/mev.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${MEV_SOURCE_DIR}/data/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# `make deb`: a Debian package of this build, installing under /usr, with its run-time
# dependencies computed by dpkg-shlibdeps from the libraries the program links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The MEV developers <mev@mev.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "media browser for one folder tree at a time")
set(CPACK_PACKAGE_DESCRIPTION
    "Pictures, music and clips of a folder tree, such as a disc or a media folder,\nin one window with three tabs: a streamed thumbnail index with slide show and\nfull screen, players for the clicked or all checked files, file operations,\nOpen With lists and an MP3 tag editor.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://mev.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Playback runs through GStreamer plug-ins that no library links: name them.
# bubblewrap puts each picture decoder in a sandbox; without it they run unsandboxed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good, gstreamer1.0-libav, bubblewrap")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, shared-mime-info")
set(CPACK_STRIP_FILES ON)
# Files 0644 and folders 0755 whatever the umask, as Debian wants them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
