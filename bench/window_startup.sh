#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time and memory of the settings window against the simulated unit, beside an empty Qt
# dialog of the same size and font, on a virtual X display with a window manager.
#
# Usage: bench/window_startup.sh [build-folder [runs [earlier-qlxduo]]]     (defaults: build, 7)
# earlier-qlxduo: another build of the window (an earlier commit's, say), measured in the same
# rounds for a before/after comparison. Each round starts every program once, one after the
# other, so that a machine busy with other work weighs on all of them alike.
# Reports the medians over the runs of
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
for tool in Xvfb openbox xdotool cmake; do
  command -v "$tool" >/dev/null || { echo "window_startup: $tool is missing (scripts/setup installs it)" >&2; exit 2; }
done
[ -x "$build/bin/qlxduo" ] && [ -x "$build/bin/qlxduo-sim" ] || { echo "window_startup: build $build first" >&2; exit 2; }
[ -z "$earlier" ] || [ -x "$earlier" ] || { echo "window_startup: $earlier is not a program" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works

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

now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# Processor time its live threads have used so far, in µs: steadier than the elapsed time on a machine
# busy with other work.
cpu_us() { cat "/proc/$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {print int(ns / 1000)}'; }

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

# The empty dialog: the settings window's font, and its client size of 280 x 171 dialog units
# worked out from that font's metrics as the window does it (which loads the font, as the window
# must); inside, one Japanese line in that font, the window's title.
mkdir -p "$work/empty"
cat >"$work/empty/empty.cpp" <<'CPP'
#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    QFont font;
    font.setFamilies(QStringList{"ＭＳ ゴシック", "MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP",
                                 "Noto Sans CJK JP"});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(9);
    dialog.setFont(font);
    const QFontMetrics metrics(font);
    const int baseX = (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    dialog.setWindowTitle("empty-dialog");
    QLabel line(QString::fromUtf8("QLX-DUO設定ユーティリティ"), &dialog);
    line.move(baseX, metrics.height());
    dialog.setFixedSize((280 * baseX + 2) / 4, (171 * metrics.height() + 4) / 8);  // rounded
    return dialog.exec();
}
CPP
cat >"$work/empty/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(empty LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_BUILD_TYPE RelWithDebInfo)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(empty empty.cpp)
target_link_libraries(empty PRIVATE Qt6::Widgets)
CMAKE
cmake -S "$work/empty" -B "$work/empty/build" -G Ninja >/dev/null
cmake --build "$work/empty/build" >/dev/null

for _ in $(seq "$runs"); do
  run_once empty "empty-dialog" "" "$work/empty/build/empty"
  empty_size="$(grep WIDTH "$work/size" | cut -d= -f2)x$(grep HEIGHT "$work/size" | cut -d= -f2)"
  sim_run window "$build/bin/qlxduo"
  window_size="$(grep WIDTH "$work/size" | cut -d= -f2)x$(grep HEIGHT "$work/size" | cut -d= -f2)"
  [ -z "$earlier" ] || sim_run earlier "$earlier"
done

report() {
  local name=$1 label=$2
  printf '%-34s %8.1f ms %8d KiB %8.1f ms processor\n' "$label" \
    "$(cut -d' ' -f1 "$work/result-$name" | median | awk '{print $1/1000}')" \
    "$(cut -d' ' -f2 "$work/result-$name" | median)" \
    "$(cut -d' ' -f3 "$work/result-$name" | median | awk '{print $1/1000}')"
}
# ratio NAME LABEL: the build's medians against the empty dialog's.
ratio() {
  local name=$1 label=$2
  awk -v a="$(cut -d' ' -f1 "$work/result-$name" | median)" -v b="$(cut -d' ' -f1 "$work/result-empty" | median)" \
    -v c="$(cut -d' ' -f2 "$work/result-$name" | median)" -v d="$(cut -d' ' -f2 "$work/result-empty" | median)" \
    -v e="$(cut -d' ' -f3 "$work/result-$name" | median)" -v f="$(cut -d' ' -f3 "$work/result-empty" | median)" \
    -v l="$label" 'BEGIN { printf "%s against the empty dialog: time %.2f, memory %.2f (target at most 1.10 each); processor time %.2f\n", l, a/b, c/d, e/f }'
}
echo "medians of $runs rounds; window $window_size px, empty dialog $empty_size px"
report window "qlxduo, values read"
[ -z "$earlier" ] || report earlier "earlier qlxduo, values read"
report empty "empty dialog, one Japanese line"
ratio window "qlxduo"
[ -z "$earlier" ] || ratio earlier "earlier qlxduo"
