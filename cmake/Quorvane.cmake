# Project-wide helpers for targets.

# Our own code builds warning-free; third-party headers come in as SYSTEM.
function(quorvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A unit or end-to-end test binary. LABELS lets the test command pick suites
# (the thread-sanitizer run takes only "tsan").
function(quorvane_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  quorvane_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# A helper is started for every question the application asks, so start-up
# time is latency the user waits for: without sanitizers, link the C++ runtime
# statically (saves the dynamic loader about half a millisecond per start).
option(QUORVANE_STATIC_RUNTIME "Link libstdc++ and libgcc statically into the programs" ON)
if(QUORVANE_STATIC_RUNTIME AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  set(QUORVANE_STATIC_LINK ON)
else()
  set(QUORVANE_STATIC_LINK OFF)
endif()
function(quorvane_program target)
  quorvane_warnings(${target})
  if(QUORVANE_STATIC_LINK)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# Small C libraries as link targets quorvane::<name> that follow the program
# being linked: shared libraries, or their static archives for a program whose
# QUORVANE_STATIC_LIBS property is on (quorvane-input starts once per question;
# loading eight small libraries is a quarter of its run). Programs that also
# use xcb through another shared library (cairo) must stay shared, so that the
# process holds one libxcb.
function(quorvane_switchable_library name)
  cmake_parse_arguments(X "" "" "DEPENDS" ${ARGN})
  find_library(QUORVANE_SHARED_${name} NAMES ${name} REQUIRED)
  find_library(QUORVANE_ARCHIVE_${name} NAMES lib${name}.a)
  set(static "$<BOOL:$<TARGET_PROPERTY:QUORVANE_STATIC_LIBS>>")
  set(links ${QUORVANE_SHARED_${name}})
  if(QUORVANE_ARCHIVE_${name})
    set(links "$<IF:${static},${QUORVANE_ARCHIVE_${name}},${QUORVANE_SHARED_${name}}>")
  endif()
  add_library(quorvane::${name} INTERFACE IMPORTED GLOBAL)
  set_property(TARGET quorvane::${name} PROPERTY INTERFACE_LINK_LIBRARIES ${links} ${X_DEPENDS})
endfunction()

function(quorvane_switchable_libraries)
  # libxcb's own dependencies, needed only when it is linked statically.
  find_library(QUORVANE_ARCHIVE_Xau NAMES libXau.a)
  find_library(QUORVANE_SHARED_Xdmcp NAMES Xdmcp)
  set(static "$<BOOL:$<TARGET_PROPERTY:QUORVANE_STATIC_LIBS>>")
  set(xcbDeps)
  if(QUORVANE_ARCHIVE_Xau AND QUORVANE_SHARED_Xdmcp)
    set(xcbDeps "$<${static}:${QUORVANE_ARCHIVE_Xau}>" "$<${static}:${QUORVANE_SHARED_Xdmcp}>")
  endif()
  quorvane_switchable_library(xcb DEPENDS ${xcbDeps})
  foreach(ext randr res xinput xtest shape xkb)
    quorvane_switchable_library(xcb-${ext} DEPENDS quorvane::xcb)
  endforeach()
  quorvane_switchable_library(utf8proc)
endfunction()
