# What `cmake --install` puts on a system: the four programs, in a folder of
# their own under libexec (only the application starts them, so they stay off
# the user's PATH), the KWin grants of the helpers that need one (hidden
# application entries naming the programs' installed paths), the OCR models,
# and the README, which is the reference for the messages the application
# reads. Test tools, demo helpers and benchmarks stay in the build.
include(GNUInstallDirs)

set(QUORVANE_INSTALLED_PROGRAMS
  quorvane-input quorvane-recording-screen quorvane-desktop quorvane-ocr)
# The programs with a KWin backend that needs a grant (common/kde/grants/): a
# grant names only what its program uses.
set(QUORVANE_KWIN_GRANTED quorvane-input quorvane-recording-screen)
foreach(program IN LISTS QUORVANE_INSTALLED_PROGRAMS)
  # A build may take fewer programs (QUORVANE_PROGRAMS).
  if(TARGET ${program})
    install(TARGETS ${program}
      RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvane COMPONENT runtime)
  endif()
  # Rendered at install time: the prefix may be given only then.
  set(grant ${PROJECT_SOURCE_DIR}/common/kde/grants/${program}.desktop.in)
  if(TARGET ${program} AND ${program} IN_LIST QUORVANE_KWIN_GRANTED)
    install(CODE "
      set(QUORVANE_GRANT \"${grant}\")
      set(QUORVANE_LIBEXECDIR \"${CMAKE_INSTALL_LIBEXECDIR}\")
      set(QUORVANE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
      set(QUORVANE_STAGING \"${CMAKE_BINARY_DIR}/grants\")
      include(\"${PROJECT_SOURCE_DIR}/cmake/InstallGrant.cmake\")"
      COMPONENT runtime)
  endif()
endforeach()

# The OCR helper's neural models, where the installed program looks for them.
if(TARGET quorvane-ocr)
  install(FILES ${QUORVANE_OCR_MODELS_FILES} DESTINATION ${QUORVANE_OCR_MODELS_INSTALL} COMPONENT runtime)
endif()

# A component of its own, so that a packager can ship the programs without it
# (`--component runtime`) or split it into a documentation package.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)

# The layout above, checked on the built programs (a build of fewer programs
# has nothing to compare).
set(QUORVANE_ALL_INSTALLED ON)
foreach(program IN LISTS QUORVANE_INSTALLED_PROGRAMS)
  if(NOT TARGET ${program})
    set(QUORVANE_ALL_INSTALLED OFF)
  endif()
endforeach()
if(BUILD_TESTING AND QUORVANE_ALL_INSTALLED)
  add_test(NAME install_layout COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install_layout PROPERTIES LABELS unit TIMEOUT 60)
endif()
# The Debian package's rule for which static archives it names.
if(BUILD_TESTING)
  add_test(NAME static_built_using COMMAND ${PROJECT_SOURCE_DIR}/debian/static-built-using-test)
  set_tests_properties(static_built_using PROPERTIES LABELS unit TIMEOUT 60)
endif()
