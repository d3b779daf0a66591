# SPDX-License-Identifier: MIT
# A small Linux guest under QEMU (TCG, no KVM) for running the programs against the kernel's real
# serial drivers: an emulated FTDI USB adapter (ftdi_sio) and 16550A UARTs (8250), each leading to a
# character device of this machine (a simulated unit's pseudo-terminal, say). Source this file:
#
#   guest_missing                      what this machine lacks for a guest (empty when nothing)
#   guest_image CACHE INITRD PROGRAM...
#                                      fetches (once per CACHE) Debian's kernel, and builds INITRD
#                                      (again when a program is newer): busybox, the USB serial
#                                      modules and the programs with their shared libraries, in /bin
#                                      under their own names; sets GUEST_KERNEL and GUEST_INITRD
#   guest_start DIR FTDI=PATH|UART=PATH...
#                                      boots the guest, its files in DIR; each FTDI=PATH adds a USB
#                                      adapter (ttyUSB0, ttyUSB1, ...) and each UART=PATH a 16550A
#                                      (ttyS1 to ttyS3) leading to PATH; returns once the guest's
#                                      shell answers
#   guest_run DIR COMMANDS             runs shell commands in the guest, prints their output and
#                                      returns their exit status (124 when they hung)
#   guest_stop DIR                     powers the guest off; ends QEMU if it does not go
#
# The guest's console, kernel messages included, is DIR/console.log. The QEMU monitor listens on
# the socket DIR/monitor (for adding and removing devices while the guest runs).
#
# An emulated guest on a busy machine is slow, and slow is no failure: every wait here is a hang
# guard of HANG_GUARD_SECONDS (as testlib.sh sets it: five minutes), never a speed expectation.
HANG_GUARD_SECONDS=${HANG_GUARD_SECONDS:-300}
GUEST_PACKAGES="qemu-system-x86 busybox-static cpio"

