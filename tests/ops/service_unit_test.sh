#!/usr/bin/env bash
# The server's systemd unit: systemd-analyze verify passes without a remark, with the built
# server standing in for the installed one.
set -euo pipefail
UNIT="$1"
SERVER="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
sed "s|/usr/bin/ger-server|$SERVER|" "$UNIT" >"$dir/ger-server.service"
out="$(systemd-analyze verify "$dir/ger-server.service" 2>&1)" || fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify remarks: $out"
echo ok
