# Fails when a source under src/core includes a toolkit, GLib, WebKit, GStreamer, ALSA,
# vips or TagLib header.
file(GLOB_RECURSE files ${CORE_DIR}/*.cpp ${CORE_DIR}/*.hpp ${CORE_DIR}/*.h)
set(bad "")
foreach(f IN LISTS files)
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](gtk|gtkmm|gdk|gdkmm|glib|glibmm|gio|giomm|sigc|webkit|jsc|alsa|gst|pango|cairo|vips|taglib)")
  if(lines)
    list(APPEND bad "${f}: ${lines}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "core sources include platform headers:\n${bad}")
endif()