guest_missing() {
  local missing=()
  command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
  # Debian's busybox package is linked dynamically; the guest has no libraries for it.
  case $(ldd /bin/busybox 2>&1 || true) in *"not a dynamic"*) ;; *) missing+=(busybox-static) ;; esac
  command -v cpio >/dev/null || missing+=(cpio)
  [ ${#missing[@]} -eq 0 ] || echo "${missing[*]}"
}

# The kernel of Debian's linux-image-amd64, unpacked into the cache: this machine gets no kernel
# installed, and the guest's is the one Debian users run.
guest_kernel() {
  local cache=$1 package deb
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)/\1/p' | head -1)
  [ -n "$package" ] || { echo "guest.sh: apt knows no linux-image-amd64" >&2; return 1; }
  if [ ! -f "$cache/$package/done" ]; then
    rm -rf "$cache/$package" && mkdir -p "$cache/$package"
    (cd "$cache/$package" && timeout 300 apt-get download "$package" >/dev/null 2>&1) ||
      { echo "guest.sh: cannot download $package" >&2; return 1; }
    deb=$(ls "$cache/$package"/*.deb)
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$cache/$package" --wildcards './boot/vmlinuz-*' \
      './lib/modules/*/kernel/drivers/usb/common/usb-common.ko' './lib/modules/*/kernel/drivers/usb/core/usbcore.ko' \
      './lib/modules/*/kernel/drivers/usb/host/xhci-hcd.ko' './lib/modules/*/kernel/drivers/usb/host/xhci-pci.ko' \
      './lib/modules/*/kernel/drivers/usb/serial/usbserial.ko' './lib/modules/*/kernel/drivers/usb/serial/ftdi_sio.ko' ||
      return 1
    rm -f "$deb"
    touch "$cache/$package/done"
  fi
  echo "$cache/$package"
}

# The guest's first process: the devices, the drivers, then a shell loop on the console that runs
# each line "ID SECONDS SCRIPT" (the script in base64, which no quoting or console setting can
# alter), ends it should it hang for SECONDS, and ends its output with "@@end ID STATUS".
guest_init_script() {
  cat <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/root XDG_CONFIG_HOME=/root/.config XDG_RUNTIME_DIR=/run/user
mkdir -p /proc /sys /dev /tmp /root /run/user /run/lock /var
ln -s /run/lock /var/lock
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do insmod /modules/$module.ko; done
dmesg -n 1
exec </dev/ttyS0 >/dev/ttyS0 2>&1
stty raw -echo
echo "@@ready"
# A line at a time through head: the shell's own read drops what it has of a line when a signal
# comes in the middle of it, as the end of an orphan does (timeout's watcher, reparented here).
while line=$(head -n 1) && [ -n "$line" ]; do
  set -- $line
  id=$1 seconds=$2 script=$3
  if echo "$script" | base64 -d >/tmp/command; then
    timeout "$seconds" sh /tmp/command </dev/null >/tmp/output 2>&1
    status=$?
    # The end mark on a line of its own, also after output without a final line feed.
    cat /tmp/output
    [ -z "$(tail -c 1 /tmp/output)" ] || echo
    echo "@@end $id $status"
  else
    echo "@@end $id 125"
  fi
done
poweroff -f
EOF
}

# Copies a program and the shared libraries it loads (the loader included) into root.
guest_copy_program() {
  local program=$1 root=$2 library
  # Without its debugging sections, a tenth of the size; a script is copied as it is.
  strip -o "$root/bin/$(basename "$program")" "$program" 2>/dev/null || cp "$program" "$root/bin/"
  for library in $(ldd "$program" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
}

guest_image() {
  local cache=$1 kernel root program
  GUEST_INITRD=$2
  shift 2
  kernel=$(guest_kernel "$cache") || return 1
  GUEST_KERNEL=$(ls "$kernel"/boot/vmlinuz-*)
  # Rebuilt when a program or this rig changed.
  local newest=true
  for program in "$@" "${BASH_SOURCE[0]}"; do
    if [ "$program" -nt "$GUEST_INITRD" ]; then newest=false; fi
  done
  if [ -f "$GUEST_INITRD" ] && $newest; then return 0; fi
  root=$GUEST_INITRD.root
  rm -rf "$root" && mkdir -p "$root/bin" "$root/modules"
  cp /bin/busybox "$root/bin/busybox"
  find "$kernel/lib/modules" -name '*.ko' -exec cp {} "$root/modules/" \;
  guest_init_script >"$root/init"
  chmod +x "$root/init"
  for program in "$@"; do guest_copy_program "$program" "$root"; done
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$GUEST_INITRD.new"
  rm -rf "$root"
  mv "$GUEST_INITRD.new" "$GUEST_INITRD"
}

guest_start() {
  local dir=$1 device ftdi=0 uart=1 args=()
  shift
  mkdir -p "$dir"
  rm -f "$dir/console.in" "$dir/console.out" "$dir/console.log" "$dir/monitor"
  mkfifo "$dir/console.in" "$dir/console.out"
  : >"$dir/console.log"
  for device in "$@"; do
    case $device in
      FTDI=*)
        args+=(-chardev "serial,id=ftdi$ftdi,path=${device#FTDI=}" -device "usb-serial,bus=xhci.0,chardev=ftdi$ftdi")
        ftdi=$((ftdi + 1))
        ;;
      UART=*)
        args+=(-chardev "serial,id=uart$uart,path=${device#UART=}" -device "isa-serial,chardev=uart$uart,index=$uart")
        uart=$((uart + 1))
        ;;
      *) echo "guest.sh: unknown device $device" >&2; return 2 ;;
    esac
  done
  # QEMU ends with the shell that started it, should that be killed.
  setpriv --pdeathsig KILL qemu-system-x86_64 -machine pc -accel tcg -bios qboot.rom -m 256 -nodefaults -nographic -no-reboot \
    -kernel "$GUEST_KERNEL" -initrd "$GUEST_INITRD" \
    -append "console=ttyS0 quiet panic=-1 mitigations=off no_timer_check rdinit=/init" \
    -chardev "pipe,id=console,path=$dir/console" -device isa-serial,chardev=console,index=0 \
    -device qemu-xhci,id=xhci "${args[@]}" \
    -monitor "unix:$dir/monitor,server=on,wait=off" \
    -pidfile "$dir/qemu.pid" </dev/null >"$dir/qemu.log" 2>&1 &
  echo $! >"$dir/qemu.shell-pid"
  # The console's output is read all the time, so that the guest never waits on a full pipe.
  cat "$dir/console.out" >>"$dir/console.log" &
  echo $! >"$dir/console.reader-pid"
  # Held open for writing, so that the guest never sees its input end between two commands.
  # Opened for reading too, which never waits for QEMU to open its end.
  exec {GUEST_CONSOLE_FD}<>"$dir/console.in"
  echo 0 >"$dir/sequence"
  # Ready once the shell answers and the drivers have found every adapter.
  if ! guest_wait_for "$dir" "@@ready" "$HANG_GUARD_SECONDS" ||
    ! guest_run "$dir" "while [ \$(ls /sys/bus/usb-serial/devices | wc -l) -lt $ftdi ]; do sleep 0.1; done"; then
    echo "guest.sh: the guest did not start; its console:" >&2
    tail -20 "$dir/console.log" >&2
    cat "$dir/qemu.log" >&2
    return 1
  fi
}

# Waits until the console shows a line starting with text; false after seconds or when QEMU ended.
guest_wait_for() {
  local dir=$1 text=$2 seconds=$3 end
  end=$((SECONDS + seconds))
  while ! tr -d '\r' <"$dir/console.log" | grep -q "^$text"; do
    [ $SECONDS -lt $end ] && kill -0 "$(cat "$dir/qemu.shell-pid")" 2>/dev/null || return 1
    sleep 0.1
  done
}

guest_run() {
  local dir=$1 command=$2 seconds=$HANG_GUARD_SECONDS status start id
  # Numbered in a file: callers run this in command substitutions, whose variables do not last.
  id=$(($(cat "$dir/sequence") + 1))
  echo "$id" >"$dir/sequence"
  start=$(stat -c %s "$dir/console.log")
  # The command's own hang guard in the guest, and the console's a little later.
  printf '%s %s %s\n' "$id" "$seconds" "$(base64 -w 0 <<<"$command")" >&"$GUEST_CONSOLE_FD"
  guest_wait_for "$dir" "@@end $id " $((seconds + 10)) || return 124
  tail -c +$((start + 1)) "$dir/console.log" | tr -d '\r' | sed -n "/^@@end $id /q;p"
  status=$(tr -d '\r' <"$dir/console.log" | sed -n "s/^@@end $id \([0-9]*\)$/\1/p")
  # timeout's SIGTERM.
  [ "$status" = 143 ] && status=124
  return "$status"
}

guest_stop() {
  local dir=$1 pid end
  [ -f "$dir/qemu.shell-pid" ] || return 0
  pid=$(cat "$dir/qemu.shell-pid")
  if [ -n "${GUEST_CONSOLE_FD:-}" ]; then
    printf 'x 10 %s\n' "$(base64 -w 0 <<<"poweroff -f")" >&"$GUEST_CONSOLE_FD" 2>/dev/null || true
    exec {GUEST_CONSOLE_FD}>&-
    GUEST_CONSOLE_FD=
  fi
  end=$((SECONDS + 10))
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.1; done
  if kill "$pid" 2>/dev/null; then
    sleep 1
    kill -9 "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  pid=$(cat "$dir/console.reader-pid")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$dir/qemu.shell-pid" "$dir/console.reader-pid" "$dir/console.in" "$dir/console.out"
}

# A simulated unit on a pseudo-terminal of this machine, for the guest's serial devices to lead to;
# its path in the variable named first, its log in $tmp/NAME.log. Uses the caller's $sim, $tmp and
# cleanup_steps, and testlib.sh's wait_until.
start_unit() {
  local name=$1 out=$tmp/$1.out
  shift
  "$sim" --log "$tmp/$name.log" "$@" >"$out" &
  cleanup_steps+=("kill $! 2>/dev/null; wait $!")
  # Its first line is its terminal; a unit that ended prints none.
  wait_until "[ -s '$out' ] || ! kill -0 $! 2>/dev/null" || true
  printf -v "$name" '%s' "$(head -1 "$out")"
}

# guest_image, or the test's end as skipped (exit 77) when the Debian packages for the guest, or
# the further commands named, are missing, or no kernel can be had.
# Usage: guest_image_or_skip CACHE INITRD PROGRAM [COMMAND...]
guest_image_or_skip() {
  local cache=$1 initrd=$2 program=$3 missing command
  shift 3
  missing=$(guest_missing)
  for command in "$@"; do
    command -v "$command" >/dev/null || missing="$missing $command"
  done
  if [ -n "$missing" ]; then
    echo "SKIPPED: no QEMU guest without the Debian packages $missing (scripts/setup installs them)"
    exit 77
  fi
  if ! guest_image "$cache" "$initrd" "$program"; then
    echo "SKIPPED: no kernel for the guest: Debian's linux-image-amd64 cannot be downloaded"
    exit 77
  fi
}
