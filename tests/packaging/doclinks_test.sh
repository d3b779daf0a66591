#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every relative link of every document that ships leads somewhere: to a file beside it and, with
# a #fragment, to a heading of that document. Checked in the source tree (README.md and docs/), in
# the Windows packages' files as packaging/windows/stage puts them together (the zip is that folder,
# and the installer puts down the same files), and in the documents that an installation of the
# build puts in place as the Debian package does, gzipped as dh_compress does to those over 4 KiB
# (a link to cli.md then leads to cli.md.gz).
# Usage: doclinks_test.sh <source folder> <build folder>
source "$(dirname "$0")/testlib.sh"
root=$1 build=$2
export LC_ALL=C.UTF-8

# A document's text, gzipped or not, without its fenced code blocks.
prose() {
  if [[ $1 == *.gz ]]; then zcat "$1"; else cat "$1"; fi | awk '/^```/ { code = !code; next } !code'
}

# The anchors of a document's headings, as GitHub makes them: lower case, without punctuation,
# blanks as dashes.
anchors() {
  prose "$1" | sed -n 's/^#\{1,6\} \{1,\}//p' | sed -e 's/[[:upper:]]/\L&/g' -e 's/[^[:alnum:] _-]//g' -e 's/ /-/g'
}

# The file a link leads to, as named or gzipped; nothing when there is none.
linked_file() {
  local name
  for name in "$1" "$1.gz"; do
    if [ -f "$name" ]; then
      echo "$name"
      return
    fi
  done
}

# check_links WHAT FOLDER: the documents below FOLDER (.md and .md.gz).
check_links() {
  local what=$1 folder=$2 doc link file count=0
  while IFS= read -r -d '' doc; do
    while IFS= read -r link; do
      case $link in *://* | mailto:*) continue ;; esac
      count=$((count + 1))
      file=$doc
      [[ $link == \#* ]] || file=$(linked_file "$(dirname "$doc")/${link%%#*}")
      if [ -z "$file" ]; then
        fail "$what: ${doc#"$folder"/} links to $link, which is not there"
      elif [[ $link == *#* && $file == *.md* ]] && ! anchors "$file" | grep -qxF "${link#*#}"; then
        fail "$what: ${doc#"$folder"/} links to $link, a heading that is not there"
      fi
    done < <(prose "$doc" | grep -o '\]([^)]*)' | sed 's/^](\(.*\))$/\1/')
  done < <(find "$folder" -type f \( -name '*.md' -o -name '*.md.gz' \) -print0)
  [ "$count" -gt 0 ] || fail "$what: no link found in $folder"
  echo "$what: $count links"
}

mkdir "$tmp/source"
cp -r "$root/README.md" "$root/docs" "$tmp/source/"
check_links "the source" "$tmp/source"

mkdir "$tmp/bin"
for program in qlxduo.exe qlxduo-cli.exe; do echo "$program" >"$tmp/bin/$program"; done
"$root/packaging/windows/stage" "$tmp/bin" "$tmp/windows" >/dev/null || fail "staging failed"
check_links "the Windows packages" "$tmp/windows"

DESTDIR="$tmp/install" cmake --install "$build" --prefix /usr >/dev/null
doc="$tmp/install/usr/share/doc/qlxduo"
[ -f "$doc/README.md" ] || fail "the installation puts no README.md in /usr/share/doc/qlxduo"
find "$doc" -type f -size +4k ! -name '*.png' -exec gzip -9n {} +
check_links "the Debian package" "$doc"

finish
