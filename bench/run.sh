#!/usr/bin/env bash
# Runs every benchmark of a build folder, prints the table and writes bench/results.json:
#   - the codec and dataset benchmarks (Google Benchmark, ger_bench);
#   - wrk against ger-server: GetVerifEmpresa latency on one keep-alive connection and calls
#     per second on four (the body comes from rpc.lua);
#   - the whole-program timings of ger_bench_app: server round trips on SQLite and PostgreSQL,
#     throughput with 1, 4 and 16 clients, the company screen of the real module, and the
#     company report to a PDF file.
# Usage: bench/run.sh BUILD_DIR   (./ger bench passes the release build)
# Traffic goes only to 127.0.0.1. GER_TEST_PG names a PostgreSQL to use; without it a throw-away
# one is started (as ./ger test does) when this runs as root or as the server's owner.
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(dirname "$HERE")"
BUILD="$(cd "${1:?usage: bench/run.sh BUILD_DIR}" && pwd)"
BIN="$BUILD/bin"
cmake --build "$BUILD" -j "${GER_JOBS:-2}" --target ger_bench ger_bench_app ger-server Pkg_Ger00200 >/dev/null

WORK="$(mktemp -d /tmp/ger-bench.XXXXXX)"
FIGURES="$WORK/figures.jsonl"
: >"$FIGURES"
SERVER_PID=""
PG_DIR=""
cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null || true
  if [ -n "$PG_DIR" ]; then
    runuser -u gerpg -- /usr/lib/postgresql/15/bin/pg_ctl -D "$PG_DIR/data" -m immediate stop \
      >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
  [ -z "$PG_DIR" ] || rm -rf "$PG_DIR"
}
trap cleanup EXIT
log() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

log "codec and dataset benchmarks"
"$BIN/ger_bench" --benchmark_out="$WORK/codec.json" --benchmark_out_format=json \
  --benchmark_repetitions="${GER_BENCH_REPETITIONS:-3}" --benchmark_report_aggregates_only=true \
  >&2

log "wrk: GetVerifEmpresa on keep-alive connections"
"$BIN/ger-server" --db "sqlite:$WORK/wrk.db" --port 0 --data "$ROOT/data" --demo \
  >"$WORK/wrk-server.out" 2>/dev/null &
SERVER_PID=$!
for _ in $(seq 100); do grep -q '^listening on' "$WORK/wrk-server.out" && break; sleep 0.1; done
PORT="$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$WORK/wrk-server.out")"
[ -n "$PORT" ] || { echo "ger-server did not start" >&2; exit 1; }
URL="http://127.0.0.1:$PORT/"
BODY='{"jsonrpc":"2.0","id":1,"method":"GetVerifEmpresa","params":["01"]}'
answer="$(curl -s -X POST "${URL}GER00200.rdmEmpresa" -H 'Content-Type: application/json' -d "$BODY")"
case "$answer" in *'"rows":[["01"]]'*) ;; *) echo "unexpected answer: $answer" >&2; exit 1 ;; esac
wrk_figures() {  # NAME THREADS CONNECTIONS
  local line
  wrk -t"$2" -c"$3" -d"${GER_WRK_SECONDS:-5}s" -s "$HERE/rpc.lua" "$URL" >"$WORK/wrk.txt"
  line="$(grep '^GER ' "$WORK/wrk.txt")"
  echo "wrk -t$2 -c$3: $line" >&2
  python3 - "$1" "$line" >>"$FIGURES" <<'PY'
import json, sys
name, line = sys.argv[1], sys.argv[2]
kv = dict(p.split("=") for p in line.split()[1:])
units = {"p50_us": "us", "p90_us": "us", "p99_us": "us", "rps": "calls/s", "errors": "errors"}
for k, u in units.items():
    print(json.dumps({"group": "wrk", "name": f"{name}_{k}", "value": float(kv[k]), "unit": u}))
PY
}
wrk -t1 -c1 -d1s -s "$HERE/rpc.lua" "$URL" >/dev/null  # warm-up
wrk_figures GetVerifEmpresa_1conn 1 1
wrk_figures GetVerifEmpresa_4conn 2 4
kill "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
SERVER_PID=""

log "server round trips and throughput on SQLite"
"$BIN/ger_bench_app" server --server "$BIN/ger-server" --data "$ROOT/data" \
  --db "sqlite:$WORK/app.db" --label sqlite | tee -a "$FIGURES" >&2

PG_URL="${GER_TEST_PG:-}"
if [ -z "$PG_URL" ] && [ "$(id -u)" -eq 0 ] && [ -x /usr/lib/postgresql/15/bin/initdb ]; then
  log "starting a throw-away PostgreSQL"
  id gerpg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin gerpg
  PG_DIR="$(mktemp -d /tmp/ger-bench-pg.XXXXXX)"
  chown gerpg "$PG_DIR"
  pg_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
  runuser -u gerpg -- /usr/lib/postgresql/15/bin/initdb -D "$PG_DIR/data" -U ger -A trust -E UTF8 \
    --locale=C.UTF-8 >/dev/null
  runuser -u gerpg -- /usr/lib/postgresql/15/bin/pg_ctl -D "$PG_DIR/data" -l "$PG_DIR/log" -w \
    -o "-p $pg_port -k $PG_DIR -c listen_addresses=127.0.0.1" start >/dev/null
  PG_URL="postgresql://ger@127.0.0.1:$pg_port/postgres"
