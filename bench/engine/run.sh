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
source "$(dirname "$0")/setup.sh"

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
