# What `cmake --install` puts on a system: the four programs, in a folder of
# their own under libexec (only the application starts them, so they stay off
# the user's PATH), and the README, which is the reference for the messages the
# application reads, and the OCR models. Test tools, demo helpers and benchmarks stay in the build.
include(GNUInstallDirs)

set(QUORVANE_INSTALLED_PROGRAMS
  quorvane-input quorvane-recording-screen quorvane-desktop quorvane-ocr)
foreach(program IN LISTS QUORVANE_INSTALLED_PROGRAMS)
  # A build may take fewer programs (QUORVANE_PROGRAMS).
  if(TARGET ${program})
    install(TARGETS ${program}
      RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvane COMPONENT runtime)
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