fi
if [ -n "$PG_URL" ]; then
  log "server round trips and throughput on PostgreSQL"
  schema="bench_$$"
  psql "$PG_URL" -qc "DROP SCHEMA IF EXISTS $schema CASCADE; CREATE SCHEMA $schema" >/dev/null
  sep='?'
  case "$PG_URL" in *'?'*) sep='&' ;; esac
  "$BIN/ger_bench_app" server --server "$BIN/ger-server" --data "$ROOT/data" \
    --db "$PG_URL${sep}options=-csearch_path%3D$schema" --label postgresql | tee -a "$FIGURES" >&2
  psql "$PG_URL" -qc "DROP SCHEMA IF EXISTS $schema CASCADE" >/dev/null
else
  log "no PostgreSQL here (set GER_TEST_PG): its figures are left out"
fi

log "company screen of the real module"
for n in 1000 1296; do
  mkdir -p "$WORK/screen-$n"
  cycles=0
  [ "$n" -eq 1000 ] && cycles=10
  QT_QPA_PLATFORM=offscreen "$BIN/ger_bench_app" screen --server "$BIN/ger-server" \
    --data "$ROOT/data" --dir "$WORK/screen-$n" --companies "$n" --cycles "$cycles" \
    | tee -a "$FIGURES" >&2
done

log "company screen with a 50 kB logo in every company"
mkdir -p "$WORK/logos"
QT_QPA_PLATFORM=offscreen "$BIN/ger_bench_app" logos --server "$BIN/ger-server" \
  --data "$ROOT/data" --dir "$WORK/logos" --companies 1296 | tee -a "$FIGURES" >&2

log "company report Ger002 to PDF"
mkdir -p "$WORK/report"
"$BIN/ger_bench_app" report --server "$BIN/ger-server" --data "$ROOT/data" --dir "$WORK/report" \
  --companies 1296 | tee -a "$FIGURES" >&2

# Written aside first, so an interrupted run leaves the previous results in place.
python3 - "$WORK/codec.json" "$FIGURES" "$HERE/results.json.tmp" <<'PY'
import json, sys
codec = json.load(open(sys.argv[1]))
figures = [json.loads(l) for l in open(sys.argv[2]) if l.strip()]
json.dump({"context": codec.get("context", {}), "codec": codec.get("benchmarks", []),
           "figures": figures}, open(sys.argv[3], "w"), indent=1, ensure_ascii=False)
targets = {
    ("wrk", "GetVerifEmpresa_1conn_p50_us"): ("<", 70),
    ("wrk", "GetVerifEmpresa_4conn_rps"): (">=", 50000),
    ("sqlite", "GetEmpresa_1296_loaded"): ("<", 15),
    ("sqlite", "GetVerifEmpresa_beside_60MB_max"): ("<", 50),
    ("sqlite", "GetVerifEmpresa_beside_60MB_p99"): ("<", 50),
    ("sqlite", "heavy_60MB_server_memory_per_body"): ("<", 3),
    ("sqlite", "SetEmpresa_60MB_server_memory_per_body"): ("<", 3),
    ("postgresql", "SetEmpresa_60MB_server_memory_per_body"): ("<", 3),
    ("postgresql", "GetVerifEmpresa_beside_60MB_p99"): ("<", 50),
    ("postgresql", "heavy_60MB_server_memory_per_body"): ("<", 3),
    ("screen", "CriaEmpresa_1296_shown"): ("<", 150),
    ("screen", "exit_country_box_to_next_focus_p50"): ("<", 1),
    ("screen", "exit_CNAE_box_to_next_focus_p50"): ("<", 1),
    ("screen", "picklist_municipalities_SP_645_open_p50"): ("<", 50),
    ("screen", "picklist_filter_keystroke_5570_p99"): ("<", 16),
    ("report", "Ger002_pdf_1296"): ("<", 1000),
    ("report", "Ger002_pdf_1296_first"): ("<", 1000),
    ("report", "Ger002_pdf_1296_peak_rss"): ("<", 100),
    ("screen", "Confirmar_altered_1296_p50"): ("<", 40),
    ("logos", "CriaEmpresa_1296_logos_ratio"): ("<", 1.5),
    ("logos", "Confirmar_altered_1296_logos_p50"): ("<", 40),
    ("logos", "Confirmar_altered_1296_logos_list_bytes"): ("<", 65536),
}
print()
print(f"{'group':<11} {'measure':<40} {'value':>12} {'unit':<8} target")
for f in figures:
    t = targets.get((f["group"], f["name"]))
    mark = ""
    if t:
        ok = f["value"] < t[1] if t[0] == "<" else f["value"] >= t[1]
        mark = f"{t[0]} {t[1]} {'met' if ok else 'MISSED'}"
    print(f"{f['group']:<11} {f['name']:<40} {f['value']:>12.3f} {f['unit']:<8} {mark}")
codec_targets = {"BM_ConfereInscEstadual": ("<", 5000)}  # ns: one state registration
for b in codec.get("benchmarks", []):
    if b.get("aggregate_name") == "median":
        t = codec_targets.get(b["run_name"])
        mark = f"{t[0]} {t[1]} {'met' if b['real_time'] < t[1] else 'MISSED'}" if t else ""
        print(f"{'codec':<11} {b['run_name']:<40} {b['real_time']:>12.3f} {b['time_unit']:<8} {mark}")
PY
mv "$HERE/results.json.tmp" "$HERE/results.json"
echo "results: $HERE/results.json"
