#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows installer from stand-in files with makensis, warnings counting as errors,
# unsigned and signed with a throw-away certificate, checks its properties, icon and signatures,
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
network-ports.md
qlxduo-cli.exe
qlxduo-window-win32.png
qlxduo.exe"
actual=$(ls -A "$tmp/stage" | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "staged files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
# The README is docs/windows.md with its links made to fit the packages (doclinks_test.sh).
diff -q <(grep -v '](' "$root/docs/windows.md") <(grep -v -e '](' -e ' of the source' "$tmp/stage/README.md") >/dev/null ||
  fail "the packages' README.md is not docs/windows.md"
log=$(makensis -V2 -WX -DVERSION=9.99 -DSOURCE="$tmp/stage" -DOUTFILE="$tmp/qlxduo-9.99-setup.exe" "$script" 2>&1) ||
  fail "makensis failed:"$'\n'"$log"
[ "$(head -c 2 "$tmp/qlxduo-9.99-setup.exe" 2>/dev/null)" = MZ ] || fail "no Windows program was written"

# Its properties in English and Japanese, 9.99 as 9.99.0.0; the programs' icon, not NSIS's.
for language in 1033 1041; do
  strings=$(version_strings "$tmp/qlxduo-9.99-setup.exe" $language)
  for line in ProductVersion9.99 FileVersion9.99 OriginalFilenameqlxduo-9.99-setup.exe "CompanyNameThe qlxduo developers" \
    "LegalCopyrightCopyright (c) "; do
    [[ $strings == *"$line"* ]] || fail "the installer's version resource ($language) lacks $line: $strings"
  done
done
[ "$(file_version "$tmp/qlxduo-9.99-setup.exe" 1033)" = 9.99.0.0 ] ||
  fail "the installer's file version is $(file_version "$tmp/qlxduo-9.99-setup.exe" 1033), not 9.99.0.0"
icon_sizes() { icotool -l "$1" | sed 's/--index=[0-9]* //' | LC_ALL=C sort; }
wrestool -x --type=14 "$tmp/qlxduo-9.99-setup.exe" >"$tmp/installer.ico" 2>/dev/null
"$root/res/icons/make-ico" "$tmp/programs.ico"
[ -n "$(icon_sizes "$tmp/programs.ico")" ] && [ "$(icon_sizes "$tmp/installer.ico")" = "$(icon_sizes "$tmp/programs.ico")" ] ||
  fail "the installer's icon is not the programs' icon:"$'\n'"$(icon_sizes "$tmp/installer.ico")"

# Signed with a throw-away certificate: the installer and the uninstaller it carries verify, and
# the uninstaller has the properties too. The leading zero of 1.08 is no octal number.
make_signing_certificate
if verify_signature "$tmp/qlxduo-9.99-setup.exe"; then fail "the installer built without SIGN is signed"; fi
mkdir "$tmp/finalized"
cat >"$tmp/sign" <<SIGN
#!/bin/sh
"$root/packaging/windows/sign" "\$1" && cp "\$1" "$tmp/finalized/"
SIGN
chmod +x "$tmp/sign"
log=$(makensis -V2 -WX -DVERSION=1.08 -DSOURCE="$tmp/stage" -DOUTFILE="$tmp/qlxduo-1.08-setup.exe" \
  -DSIGN="$tmp/sign" "$script" 2>&1) || fail "makensis with SIGN failed:"$'\n'"$log"
verify_signature "$tmp/qlxduo-1.08-setup.exe" || fail "the signed installer does not verify"
uninstaller=$(find "$tmp/finalized" -type f ! -name qlxduo-1.08-setup.exe | head -n 1)
[ -n "$uninstaller" ] || fail "the uninstaller was not given to SIGN"
[ -z "$uninstaller" ] || verify_signature "$uninstaller" || fail "the signed uninstaller does not verify"
[ -z "$uninstaller" ] || [[ $(version_strings "$uninstaller" 1033) == *ProductVersion1.08* ]] ||
  fail "the uninstaller has no version resource"
[ "$(file_version "$tmp/qlxduo-1.08-setup.exe" 1033)" = 1.8.0.0 ] ||
  fail "version 1.08's file version is $(file_version "$tmp/qlxduo-1.08-setup.exe" 1033), not 1.8.0.0"

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
for shortcut in $(sed -n 's/^!define \(SHORTCUT_[A-Z]*\) .*/\1/p' "$script"); do
  grep -q "^ *Delete \"\${$shortcut}\"" "$script" || fail "the uninstaller leaves the Start-menu entry $shortcut"
done

finish
