#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Completes qlxduo-cli command lines with the shipped bash completion, the port numbers coming
# from the real tool over a port map of this test's own.
# Usage: completion_test.sh <completion file> <qlxduo-cli>
source "$(dirname "$0")/testlib.sh"
completion=$1
cli=$2

ports="$XDG_CONFIG_HOME/Kestrelan/QLX-DUO/ports"
mkdir -p "$ports"
# Numbers far above those the machine's own serial devices get.
ln -s /dev/null "$ports/com200"
ln -s /dev/null "$ports/com201"
ln -s "$tmp/unplugged" "$ports/com202"

source "$completion"
complete -p qlxduo-cli >/dev/null || fail "the completion does not register for qlxduo-cli"

# The sorted offers for a line; its last word is the one being completed.
offers() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_WORDS[0]=$cli
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _qlxduo_cli
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

# Files are offered from a folder of the test's own.
mkdir -p "$tmp/work"
touch "$tmp/work/unit3.json" "$tmp/work/200.json"
cd "$tmp/work"

while IFS='|' read -r line want; do
  got=$(offers "$line")
  [ "$got" = "$want" ] || fail "\"$line\": offers \"$got\", want \"$want\""
done <<'CASES'
qlxduo-cli |diff find normal ports read watch write
qlxduo-cli re|read
qlxduo-cli x|
qlxduo-cli --|--help --version
qlxduo-cli read --|--help --json --trace --trace-time
qlxduo-cli read 200 --j|--json
qlxduo-cli write 200 --|--a --b --from --help --json --trace --trace-time
qlxduo-cli write 200 --a |
qlxduo-cli write 200 --a 0,0,0,33,0,0 --|--a --b --from --help --json --trace --trace-time
qlxduo-cli write 200 --from u|unit3.json
qlxduo-cli read 200 --trace |200.json unit3.json
qlxduo-cli diff --|--help --json --trace --trace-time
qlxduo-cli diff 20|200 201
qlxduo-cli diff 200 20|200 200.json 201
qlxduo-cli diff 200 u|unit3.json
qlxduo-cli ports --|--all --help --json --trace --trace-time
qlxduo-cli ports |
qlxduo-cli read 20|200 201
qlxduo-cli read 200 20|200 201
qlxduo-cli read a|all
qlxduo-cli normal 201|201
qlxduo-cli find |200 201 all
qlxduo-cli find --|--help --json --trace --trace-time
qlxduo-cli bogus 20|
qlxduo-cli watch --|--a --b --count --csv --from --help --json --log --normal --present --trace --trace-time
qlxduo-cli watch --log u|unit3.json
qlxduo-cli watch --count |
qlxduo-cli watch 20|
qlxduo-cli read 200 --trace-time |mono wall
CASES

finish
