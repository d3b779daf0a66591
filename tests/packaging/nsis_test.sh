#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows installer from stand-in files with makensis, warnings counting as errors,
# and checks what the Windows packages carry: the staged files (the zip's) are the programs and the
# Windows documents, the installer puts down exactly those, and the uninstaller removes them all.
# Usage: nsis_test.sh <qlxduo.nsi>
source "$(dirname "$0")/testlib.sh"
script=$1
root=$(dirname "$script")/../..

mkdir "$tmp/bin"
for file in qlxduo.exe qlxduo-cli.exe; do echo "$file" >"$tmp/bin/$file"; done
staged=$("$(dirname "$script")/stage" "$tmp/bin" "$tmp/stage") || fail "staging failed"
[ "$staged" = 2 ] || fail "staged $staged programs, not 2"
expected="LICENSE.txt
README.md
THIRD-PARTY-NOTICES.txt
cli.md
glossary.md
qlxduo-cli.exe
qlxduo-window-win32.png
qlxduo.exe"
actual=$(ls -A "$tmp/stage" | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "staged files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
cmp -s "$tmp/stage/README.md" "$root/docs/windows.md" || fail "the packages' README.md is not docs/windows.md"
log=$(makensis -V2 -WX -DVERSION=9.99 -DSOURCE="$tmp/stage" -DOUTFILE="$tmp/qlxduo-setup.exe" "$script" 2>&1) ||
  fail "makensis failed:"$'\n'"$log"
[ "$(head -c 2 "$tmp/qlxduo-setup.exe" 2>/dev/null)" = MZ ] || fail "no Windows program was written"

status=0
makensis -V1 -DSOURCE="$tmp/stage" -DOUTFILE="$tmp/other.exe" "$script" >/dev/null 2>&1 || status=$?
[ "$status" != 0 ] || fail "makensis built an installer without VERSION"

# File "${SOURCE}\X" puts down $INSTDIR\X; the uninstaller must Delete "$INSTDIR\X".
installed=$(sed -n 's/^ *File "${SOURCE}\\\(.*\)"$/\1/p' "$script" | LC_ALL=C sort)
removed=$(sed -n 's/^ *Delete "$INSTDIR\\\(.*\)"$/\1/p' "$script" | grep -vx uninstall.exe | LC_ALL=C sort)
[ -n "$installed" ] || fail "no File lines found"
[ "$installed" = "$expected" ] || fail "the installer and the zip carry different files:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"
[ "$installed" = "$removed" ] || fail "installed and removed files differ:"$'\n'"$(diff <(echo "$installed") <(echo "$removed"))"
grep -q '^ *Delete "$INSTDIR\\uninstall.exe"' "$script" || fail "the uninstaller does not remove itself"
grep -q '^ *Delete "${SHORTCUT}"' "$script" || fail "the uninstaller leaves the Start-menu entry"

finish
