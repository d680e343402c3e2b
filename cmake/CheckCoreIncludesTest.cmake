# The core-include rule, case by case, and the check as the build runs it.
#   cmake -DCHECK=cmake/CheckCoreIncludes.cmake -DWORK=SCRATCH_FOLDER -P cmake/CheckCoreIncludesTest.cmake
cmake_minimum_required(VERSION 3.25)
include(${CHECK})

# folder | include line | "" when allowed, else a part of the reason given
set(cases
  [=[common|#include <string>|]=]
  [=[recording-screen|#include <thread>|]=]
  [=[common|#include <locale.h>|]=]
  [=[ocr|#include <utf8proc.h>|]=]
  [=[desktop|#include <nlohmann/json.hpp>|]=]
  [=[desktop|  #  include <vector>  // spacing and a comment|]=]
  [=[desktop|#include "common/geometry.h"|]=]
  [=[desktop|#include "desktop/mask_platform.h"|]=]
  [=[input/scroll|#include "input/scroll/scroll_rules.h"|]=]
  [=[input/scroll|#include "input/window_queries.h"|]=]
  [=[input|#include "input/x11/window_system.h"|a header of input/x11/]=]
  [=[input|#include "input/scroll/scroll.h"|a header of input/scroll/]=]
  [=[desktop|#include "desktop/images/image_file.h"|a header of desktop/images/]=]
  [=[desktop|#include "desktop/kde/backend.h"|a header of desktop/kde/]=]
  [=[recording-screen|#include "recording-screen/jpeg/row_jpeg.h"|a header of recording-screen/jpeg/]=]
  [=[ocr|#include "input/key_names.h"|a header of input/]=]
  [=[common|#include "common/x11/connection.h"|a header of common/x11/]=]
  [=[common|#include "common/posix/process.h"|a header of common/posix/]=]
  [=[input|#include "input/fake_window_system.h"|a fake is test code]=]
  [=[input|#include "window_system.h"|without its folder]=]
  [=[input|#include <xcb/xcb.h>|not on the core's list]=]
  [=[desktop|#include <cairo.h>|not on the core's list]=]
  [=[ocr|#include <tesseract/baseapi.h>|not on the core's list]=]
  [=[common|#include <unistd.h>|not on the core's list]=]
  [=[common|#include <sys/mman.h>|not on the core's list]=]
  [=[desktop|#include <csignal>|are the backend's]=]
  [=[ocr|#include <cstdio>|are the backend's]=]
  [=[ocr|#include <filesystem>|are the backend's]=]
  [=[input|#include HEADER_OF_THE_DAY|names no header]=])

set(failures)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 folder)
  list(GET fields 1 line)
  list(LENGTH fields count)
  set(want "")
  if(count GREATER 2)
    list(GET fields 2 want)
  endif()
  quorvane_core_include_refusal("${line}" "${folder}" got)
  if(want STREQUAL "" AND NOT got STREQUAL "")
    string(APPEND failures "\n  ${folder}: ${line}: refused (${got}), should pass")
  elseif(NOT want STREQUAL "")
    string(FIND "${got}" "${want}" at)
    if(at EQUAL -1)
      string(APPEND failures "\n  ${folder}: ${line}: got '${got}', want '${want}'")
    endif()
  endif()
endforeach()

# The script as the build runs it: every offending line named with its file,
# no stamp; a clean core passes and gets its stamp.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/input/window_queries.h "#include <string>\n#include \"input/x11/window_system.h\"\n")
file(WRITE ${WORK}/input/focus.cpp "#include \"input/focus.h\"\n#include <cairo.h>\n")
file(WRITE ${WORK}/input/clean.cpp "#include \"common/channel.h\"\n#include <vector>\n")
function(run_check folder list stamp)
  file(WRITE ${WORK}/list "${list}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DLIST=${WORK}/list -DSTAMP=${stamp} -P ${CHECK}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  set(status ${status} PARENT_SCOPE)
  string(REGEX REPLACE "[ \n]+" " " errors "${errors}")
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

run_check(input "${WORK}/input/window_queries.h;${WORK}/input/focus.cpp;${WORK}/input/clean.cpp" ${WORK}/refused.stamp)
foreach(expected
    [=[A core file of input/ includes what only a backend may use:]=]
    [=[input/window_queries.h: #include "input/x11/window_system.h" (a header of input/x11/, which is not this core's)]=]
    [=[input/focus.cpp: #include <cairo.h> (a system or library header that is not on the core's list)]=])
  string(FIND "${errors}" "${expected}" at)
  if(at EQUAL -1)
    string(APPEND failures "\n  the check's message lacks '${expected}': ${errors}")
  endif()
endforeach()
string(FIND "${errors}" "clean.cpp" at)
if(status EQUAL 0 OR EXISTS ${WORK}/refused.stamp OR NOT at EQUAL -1)
  string(APPEND failures "\n  a refused core: status ${status}, stamp made: ${WORK}/refused.stamp, message: ${errors}")
endif()

run_check(input "${WORK}/input/clean.cpp" ${WORK}/clean.stamp)
if(NOT status EQUAL 0 OR NOT EXISTS ${WORK}/clean.stamp)
  string(APPEND failures "\n  a clean core: status ${status}, no stamp, message: ${errors}")
endif()

if(failures)
  message(FATAL_ERROR "core include rule:${failures}")
endif()
