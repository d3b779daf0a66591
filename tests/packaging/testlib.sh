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

# Every wait's hang guard: only a step that never comes runs into it, never a slow one on a busy
# machine.
HANG_GUARD_SECONDS=${HANG_GUARD_SECONDS:-300}

# Evaluates the shell condition every tenth of a second until it holds; false when it still does
# not after HANG_GUARD_SECONDS.
wait_until() {
  local end=$((SECONDS + HANG_GUARD_SECONDS))
  until eval "$1"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

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

# A throw-away code-signing certificate and key, made here and named in the environment as
# packaging/windows/sign reads them; verify_signature checks a program against it.
make_signing_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=qlxduo test signer" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$tmp/sign-key.pem" -out "$tmp/sign-cert.pem" 2>/dev/null ||
    fail "openssl made no certificate"
  export QLXDUO_SIGN_CERT="$tmp/sign-cert.pem" QLXDUO_SIGN_KEY="$tmp/sign-key.pem"
}
verify_signature() {
  osslsigncode verify -CAfile "$QLXDUO_SIGN_CERT" -in "$1" >/dev/null 2>&1
}

# The lines of a Windows program's version resource in one language, as text without the UTF-16
# zero bytes ("ProductVersion1.03"); and its file version as four numbers.
version_strings() {
  wrestool -x --raw --type=16 --language="$2" "$1" 2>/dev/null | tr -d '\0'
}
file_version() {
  wrestool -x --raw --type=16 --language="$2" "$1" 2>/dev/null | od -An -tu2 -j48 -N8 |
    awk '{ print $2 "." $1 "." $4 "." $3 }'
}
