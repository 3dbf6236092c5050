#!/usr/bin/env bash
# The server's systemd unit: systemd-analyze verify passes without a remark, and its ExecStart
# line, run as systemd would run it (the installed paths moved into a temporary folder), starts a
# server that answers GetEmpresa to a client with the token of the token file, and no other.
set -euo pipefail
UNIT="$1"
SERVER="$2"
DATA="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }
dir="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
sed "s|/usr/bin/ger-server|$SERVER|" "$UNIT" >"$dir/ger-server.service"
out="$(systemd-analyze verify "$dir/ger-server.service" 2>&1)" || fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify remarks: $out"

mkdir -m 0750 "$dir/state"
(umask 077 && head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$dir/token")
line="$(sed -n 's/^ExecStart=//p' "$dir/ger-server.service")"
line="${line//\/var\/lib\/ger/$dir/state}"
line="${line//\/etc\/ger\/token/$dir/token}"
GER_SERVER_OPTIONS="--port 0 --data $DATA"
read -r -a command <<<"${line//\$GER_SERVER_OPTIONS/$GER_SERVER_OPTIONS}"
GER_LOG_LEVEL=info "${command[@]}" >"$dir/out" 2>"$dir/log" &
pid=$!
for _ in $(seq 600); do grep -q "^listening" "$dir/out" 2>/dev/null && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
port="$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$dir/out")"
[ -n "$port" ] || fail "the unit's ExecStart did not start a server: $(cat "$dir/log")"
[ -f "$dir/state/ger.db" ] || fail "the database is not in the state directory"

call() {
  curl -s -w '\n%{http_code}' "$@" -d '{"jsonrpc":"2.0","id":1,"method":"GetEmpresa","params":[]}' \
    "http://127.0.0.1:$port/GER00200.rdmEmpresa"
}
answer="$(call -H "Authorization: Bearer $(cat "$dir/token")")"
[ "$(tail -n1 <<<"$answer")" = 200 ] && grep -q '"result":{"fields"' <<<"$answer" ||
  fail "GetEmpresa with the token: $answer"
[ "$(call | tail -n1)" = 401 ] || fail "GetEmpresa without the token was not refused"
[ "$(call -H "Authorization: Bearer wrong" | tail -n1)" = 401 ] || fail "a wrong token was not refused"
echo ok
