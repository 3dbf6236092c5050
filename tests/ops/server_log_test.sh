#!/usr/bin/env bash
# The server's log as the service unit sets it up: the level from GER_LOG_LEVEL, and under the
# journal (JOURNAL_STREAM) each line with its priority prefix instead of a time stamp.
set -euo pipefail
SERVER="$1"
DATA="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
dir="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT

rc=0
GER_LOG_LEVEL=loud "$SERVER" --data-dir "$dir" --data "$DATA" --port 0 >"$dir/out" 2>&1 || rc=$?
[ "$rc" -eq 2 ] || fail "an unknown GER_LOG_LEVEL should stop the start (exit $rc)"
grep -q "GER_LOG_LEVEL" "$dir/out" || fail "the refusal does not name GER_LOG_LEVEL: $(cat "$dir/out")"

GER_LOG_LEVEL=warn JOURNAL_STREAM=8:1 "$SERVER" --data-dir "$dir" --data "$DATA" --port 0 \
  --test-hooks >"$dir/out" 2>"$dir/log" &
pid=$!
for _ in $(seq 300); do grep -q "^listening" "$dir/out" 2>/dev/null && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
grep -q "^listening" "$dir/out" || fail "the server did not start: $(cat "$dir/log")"
kill "$pid"
wait "$pid" || true
pid=""
grep -qx '<4>warning test hooks enabled' "$dir/log" || fail "no journal-style warning: $(cat "$dir/log")"
! grep -q 'info' "$dir/log" || fail "info lines below the level warn: $(cat "$dir/log")"
echo ok
