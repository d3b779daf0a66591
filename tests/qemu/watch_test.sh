#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# watch in a QEMU guest while FTDI USB adapters are plugged in and pulled out through the QEMU
# monitor, each leading to a simulated unit on a pseudo-terminal of this machine: three units in
# turn, one that rejects the store command and one pulled out mid-write; the log holds exactly
# the three right records, and watch ends at SIGTERM with the count. The first adapter's serial
# number is hostile, a formula with C1 controls in it: "ports" and the watch line show it escaped,
# and the CSV record keeps it text.
# Usage: watch_test.sh WORK-FOLDER QLXDUO-CLI QLXDUO-SIM
here=$(dirname "$0")
work=$1 cli=$2 sim=$3
source "$here/../packaging/testlib.sh"
source "$here/guest.sh"

guest_image_or_skip "$work/cache" "$work/watch-initrd.cpio.gz" "$cli" python3

# Commands to the QEMU monitor, one after the other, each once the one before has answered; with
# --when FILE TEXT, sent once the file holds the text (the monitor connected beforehand, so that
# nothing stands between the two). The answers on standard output; false when the text never came
# or the monitor did not answer (hang guards).
monitor() {
  local when_file= when_text=
  if [ "$1" = --when ]; then
    when_file=$2 when_text=$3
    shift 3
  fi
  python3 - "$guest/monitor" "$HANG_GUARD_SECONDS" "$when_file" "$when_text" "$@" <<'PY'
import os, socket, sys, time
monitor, guard, path, text = sys.argv[1:5]
commands = sys.argv[5:]
s = socket.socket(socket.AF_UNIX)
s.settimeout(float(guard))
s.connect(monitor)
def until_prompt():
    seen = b""
    while not seen.endswith(b"(qemu) "):
        chunk = s.recv(4096)
        if not chunk:
            sys.exit("the monitor closed")
        seen += chunk
    return seen
until_prompt()
end = time.monotonic() + float(guard)
while path:
    with open(path, errors="replace") as f:
        if text in f.read():
            break
    if time.monotonic() > end:
        sys.exit(f"{path} never showed {text!r}")
    time.sleep(0.002)
for command in commands:
    s.sendall(os.fsencode(command) + b"\n")
    sys.stdout.write(until_prompt().decode(errors="replace"))
PY
}

start_unit passing
start_unit rejecting --reject W
# Its reply to "AS A" never comes: the adapter is pulled out while the tool waits for it.
start_unit pulled --hold "AS A"
[ -c "$passing" ] && [ -c "$rejecting" ] && [ -c "$pulled" ] ||
  { echo "FAIL: the simulated units did not start" >&2; exit 1; }

guest=$work/watch-guest
cleanup_steps=("guest_stop '$guest'" "${cleanup_steps[@]}")
guest_start "$guest" || exit 1

check() {
  local what=$1 expected=$2 got=$3
  [ "$got" = "$expected" ] || fail "$what: expected '$expected', got '$got'"
}

# Plugs an adapter leading to the unit's terminal in; a third argument is its serial number.
plug() {
  monitor "chardev-add serial,id=$1,path=$2" >/dev/null
  monitor "device_add usb-serial,bus=xhci.0,chardev=$1,id=$1${3:+,serial=$3}" >/dev/null
}

# The serial number as QEMU takes it, byte by byte as U+0000 to U+00FF: 0x9D becomes U+009D, the C1
# control OSC, which the kernel hands on in UTF-8 (here OSC 0 with ST, which sets a terminal's
# title; the monitor's line editor would take CSI for a key); as the tool shows it; and the raw
# control, which must not reach any output.
hostile=$'=HYPERLINK(1)\x9d0;title\x9c'
shown='=HYPERLINK(1)\u009d0;title\u009c'
raw=$'\xc2\x9d'
# Fails when text holds the raw control or not what is shown.
escaped() {
  local what=$1 text=$2 expected=$3
  [[ $text != *"$raw"* ]] || fail "$what shows the raw control: $text"
  [[ $text == *"$expected"* ]] || fail "$what does not show $expected: $text"
}

