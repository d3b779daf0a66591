#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Processor time that an idle Wine prefix takes: a prefix made as the tests make theirs, left alone
# to settle, then every process of it (its wineserver and the Windows processes) measured over a
# while. Prints the share of one core, and per process what took most.
#
# Usage: bench/wine_prefix_idle.sh [SECONDS [WINE-PREFIX-SCRIPT]]
#        (defaults: 10 s, scripts/wine-prefix; give another checkout's script to compare)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
script=$(realpath "${2:-scripts/wine-prefix}")
source bench/benchlib.sh  # from the root, where the script works
cleanup_steps+=('"$script" stop "$work/prefix"')

"$script" create "$work/prefix"
sleep 5
server=$("$script" server-pid "$work/prefix")

# The prefix's processes: its server, and every process whose environment names the prefix.
members() {
  local process
  echo "$server"
  for process in /proc/[0-9]*; do
    { tr '\0' '\n' <"$process/environ" | grep -qx "WINEPREFIX=$work/prefix"; } 2>/dev/null && echo "${process#/proc/}"
  done
}
# "pid ticks switches" for each: its user and system time, and how often it was switched out
# (mostly to wait, so about how often its threads woke).
ticks() {
  local pid
  for pid in $(members | sort -u); do
    { printf '%s %s %s\n' "$pid" "$(awk '{ sub(/^[^)]*\) /, ""); print $12 + $13 }' "/proc/$pid/stat")" \
      "$(cat /proc/$pid/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }')"; } 2>/dev/null || true
  done
}
name() {
  { tr '\0' ' ' <"/proc/$1/cmdline" | cut -c1-70; } 2>/dev/null || true
}
before=$(ticks)
sleep "$seconds"
after=$(ticks)
hz=$(getconf CLK_TCK)
total=0 woke=0
while read -r pid old oldSwitches new newSwitches; do
  used=$((new - old)) switches=$((newSwitches - oldSwitches))
  # A thread that ended meanwhile takes its switches along.
  [ "$switches" -ge 0 ] || switches=0
  total=$((total + used)) woke=$((woke + switches))
  awk -v u="$used" -v w="$switches" -v hz="$hz" -v s="$seconds" -v n="$(name "$pid")" \
    'BEGIN { printf "  %5.1f %% %6.0f/s  %s\n", 100 * u / hz / s, w / s, n }'
done < <(join <(sort <<<"$before") <(sort <<<"$after"))
awk -v u="$total" -v w="$woke" -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle prefix: %.1f %% of one core, %.0f wake-ups a second, over %d s\n", 100 * u / hz / s, w / s, s }'
