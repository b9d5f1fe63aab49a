# Shared set-up of the engine benchmarks, sourced by run.sh and documents.sh
# with "$@" their arguments: [BUILD_DIR] [--runs N] [peers.py options...].
# Sets here, root, build, runs, peers, work, db, mvreport, env and run.
here=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
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
