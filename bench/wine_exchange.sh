#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The exchange benchmark as the Windows program under Wine: two simulated units on the Linux side,
# mapped into a private Wine prefix as COM201 (answering) and COM202 (silent). Prints the
# benchmark's figures, and for the silent exchanges the wineserver's processor time beside the
# program's own (a wait that polls would keep both busy).
#
# Usage: bench/wine_exchange.sh [linux-build [windows-build]]     (defaults: build, build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "${1:-build}")
windows=$(realpath "${2:-build-windows}")
bench=$windows/bin/qlxduo-bench-exchange.exe
[ -x "$linux/bin/qlxduo-sim" ] || { echo "wine_exchange: build $linux first (scripts/build)" >&2; exit 2; }
[ -f "$bench" ] || { echo "wine_exchange: build $windows first (scripts/build-windows)" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works
cleanup_steps+=('scripts/wine-prefix stop "$work/prefix"')
# The simulated units keep their port map here, never in the user's.
export XDG_CONFIG_HOME=$work/config

# Starts a simulated unit (in this shell, so that cleanup knows it) and waits for its first line,
# its pseudo-terminal, in the file named first.
start_unit() {
  local out=$1
  shift
  "$linux/bin/qlxduo-sim" "$@" >"$out" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 50); do
    [ -s "$out" ] && return
    sleep 0.1
  done
  echo "wine_exchange: qlxduo-sim printed no device within 5 s" >&2
  exit 1
}
start_unit "$work/answering"
start_unit "$work/silent" --silent
answering=$(head -n 1 "$work/answering")
silent=$(head -n 1 "$work/silent")
scripts/wine-prefix create "$work/prefix" "COM201=$answering" "COM202=$silent"

server_ms() {
  local stat
  stat=$(cat "/proc/$(scripts/wine-prefix server-pid "$work/prefix")/stat")
  stat=${stat##*) }
  read -r -a fields <<<"$stat"
  # utime and stime, fields 14 and 15 of the line (11 and 12 after the name).
  echo $(((fields[11] + fields[12]) * 1000 / $(getconf CLK_TCK)))
}

echo "qlxduo-bench-exchange.exe under Wine $(wine --version 2>/dev/null || true)"
scripts/wine-prefix run "$work/prefix" "$bench" 201 0
before=$(server_ms)
scripts/wine-prefix run "$work/prefix" "$bench" 0 202
after=$(server_ms)
# The benchmark makes 20 silent exchanges; the program's start and end are counted in as well.
awk -v ms=$((after - before)) \
  'BEGIN { printf "%-28s %8.1f ms   wineserver processor time per exchange (start and end included)\n", "", ms / 20 }'
