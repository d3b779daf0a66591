# SPDX-License-Identifier: MIT
# The header-only library from Debian: nlohmann-json (nlohmann-json3-dev) for the tool, in
# /usr/include. A cross build must not search /usr/include, which holds this system's C library
# headers, so every build reaches it through a folder of its own that links its folder only.
set(QLXDUO_HEADERONLY_DIR ${PROJECT_BINARY_DIR}/headeronly)
add_library(qlxduo_headeronly INTERFACE)
find_path(QLXDUO_nlohmann_ROOT nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QLXDUO_nlohmann_ROOT)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (scripts/setup does)")
endif()
file(MAKE_DIRECTORY ${QLXDUO_HEADERONLY_DIR})
file(CREATE_LINK ${QLXDUO_nlohmann_ROOT}/nlohmann ${QLXDUO_HEADERONLY_DIR}/nlohmann SYMBOLIC)
target_include_directories(qlxduo_headeronly SYSTEM INTERFACE ${QLXDUO_HEADERONLY_DIR})
