#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time and memory of the Windows window under Wine against the simulated unit, beside its
# floor (qlxduo-bench-floor.exe: the same dialog template with its lists filled and the labels' GUI
# font, nothing behind it), both measured the same way on a private desktop (Xvfb + openbox) in a
# fenced Wine prefix.
#
# Usage: bench/wine_window_startup.sh [linux-build [windows-build [runs [earlier-qlxduo.exe]]]]
#        (defaults: build, build-windows, 7)
# earlier-qlxduo.exe: another build of the window (an earlier commit's, say), measured in the same
# rounds for a before/after comparison.
# Reports the medians and ranges over the runs of the time from process start until
#   - qlxduo.exe: its window is shown and the unit has received "AG B", the fourth exchange (the
#     window reads the unit before it first shows, so the two coincide);
#   - the floor: its window is shown;
# and of the resident memory (VmRSS) of the program's process and the processor time it has used
# by then (steadier than the elapsed time on a machine busy with other work; the prefix's
# wineserver is not counted).
# Readiness is polled every few milliseconds with xdotool, which bounds the time resolution. One
# start of each before the measured ones is not counted (Wine loads its own libraries then).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "${1:-build}")
windows=$(realpath "${2:-build-windows}")
runs=${3:-7}
earlier=${4:+$(realpath "$4")}
for program in "$linux/bin/qlxduo-sim" "$linux/bin/qlxduo-xdesk" "$windows/bin/qlxduo.exe" \
  "$windows/bin/qlxduo-bench-floor.exe"; do
  [ -e "$program" ] || { echo "wine_window_startup: $program is missing (scripts/build, scripts/build-windows)" >&2; exit 2; }
done
command -v xdotool >/dev/null || { echo "wine_window_startup: xdotool is missing (scripts/setup installs it)" >&2; exit 2; }
# The measurement itself runs on a private desktop of its own.
if [ -z "${QLXDUO_XDESK_DISPLAY:-}" ]; then
  exec "$linux/bin/qlxduo-xdesk" run -- "$0" "$linux" "$windows" "$runs" ${earlier:+"$earlier"}
fi

source bench/benchlib.sh  # from the root, where the script works
source bench/startuplib.sh
cleanup_steps+=('scripts/wine-prefix stop "$work/prefix"')
export XDG_CONFIG_HOME=$work/config  # the simulated unit's port map, never the user's

wire=$work/wire.bin
"$linux/bin/qlxduo-sim" --com 7 --wire "$wire" >"$work/sim.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
scripts/wine-prefix create "$work/prefix" --fence "COM7=$(head -n 1 "$work/sim.out")"
# The fence lists every COM number in the system's list of serial ports; the window would offer
# all 255. Like a PC with one adapter, the list keeps the unit's port only (until the prefix's
# server restarts, which it does not while this runs).
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n'
  for n in $(seq 0 254); do [ "$n" = 6 ] || printf '"\\\\Device\\\\Serial%d"=-\r\n' "$n"; done
} | iconv -f UTF-8 -t UTF-16 >"$work/one-port.reg"
scripts/wine-prefix run "$work/prefix" regedit /S "$(WINEPREFIX=$work/prefix winepath -w "$work/one-port.reg")" >/dev/null 2>&1
appdata=$(find "$work/prefix/drive_c/users" -mindepth 3 -maxdepth 3 -path '*/AppData/Roaming' ! -path '*/Public/*' | head -n 1)
mkdir -p "$appdata/Kestrelan/QLX-DUO"
printf '[com]\r\ncom=7\r\n' >"$appdata/Kestrelan/QLX-DUO/qlxduo.ini"


# run_once NAME TITLE-REGEX WAIT-FOR-UNIT PROGRAM: one start; appends its result to
# $work/result-NAME (unless NAME is "warm-up").
run_once() {
  local name=$1 title=$2 unit=$3 program=$4 start pid deadline ready=
  : >"$wire"
  start=$(now_ns)
  # The script ends in exec: the process is the Windows program's own.
  scripts/wine-prefix run "$work/prefix" "$program" >/dev/null 2>&1 &
  pid=$!
  deadline=$((start + 20000000000))
  while [ "$(now_ns)" -lt "$deadline" ]; do
    if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 &&
      { ! $unit || grep -q "AG B" "$wire" 2>/dev/null; }; then
      ready=$(now_ns)
      break
    fi
    sleep 0.002
  done
  [ -n "$ready" ] || { echo "wine_window_startup: $program did not show" >&2; exit 1; }
  [ "$name" = warm-up ] || echo "$(((ready - start) / 1000)) $(rss_kib "$pid") $(cpu_us "$pid")" >>"$work/result-$name"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  # Its single-instance guard goes with its window.
  while xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.01; done
}

window_title='^QLX-DUO設定ユーティリティ V1\.03$'
floor_title='^QLX-DUO設定ユーティリティ$'
run_once warm-up "$window_title" true "$windows/bin/qlxduo.exe"
run_once warm-up "$floor_title" false "$windows/bin/qlxduo-bench-floor.exe"
for _ in $(seq "$runs"); do
  run_once window "$window_title" true "$windows/bin/qlxduo.exe"
  run_once floor "$floor_title" false "$windows/bin/qlxduo-bench-floor.exe"
  [ -z "$earlier" ] || run_once earlier "$window_title" true "$earlier"
done

echo "under $(wine --version 2>/dev/null || echo Wine), medians (lowest-highest) of $runs starts"
report_all qlxduo.exe "floor, same template"
for program in qlxduo.exe qlxduo-cli.exe qlxduo-bench-floor.exe; do
  [ -e "$windows/bin/$program" ] && printf '%-32s %8d bytes\n' "$program" "$(stat -c %s "$windows/bin/$program")"
done
