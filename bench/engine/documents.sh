#!/usr/bin/env bash
# Document outputs side by side with the peers of ../shared/bench-peers in
# one run on the benchmark database (200 stations x 5 sensors x 30 days):
#   PDF, one day (96,000 rows): against LibreOffice CSV->PDF and wkhtmltopdf
#   workbook, one day: against LibreOffice CSV->XLSX and Python xlsxwriter
#   RTF, one day: against pandoc CSV->RTF
#   PDF, the first 10,000 rows of the day: against headless Chromium's grouped
#     HTML to PDF (Chromium cannot finish the whole day)
#   seven days (672,000 rows) in PDF, workbook and RTF: peak memory
#
#   bench/engine/documents.sh [BUILD_DIR] [--runs N]
# Peers that are not installed are skipped.
set -euo pipefail
source "$(dirname "$0")/setup.sh"

cases=()
for f in pdf xls rtf; do
  cases+=(--case "ours_${f}_1d|q1|{w}/ours_1d.$f|$run --param 'StartTime={d0}' --param 'EndTime={d1}' --format $f --out {out}")
  cases+=(--case "ours_${f}_7d|q7|{w}/ours_7d.$f|$run --param 'StartTime={d0}' --param 'EndTime={d7}' --format $f --out {out}")
done
# The peers' sample is the day's first 10,000 rows: the same query, limited.
sed 's/ORDER BY STATION_ID, SENSORNAME, READING_TIME/& LIMIT 10000/' "$here/readings.xml" > "$work/readings_10k.xml"
grep -q 'LIMIT 10000' "$work/readings_10k.xml" || { echo "documents.sh: cannot limit the query of readings.xml" >&2; exit 1; }
cases+=(--case "ours_pdf_10k|sample|{w}/ours_10k.pdf|$env $mvreport run $work/readings_10k.xml --dsn MVBENCH --param 'StartTime={d0}' --param 'EndTime={d1}' --format pdf --out {out}")

json=$work/documents-bench.json
python3 "$peers/peers.py" --db "$db" --runs "$runs" \
  --only sqlite3_csv_1d,lo_csv_to_pdf_1d,chromium_pdf_10k_tagged,chromium_pdf_10k_untagged,wkhtmltopdf_1d,lo_csv_to_xlsx_1d,py_xlsxwriter_1d,pandoc_csv_to_rtf_1d,py_html_grouped_1d,ours_ \
  --json "$json" "${cases[@]}"

python3 - "$json" <<'PY'
import json, sys
r = {x["case"]: x for x in json.load(open(sys.argv[1]))["results"]}
def wall(c): return r[c]["wall_median"] if c in r and r[c]["ok"] else float("nan")
def mem(c): return max(r[c]["maxrss_kb"], r[c]["tree_pss_kb"]) / 1024 if c in r else float("nan")
print()
for label, peer, ours, goal in [
    ("PDF 1 day: LibreOffice CSV->PDF / ours", "lo_csv_to_pdf_1d", "ours_pdf_1d", 4),
    ("PDF 1 day: wkhtmltopdf / ours", "wkhtmltopdf_1d", "ours_pdf_1d", 10),
    ("workbook 1 day: LibreOffice CSV->XLSX / ours", "lo_csv_to_xlsx_1d", "ours_xls_1d", 5),
    ("workbook 1 day: Python xlsxwriter / ours", "py_xlsxwriter_1d", "ours_xls_1d", 4),
    ("RTF 1 day: pandoc / ours", "pandoc_csv_to_rtf_1d", "ours_rtf_1d", 20),
    ("PDF 10,000 rows: Chromium / ours", "chromium_pdf_10k_tagged", "ours_pdf_10k", 20),
    ("PDF 10,000 rows: Chromium untagged / ours", "chromium_pdf_10k_untagged", "ours_pdf_10k", 20),
]:
    ratio = wall(peer) / wall(ours)
    print(f"{label:48s} {ratio:6.1f}x  (goal >= {goal}x)  {'ok' if ratio >= goal else 'MISSED'}")
for f in ("pdf", "xls", "rtf"):
    m = mem(f"ours_{f}_7d")
    print(f"{f} 7 days: peak memory {m:6.1f} MB (goal < 32 MB), {wall(f'ours_{f}_7d'):.2f} s  {'ok' if m < 32 else 'MISSED'}")
PY
