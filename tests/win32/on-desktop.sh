#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows test program under Wine on the private desktop that qlxduo-xdesk started for it,
# in a prefix of its own made there (a prefix made without a display gives its programs no window
# system), and ends that prefix's server afterwards. The exit status is the program's.
# Usage: on-desktop.sh WINE-PREFIX-SCRIPT PREFIX PROGRAM [ARGS...]
set -uo pipefail
script=$1 prefix=$2
shift 2
"$script" create "$prefix" || exit 1
"$script" run "$prefix" "$@"
status=$?
"$script" stop "$prefix"
exit $status
