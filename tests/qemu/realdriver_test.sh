#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The command-line tool in a QEMU guest, through the kernel's FTDI USB adapter driver (ftdi_sio) and
# its 16550A driver (8250), each leading to a simulated unit on a pseudo-terminal of this machine:
# reads and writes work through both, an adapter's latency timer is 1 ms while the tool holds
# the port and back to what it was after, however the tool ends, and "ports" shows the adapters.
# Usage: realdriver_test.sh WORK-FOLDER QLXDUO-CLI QLXDUO-SIM
here=$(dirname "$0")
work=$1 cli=$2 sim=$3
source "$here/../packaging/testlib.sh"
source "$here/guest.sh"

guest_image_or_skip "$work/cache" "$work/initrd.cpio.gz" "$cli"

start_unit usb_unit
start_unit uart_unit
# A silent unit keeps the tool waiting on the port long enough to look at the driver meanwhile.
start_unit silent_unit --silent
[ -c "$usb_unit" ] && [ -c "$uart_unit" ] && [ -c "$silent_unit" ] ||
  { echo "FAIL: the simulated units did not start" >&2; exit 1; }

guest=$work/guest
cleanup_steps=("guest_stop '$guest'" "${cleanup_steps[@]}")
guest_start "$guest" "FTDI=$usb_unit" "FTDI=$silent_unit" "UART=$uart_unit" || exit 1

check() {
  local what=$1 expected=$2 got=$3
  [ "$got" = "$expected" ] || fail "$what: expected '$expected', got '$got'"
}

codes="1,2,0,21,0,2"
for device in /dev/ttyUSB0 /dev/ttyS1; do
  status=0
  out=$(guest_run "$guest" "qlxduo-cli write $device --a $codes && qlxduo-cli read $device --trace -") || status=$?
  check "write then read through $device: exit status" 0 "$status"
  grep -q '^port A: .*, baud [^,]* (21),' <<<"$out" || fail "read through $device after the write: $out"
done

timer=/sys/bus/usb-serial/devices/ttyUSB1/latency_timer
# Set as a real FT232's driver finds it (QEMU's model reports 0).
check "the adapter's latency timer before" 16 "$(guest_run "$guest" "echo 16 >$timer && cat $timer" || true)"
# The timer as seen while the tool works (polled until it reads 1 or the tool ends), and after the
# tool ended by itself (finding no unit), stopped at a clean point (TERM: it ends by itself once the
# exchange under way has) or was ended at once (HUP). The tool holds the port for its reply
# deadline (200 ms of the guest's time): the poll uses the shell's built-ins alone, which take a
# fraction of a millisecond where a command's fork took tens on a busy machine.
for ending in none TERM HUP; do
  held=$(guest_run "$guest" "
    qlxduo-cli read /dev/ttyUSB1 >/dev/null 2>&1 & tool=\$!
    seen=none
    while kill -0 \$tool 2>/dev/null; do read -r seen <$timer; [ \$seen = 1 ] && break; done
    [ $ending = none ] || kill -$ending \$tool
    wait \$tool; echo \"\$? \$seen \$(cat $timer)\"" | tail -1 || true)
  expected="1 1 16"
  [ $ending = HUP ] && expected="129 1 16"
  check "read through ftdi_sio, ended by $ending: exit status, latency timer while held, after" "$expected" "$held"
done

# The adapters as "ports" lists them: the USB ids and strings from sysfs, which libudev reads without
# the udev daemon (the guest runs none); the by-id link that the daemon would make is made here.
byid=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_1-if00-port0
listed=$(guest_run "$guest" "mkdir -p ${byid%/*} && ln -s ../../ttyUSB0 $byid && qlxduo-cli ports --json" || true)
grep -q '"adapter":{"vendorId":"0403","productId":"6001",.*"byId":"'"$byid"'"}' <<<"$listed" ||
  fail "ports --json shows no FTDI adapter 0403:6001 named $byid: $listed"
grep -q '"device":"/dev/ttyS1","present":true,"adapter":{}' <<<"$listed" ||
  fail "ports --json: the 16550A has no USB adapter: $listed"

guest_stop "$guest"
finish
