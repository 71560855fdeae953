# The layering check itself: a sound tree passes, and each kind of upward include fails
# it. CHECK is check_layering.cmake, WORK_DIR a scratch folder.
cmake_minimum_required(VERSION 3.20)

function(write_tree root)
  file(REMOVE_RECURSE ${root})
  file(WRITE ${root}/core/media/list.cpp "#include \"core/media/list.hpp\"\n#include <vector>\n#include <cerrno>\n#include <string.h>\n")
  file(WRITE ${root}/core/files/fd.cpp "#include <fcntl.h>\n#include <sys/stat.h>\n#include <unistd.h>\n")
  file(WRITE ${root}/platform/store.cpp "#include <glib.h>\n#include \"core/media/list.hpp\"\n")
  file(WRITE ${root}/ui/web/view.hpp "#include <gtkmm/widget.h>\n#include \"platform/store.hpp\"\n")
  file(WRITE ${root}/ui/widgets/list.hpp "#include \"ui/web/view.hpp\"\n")
  file(WRITE ${root}/ui/app/frame.cpp "#include \"ui/pages/page.hpp\"\n#include \"ui/widgets/list.hpp\"\n")
endfunction()

function(expect root result what)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC_DIR=${root} -P ${CHECK}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(result STREQUAL "pass" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "layering check rejects a sound tree")
  elseif(result STREQUAL "fail" AND rc EQUAL 0)
    message(FATAL_ERROR "layering check lets pass: ${what}")
  endif()
endfunction()

set(root ${WORK_DIR}/layering_selftest)
write_tree(${root})
expect(${root} pass "")

foreach(case
    "ui/web/view.hpp|ui/pages/page.hpp|a web file including a page"
    "ui/widgets/list.hpp|ui/app/frame.hpp|a widget including the frame"
    "platform/store.cpp|ui/web/view.hpp|platform including ui"
    "core/media/list.cpp|platform/store.hpp|core including platform"
    "core/media/list.cpp|<glib.h>|core including GLib"
    "core/media/list.cpp|<vips/vips.h>|core including vips"
    "core/media/list.cpp|<sys/stat.h>|a POSIX header outside core/files"
    "ui/loose.cpp|<vector>|a ui file in no room")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 header)
  list(GET parts 2 what)
  write_tree(${root})
  if(NOT header MATCHES "^<")
    set(header "\"${header}\"")
  endif()
  file(APPEND ${root}/${file} "#include ${header}\n")
  expect(${root} fail "${what}")
endforeach()
file(REMOVE_RECURSE ${root})
