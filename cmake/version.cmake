# SPDX-License-Identifier: MIT
# The project version as the programs see it: a generated header behind the qlxduo_version target.
# The text of PROJECT_VERSION is used as written ("1.03"); its numeric parts would read 1 and 03.
include(${CMAKE_CURRENT_LIST_DIR}/changelogversion.cmake)
qlxduo_check_changelog_version(${PROJECT_SOURCE_DIR}/debian/changelog ${PROJECT_VERSION})
qlxduo_read_changelog(${PROJECT_SOURCE_DIR}/debian/changelog QLXDUO_RELEASE)

configure_file(${CMAKE_CURRENT_LIST_DIR}/qlxduo_version.h.in ${PROJECT_BINARY_DIR}/generated/qlxduo_version.h
               @ONLY)
add_library(qlxduo_version INTERFACE)
target_include_directories(qlxduo_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
