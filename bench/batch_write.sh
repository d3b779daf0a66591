#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Eight simulated units written in one qlxduo-cli command, against one unit written alone: the
# medians of the wall-clock time of the whole command (process start to exit), and their ratio.
# The batch works on its units at once, so it should cost little more than one unit (target: at
# most 1.5 times).
#
# Usage: bench/batch_write.sh [build-folder [runs [reply-delay-ms]]]   (defaults: build, 21, 0)
# A reply delay makes the simulated units answer as slowly as a real unit may.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-21}
delay=${3:-0}
units=8
cli="$build/bin/qlxduo-cli"
[ -x "$cli" ] && [ -x "$build/bin/qlxduo-sim" ] || { echo "batch_write: build $build first" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works
# A port map and runtime folder of its own: the user's COM numbers are never touched.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

ports=()
for n in $(seq "$units"); do
  "$build/bin/qlxduo-sim" --com "$n" --reply-delay "$delay" --log /dev/null >"$work/sim$n.out" &
  pids+=($!)
  ports+=("$n")
done
for n in "${ports[@]}"; do
  for _ in $(seq 100); do [ -s "$work/sim$n.out" ] && break; sleep 0.05; done
done
"$cli" read 1 --json >"$work/config.json"

now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
# time_write NAME PORT...: appends the milliseconds of one write to $work/NAME.
time_write() {
  local name=$1 start
  shift
  start=$(now_ns)
  "$cli" write "$@" --from "$work/config.json" >/dev/null || { echo "batch_write: write $* failed" >&2; exit 1; }
  echo "$(( ($(now_ns) - start) / 1000 ))" | awk '{print $1/1000}' >>"$work/$name"
}

# Alternated, so that whatever else the machine does weighs on both alike.
for _ in $(seq "$runs"); do
  time_write one 1
  time_write batch "${ports[@]}"
done
one=$(median <"$work/one")
batch=$(median <"$work/batch")
echo "medians of $runs writes (reply delay $delay ms; each write is 9 exchanges and a read-back):"
printf '%-28s %8.2f ms\n' "one unit" "$one" "$units units in one command" "$batch"
awk -v a="$batch" -v b="$one" 'BEGIN { printf "ratio: %.2f (target at most 1.50)\n", a/b }'
