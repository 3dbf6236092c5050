#!/usr/bin/env bash
# The programs as installed (into a staging folder, as the package holds them): the server seeds
# its database from the installed reference data, ger-admin finds the same data, and the desktop
# host loads the installed module and opens the company screen against that server.
set -euo pipefail
BUILD="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
root="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
DESTDIR="$root" cmake --install "$BUILD" --prefix /usr >/dev/null
bin="$root/usr/bin"

# Nothing of the build folder may be used: the libraries resolve inside the staging folder.
for program in ger-server ger-admin ger-host; do
  [ -x "$bin/$program" ] || fail "$program is not installed"
  libs="$(ldd "$bin/$program")"
  if grep -F "$BUILD" <<<"$libs"; then fail "$program uses the build folder"; fi
done
grep -qF "$root/usr/bin/../lib/ger/libgerhost.so" <<<"$libs" || fail "ger-host does not find its library"

"$bin/ger-server" --data-dir "$root/var" --port 0 >"$root/out" 2>"$root/log" &
pid=$!
for _ in $(seq 600); do grep -q "^listening" "$root/out" 2>/dev/null && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
port="$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$root/out")"
[ -n "$port" ] || fail "the installed server did not start: $(cat "$root/log")"
# Lines below warnings reach the log within a second.
for _ in $(seq 50); do grep -q "reference rows from" "$root/log" && break; sleep 0.1; done
grep -qF "reference rows from $root/usr/share/ger/data" "$root/log" ||
  fail "the server did not read the installed reference data: $(cat "$root/log")"

out="$("$bin/ger-admin" reference --db "sqlite:$root/var/ger.db")" || fail "ger-admin reference: $out"
grep -q "^MUNICIPIO  *0  *0  *0  *0$" <<<"$out" || fail "ger-admin reference: $out"

QT_QPA_PLATFORM=offscreen "$bin/ger-host" --server-port "$port" --db "sqlite:$root/var/ger.db" \
  --screenshot "$root/screen.png" >"$root/host.log" 2>&1 || fail "ger-host: $(cat "$root/host.log")"
[ -s "$root/screen.png" ] || fail "ger-host wrote no picture"
echo ok
