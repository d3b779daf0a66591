#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary root as a package would, and checks what lands there: exactly
# the shipped files (the documents too), a desktop entry and AppStream data the validators pass
# without a remark, manual pages that format without a warning, and the project version in the
# pages and the metadata.
# Usage: installtree_test.sh <source folder> <build folder> <project version>
source "$(dirname "$0")/testlib.sh"
source_root=$1
build=$2
version=$3
root="$tmp/root"

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

expected="usr/bin/qlxduo
usr/bin/qlxduo-cli
usr/bin/qlxduo-sim
usr/share/applications/qlxduo.desktop
usr/share/bash-completion/completions/qlxduo-cli
usr/share/icons/hicolor/128x128/apps/qlxduo.png
usr/share/icons/hicolor/16x16/apps/qlxduo.png
usr/share/icons/hicolor/24x24/apps/qlxduo.png
usr/share/icons/hicolor/256x256/apps/qlxduo.png
usr/share/icons/hicolor/32x32/apps/qlxduo.png
usr/share/icons/hicolor/48x48/apps/qlxduo.png
usr/share/icons/hicolor/64x64/apps/qlxduo.png
usr/share/icons/hicolor/scalable/apps/qlxduo.svg
usr/share/man/man1/qlxduo-cli.1
usr/share/man/man1/qlxduo-sim.1
usr/share/man/man1/qlxduo.1
usr/share/metainfo/org.example.qlxduo.metainfo.xml
$(cd "$source_root" && find README.md docs -type f | sed 's|^|usr/share/doc/qlxduo/|')"
expected=$(LC_ALL=C sort <<<"$expected")
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"

desktop="$root/usr/share/applications/qlxduo.desktop"
remarks=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$remarks" ] || fail "desktop-file-validate remarks: $remarks"

# It passes with mere hints too; any issue line (error, warning, info, pedantic) counts here.
report=$(appstreamcli validate-tree --no-net --pedantic --explain "$root" 2>&1) || fail "appstreamcli failed"
if grep -Eq '^ *[EWIP]: ' <<<"$report"; then fail "appstreamcli remarks:"$'\n'"$report"; fi

for page in "$root"/usr/share/man/man1/*.1; do
  warnings=$(groff -K utf8 -man -ww -z -Tutf8 "$page" 2>&1) || fail "groff failed on $page"
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  grep -m 1 "^\.TH " "$page" | grep -Fq "\"qlxduo $version\"" || fail "$(basename "$page") does not name version $version"
done
grep -Fq "<release version=\"$version\" date=\"" "$root/usr/share/metainfo/org.example.qlxduo.metainfo.xml" ||
  fail "the AppStream data names no release $version"

finish
