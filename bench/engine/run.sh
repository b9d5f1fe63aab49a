#!/usr/bin/env bash
# Engine benchmark, side by side with the peers of ../shared/bench-peers in
# one run on the benchmark database (200 stations x 5 sensors x 30 days):
#   mvreport to CSV, one day (96,000 rows), against sqlite3 -csv of the same SQL
#   mvreport to HTML and XML, one day, against the Python standard library
#   mvreport seven days (672,000 rows) in every format: peak memory
#
#   bench/engine/run.sh [BUILD_DIR] [--runs N]
# BUILD_DIR defaults to build/engine; the database is made in /tmp/perf once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/engine}
[ $# -gt 0 ] && shift
runs=3
if [ "${1:-}" = "--runs" ]; then runs=$2; shift 2; fi
peers=${MV_BENCH_PEERS:-$root/../shared/bench-peers}
[ -d "$peers" ] || peers=/work/shared/bench-peers
work=${MV_BENCH_WORK:-/tmp/perf}
db=$work/mv.db
mkdir -p "$work/odbc"

cmake --build "$build" --target mvreport >/dev/null
mvreport=$build/tools/mvreport/mvreport
[ -f "$db" ] || python3 "$peers/gen_mv_db.py" --db "$db"

# The SQLite driver streams rows only with StepAPI=1.
driver=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -n 1)
printf '[SQLite3]\nDriver=%s\n' "$driver" > "$work/odbc/odbcinst.ini"
printf '[MVBENCH]\nDriver=SQLite3\nDatabase=%s\nTimeout=5000\nStepAPI=1\n' "$db" > "$work/odbc/odbc.ini"
env="ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini"
run="$env $mvreport run $here/readings.xml --dsn MVBENCH"

cases=()
for f in csv html xml; do
  cases+=(--case "ours_${f}_1d|q1|{w}/ours_1d.$f|$run --param 'StartTime={d0}' --param 'EndTime={d1}' --format $f --out {out}")
done
for f in csv tsv txt html xml; do
  cases+=(--case "ours_${f}_7d|q7|{w}/ours_7d.$f|$run --param 'StartTime={d0}' --param 'EndTime={d7}' --format $f --out {out}")
done

json=$work/engine-bench.json
python3 "$peers/peers.py" --db "$db" --runs "$runs" --only sqlite3_csv_1d,py_xml_1d,py_html_grouped_1d,ours_ \
  --json "$json" "${cases[@]}"

python3 - "$json" <<'PY'
import json, sys
r = {x["case"]: x for x in json.load(open(sys.argv[1]))["results"]}
def wall(c): return r[c]["wall_median"] if c in r and r[c]["ok"] else float("nan")
def best(c): return r[c]["wall_min"] if c in r and r[c]["ok"] else float("nan")
def cpu(c): return r[c]["cpu_median"] if c in r and r[c]["ok"] else float("nan")
def mem(c): return max(r[c]["maxrss_kb"], r[c]["tree_pss_kb"]) / 1024 if c in r else float("nan")
# Wall time is the goal; CPU time is shown beside it because a shared
# machine's load moves wall times far more than CPU times.
checks = [
    ("CSV 1 day: ours / sqlite3 -csv", "ours_csv_1d", "sqlite3_csv_1d", "<= 1.25"),
    ("HTML 1 day: Python grouped HTML / ours", "py_html_grouped_1d", "ours_html_1d", ">= 1.0"),
    ("XML 1 day: Python XML / ours", "py_xml_1d", "ours_xml_1d", ">= 1.0"),
]
print()
for name, a, b, goal in checks:
    print("%-42s wall median %5.2f  fastest %5.2f  cpu %5.2f  (goal %s)"
          % (name, wall(a) / wall(b), best(a) / best(b), cpu(a) / cpu(b), goal))
for f in ("csv", "tsv", "txt", "html", "xml"):
    c = "ours_%s_7d" % f
    print("%-42s %5.1f MB  (goal < 32 MB)" % ("7 days %s: peak memory" % f.upper(), mem(c)))
PY
