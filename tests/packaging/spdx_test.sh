#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs scripts/spdx-headers on a repository of its own: every kind of source file gets the line
# first (after "#!"), in its own comment syntax, and keeps its mode; other files, ignored files
# and files that have it stay as they are; a second run changes nothing; --check lists exactly
# the files without it.
# Usage: spdx_test.sh <scripts/spdx-headers>
source "$(dirname "$0")/testlib.sh"
script=$1
repo="$tmp/repo"
tag="SPDX-License-Identifier: MIT"

mkdir -p "$repo/inc" "$repo/sub" "$repo/build"
cd "$repo"
git init -q .
printf 'int x;\n' >a.cpp
printf '#pragma once\n' >inc/b.h
printf '#define V "@V@"\n' >inc/v.h.in
printf 'ITEM(1)\n' >inc/items.def
printf '#!/bin/sh\necho hi\n' >tool
chmod 755 tool
printf 'project(x)\n' >CMakeLists.txt
printf 'add_library(y y.cpp)\n' >sub/CMakeLists.txt
printf 'set(z 1)\n' >z.cmake
printf 'echo sourced\n' >lib.sh
printf 'complete -F _x x\n' >x.bash-completion
printf 'Name "x"\n' >setup.nsi
printf '.TH X 1\n' >x.1.in
printf '// %s\nint done;\n' "$tag" >done.cpp
printf '#!/usr/bin/env bash\n# %s\ntrue\n' "$tag" >done-script
printf 'plain text\n' >notes.txt
printf '\x89PNG\r\n\x1a\n\0\0' >image.png
printf '\0\0\1\2' >data.bin
printf '/build/\n' >.gitignore
printf 'int generated;\n' >build/gen.cpp
ln -s a.cpp alias.cpp
git add -A

snapshot() { find . -path ./.git -prune -o -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum; }

want_missing="CMakeLists.txt
a.cpp
inc/b.h
inc/items.def
inc/v.h.in
lib.sh
setup.nsi
sub/CMakeLists.txt
tool
x.1.in
x.bash-completion
z.cmake"
listed=$("$script" --check . 2>/dev/null | LC_ALL=C sort) && fail "--check passed with files missing the line"
[ "$listed" = "$want_missing" ] || fail "--check listed:"$'\n'"$listed"

before=$(snapshot)
"$script" . >/dev/null 2>"$tmp/errors" || fail "adding the lines failed"
[ ! -s "$tmp/errors" ] || fail "adding the lines complained: $(cat "$tmp/errors")"

while IFS='|' read -r file lines; do
  got=$(head -n "$(echo -e "$lines" | wc -l)" "$file")
  [ "$got" = "$(echo -e "$lines")" ] || fail "$file begins with:"$'\n'"$got"
done <<CASES
a.cpp|// $tag\nint x;
inc/b.h|// $tag\n#pragma once
inc/v.h.in|// $tag\n#define V "@V@"
inc/items.def|// $tag\nITEM(1)
tool|#!/bin/sh\n# $tag\necho hi
CMakeLists.txt|# $tag\nproject(x)
sub/CMakeLists.txt|# $tag\nadd_library(y y.cpp)
z.cmake|# $tag\nset(z 1)
lib.sh|# $tag\necho sourced
x.bash-completion|# $tag\ncomplete -F _x x
setup.nsi|; $tag\nName "x"
x.1.in|.\\\\" $tag\n.TH X 1
CASES
[ "$(stat -c %a tool)" = 755 ] || fail "tool lost its mode: $(stat -c %a tool)"
[ -L alias.cpp ] || fail "the symbolic link was replaced by a file"

# Everything but the twelve files is byte for byte as before.
changed=$(diff <(echo "$before") <(snapshot) | grep -c '^>' || true)
[ "$changed" = 12 ] || fail "$changed files changed, want 12"

after=$(snapshot)
output=$("$script" .) || fail "the second run failed"
[ -z "$output" ] || fail "the second run printed: $output"
[ "$(snapshot)" = "$after" ] || fail "the second run changed files"

output=$("$script" --check . 2>&1) || fail "--check failed after the lines were added: $output"
[ -z "$output" ] || fail "--check printed: $output"

mkdir "$tmp/plain"
status=0
"$script" --check "$tmp/plain" 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "a folder outside git is not refused with status 2 (got $status)"

finish
