#!/usr/bin/env bash
# The entry script as an operator meets it: every command's help prints without installing,
# building or starting anything, and the tests' throw-away PostgreSQL runs as an ordinary user.
set -euo pipefail
ROOT="$1"
GER="$ROOT/ger"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A preset that was never configured: a help text that builds would create its folder. A PATH
# without cmake, apt-get or the programs makes anything but printing fail loudly.
export GER_PRESET="help-check-$$"
trap 'rm -rf "$ROOT/build/$GER_PRESET"' EXIT
bare="$(mktemp -d)"
for tool in bash cat env dirname id mktemp rm; do ln -s "$(command -v $tool)" "$bare/$tool"; done

usage="$(PATH="$bare" "$GER")" || fail "./ger without a command"
grep -q '^  deps ' <<<"$usage" || fail "the usage text does not list deps"
for cmd in $(awk '/^  [a-z]+ /{print $1}' <<<"$usage"); do
  for flag in --help -h; do
    out="$(PATH="$bare" "$GER" "$cmd" $flag 2>&1)" || fail "./ger $cmd $flag: $out"
    grep -q "^usage: ./ger $cmd" <<<"$out" || fail "./ger $cmd $flag printed: $out"
  done
done
out="$(PATH="$bare" "$GER" run --demo --help 2>&1)" || fail "./ger run --demo --help: $out"
grep -q "^usage: ./ger run" <<<"$out" || fail "./ger run --demo --help printed: $out"
[ ! -e "$ROOT/build/$GER_PRESET" ] || fail "a help text configured a build"
rm -rf "$bare"

# The tests' PostgreSQL as an ordinary user: as root, the program plays that user with nobody.
# The clone may sit in a folder only its owner can enter (a home folder, mktemp -d), so nobody
# sources a copy of the script from a folder of its own; only the functions are used, and they
# need nothing else from the clone.
as=()
script="$GER"
if [ "$(id -u)" -eq 0 ]; then
  as=(runuser -u nobody --)
  copy="$(mktemp -d)"
  trap 'rm -rf "$ROOT/build/$GER_PRESET" "$copy"' EXIT
  cp "$GER" "$copy/ger"
  chmod 755 "$copy"
  chmod 644 "$copy/ger"
  script="$copy/ger"
fi
users_before="$(getent passwd | wc -l)"
pgdir="$("${as[@]}" env -i PATH=/usr/bin:/bin HOME=/tmp bash -c '
  set -euo pipefail
  source "$1"
  start_postgres 2>/dev/null
  trap stop_postgres EXIT
  [ "$(stat -c %U "$PG_DIR/data")" = "$(id -un)" ] || { echo "data folder not owned by me"; exit 1; }
  psql -X -At "$GER_TEST_PG" -c "SELECT 1" | grep -qx 1
  echo "$PG_DIR"
' _ "$script")" || fail "the throw-away PostgreSQL did not run as an ordinary user"
[ -n "$pgdir" ] && [ ! -e "$pgdir" ] || fail "the throw-away PostgreSQL left $pgdir behind"
[ "$(getent passwd | wc -l)" = "$users_before" ] || fail "starting PostgreSQL created a user"
echo "ok"
