# What a core file may include. The list says what is allowed, so that a new
# backend or library folder is refused until someone decides it belongs here:
# - the C++ standard library, less the headers that reach the process, its
#   files or its standard streams (those are the backend's, behind the seam);
# - the portable libraries every backend shares: nlohmann JSON, utf8proc, and
#   POSIX's locale objects (numbers read the same in every user locale);
# - common/'s own headers (not its x11/, wayland/ or posix/ folders), the
#   headers of the core's own folder and of the core folders it sits in
#   (input/scroll/ may include input/), always named from the repository root.
#
# As a script (quorvane_core_library runs it): FOLDER is the core folder
# relative to the repository root, LIST a file naming the core files, STAMP the
# file touched when every include passes. Included, it only defines the rule.

cmake_minimum_required(VERSION 3.25)

set(QUORVANE_CORE_STANDARD_HEADERS
  algorithm any array atomic barrier bit bitset charconv chrono compare complex concepts
  condition_variable coroutine deque exception execution format forward_list functional future
  initializer_list iomanip ios iosfwd istream iterator latch limits list locale map memory
  memory_resource mutex new numbers numeric optional ostream queue random ranges ratio regex
  scoped_allocator semaphore set shared_mutex source_location span sstream stack stdexcept
  stop_token streambuf string string_view syncstream system_error thread tuple type_traits
  typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
  cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath cstddef cstdint cstdlib
  cstring ctime cuchar cwchar cwctype)
set(QUORVANE_CORE_LIBRARY_HEADERS nlohmann/json.hpp nlohmann/json_fwd.hpp utf8proc.h locale.h)
# Standard, but the backend's: signals, the standard streams, files.
set(QUORVANE_CORE_BACKEND_STANDARD_HEADERS csignal csetjmp cstdio iostream fstream filesystem)

# Sets OUT to why LINE may not stand in a core file of FOLDER, or to "" when it may.
function(quorvane_core_include_refusal line folder out)
  if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"]")
    set(${out} "an include that names no header directly" PARENT_SCOPE)
    return()
  endif()
  set(header ${CMAKE_MATCH_2})
  if(CMAKE_MATCH_1 STREQUAL "<")
    if(header IN_LIST QUORVANE_CORE_STANDARD_HEADERS OR header IN_LIST QUORVANE_CORE_LIBRARY_HEADERS)
      set(${out} "" PARENT_SCOPE)
    elseif(header IN_LIST QUORVANE_CORE_BACKEND_STANDARD_HEADERS)
      set(${out} "signals, files and the standard streams are the backend's" PARENT_SCOPE)
    else()
      set(${out} "a system or library header that is not on the core's list" PARENT_SCOPE)
    endif()
    return()
  endif()

  # The folders whose own headers a core of FOLDER may name: common/, FOLDER
  # and each folder above it.
  set(allowed common)
  set(dir ${folder})
  while(dir)
    list(APPEND allowed ${dir})
    get_filename_component(dir ${dir} DIRECTORY)
  endwhile()
  get_filename_component(dir ${header} DIRECTORY)
  get_filename_component(name ${header} NAME)
  if(NOT dir)
    set(${out} "a header named without its folder from the repository root" PARENT_SCOPE)
  elseif(NOT dir IN_LIST allowed)
    set(${out} "a header of ${dir}/, which is not this core's" PARENT_SCOPE)
  elseif(name MATCHES "^fake")
    set(${out} "a fake is test code" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

if(NOT DEFINED LIST)
  return()
endif()
file(READ ${LIST} files)
set(refused)
foreach(file IN LISTS files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    quorvane_core_include_refusal("${line}" "${FOLDER}" why)
    if(why)
      string(STRIP "${line}" line)
      string(APPEND refused "\n  ${file}: ${line} (${why})")
    endif()
  endforeach()
endforeach()
if(refused)
  message(FATAL_ERROR "A core file of ${FOLDER}/ includes what only a backend may use:${refused}\n"
    "A core includes the C++ standard library, nlohmann JSON, utf8proc, common/'s headers and its own; "
    "anything else it needs comes through its seam (see cmake/CheckCoreIncludes.cmake).")
endif()
file(TOUCH ${STAMP})
