# SPDX-License-Identifier: MIT
# The header-only libraries from Debian: nlohmann-json (nlohmann-json3-dev) for the tool and CLI11
# (libcli11-dev) for the simulated unit's options, both in /usr/include. A cross build must not
# search /usr/include, which holds this system's C library headers, so every build reaches them
# through a folder of its own that links those two folders only.
set(QLXDUO_HEADERONLY_DIR ${PROJECT_BINARY_DIR}/headeronly)
add_library(qlxduo_headeronly INTERFACE)
foreach(entry "nlohmann;nlohmann/json.hpp;nlohmann-json3-dev" "CLI;CLI/CLI.hpp;libcli11-dev")
  list(GET entry 0 folder)
  list(GET entry 1 header)
  list(GET entry 2 package)
  find_path(QLXDUO_${folder}_ROOT ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QLXDUO_${folder}_ROOT)
    message(FATAL_ERROR "${header} not found: install ${package} (scripts/setup does)")
  endif()
  file(MAKE_DIRECTORY ${QLXDUO_HEADERONLY_DIR})
  file(CREATE_LINK ${QLXDUO_${folder}_ROOT}/${folder} ${QLXDUO_HEADERONLY_DIR}/${folder} SYMBOLIC)
endforeach()
target_include_directories(qlxduo_headeronly SYSTEM INTERFACE ${QLXDUO_HEADERONLY_DIR})
