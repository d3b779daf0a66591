#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time of the Windows window under Wine against the simulated unit, beside the same
# dialog template shown with nothing behind it (qlxduo-bench-emptydialog.exe), both measured the
# same way on a private desktop (Xvfb + openbox) in a fenced Wine prefix.
#
# Usage: bench/wine_window_startup.sh [linux-build [windows-build [runs]]]
#        (defaults: build, build-windows, 7)
# Reports the medians over the runs of the time from process start until
#   - qlxduo.exe: its window is shown and the unit has received "AG B", the fourth exchange (the
#     window reads the unit before it first shows, so the two coincide);
#   - the empty dialog: its window is shown.
# Readiness is polled every few milliseconds with xdotool, which bounds the time resolution. One
# start of each before the measured ones is not counted (Wine loads its own libraries then).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "${1:-build}")
windows=$(realpath "${2:-build-windows}")
runs=${3:-7}
for program in "$linux/bin/qlxduo-sim" "$linux/bin/qlxduo-xdesk" "$windows/bin/qlxduo.exe" \
  "$windows/bin/qlxduo-bench-emptydialog.exe"; do
  [ -e "$program" ] || { echo "wine_window_startup: $program is missing (scripts/build, scripts/build-windows)" >&2; exit 2; }
done
command -v xdotool >/dev/null || { echo "wine_window_startup: xdotool is missing (scripts/setup installs it)" >&2; exit 2; }
# The measurement itself runs on a private desktop of its own.
if [ -z "${QLXDUO_XDESK_DISPLAY:-}" ]; then
  exec "$linux/bin/qlxduo-xdesk" run -- "$0" "$linux" "$windows" "$runs"
fi

source bench/benchlib.sh  # from the root, where the script works
cleanup_steps+=('scripts/wine-prefix stop "$work/prefix"')
export XDG_CONFIG_HOME=$work/config  # the simulated unit's port map, never the user's

wire=$work/wire.bin
"$linux/bin/qlxduo-sim" --com 7 --wire "$wire" >"$work/sim.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
scripts/wine-prefix create "$work/prefix" --fence "COM7=$(head -n 1 "$work/sim.out")"
appdata=$(find "$work/prefix/drive_c/users" -mindepth 3 -maxdepth 3 -path '*/AppData/Roaming' ! -path '*/Public/*' | head -n 1)
mkdir -p "$appdata/Kestrelan/QLX-DUO"
printf '[com]\r\ncom=7\r\n' >"$appdata/Kestrelan/QLX-DUO/qlxduo.ini"

now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# run_once NAME TITLE-REGEX WAIT-FOR-UNIT PROGRAM: one start; appends the microseconds until ready
# to $work/result-NAME (unless NAME is "warm-up").
run_once() {
  local name=$1 title=$2 unit=$3 program=$4 start pid deadline ready=
  : >"$wire"
  start=$(now_ns)
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
  [ "$name" = warm-up ] || echo $(((ready - start) / 1000)) >>"$work/result-$name"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  # Its single-instance guard goes with its window.
  while xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.01; done
}

window_title='^QLX-DUO設定ユーティリティ V1\.03$'
empty_title='^QLX-DUO設定ユーティリティ$'
run_once warm-up "$window_title" true "$windows/bin/qlxduo.exe"
run_once warm-up "$empty_title" false "$windows/bin/qlxduo-bench-emptydialog.exe"
for _ in $(seq "$runs"); do
  run_once window "$window_title" true "$windows/bin/qlxduo.exe"
  run_once empty "$empty_title" false "$windows/bin/qlxduo-bench-emptydialog.exe"
done

w=$(median <"$work/result-window")
e=$(median <"$work/result-empty")
echo "under $(wine --version 2>/dev/null || echo Wine), medians of $runs starts"
printf '%-40s %8.1f ms\n' "qlxduo.exe, values read" "$(awk -v v="$w" 'BEGIN {print v / 1000}')"
printf '%-40s %8.1f ms\n' "empty dialog, same template" "$(awk -v v="$e" 'BEGIN {print v / 1000}')"
awk -v a="$w" -v b="$e" 'BEGIN { printf "ratio %.2f\n", a / b }'
for program in qlxduo.exe qlxduo-cli.exe qlxduo-bench-emptydialog.exe; do
  [ -e "$windows/bin/$program" ] && printf '%-40s %8d bytes\n' "$program" "$(stat -c %s "$windows/bin/$program")"
done
