# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's mingw-w64. The posix thread model is the one whose
# C++ library has std::thread and std::mutex; the default win32 model lacks them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QLXDUO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QLXDUO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QLXDUO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QLXDUO_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw-w64 tree only; programs (the build's own tools) from
# the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QLXDUO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
