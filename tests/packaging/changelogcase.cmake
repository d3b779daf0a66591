# SPDX-License-Identifier: MIT
# One case of reading debian/changelog: with ERROR set, the check must fail in its own process
# with a message matching ERROR; otherwise it must pass, and with DATE set the entry's date must
# read DATE.
# Usage: cmake -DCHECK=<changelogversion.cmake> -DCHANGELOG=<file> -DVERSION=<v> [-DERROR=<regex>]
#              [-DDATE=<YYYY-MM-DD>] -P changelogcase.cmake
if(DEFINED ERROR)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${CHANGELOG} -DVERSION=${VERSION} -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # CMake wraps its messages, so both sides are compared with runs of white space as one.
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  string(REGEX REPLACE " +" " " ERROR "${ERROR}")
  if(result EQUAL 0 OR NOT output MATCHES "${ERROR}")
    message(FATAL_ERROR "want a failure naming \"${ERROR}\", got status ${result}:\n${output}")
  endif()
  return()
endif()

include(${CHECK})
qlxduo_check_changelog_version(${CHANGELOG} ${VERSION})
qlxduo_read_changelog(${CHANGELOG} entry)
if(DEFINED DATE AND NOT entry_DATE STREQUAL DATE)
  message(FATAL_ERROR "the entry's date reads ${entry_DATE}, want ${DATE}")
endif()
