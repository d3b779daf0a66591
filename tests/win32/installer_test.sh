#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer as a user runs it, under Wine on the private desktop that qlxduo-xdesk
# started: built with makensis from the Windows build's programs and signed with a throw-away
# certificate, installed through its pages into a fenced prefix of its own (signed programs and
# uninstaller, its size listed, the folder on the system PATH), the window started by the finish
# page and the tool run from the install folder; then the silent uninstall removes every file, the
# Start-menu entry, the entry in the list of installed programs and the PATH entry, and leaves the
# user's settings file. Last, in a Japanese prefix, the silent install (/S) and uninstall.
# Usage: installer_test.sh WINE-PREFIX-SCRIPT PREFIX PROGRAMS-FOLDER NSIS-SCRIPT VERSION
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../packaging/testlib.sh"
wine_prefix=$1 prefix=$2 bin=$3 script=$4 version=$5
caption="QLX-DUO設定ユーティリティ V$version"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\qlxduo'

run() { "$wine_prefix" run "$prefix" "$@"; }


# Signed as scripts/package signs, with a throw-away certificate.
staged=$("$(dirname "$script")/stage" "$bin" "$tmp/stage") || exit 1
[ "$staged" = 2 ] || { echo "FAIL: the installer needs both programs in $bin" >&2; exit 1; }
make_signing_certificate
sign=$(dirname "$script")/sign
"$sign" "$tmp/stage/qlxduo.exe" "$tmp/stage/qlxduo-cli.exe" || exit 1
log=$(makensis -V2 -WX -DVERSION="$version" -DSOURCE="$tmp/stage" -DOUTFILE="$tmp/qlxduo-$version-setup.exe" \
  -DSIGN="$sign" "$script" 2>&1) || { echo "FAIL: makensis failed:"$'\n'"$log" >&2; exit 1; }
verify_signature "$tmp/qlxduo-$version-setup.exe" || fail "the installer does not verify"

cleanup_steps+=("\"$wine_prefix\" stop \"$prefix\"")
"$wine_prefix" create "$prefix" --fence || exit 1
drive_c=$prefix/drive_c
folder="$drive_c/Program Files/qlxduo"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QLX-DUO Settings Utility.lnk"
installed=(qlxduo.exe qlxduo-cli.exe README.md cli.md network-ports.md glossary.md qlxduo-window-win32.png
  LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe)

environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
system_path() { run reg query "$environment_key" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }
path_before=$(system_path) || true
[ -n "$path_before" ] || fail "no system PATH in the fresh prefix"

# Installed through its pages as a user clicks through them, Enter pressing each page's default
# button once the page shows (windowprobe.exe reads the installer's controls): the licence, the
# choices (the PATH option on by default), the folder, and the finish page, whose ticked "Run"
# starts the window from the install folder.
setup=$(winepath -w "$tmp/qlxduo-$version-setup.exe" 2>/dev/null)
# The installer's caption, as its pages add to it (a space).
setup_caption() { xdotool search --name "^QLX-DUO Settings Utility $version Setup" getwindowname 2>/dev/null | head -n 1; }
run "$setup" >/dev/null 2>&1 &
setup_run=$!
cleanup_steps+=("kill $setup_run 2>/dev/null")
# shows TEXT [ENABLED]: a control of the installer's window reads TEXT (and is enabled, for 1).
shows() {
  run "$bin/windowprobe.exe" window "$(setup_caption)" 2>/dev/null |
    awk -F '\t' -v text="$1" -v enabled="${2:-}" '$1 == "control" && $9 == text && (enabled == "" || $4 == enabled) { found = 1 } END { exit !found }'
}
press_enter_when() {
  if wait_until "shows \"$1\" ${2:-}"; then
    local setup_window
    setup_window=$(xdotool search --name "^QLX-DUO Settings Utility $version Setup" 2>/dev/null | head -n 1)
    xdotool windowactivate --sync "$setup_window" key --clearmodifiers Return 2>/dev/null || true
  else
    fail "the installer did not show \"$1\""
  fi
}
press_enter_when "I &Agree"
# The footer names the program, not the installer system (its text ends with a space).
shows "QLX-DUO Settings Utility $version " || fail "the installer's footer does not read \"QLX-DUO Settings Utility $version\""
press_enter_when "Choose Components"
press_enter_when "Destination Folder"
# The progress page goes on to the finish page by itself.
press_enter_when "&Run QLX-DUO Settings Utility $version"
wait_until "! kill -0 $setup_run 2>/dev/null" || fail "the installer did not end on its finish page"
for file in "${installed[@]}"; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
for file in qlxduo.exe qlxduo-cli.exe uninstall.exe; do
  [ $file = uninstall.exe ] || cmp -s "$folder/$file" "$tmp/stage/$file" || fail "the installed $file is not the built one"
  verify_signature "$folder/$file" || fail "the installed $file does not verify"
done
[ -f "$shortcut" ] || fail "no Start-menu entry"
run reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$version" ||
  fail "the list of installed programs does not show version $version"
