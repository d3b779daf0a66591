#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures the tree as the Debian package does (-DBUILD_TESTING=OFF -DQLXDUO_WERROR=OFF): it
# then looks for neither GoogleTest nor Qt Test, defines no tests and compiles without -Werror,
# while the development build it is compared with keeps -Werror. Further options go to cmake (for
# the Windows build: its toolchain file).
# Usage: distconfig_test.sh <source folder> <development build folder> [cmake options...]
source "$(dirname "$0")/testlib.sh"
source_dir=$1
dev_build=$2
shift 2
build="$tmp/build"

log=$(cmake -S "$source_dir" -B "$build" -G Ninja -DBUILD_TESTING=OFF -DQLXDUO_WERROR=OFF -DQLXDUO_BENCH=OFF "$@" 2>&1) ||
  fail "configuring failed:"$'\n'"$log"
# GoogleTest is found as a package on Linux and built from its sources for Windows.
if grep -Eq '^(GTest_DIR|Qt6Test_DIR|QLXDUO_GOOGLETEST_SOURCE):' "$build/CMakeCache.txt"; then
  fail "GoogleTest or Qt Test was looked for"
fi
[ ! -e "$build/CTestTestfile.cmake" ] || fail "tests are defined"
grep -q -- '-Wall' "$build/compile_commands.json" || fail "the warnings are gone altogether"
if grep -q -- '-Werror' "$build/compile_commands.json"; then fail "the distribution build compiles with -Werror"; fi
grep -q -- '-Wall -Wextra -Werror' "$dev_build/compile_commands.json" || fail "the development build lost -Werror"

finish
