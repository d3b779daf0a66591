# SPDX-License-Identifier: MIT
# Shared by the window start-up scripts: one line a start in $work/result-NAME, "µs-until-ready
# KiB-resident processor-µs", and the report of a program's results against the floor's.
now_ns() { date +%s%N; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# Processor time its live threads have used so far, in µs: steadier than the elapsed time on a machine
# busy with other work.
cpu_us() { cat "/proc/$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {print int(ns / 1000)}'; }

# spread NAME FIELD DIV: "median (lowest-highest)" of one column of a program's results, divided by DIV.
spread() {
  cut -d' ' -f"$2" "$work/result-$1" | sort -n |
    awk -v div="$3" '{v[NR]=$1/div} END {m=(NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%8.1f (%.1f-%.1f)", m, v[1], v[NR]}'
}
# report NAME LABEL
report() {
  printf '%-32s %s ms %s MiB %s ms processor\n' "$2" "$(spread "$1" 1 1000)" "$(spread "$1" 2 1024)" \
    "$(spread "$1" 3 1000)"
}
# ratio NAME LABEL: the program's medians against the floor's.
ratio() {
  local m
  m() { cut -d' ' -f"$2" "$work/result-$1" | median; }
  awk -v a="$(m "$1" 1)" -v b="$(m floor 1)" -v c="$(m "$1" 2)" -v d="$(m floor 2)" -v e="$(m "$1" 3)" \
    -v f="$(m floor 3)" -v l="$2" \
    'BEGIN { printf "%s against the floor: time %.2f, memory %.2f (target at most 1.10 each); processor time %.2f\n", l, a/b, c/d, e/f }'
}
# report_all PROGRAM FLOOR-LABEL: the window's results, the earlier build's when it was measured
# ($earlier), the floor's, then the ratios.
report_all() {
  report window "$1, values read"
  [ -z "$earlier" ] || report earlier "earlier $1, values read"
  report floor "$2"
  ratio window "$1"
  [ -z "$earlier" ] || ratio earlier "earlier $1"
}
