#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/demo against the built programs: without a display it names the picture the window test
# writes; with one, while the user's own qlxduo runs, its window still opens (it has a runtime
# folder of its own, mode 0700) and closing it ends the simulated unit too.
# Usage: demo_test.sh <source folder> <build folder> <picture the window test writes>
source "$(dirname "$0")/testlib.sh"
source_dir=$1
build=$2
picture=$3
demo="$source_dir/scripts/demo"

# The pid holding a flock on a file, from the kernel's lock table (probing with flock(1) would
# take the lock for a moment and could turn a starting window away).
lock_holder() {
  local inode
  inode=$(stat -c %i "$1" 2>/dev/null) || return 1
  awk -v inode="$inode" '$2 == "FLOCK" { n = split($6, id, ":"); if (id[n] == inode) { print $5; exit } }' /proc/locks
}

# Waits for the lock to be held while <pid> lives (a hang guard aside); prints its holder.
wait_for_lock() {
  local file=$1 pid=$2
  wait_until "[ -n \"\$(lock_holder '$file')\" ] || ! kill -0 $pid 2>/dev/null" && lock_holder "$file"
}

# No display: the demo points at the picture, by the path the window test really writes it to.
status=0
message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$demo" --no-build "$build" 2>&1) || status=$?
[ "$status" = 1 ] || fail "without a display the demo ended with $status, want 1"
[[ $message == *"$picture"* ]] || fail "without a display the demo does not name $picture:"$'\n'"$message"

# The user's own window, holding the lock in the user's runtime folder.
export QT_QPA_PLATFORM=offscreen
"$build/bin/qlxduo" &
user_window=$!
cleanup_steps+=("kill $user_window 2>/dev/null; wait $user_window 2>/dev/null")
wait_for_lock "$XDG_RUNTIME_DIR/qlxduo.lock" "$user_window" >/dev/null || fail "the user's qlxduo did not start"

# The demo works in a build folder of its own, so this test touches nothing in the real one.
demo_build="$tmp/build"
mkdir "$demo_build"
ln -s "$build/bin" "$demo_build/bin"
DISPLAY=:0 "$demo" --no-build "$demo_build" >"$tmp/demo.log" 2>&1 &
demo_pid=$!
cleanup_steps+=("pkill -P $demo_pid 2>/dev/null; kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null")
if window=$(wait_for_lock "$demo_build/demo-runtime/qlxduo.lock" "$demo_pid"); then
  [ "$(stat -c %a "$demo_build/demo-runtime")" = 700 ] || fail "the demo's runtime folder is not mode 0700"
  [ "$(ps -o ppid= -p "$window" | tr -d ' ')" = "$demo_pid" ] || fail "the lock holder is not the demo's window"
  link="$demo_build/demo-config/Kestrelan/QLX-DUO/ports/com1"
  [ -L "$link" ] || fail "the simulated unit is not COM1 in the demo's port map"
  kill "$window"
  wait "$demo_pid" 2>/dev/null || true
  [ ! -e "$link" ] && [ ! -L "$link" ] || fail "the simulated unit outlived the demo's window"
else
  fail "the demo's window did not open:"$'\n'"$(cat "$tmp/demo.log")"
fi

finish
