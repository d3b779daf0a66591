#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Simulated units written in one qlxduo-cli command (8, and 128), against one unit written alone:
# the medians of the wall-clock time of the whole command (process start to exit), their ratios,
# and the processor time per unit. The batch works on its units at once, so it should cost little
# more than one unit (targets: 8 units at most 1.2 times one, 128 at most 4 times). Then, when
# strace is there, the system calls of one unit's write: all of them, those on the port, and those
# of its exchanges per exchange (target: at most 8).
#
# Usage: bench/batch_write.sh [build-folder [runs [reply-delay-ms]]]   (defaults: build, 21, 0)
# A reply delay makes the simulated units answer as slowly as a real unit may.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-21}
delay=${3:-0}
batches=(8 128)
units=${batches[-1]}
cli="$build/bin/qlxduo-cli"
[ -x "$cli" ] && [ -x "$build/bin/qlxduo-sim" ] || { echo "batch_write: build $build first" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works
# A port map and runtime folder of its own: the user's COM numbers are never touched.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

for n in $(seq "$units"); do
  "$build/bin/qlxduo-sim" --com "$n" --reply-delay "$delay" --log /dev/null --wire "$work/wire$n" \
    >"$work/sim$n.out" 2>"$work/sim$n.err" &
  pids+=($!)
done
for n in $(seq "$units"); do
  for _ in $(seq 100); do [ -s "$work/sim$n.out" ] && break; sleep 0.05; done
  [ -s "$work/sim$n.out" ] || { echo "batch_write: unit $n did not start: $(cat "$work/sim$n.err")" >&2; exit 1; }
done
"$cli" read 1 --json >"$work/config.json"

now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
# Processor times come in whole milliseconds: their mean, not their median, tells fractions.
mean() { awk '{t += $1} END {print t / NR}'; }
seconds() { awk -F'[ms]' '{print $1 * 60 + $2}'; }  # bash's "0m0.012s"
# time_write NAME PORT...: appends the milliseconds of one write, and the processor time (user and
# system) it took, to $work/NAME and $work/NAME.cpu.
time_write() {
  local name=$1 start
  shift
  start=$(now_ns)
  local cpu
  cpu=$( ("$cli" write "$@" --from "$work/config.json" >/dev/null || exit 1; times) | tail -1) ||
    { echo "batch_write: write $* failed" >&2; exit 1; }
  echo "$(( ($(now_ns) - start) / 1000 ))" | awk '{print $1/1000}' >>"$work/$name"
  read -r user sys <<<"$cpu"
  awk -v u="$(seconds <<<"$user")" -v s="$(seconds <<<"$sys")" 'BEGIN {print (u + s) * 1000}' >>"$work/$name.cpu"
}

# Alternated, so that whatever else the machine does weighs on both alike.
for _ in $(seq "$runs"); do
  time_write one 1
  for b in "${batches[@]}"; do time_write "batch$b" $(seq "$b"); done
done
one=$(median <"$work/one")
echo "medians of $runs writes, processor time their mean (reply delay $delay ms; each write is 9 exchanges and a read-back):"
printf '%-28s %8.2f ms   processor %6.2f ms per unit\n' "one unit" "$one" "$(mean <"$work/one.cpu")"
for b in "${batches[@]}"; do
  batch=$(median <"$work/batch$b")
  printf '%-28s %8.2f ms   processor %6.2f ms per unit   ratio %.2f\n' "$b units in one command" "$batch" \
    "$(mean <"$work/batch$b.cpu" | awk -v b="$b" '{print $1 / b}')" "$(awk -v a="$batch" -v b="$one" 'BEGIN {print a/b}')"
done
echo "targets: ratio at most 1.20 for 8 units, 4.00 for 128"

command -v strace >/dev/null || { echo "strace is missing (scripts/setup installs it): no system call counts"; exit 0; }
# The exchanges of one write are the command lines the unit received during it.
lines() { tr -cd '\n' <"$work/wire1" | wc -c; }
before=$(lines)
strace -f -c -o "$work/summary" "$cli" write 1 --from "$work/config.json" >/dev/null
strace -f -qq -P "$(head -1 "$work/sim1.out")" -o "$work/port" "$cli" write 1 --from "$work/config.json" >/dev/null
exchanges=$(( ($(lines) - before) / 2 ))
total=$(awk '$NF == "total" {print $(NF-2)}' "$work/summary")
# A call that strace shows in two parts (unfinished, resumed) counts once. The exchanges' calls
# are the reads, writes and waits, and the queue queries; the rest opens and releases the port.
grep -v 'resumed>' "$work/port" >"$work/calls"
on_port=$(wc -l <"$work/calls")
in_exchanges=$(grep -cE '^[0-9]+ +(read|write|poll)\(|FIONREAD|TIOCOUTQ' "$work/calls")
echo "system calls of one unit's write: $total in all, $on_port on the port; in its $exchanges exchanges" \
  "$in_exchanges: $(awk -v a="$in_exchanges" -v b="$exchanges" 'BEGIN {printf "%.1f", a/b}') per exchange" \
  "(target at most 8)"
awk '{sub(/^[0-9]+ +/, ""); c = $0; sub(/\(.*/, "", c); if (c == "ioctl") {split($0, a, /[(,)]/); gsub(/ /, "", a[3]); c = c " " a[3]}
     n[c]++} END {for (c in n) printf "  %-16s %d\n", c, n[c]}' "$work/calls" | sort
