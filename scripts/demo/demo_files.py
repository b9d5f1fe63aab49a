#!/usr/bin/env python3
"""Writes the catalog and the schedule file of the demo folder.

    demo_files.py DIR [--reset] [--printer QUEUE]

DIR must already hold the demo database and reports (scripts/make-demo DIR).
Writes:
  MVReports.MVF      the catalog of the demo reports in DIR/reports/
  MVRptUsr.MVF       an empty user catalog
  MVVidUduzadev.MVF  the schedule file, only when missing or with --reset, so
                     that the operator's changes survive the next run

The schedule's groups show within two minutes what the program does:
  1  hourly readings as PDF, owing the periods since three hours back
  2  daily summaries as PDF, owing the periods since two days back
  3  readings of the last three hours as CSV, every minute
  4  the daily summary on printer QUEUE (only with --printer)
Groups 1, 2 and 4 tick at the first full minute at least 20 seconds away, so
the catch-up happens within the first minute or two.
Times are local, like the program's.
"""

import argparse
import datetime as dt
import os
import sys

# (key, title, file, site lists, sensor lists)
REPORTS = [
    ("HourlyReadings", "Hourly readings", "hourly_readings.xml", True, True),
    ("DailySummary", "Daily summary", "daily_summary.xml", True, True),
    ("DataQuality", "Data quality", "data_quality.xml", True, True),
    ("MonthlyRainfall", "Monthly rainfall", "monthly_rainfall.xml", True, False),
    ("StationInventory", "Station inventory", "station_inventory.xml", True, False),
]

STATIONS = ["FTC01", "LOV01", "GRE01", "LGM01"]
START_FROM = "%m/%d/%Y %H:%M:%S"


def hex_list(lines):
    """A string list as the schedule file stores it: each line and CR LF, in hex."""
    return "".join(line.encode("latin-1").hex().upper() + "0D0A" for line in lines)


def write_text(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="latin-1") as f:
        f.write(text)
    os.replace(tmp, path)


def catalog():
    out = ["[Reports Category]", "DEMO=Demo reports", "[CategoryType]", "DEMO=0",
           "[CategoryIndex]", "DEMO=1", "[Reports Settings]"]
    out += [f"{key}=1" for key, *_ in REPORTS]
    out += ["[DEMO]"] + [f"{key}=1" for key, *_ in REPORTS]
    for key, title, file, sites, sensors in REPORTS:
        out += [f"[{key}]",
                "Report Type=0",
                f"Report Title={title}",
                f"Report File Name=reports/{file}",
                "Report Enabled=1",
                "Report Prompt=0",
                "Report Time Range=1",
                "Report Time Range Style=0",
                "Report Filter=0",
                f"Report Site Lists={int(sites)}",
                f"Report Sensor Lists={int(sensors)}",
                "Report Special Type=0",
                "Report Category=DEMO"]
    return "\n".join(out) + "\n"


def group(index, report, base_time, int_type, interval, start_from, time_from, time_to,
          output, out_dir="", out_name="", out_format=0, printer=""):
    return [f"[RptSchGroup:{index}]",
            f"RGIndex={index}",
            "Enabled=1",
            f"ReportKey={report}",
            f"BaseTime={base_time}",
            f"IntType={int_type}",
            f"Interval={interval}",
            "IntervalDays=0",
            f"StartFrom={start_from.strftime(START_FROM)}",
            "BeforeRun=",
            "AfterRun=",
            f"Output={output}",
            f"Printer={printer}",
            f"OutputDir={out_dir}",
            f"OutputName={out_name}",
            "OutputPrefix=",
            "OutputSuffix=",
            f"OutputFormat={out_format}",
            f"TimeFrom={time_from}",
            f"TimeTo={time_to}",
            "AbsTimeFrom=",
            "AbsTimeTo=",
            "Filter=",
            f"Stations={hex_list(STATIONS)}",
            "Sensors=",
            "OtherParams=",
            f"SpecialParams={hex_list(['pReportTime'])}",
            ""]


def schedule(folder, printer, now):
    hour = now.replace(minute=0, second=0, microsecond=0)
    minute = now.replace(second=0, microsecond=0)
    today = now.replace(hour=0, minute=0, second=0, microsecond=0)
    # A group owing periods runs at the next tick of its run grid, which is
    # laid on its base time: the hourly and daily groups tick at the first
    # full minute at least 20 seconds from now, so they catch up at once.
    tick = (now + dt.timedelta(seconds=80)).replace(second=0, microsecond=0)
    hourly_base = tick.strftime("00:%M:00")
    daily_base = tick.strftime("%H:%M:00")
    pdf = os.path.join(folder, "output", "pdf")
    csv = os.path.join(folder, "output", "csv")
    groups = [
        group(1, "HourlyReadings", hourly_base, 0, "01:00:00", hour - dt.timedelta(hours=3), "Last Hour",
              "This Hour", 2, pdf, "hourly yyyy-mm-dd hhmi", 0),
        group(2, "DailySummary", daily_base, 3, "00:00:00", today - dt.timedelta(days=2), "Yesterday", "Today",
              2, pdf, "daily yyyy-mm-dd", 0),
        group(3, "HourlyReadings", "00:00:00", 6, "00:01:00", minute, "Last 3 Hours", "Now",
              2, csv, "readings yyyy-mm-dd hhmi", 4),
    ]
    if printer:
        groups.append(group(4, "DailySummary", daily_base, 3, "00:00:00", today, "Yesterday", "Today", 1,
                            printer=printer))
    names = ",".join(f"RptSchGroup:{i + 1}" for i in range(len(groups)))
    out = ["[Database Settings]", "ODBC Data Source=MVDEMO", "ODBC Username=", "ODBC Password=", "",
           "[VidUduzadevr]", "LogDetail=2", "ListViewStyle=0", f"GroupNames={names}", "LogMessage=0", ""]
    for g in groups:
        out += g
    return "\n".join(out)


def main():
    p = argparse.ArgumentParser(description="Writes the demo folder's catalog and schedule file.")
    p.add_argument("dir")
    p.add_argument("--reset", action="store_true", help="replace an existing schedule file")
    p.add_argument("--printer", default="", help="CUPS queue of the printing group (none: no such group)")
    a = p.parse_args()
    folder = os.path.abspath(a.dir)
    if not os.path.isdir(os.path.join(folder, "reports")):
        sys.exit(f"{folder}/reports is missing: run scripts/make-demo {folder} first")
    write_text(os.path.join(folder, "MVReports.MVF"), catalog())
    write_text(os.path.join(folder, "MVRptUsr.MVF"), "[Reports Category]\n[Reports Settings]\n")
    for sub in ("pdf", "csv"):
        os.makedirs(os.path.join(folder, "output", sub), exist_ok=True)
    schedule_file = os.path.join(folder, "MVVidUduzadev.MVF")
    if os.path.exists(schedule_file) and not a.reset:
        print(f"Keeping the schedule file {schedule_file} (--reset writes a new one)")
        return
    write_text(schedule_file, schedule(folder, a.printer, dt.datetime.now()))
    os.chmod(schedule_file, 0o600)
    print(f"Wrote the schedule file {schedule_file}")


if __name__ == "__main__":
    main()
