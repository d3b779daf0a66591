#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The sizes of what ships, as scripts/package built it into dist/: the Debian package and the
# programs inside it (stripped, as installed), the Windows programs in the portable zip, and the
# installer. A measurement to compare before and after a change, not a test.
# Usage: bench/program_sizes.sh [DIST-FOLDER]
set -euo pipefail
dist=${1:-$(dirname "$0")/../dist}
row() { printf '%-32s %10d bytes\n' "$1" "$2"; }
shopt -s nullglob
for deb in "$dist"/qlxduo_*.deb; do
  row "$(basename "$deb")" "$(stat -c %s "$deb")"
  dpkg-deb -c "$deb" | awk '$6 ~ /^\.\/usr\/bin\/./ { sub(/.*\//, "", $6); printf "  %-30s %10d bytes\n", $6, $3 }'
done
for zip in "$dist"/qlxduo-*-windows.zip; do
  row "$(basename "$zip")" "$(stat -c %s "$zip")"
  unzip -l "$zip" | awk '$4 ~ /\.exe$/ { sub(/.*\//, "", $4); printf "  %-30s %10d bytes\n", $4, $1 }'
done
for setup in "$dist"/qlxduo-*-setup.exe; do
  row "$(basename "$setup")" "$(stat -c %s "$setup")"
done
