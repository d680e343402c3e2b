# Project-wide helpers for targets.

# Our own code builds warning-free: every target of ours, set once here. The
# presets make warnings errors (CMAKE_COMPILE_WARNING_AS_ERROR); the Debian
# package does not, so that a rebuild against an updated library or compiler
# cannot fail on a warning that is new there.
add_compile_options(-Wall -Wextra)
# No code of ours reads errno after a math function or tests floating-point
# exception flags. Saying so lets the compiler inline floor and lround, so
# quorvane-input starts without loading libm (its relocations cost a tenth of
# a window list). The results are the same IEEE results.
add_compile_options(-fno-math-errno -fno-trapping-math)

# Test code and test tools: the sanitizer builds compile them with cheaper
# flags (QUORVANE_TEST_FLAGS, e.g. -O0 without UBSan's per-access checks) than
# the product code they test, which keeps every check. That halves the build.
set(QUORVANE_TEST_FLAGS "" CACHE STRING "Extra compile flags for tests and test tools")
function(quorvane_test_code)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE ${QUORVANE_TEST_FLAGS})
  endforeach()
endfunction()

# GoogleTest and JSON parsed once for every test binary: one precompiled header
# that all test targets share (they are compiled with the same flags).
if(BUILD_TESTING)
  file(WRITE ${CMAKE_BINARY_DIR}/quorvane_test_pch.cpp "")
  add_library(quorvane_test_pch OBJECT ${CMAKE_BINARY_DIR}/quorvane_test_pch.cpp)
  target_link_libraries(quorvane_test_pch PRIVATE GTest::gtest nlohmann_json::nlohmann_json)
  target_precompile_headers(quorvane_test_pch PRIVATE <gtest/gtest.h> <nlohmann/json.hpp> <functional> <map>
                            <optional> <string> <vector>)
  quorvane_test_code(quorvane_test_pch)
endif()

# A unit or end-to-end test binary. LABELS lets the test command pick suites
# (the thread-sanitizer run takes only "tsan").
function(quorvane_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  quorvane_test_code(${name})
  target_precompile_headers(${name} REUSE_FROM quorvane_test_pch)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# A core library holds rules only: it must not reach a backend, a window
# system, an image or OCR library, or POSIX I/O except through its seam. Include
# directories cannot say that (the repository root serves every target), so the
# build checks the core folder's own files against what a core may include
# (cmake/CheckCoreIncludes.cmake) and fails on anything else.
function(quorvane_core_library name folder)
  add_library(${name} STATIC ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*.cpp)
  list(FILTER files EXCLUDE REGEX "(_test\\.cpp|/fake[^/]*)$")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.includes-checked)
  set(list ${CMAKE_CURRENT_BINARY_DIR}/${name}.core-files)
  file(WRITE ${list} "${files}")
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${folder})
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${relative} -DLIST=${list} -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
    COMMENT "Checking that ${name} includes no backend")
  add_custom_target(${name}_includes DEPENDS ${stamp})
  add_dependencies(${name} ${name}_includes)
endfunction()
if(BUILD_TESTING)
  add_test(NAME core_includes
    COMMAND ${CMAKE_COMMAND} -DCHECK=${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
            -DWORK=${CMAKE_BINARY_DIR}/core_includes_test -P ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludesTest.cmake)
  set_tests_properties(core_includes PROPERTIES LABELS unit TIMEOUT 60)
endif()

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
  if(QUORVANE_STATIC_LINK)
    # Unused sections of the archives left out: a quarter less program to map
    # and relocate at each start.
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
  endif()
endfunction()

# Every C library comes from pkg-config, as the link target quorvane::<module>.
function(quorvane_modules)
  foreach(module IN LISTS ARGN)
    if(NOT TARGET quorvane::${module})
      pkg_check_modules(QPC_${module} REQUIRED IMPORTED_TARGET GLOBAL ${module})
      add_library(quorvane::${module} ALIAS PkgConfig::QPC_${module})
    endif()
  endforeach()
endfunction()

# Small C libraries that follow the program being linked: shared, or their
# static archives (found in the module's own libdir) for a program whose
# QUORVANE_STATIC_LIBS property is on (quorvane-input starts once per question;
# loading eight small libraries is a quarter of its run). Programs that also
# use xcb through another shared library (cairo) must stay shared, so that the
# process holds one libxcb.
function(quorvane_switchable_module module library)
  cmake_parse_arguments(X "" "" "DEPENDS" ${ARGN})
  pkg_check_modules(QPC_${module} REQUIRED IMPORTED_TARGET GLOBAL ${module})
  set(static "$<BOOL:$<TARGET_PROPERTY:QUORVANE_STATIC_LIBS>>")
  set(archive ${QPC_${module}_LIBDIR}/lib${library}.a)
  set(links PkgConfig::QPC_${module})
  if(EXISTS ${archive})
    set(links "$<IF:${static},${archive},PkgConfig::QPC_${module}>")
  endif()
  add_library(quorvane::${module} INTERFACE IMPORTED GLOBAL)
  set_property(TARGET quorvane::${module} PROPERTY INTERFACE_LINK_LIBRARIES ${links} ${X_DEPENDS})
  # Headers come from the module whichever way it links.
  set_property(TARGET quorvane::${module} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${QPC_${module}_INCLUDE_DIRS})
endfunction()

function(quorvane_libraries)
  # libxcb's own dependencies, needed only when it is linked statically.
  # libXdmcp's archive needs only arc4random_buf beyond the C library, which
  # glibc has had since 2.36; the shared libXdmcp would load libbsd and libmd.
  pkg_check_modules(QPC_xau REQUIRED xau)
  pkg_check_modules(QPC_xdmcp REQUIRED IMPORTED_TARGET GLOBAL xdmcp)
  set(static "$<BOOL:$<TARGET_PROPERTY:QUORVANE_STATIC_LIBS>>")
  set(xcbDeps)
  if(EXISTS ${QPC_xau_LIBDIR}/libXau.a)
    set(xdmcp PkgConfig::QPC_xdmcp)
    include(CheckSymbolExists)
    check_symbol_exists(arc4random_buf stdlib.h QUORVANE_HAVE_ARC4RANDOM)
    if(EXISTS ${QPC_xdmcp_LIBDIR}/libXdmcp.a AND QUORVANE_HAVE_ARC4RANDOM)
      set(xdmcp ${QPC_xdmcp_LIBDIR}/libXdmcp.a)
    endif()
    set(xcbDeps "$<${static}:${QPC_xau_LIBDIR}/libXau.a>" "$<${static}:${xdmcp}>")
  endif()
  quorvane_switchable_module(xcb xcb DEPENDS ${xcbDeps})
  foreach(ext randr res xinput xtest shape xkb composite damage xfixes render shm icccm ewmh)
    quorvane_switchable_module(xcb-${ext} xcb-${ext} DEPENDS quorvane::xcb)
  endforeach()
  quorvane_switchable_module(libutf8proc utf8proc)
  quorvane_modules(libturbojpeg libjpeg libpng zlib cairo cairo-xcb gio-2.0 tesseract lept)
endfunction()
