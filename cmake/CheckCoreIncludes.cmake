# Fails when a core file includes a backend or a system interface that only a
# backend may use. Called by quorvane_core_library with LIST (a file naming
# the core files) and STAMP.
set(forbidden
  "#include \"[^\"]*/(x11|wayland|posix|tesseract|encoder|images)/"
  "#include <(xcb|X11|wayland-|tesseract|leptonica|cairo|gio|glib)"
  "#include <(turbojpeg|jpeglib|png)\\.h>"
  "#include <(unistd|poll|fcntl|signal|pthread)\\.h>"
  "#include <sys/"
  "#include <csignal>")
file(READ ${LIST} files)
foreach(file IN LISTS files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    foreach(pattern IN LISTS forbidden)
      if(line MATCHES "${pattern}")
        message(FATAL_ERROR "${file}: a core file may not say ${line}; the backend answers through the seam")
      endif()
    endforeach()
  endforeach()
endforeach()
file(TOUCH ${STAMP})