size=$(run reg query "$uninstall_key" /v EstimatedSize 2>/dev/null | sed -n 's/.*REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p') || true
# The two programs alone take more than 700 KB.
[ -n "$size" ] && [ $((16#$size)) -gt 700 ] || fail "the list of installed programs shows no size (EstimatedSize ${size:-missing})"
# The silent install for all users puts the install folder on the system PATH, once.
[ "$(system_path)" = "$path_before;C:\Program Files\qlxduo" ] ||
  fail "the system PATH after the install is \"$(system_path)\", not the old one with the install folder"

# The tool from the install folder.
out=$(run 'C:\Program Files\qlxduo\qlxduo-cli.exe' --version 2>&1) || fail "qlxduo-cli.exe --version failed: $out"
case $out in *"$version"*) ;; *) fail "qlxduo-cli.exe --version printed: $out" ;; esac

# The window the finish page started from the install folder: it shows, and closes on Alt+F4 (no
# unit behind the fenced COM1, so nothing to ask), writing its settings file as it ends.
# The key is given again while the window stays: one pressed while the ending installer still
# held the focus would be lost.
if wait_until 'window=$(xdotool search --name "^$caption\$" 2>/dev/null | head -n 1); [ -n "$window" ]'; then
  close_window() {
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
    sleep 1
    [ -z "$(xdotool search --name "^$caption\$" 2>/dev/null)" ]
  }
  wait_until close_window || fail "the installed window did not end on Alt+F4"
else
  fail "the finish page started no window \"$caption\""
fi
ini=$(find "$drive_c/users" -path '*/Kestrelan/QLX-DUO/qlxduo.ini' 2>/dev/null | head -n 1)
[ -n "$ini" ] || fail "the installed window wrote no settings file"

# The uninstaller copies itself away and returns at once; the removal follows.
run 'C:\Program Files\qlxduo\uninstall.exe' /S >/dev/null 2>&1 || fail "the silent uninstall failed"
wait_until '[ ! -e "$folder" ]' || fail "the install folder is still there: $(ls "$folder" 2>&1 | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the Start-menu entry is still there"
[ "$(system_path)" = "$path_before" ] || fail "the system PATH after the uninstall is \"$(system_path)\", not \"$path_before\""
if run reg query "$uninstall_key" >/dev/null 2>&1; then fail "the list of installed programs still shows it"; fi
[ -z "$ini" ] || [ -f "$ini" ] || fail "the uninstall removed the user's settings file"

# The uninstaller's copy may reach its own file before the uninstall.exe that started it has ended
# (a busy machine), and a program's file cannot be deleted while it runs: the copy waits for it. Here
# a program started from the installed uninstall.exe's path stays until the copy has waited a while.
run "$setup" /S '/D=C:\q' >/dev/null 2>&1 || fail 'the silent install into C:\q failed'
cp "$drive_c/q/uninstall.exe" "$drive_c/uninstall-copy.exe"
cp "$bin/qlxduo-cli.exe" "$drive_c/q/uninstall.exe"
run 'C:\q\uninstall.exe' watch --a 0,0,0,21,0,0 >/dev/null 2>&1 &
held=$!
cleanup_steps+=("kill $held 2>/dev/null")
wait_until 'pgrep -f "q.uninstall.exe watch" >/dev/null' || fail "the program on the uninstaller's path did not start"
run 'C:\uninstall-copy.exe' /S '_?=C:\q' >/dev/null 2>&1 &
copy=$!
wait_until '[ "$(ls "$drive_c/q")" = uninstall.exe ]' || fail "the copy did not remove the other files: $(ls "$drive_c/q" | tr '\n' ' ')"
sleep 1
pkill -f "q.uninstall.exe watch"
wait "$copy" || fail "the uninstaller's copy failed"
[ ! -e "$drive_c/q" ] || fail "the install folder stays when the uninstaller's file was still in use: $(ls "$drive_c/q" | tr '\n' ' ')"

# Silently, as scripts install it, on a Japanese system (a prefix made in Japanese): the same
# files and one Start-menu entry; and the uninstaller removes it too.
prefix_ja=$prefix-ja
run_ja() { LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine_prefix" run "$prefix_ja" "$@"; }
cleanup_steps+=("\"$wine_prefix\" stop \"$prefix_ja\"")
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine_prefix" create "$prefix_ja" --fence || exit 1
folder_ja="$prefix_ja/drive_c/Program Files/qlxduo"
# The Start menu's folders have Japanese names there too.
shortcuts() { find "$prefix_ja/drive_c/ProgramData" -name 'QLX-DUO*.lnk' -printf '%f\n' 2>/dev/null; }
run_ja "$setup" /S >/dev/null 2>&1 || fail "the silent install failed"
for file in "${installed[@]}"; do
  [ -f "$folder_ja/$file" ] || fail "not installed silently: $file"
done
# Japanese, or English where a Japanese file name cannot be made (Wine in a Japanese prefix): one.
case $(shortcuts) in
  "QLX-DUO設定ユーティリティ.lnk" | "QLX-DUO Settings Utility.lnk") ;;
  *) fail "the Start-menu entries on a Japanese system: $(shortcuts)" ;;
esac
run_ja 'C:\Program Files\qlxduo\uninstall.exe' /S >/dev/null 2>&1 || fail "the silent uninstall failed"
wait_until '[ ! -e "$folder_ja" ]' || fail "the install folder is still there after the uninstall: $(ls "$folder_ja" 2>&1 | tr '\n' ' ')"
[ -z "$(shortcuts)" ] || fail "the Japanese Start-menu entry is still there"

finish
