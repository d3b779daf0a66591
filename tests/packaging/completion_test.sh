#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Completes qlxduo-cli command lines with the shipped bash completion, the port numbers coming
# from the real tool over a port map of this test's own: the offers for a line, then what
# readline makes of a line on TAB in a real interactive bash.
# Usage: completion_test.sh <completion file> <qlxduo-cli>
source "$(dirname "$0")/testlib.sh"
completion=$(realpath "$1")
cli=$(realpath "$2")

ports="$XDG_CONFIG_HOME/Kestrelan/QLX-DUO/ports"
mkdir -p "$ports"
# Numbers far above those the machine's own serial devices get.
ln -s /dev/null "$ports/com200"
ln -s /dev/null "$ports/com201"
ln -s "$tmp/unplugged" "$ports/com202"
# A link owned by a process that has ended: numbering the ports removes it, so the map stays as it
# is only while completing writes nothing.
(exit 0) &
ended=$!
wait "$ended"
ln -s /dev/null "$ports/com203"
echo "$ended 1 /dev/null" >"$ports/com203.owner"
map_state() { (cd "$ports" && find . -printf '%p %y %l %m %T@\n' | LC_ALL=C sort); }
map_before=$(map_state)

source "$completion"
complete -p qlxduo-cli >/dev/null || fail "the completion does not register for qlxduo-cli"

# Outside a completion bash's compopt refuses to run; the interactive bash below has the real one.
compopt() { :; }

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
mkdir -p "$tmp/work/units"
touch "$tmp/work/unit3.json" "$tmp/work/200.json" "$tmp/work/my unit.json"
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
qlxduo-cli read 200 --json --|--help --trace --trace-time
qlxduo-cli write 200 --|--a --b --from --help --json --trace --trace-time
qlxduo-cli write 200 --a |
qlxduo-cli write 200 --a 0,0,0,33,0,0 --|--b --from --help --json --trace --trace-time
qlxduo-cli write 200 --from u|unit3.json units
qlxduo-cli read 200 --trace |200.json my unit.json unit3.json units
qlxduo-cli diff --|--help --json --trace --trace-time
qlxduo-cli diff 20|200 201
qlxduo-cli diff 200 20|200.json 201
qlxduo-cli diff 200 u|unit3.json units
qlxduo-cli diff 200 COM|COM201
qlxduo-cli ports --|--all --help --json --no-assign
qlxduo-cli ports |
qlxduo-cli read 20|200 201
qlxduo-cli read 200 20|201
qlxduo-cli read 200 |201
qlxduo-cli read COM200 |201
qlxduo-cli read com0200 --json |201
qlxduo-cli read 200 201 |
qlxduo-cli read COM|COM200 COM201
qlxduo-cli read 201 com|com200
qlxduo-cli read all |
qlxduo-cli read a|all
qlxduo-cli read --trace 200 |200 201 all
qlxduo-cli read --trace=200 |200 201 all
qlxduo-cli read -- |200 201 all
qlxduo-cli read -- --|
qlxduo-cli normal 201|201
qlxduo-cli find |200 201 all
qlxduo-cli find --|--help --json --trace --trace-time
qlxduo-cli bogus 20|
qlxduo-cli watch --|--a --b --count --csv --from --help --json --log --normal --present --trace --trace-time
qlxduo-cli watch --log u|unit3.json units
qlxduo-cli watch --count |
qlxduo-cli watch 20|
qlxduo-cli read 200 --trace-time |mono wall
CASES

# The completion offers each command's options as the tool's help lists them, and the tool's
# commands: the two tables are kept apart and must not drift.
help_words() { sed -n "$1" | LC_ALL=C sort | tr '\n' ' '; }
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | help_words 's/^  \([a-z][a-z]*\) .*/\1/p')
[ "$commands" = "$(printf '%s\n' "${!_qlxduo_cli_options[@]}" | help_words p)" ] ||
  fail "the completion's commands are not the tool's: $commands"
for command in "${!_qlxduo_cli_options[@]}"; do
  listed=$("$cli" "$command" --help | help_words 's/^  \(-h, \)\{0,1\}\(--[a-z-]*\).*/\2/p')
  completed=$(printf '%s\n' ${_qlxduo_cli_options[$command]} | help_words p)
  [ "$listed" = "$completed" ] || fail "$command: the completion offers $completed, its help lists $listed"
done

# Each line is typed into an interactive bash on a terminal of its own (script), completed with
# TAB, and handed out by a key (C-t) bound to append the line to a file and empty it.
cat >"$tmp/bashrc" <<RC
PS1='$ '
PATH=$(dirname "$cli"):\$PATH
source '$completion'
bind 'set bell-style none'
bind -x '"\\C-t": printf "%s\\n" "\$READLINE_LINE" >>"$tmp/lines"; READLINE_LINE='
RC
# typed | the line after TAB (a trailing space is part of it)
typed=()
while IFS='|' read -r line want; do typed+=("$line" "$want"); done <<'CASES'
qlxduo-cli read 200 --trace my|qlxduo-cli read 200 --trace my\ unit.json 
qlxduo-cli write 200 --from units|qlxduo-cli write 200 --from units/
qlxduo-cli diff 200 my\ u|qlxduo-cli diff 200 my\ unit.json 
qlxduo-cli diff 200 "my|qlxduo-cli diff 200 "my unit.json" 
qlxduo-cli read 201|qlxduo-cli read 201 
qlxduo-cli normal 20|qlxduo-cli normal 20
qlxduo-cli read 200 COM|qlxduo-cli read 200 COM201 
CASES
keys=""
for ((i = 0; i < ${#typed[@]}; i += 2)); do keys+="${typed[i]}"$'\t\x14'; done
# Readline's settings of its own too: none of the machine's (/etc/inputrc) or the user's.
: >"$tmp/inputrc"
printf '%sexit\n' "$keys" | INPUTRC="$tmp/inputrc" timeout "$HANG_GUARD_SECONDS" script -q -c "bash --rcfile '$tmp/bashrc' --noprofile -i" \
  /dev/null >/dev/null || fail "the interactive bash failed or did not end"
got=()
[ -f "$tmp/lines" ] && mapfile -t got <"$tmp/lines"
for ((i = 0; i < ${#typed[@]}; i += 2)); do
  [ "${got[i / 2]-}" = "${typed[i + 1]}" ] ||
    fail "TAB after \"${typed[i]}\" gives \"${got[i / 2]-}\", want \"${typed[i + 1]}\""
done

[ "$(map_state)" = "$map_before" ] || fail "completing changed the port map, now: $(map_state)"

finish
