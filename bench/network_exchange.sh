#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A unit behind ser2net on the loopback address, reached over RFC 2217: the time of one exchange
# (V) and of a whole connect-and-read, by this project's link (qlxduo-bench-exchange --url) and by
# pyserial's rfc2217:// client (Debian python3-serial) doing the same, one after the other on the
# same unit. pyserial is told to ignore unconfirmed control requests (?ign_set_control): a server
# in front of a pseudo-terminal never confirms RTS, and pyserial fails the open otherwise.
#
# Usage: bench/network_exchange.sh [build-folder [rounds]]   (defaults: build, 2000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${2:-2000}
bench="$build/bin/qlxduo-bench-exchange"
[ -x "$bench" ] && [ -x "$build/bin/qlxduo-sim" ] || { echo "network_exchange: build $build first" >&2; exit 2; }
command -v ser2net >/dev/null || [ -x /usr/sbin/ser2net ] || { echo "network_exchange: scripts/setup installs ser2net" >&2; exit 2; }

source bench/benchlib.sh  # from the root, where the script works
"$build/bin/qlxduo-sim" --log /dev/null >"$work/sim.out" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
device=$(head -n 1 "$work/sim.out")
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/ser2net.yaml" <<YAML
connection: &unit
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$device,115200n81,local
YAML
/usr/sbin/ser2net -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port)).close()" 2>/dev/null && break; sleep 0.05; done
sleep 0.2  # the probe's connection ends on the server's side too

url="rfc2217://127.0.0.1:$port"
echo "qlxduo link, $url:"
"$bench" --url "$url"
sleep 0.2
echo "pyserial $(/usr/bin/python3 -c 'import serial; print(serial.__version__)'), $url?ign_set_control:"
/usr/bin/python3 - "$url?ign_set_control" "$rounds" <<'PY'
import sys, time, serial

url, rounds = sys.argv[1], int(sys.argv[2])
def exchange(port, command):
    port.write(command)
    line = port.read_until(b"\n")
    if not line.startswith(b"OK"):
        sys.exit("no reply to %r" % command)
    return len(command) + len(line)
def connect():
    port = serial.serial_for_url(url, baudrate=115200, timeout=0.2)
    port.rts = True
    return port
def report(what, ms, size):
    ms.sort()
    print("%-28s median %8.3f ms   p99 %8.3f ms   wire limit at 115200 baud %6.3f ms (%d bytes)" % (
        what, ms[len(ms) // 2], ms[min(len(ms) - 1, int(0.99 * len(ms)))], size * 10e3 / 115200, size))

port = connect()
ms = []
for _ in range(rounds):
    start = time.monotonic()
    size = exchange(port, b"V\r\n")
    ms.append((time.monotonic() - start) * 1e3)
report("one exchange (V)", ms, size)
port.close()
ms = []
for _ in range(30):
    start = time.monotonic()
    port = connect()
    size = sum(exchange(port, c) for c in (b"I\r\n", b"V\r\n", b"AG A\r\n", b"AG B\r\n"))
    port.close()
    ms.append((time.monotonic() - start) * 1e3)
report("connect and read (I,V,AG A/B)", ms, size)
PY