# Waits in the guest until watch has printed that many lines; prints them.
lines_after() {
  guest_run "$guest" "while [ \$(wc -l </tmp/watch.out) -lt $1 ]; do sleep 0.1; done; cat /tmp/watch.out"
}

# Short commands: each goes to the guest as one line of its console.
config='{"schema":1,"A":{"format":0,"flow":1,"dataLength":0,"baudCode":13,"stopBits":1,"parity":1}}'
guest_run "$guest" "echo '$config' >/tmp/config.json" || fail "no configuration file in the guest"
guest_run "$guest" "qlxduo-cli watch --from /tmp/config.json --log /tmp/log --csv /tmp/csv >/tmp/watch.out 2>/tmp/watch.err &
  echo \$! >/tmp/watch.pid" || fail "watch did not start in the guest"
guest_run "$guest" "while ! grep -q waiting /tmp/watch.err; do sleep 0.1; done" || fail "watch is not waiting: $(
  guest_run "$guest" "cat /tmp/watch.err")"

plug passing "$passing" "$hostile"
out=$(lines_after 1) || fail "no line for the first unit: $out"
grep -q '^PASS COM[0-9]* QLX-11D ' <<<"$out" || fail "the first unit: $out"
escaped "the first unit's line" "$out" " QEMU QEMU USB SERIAL $shown (0403:6001) "
escaped "ports" "$(guest_run "$guest" "qlxduo-cli ports --no-assign")" "[QEMU QEMU USB SERIAL $shown (0403:6001)"
escaped "ports --json" "$(guest_run "$guest" "qlxduo-cli ports --no-assign --json")" "\"serial\":\"$shown\""

plug rejecting "$rejecting"
out=$(lines_after 2) || fail "no line for the second unit: $out"
grep -q '^FAIL COM[0-9]* QLX-11D .* s: store rejected at "W"$' <<<"$out" || fail "the second unit: $out"

# Mid-write for certain, however busy the machine: once the unit has "AS A", whose reply it holds,
# the guest's clock stops, so that the tool's reply deadline cannot run out, while the adapter is
# pulled out.
plug pulled "$pulled"
monitor --when "$tmp/pulled.log" "<- AS A" stop "device_del pulled" cont >/dev/null ||
  fail "the third unit was not written to: $(cat "$tmp/pulled.log")"
out=$(lines_after 3) || fail "no line for the third unit: $out"
grep -q '^FAIL COM[0-9]* QLX-11D .* s: device gone$' <<<"$out" || fail "the third unit: $out"

guest_run "$guest" "kill -TERM \$(cat /tmp/watch.pid)" || fail "watch could not be told to end"
ended=$(guest_run "$guest" "while kill -0 \$(cat /tmp/watch.pid) 2>/dev/null; do sleep 0.1; done; tail -1 /tmp/watch.out")
records=$(guest_run "$guest" "cat /tmp/log")
# The serial number's cell: a ' keeps the formula text, and the control is escaped.
escaped "the CSV record" "$(guest_run "$guest" "cat /tmp/csv")" ",QEMU,QEMU USB SERIAL,'$shown,QLX-11D,"
leftover=$(guest_run "$guest" "ls /run/lock | wc -l")
count() { grep -c "$1" <<<"$records" || true; }
ended="$ended $(count .) $(count '"result":"pass"') $(count '"reason":"store rejected at \\"W\\""')"
ended="$ended $(count '"reason":"device gone"') $(count '"vendorId":"0403"') $leftover"
check "the count, the records (all, passed, rejected, gone, through FTDI adapters) and lock files left" \
  "1 passed, 2 failed 3 1 1 1 3 0" "$(echo $ended)"

guest_stop "$guest"
finish
