# Run by `cmake --install`: renders one KWin grant (common/kde/grants/) for the
# helpers' folder under the prefix given at install time, and installs it
# where KWin looks for applications. Set by the caller:
#   QUORVANE_GRANT          the grant's source (NAME.desktop.in)
#   QUORVANE_LIBEXECDIR     the programs' folder, relative to the prefix or absolute
#   QUORVANE_DATADIR        the data folder, the same way
#   QUORVANE_STAGING        a build folder to render the file in
foreach(folder LIBEXECDIR DATADIR)
  if(IS_ABSOLUTE "${QUORVANE_${folder}}")
    set(${folder} "${QUORVANE_${folder}}")
  else()
    set(${folder} "${CMAKE_INSTALL_PREFIX}/${QUORVANE_${folder}}")
  endif()
endforeach()
# KWin compares the path in Exec= with the running program's: it must be the
# installed one, never the build's.
set(QUORVANE_HELPER_DIR "${LIBEXECDIR}/quorvane")
get_filename_component(name "${QUORVANE_GRANT}" NAME_WLE)
configure_file("${QUORVANE_GRANT}" "${QUORVANE_STAGING}/${name}" @ONLY)
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE FILES "${QUORVANE_STAGING}/${name}")
