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
function(quorvane_program target)
  quorvane_warnings(${target})
  if(QUORVANE_STATIC_RUNTIME AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
