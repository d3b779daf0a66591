# SPDX-License-Identifier: MIT
# Shared by the benchmark scripts: a temporary folder, removed at exit after the steps a script
# adds to cleanup_steps have run and the programs it started in the background (pids) are ended.
work=$(mktemp -d)
pids=()
cleanup_steps=()
cleanup() {
  local step p
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
