#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time and memory of the settings window against the simulated unit, beside its floor
# (qlxduo-bench-floor: the window's template as plain Qt widgets, the lists filled, the dialog font
# and the labels' font in use, nothing behind it), on a virtual X display with a window manager.
#
# Usage: bench/window_startup.sh [build-folder [runs [earlier-qlxduo]]]     (defaults: build, 7)
# earlier-qlxduo: another build of the window (an earlier commit's, say), measured in the same
# rounds for a before/after comparison. Each round starts every program once, one after the
# other, so that a machine busy with other work weighs on all of them alike.
# Reports the medians and ranges over the runs of
#   - the time from process start until the window is shown with the unit's values read: the
#     window is visible and the unit has received "AG B", the fourth exchange (the window reads
#     the unit before it first shows, so the two coincide);
#   - the resident memory (VmRSS) once the window is shown;
#   - the processor time the process has used by then.
# Readiness is polled every few milliseconds with xdotool, which bounds the time resolution.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-7}
earlier=${3:+$(realpath "$3")}
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "window_startup: $tool is missing (scripts/setup installs it)" >&2; exit 2; }
done
for program in qlxduo qlxduo-sim qlxduo-bench-floor; do
  [ -x "$build/bin/$program" ] || { echo "window_startup: build $build first ($program is missing)" >&2; exit 2; }
done
[ -z "$earlier" ] || [ -x "$earlier" ] || { echo "window_startup: $earlier is not a program" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works
source bench/startuplib.sh

# A private X display with a window manager, so windows are mapped and decorated as on a desktop.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# wait_ready PID TITLE [WIRE]: polls until a visible window of that PID and title exists and, when
# WIRE is given, the unit has received "AG B". Prints the window id; fails after 10 s.
wait_ready() {
  local pid=$1 title=$2 wire=${3:-} deadline=$(( $(now_ns) + 10000000000 )) win
  while [ "$(now_ns)" -lt "$deadline" ]; do
    win=$(xdotool search --onlyvisible --pid "$pid" --name "$title" 2>/dev/null | head -n 1 || true)
    if [ -n "$win" ] && { [ -z "$wire" ] || grep -q "AG B" "$wire" 2>/dev/null; }; then
      echo "$win"
      return 0
    fi
    sleep 0.002
  done
  return 1
}

# run_once NAME TITLE WIRE COMMAND...: one start; appends "µs KiB cpu-µs" to $work/result-NAME, leaves the window size
# in $work/size.
run_once() {
  local name=$1 title=$2 wire=$3
  shift 3
  local start pid win ready
  start=$(now_ns)
  "$@" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  win=$(wait_ready "$pid" "$title" "$wire") || { echo "window_startup: $name did not show" >&2; exit 1; }
  ready=$(now_ns)
  echo "$(( (ready - start) / 1000 )) $(rss_kib "$pid") $(cpu_us "$pid")" >>"$work/result-$name"
  xdotool getwindowgeometry --shell "$win" | grep -E '^(WIDTH|HEIGHT)=' >"$work/size"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# sim_run NAME PROGRAM: one start of a build of the window against a fresh simulated unit.
sim_run() {
  local name=$1 program=$2 wire="$work/wire.bin" out="$work/sim.out"
  rm -f "$wire" "$out"
  "$build/bin/qlxduo-sim" --com 1 --wire "$wire" >"$out" 2>/dev/null &
  local sim=$!
  pids+=("$sim")
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
  run_once "$name" "QLX-DUO" "$wire" "$program"
  kill "$sim"
  wait "$sim" 2>/dev/null || true
}

for _ in $(seq "$runs"); do
  run_once floor "QLX-DUO" "" "$build/bin/qlxduo-bench-floor"
  floor_size="$(grep WIDTH "$work/size" | cut -d= -f2)x$(grep HEIGHT "$work/size" | cut -d= -f2)"
  sim_run window "$build/bin/qlxduo"
  window_size="$(grep WIDTH "$work/size" | cut -d= -f2)x$(grep HEIGHT "$work/size" | cut -d= -f2)"
  [ -z "$earlier" ] || sim_run earlier "$earlier"
done

echo "medians (lowest-highest) of $runs rounds; window $window_size px, floor $floor_size px"
report_all qlxduo "floor, template as widgets"
