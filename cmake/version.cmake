# SPDX-License-Identifier: MIT
# The project version as the programs see it: a generated header behind the qlxduo_version target.
# The text of PROJECT_VERSION is used as written ("1.03"); its numeric parts would read 1 and 03.
include(${CMAKE_CURRENT_LIST_DIR}/changelogversion.cmake)
qlxduo_check_changelog_version(${PROJECT_SOURCE_DIR}/debian/changelog ${PROJECT_VERSION})
qlxduo_read_changelog(${PROJECT_SOURCE_DIR}/debian/changelog QLXDUO_RELEASE)

# Windows wants four numbers (1.03 is 1.3.0.0): the manifests' version and the version resources'.
math(EXPR QLXDUO_VERSION_MINOR_NUMBER "${PROJECT_VERSION_MINOR}")
set(QLXDUO_MANIFEST_VERSION "${PROJECT_VERSION_MAJOR}.${QLXDUO_VERSION_MINOR_NUMBER}.0.0")
string(REPLACE "." "," QLXDUO_VERSION_NUMBERS "${QLXDUO_MANIFEST_VERSION}")
# The copyright line as the licence states it, for the programs' properties.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE QLXDUO_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)

configure_file(${CMAKE_CURRENT_LIST_DIR}/qlxduo_version.h.in ${PROJECT_BINARY_DIR}/generated/qlxduo_version.h
               @ONLY)
add_library(qlxduo_version INTERFACE)
target_include_directories(qlxduo_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
