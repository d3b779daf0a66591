#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Time of a read (connect, read, disconnect) and of a write through the kernel's real drivers, in
# the QEMU guest of the real-driver test (tests/qemu/guest.sh): the emulated FTDI adapter and the
# 16550A, each to a simulated unit. Give a second tool (another checkout's build) to compare.
# TCG emulation dominates these times, and QEMU's FTDI model does not hold replies for its latency
# timer as the chip does: compare the two tools run here against each other only.
#
# Usage: bench/real_driver_latency.sh [linux-build [other-qlxduo-cli [rounds]]]   (default: build, -, 10)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
other=${2:--}
rounds=${3:-10}
[ -x "$build/bin/qlxduo-cli" ] || { echo "real_driver_latency: build $build first (scripts/build)" >&2; exit 2; }
source bench/benchlib.sh  # from the root, where the script works
# Rounds of runs in an emulated guest: a step may take minutes.
HANG_GUARD_SECONDS=600
source tests/qemu/guest.sh
export XDG_CONFIG_HOME=$work/config
missing=$(guest_missing)
[ -z "$missing" ] || { echo "real_driver_latency: install $missing (scripts/setup)" >&2; exit 2; }

tools=(qlxduo-cli)
mkdir -p "$work/bin"
cp "$build/bin/qlxduo-cli" "$work/bin/qlxduo-cli"
if [ "$other" != - ]; then
  cp "$other" "$work/bin/other-qlxduo-cli"
  tools+=(other-qlxduo-cli)
fi
guest_image "$build/qemu/cache" "$work/initrd.cpio.gz" "$work"/bin/*

for unit in usb uart; do
  "$build/bin/qlxduo-sim" --log /dev/null >"$work/$unit.out" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/$unit.out" ] && break; sleep 0.05; done
done
cleanup_steps+=('guest_stop "$work/guest"')
guest_start "$work/guest" "FTDI=$(head -1 "$work/usb.out")" "UART=$(head -1 "$work/uart.out")"

# Milliseconds per run of a command, from the guest's clock over the rounds.
per_run() {
  guest_run "$work/guest" "
    start=\$(cut -d' ' -f1 /proc/uptime)
    for i in \$(seq $rounds); do $1 >/dev/null || exit 1; done
    end=\$(cut -d' ' -f1 /proc/uptime)
    awk -v a=\$start -v b=\$end 'BEGIN { printf \"%.1f\\n\", (b - a) * 1000 / $rounds }'"
}
printf '%-18s %-13s %10s %10s\n' tool device "read ms" "write ms"
for tool in "${tools[@]}"; do
  for device in /dev/ttyUSB0 /dev/ttyS1; do
    printf '%-18s %-13s %10s %10s\n' "$tool" "$device" "$(per_run "$tool read $device")" \
      "$(per_run "$tool write $device --a 1,2,0,21,0,2")"
  done
done
