# SPDX-License-Identifier: MIT
# The newest entry of the Debian changelog: its upstream version must be the project's, so a
# package can never carry one version while the programs show another; its date dates the release.
# The check also runs on its own: cmake -DCHANGELOG=<file> -DVERSION=<version> -P changelogversion.cmake

# Sets <prefix>_VERSION (the upstream version) and <prefix>_DATE (YYYY-MM-DD) from the newest entry.
function(qlxduo_read_changelog changelog prefix)
  file(STRINGS "${changelog}" first LIMIT_COUNT 1)
  # "qlxduo (1.03-1) unstable; urgency=medium": the upstream version lies between an optional
  # epoch and the last "-".
  if(NOT first MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([0-9]+:)?([^)]+)-[^)-]+\\)")
    message(FATAL_ERROR "${changelog}: no \"name (upstream-revision)\" on its first line: ${first}")
  endif()
  set(${prefix}_VERSION "${CMAKE_MATCH_2}" PARENT_SCOPE)
  # The entry ends with " -- Name <address>  Sat, 10 Jan 2026 12:00:00 +0000".
  file(STRINGS "${changelog}" trailer REGEX "^ -- " LIMIT_COUNT 1)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(JOIN months "|" alternatives)
  if(NOT trailer MATCHES "  [A-Z][a-z][a-z], ([0-9]?[0-9]) (${alternatives}) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "${changelog}: the newest entry has no \" -- name <address>  date\" line")
  endif()
  set(day ${CMAKE_MATCH_1})
  set(year ${CMAKE_MATCH_3})
  list(FIND months ${CMAKE_MATCH_2} index)
  math(EXPR month "${index} + 1")
  # Every regular expression resets CMAKE_MATCH_n, hence the copies above.
  string(REGEX REPLACE "^([0-9])$" "0\\1" month ${month})
  string(REGEX REPLACE "^([0-9])$" "0\\1" day ${day})
  set(${prefix}_DATE "${year}-${month}-${day}" PARENT_SCOPE)
endfunction()

function(qlxduo_check_changelog_version changelog version)
  qlxduo_read_changelog("${changelog}" entry)
  if(NOT entry_VERSION STREQUAL version)
    message(FATAL_ERROR "${changelog} is for version ${entry_VERSION}, the project is ${version}: "
                        "add a changelog entry for ${version}-1 (dch -v ${version}-1)")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qlxduo_check_changelog_version("${CHANGELOG}" "${VERSION}")
endif()
