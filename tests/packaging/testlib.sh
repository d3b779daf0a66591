# SPDX-License-Identifier: MIT
# Shared by the packaging tests: a temporary folder removed at exit, per-user folders of the
# test's own inside it, and failure reports.
set -euo pipefail

tmp=$(mktemp -d)
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 0700 "$XDG_RUNTIME_DIR"
cleanup_steps=()
cleanup() {
  local step
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the test: 1 when any check failed.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
