#!/usr/bin/env python3
"""Writes the demo station-network database.

    make_demo.py DIR [--bench] [--end YYYY-MM-DD] [--days N] [--stations N]
    make_demo.py [DIR] --pg-script FILE|- [...]   (also a psql script of the same data)

DIR receives mvdemo.db (SQLite), odbcinst.ini and odbc.ini defining the data
source "MVDEMO", and reports/ with the demo report definitions when the source
tree has them. The same options always give the same data: every random
number comes from generators seeded with fixed values.

Sizes: default 20 stations x 4 sensors, 15-minute readings for 14 days;
--bench 200 stations x 5 sensors for 30 days (2.88 million readings).
The readings end with the whole day given by --end (default: today), so that
reports of "yesterday" always find data.
"""

import argparse
import datetime as dt
import glob
from itertools import repeat
import math
import os
import random
import shutil
import sqlite3
import sys

SEED = 20240229

# Quality codes of MV_DATA1 / MV_PPDATA1.
Q_GOOD, Q_ESTIMATED, Q_SUSPECT, Q_MISSING = 0, 1, 2, 9

SENSORS = ["RAIN", "STAGE", "AIRTEMP", "BATTERY", "RELHUM"]

BASINS = ["Upper Cedar", "Lower Cedar", "Willow Creek", "Big Sandy",
          "Red Fork", "Clearwater", "Pine River", "Stony Brook"]
DISTRICTS = ["North District", "Central District", "South District",
             "East District", "West District"]
# (state, county, city, three-letter code for station identifiers)
PLACES = [
    ("Colorado", "Larimer", "Fort Collins", "FTC"),
    ("Colorado", "Larimer", "Loveland", "LOV"),
    ("Colorado", "Weld", "Greeley", "GRE"),
    ("Colorado", "Boulder", "Longmont", "LGM"),
    ("Colorado", "Boulder", "Lyons", "LYO"),
    ("Nebraska", "Lancaster", "Lincoln", "LNK"),
    ("Nebraska", "Hall", "Grand Island", "GRI"),
    ("Nebraska", "Buffalo", "Kearney", "KRN"),
    ("Kansas", "Riley", "Manhattan", "MHK"),
    ("Kansas", "Saline", "Salina", "SLN"),
    ("Kansas", "Shawnee", "Topeka", "TOP"),
    ("Kansas", "Sedgwick", "Wichita", "ICT"),
    ("Oklahoma", "Kay", "Ponca City", "PNC"),
    ("Oklahoma", "Payne", "Stillwater", "SWO"),
]
COUNTRY = "USA"

SCHEMA = [
    """CREATE TABLE MV_SITES (
  STATION_ID VARCHAR(16) NOT NULL PRIMARY KEY,
  REPORTING_TIME VARCHAR(8),
  REPORTING_INTERVAL INTEGER,
  BASIN VARCHAR(40),
  DISTRICT VARCHAR(40),
  CITY VARCHAR(40),
  COUNTRY VARCHAR(40),
  STATE VARCHAR(40),
  COUNTY VARCHAR(40),
  PRIMARY_CHANNEL INTEGER,
  RANDOM_CHANNEL INTEGER)""",
    """CREATE TABLE MV_SITESENSORS (
  STE_STATION_ID VARCHAR(16) NOT NULL,
  SENSORNAME VARCHAR(32) NOT NULL,
  PRIMARY KEY (STE_STATION_ID, SENSORNAME))""",
]


def readings_ddl(table, time_type):
    return (f"CREATE TABLE {table} (\n"
            "  STATION_ID VARCHAR(16) NOT NULL,\n"
            "  SENSORNAME VARCHAR(32) NOT NULL,\n"
            f"  READING_TIME {time_type} NOT NULL,\n"
            "  VALUE DOUBLE PRECISION,\n"
            "  QUALITY INTEGER NOT NULL)")


# Reports select by station and time. A query over all stations for a time
# range uses the same index through a skip-scan (ANALYZE makes SQLite see it).
INDEXES = [
    "CREATE INDEX MV_DATA1_STATION_TIME ON MV_DATA1 (STATION_ID, READING_TIME)",
    "CREATE INDEX MV_PPDATA1_STATION_TIME ON MV_PPDATA1 (STATION_ID, READING_TIME)",
]


class Station:
    __slots__ = ("id", "basin", "district", "city", "county", "state",
                 "primary", "random", "reporting_time", "interval", "sensors",
                 "temp_mean", "rain_scale", "base_stage", "battery_fade",
                 "outage")


def make_stations(count, sensor_count):
    rng = random.Random(SEED)
    stations = []
    per_code = {}
    for i in range(count):
        state, county, city, code = PLACES[i % len(PLACES)]
        per_code[code] = per_code.get(code, 0) + 1
        s = Station()
        s.id = f"{code}{per_code[code]:02d}"
        s.basin = BASINS[(i * 3 + i // len(PLACES)) % len(BASINS)]
        s.district = DISTRICTS[i % len(DISTRICTS)]
        s.city, s.county, s.state = city, county, state
        s.primary = i + 1
        s.random = 100 + rng.randrange(1, 900)
        s.reporting_time = f"00:{(i * 7) % 15:02d}:00"
        s.interval = 900
        s.sensors = SENSORS[:sensor_count]
        s.temp_mean = rng.uniform(2.0, 9.0)
        s.rain_scale = rng.uniform(0.6, 1.4)
        s.base_stage = rng.uniform(0.35, 1.8)
        s.battery_fade = 0.012
        s.outage = None
        stations.append(s)
    # Gaps that real networks have: a station never assigned to a basin, one
    # without a random channel, a blank district.
    if count >= 3:
        stations[2].basin = None
        stations[1].random = None
        stations[count - 1].district = ""
    # A station whose battery is failing, and one that was silent for three
    # hours (readings stored as missing).
    if count >= 5:
        stations[4].battery_fade = 0.09
        stations[3].outage = (40, 52)  # 15-minute step range, day 1
    return stations


def storms_for_basin(basin, days, steps_per_day):
    """Rain rate in mm per 15 minutes for each step, shared by a basin."""
    rng = random.Random(f"{SEED}-{basin}")
    rate = [0.0] * (days * steps_per_day)
    for day in range(days):
        if rng.random() < 0.35:
            start = day * steps_per_day + rng.randrange(0, steps_per_day)
            length = rng.randrange(8, 40)  # 2 to 10 hours
            peak = rng.uniform(0.3, 2.2)
            for k in range(length):
                if start + k >= len(rate):
                    break
                shape = math.sin(math.pi * (k + 0.5) / length)
                rate[start + k] += peak * shape
    return rate


def noise(rng, count, scale):
    """Cheap bell-shaped noise: the sum of three uniform numbers."""
    r = rng.random
    k = scale * 2.0  # about scale as standard deviation
    return [(r() + r() + r() - 1.5) * k for _ in range(count)]


def generate(stations, first_day, days):
    """Yields (station, sensor, values, qualities) with one entry per step."""
    steps_per_day = 96
    steps = days * steps_per_day
    basin_rain = {}
    doy0 = first_day.timetuple().tm_yday
    # Shapes of a day, by 15-minute step: temperature peaks at 15:00 and is
    # lowest at 03:00; the solar panel charges between 06:30 and 18:30.
    diurnal = [6.0 * math.sin(2.0 * math.pi * (k / 4.0 - 9.0) / 24.0) for k in range(steps_per_day)]
    solar = [0.45 * max(0.0, math.sin(math.pi * (k / 4.0 - 6.5) / 12.0)) if 6.5 < k / 4.0 < 18.5 else 0.0
             for k in range(steps_per_day)]
    day_of = [i // steps_per_day for i in range(steps)]
    step_of = [i % steps_per_day for i in range(steps)]
    for s in stations:
        key = s.basin or "none"
        if key not in basin_rain:
            basin_rain[key] = storms_for_basin(key, days, steps_per_day)
        rng = random.Random(f"{SEED}-{s.id}")
        storm = basin_rain[key]
        wanted = set(s.sensors)

        rain = [0.0 if r <= 0.0 else round(round(r * s.rain_scale * rng.uniform(0.5, 1.5) / 0.2) * 0.2, 1)
                for r in storm]  # 0.2 mm tipping bucket

        # weather: a drift that changes every two hours
        drift, d = [], 0.0
        for _ in range(0, steps, 8):
            d = 0.85 * d + rng.gauss(0.0, 0.8)
            drift.append(d)
        base = s.temp_mean + 0.12 * (doy0 - 60)
        jitter = noise(rng, steps, 0.15)
        temp = [round(base + 0.12 * day_of[i] + drift[i >> 3] + diurnal[step_of[i]]
                      - (2.5 if rain[i] > 0.0 else 0.0) + jitter[i], 1) for i in range(steps)]

        series = {"RAIN": rain, "AIRTEMP": temp}
        if "STAGE" in wanted:
            stage, store = [], 0.0
            b = s.base_stage
            for r in rain:
                store = store * 0.985 + r * 0.6
                stage.append(round(b + 0.045 * store ** 0.8, 3))
            series["STAGE"] = stage
        if "BATTERY" in wanted:
            fade = s.battery_fade / steps_per_day
            jitter = noise(rng, steps, 0.01)
            series["BATTERY"] = [round(13.1 - fade * i + solar[step_of[i]] + jitter[i], 2) for i in range(steps)]
        if "RELHUM" in wanted:
            jitter = noise(rng, steps, 2.0)
            m = s.temp_mean
            series["RELHUM"] = [100.0 if rain[i] > 0.0 else
                                float(round(min(100.0, max(12.0, 95.0 - 3.2 * (temp[i] - m) + jitter[i]))))
                                for i in range(steps)]

        for sensor in s.sensors:
            values = list(series[sensor])
            quality = [Q_GOOD] * steps
            # A few values estimated by the data collection software.
            for _ in range(steps // 500):
                quality[rng.randrange(steps)] = Q_ESTIMATED
            if sensor == "AIRTEMP":
                k = rng.randrange(steps)
                values[k] = round(values[k] + 25.0, 1)  # a spike someone flagged
                quality[k] = Q_SUSPECT
            if s.outage:
                for k in range(*s.outage):
                    values[k] = None
                    quality[k] = Q_MISSING
            yield s, sensor, values, quality


def time_texts(first_day, steps):
    start = dt.datetime.combine(first_day, dt.time())
    return [(start + dt.timedelta(minutes=15 * i)).strftime("%Y-%m-%d %H:%M:%S")
            for i in range(steps)]


def hourly(values, quality, sensor):
    """Post-processed hourly series: rain summed, others averaged."""
    digits = {"RAIN": 1, "STAGE": 3, "BATTERY": 2, "RELHUM": 0}.get(sensor, 1)
    total = sensor == "RAIN"
    out_v, out_q = [], []
    for a, b, c, d, qa, qb, qc, qd in zip(values[0::4], values[1::4], values[2::4], values[3::4],
                                          quality[0::4], quality[1::4], quality[2::4], quality[3::4]):
        q = max(qa, qb, qc, qd)
        if q != Q_MISSING:
            v = a + b + c + d
            out_v.append(round(v if total else v / 4.0, digits))
            out_q.append(q)
            continue
        vs = [v for v in (a, b, c, d) if v is not None]
        if not vs:
            out_v.append(None)
            out_q.append(Q_MISSING)
        else:
            v = sum(vs)
            out_v.append(round(v if total else v / len(vs), digits))
            out_q.append(Q_ESTIMATED)  # made of fewer readings
    return out_v, out_q


def site_rows(stations):
    return [(s.id, s.reporting_time, s.interval, s.basin, s.district, s.city,
             COUNTRY, s.state, s.county, s.primary, s.random) for s in stations]


def sensor_rows(stations):
    return [(s.id, sensor) for s in stations for sensor in s.sensors]


def reading_batches(stations, first_day, days):
    times = time_texts(first_day, days * 96)
    hours = times[::4]
    for s, sensor, values, quality in generate(stations, first_day, days):
        pv, pq = hourly(values, quality, sensor)
        yield ("MV_DATA1", list(zip(repeat(s.id), repeat(sensor), times, values, quality)))
        yield ("MV_PPDATA1", list(zip(repeat(s.id), repeat(sensor), hours, pv, pq)))


def find_driver(name):
    for pattern in (f"/usr/lib/*/odbc/{name}", f"/usr/lib/odbc/{name}",
                    f"/usr/lib64/{name}", f"/usr/lib/{name}"):
        hits = sorted(glob.glob(pattern))
        if hits:
            return hits[0]
    sys.exit(f"make-demo: the ODBC driver {name} is not installed (apt-get install libsqliteodbc odbc-postgresql)")


def write_sqlite(path, stations, first_day, days, pg=None):
    """Writes the SQLite database; pg, when given, receives the same rows."""
    tmp = path + ".tmp"
    for p in (tmp, tmp + "-journal"):
        if os.path.exists(p):
            os.remove(p)
    db = sqlite3.connect(tmp, isolation_level=None)
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    db.execute("PRAGMA cache_size=-65536")
    db.execute("BEGIN")
    for ddl in SCHEMA:
        db.execute(ddl)
    db.execute(readings_ddl("MV_DATA1", "VARCHAR(19)"))
    db.execute(readings_ddl("MV_PPDATA1", "VARCHAR(19)"))
    db.executemany("INSERT INTO MV_SITES VALUES (?,?,?,?,?,?,?,?,?,?,?)", site_rows(stations))
    db.executemany("INSERT INTO MV_SITESENSORS VALUES (?,?)", sensor_rows(stations))
    counts = {"MV_DATA1": 0, "MV_PPDATA1": 0}
    for table, rows in reading_batches(stations, first_day, days):
        db.executemany(f"INSERT INTO {table} VALUES (?,?,?,?,?)", rows)
        counts[table] += len(rows)
        if pg:
            pg.readings(table, rows)
    for ddl in INDEXES:
        db.execute(ddl)
    db.execute("COMMIT")
    db.execute("PRAGMA analysis_limit=2000")  # statistics from a sample: enough for the planner
    db.execute("ANALYZE")
    db.close()
    os.replace(tmp, path)
    return counts


def write_odbc_files(directory, db_path):
    driver = find_driver("libsqlite3odbc.so")
    with open(os.path.join(directory, "odbcinst.ini"), "w") as f:
        f.write(f"[SQLite3]\nDescription=SQLite 3 ODBC driver\nDriver={driver}\n")
    with open(os.path.join(directory, "odbc.ini"), "w") as f:
        # StepAPI=1 streams rows; without it the driver loads the whole
        # result into memory before the first fetch.
        f.write("[MVDEMO]\nDescription=MV demo station network (SQLite)\n"
                f"Driver=SQLite3\nDatabase={db_path}\nTimeout=5000\nStepAPI=1\n")


def copy_reports(directory):
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rpengine", "demo")
    files = sorted(glob.glob(os.path.join(source, "*.xml")))
    if not files:
        return 0
    target = os.path.join(directory, "reports")
    os.makedirs(target, exist_ok=True)
    for f in files:
        shutil.copy2(f, target)
    return len(files)


def pg_text(v):
    if v is None:
        return "\\N"
    if isinstance(v, float):
        return repr(v)
    return str(v)


class PgScript:
    """A psql script that creates and fills the same tables. READING_TIME is a
    real timestamp column there, as a PostgreSQL site would have it."""

    def __init__(self, out, stations):
        self.w = out.write
        w = self.w
        w("\\set ON_ERROR_STOP on\nSET client_min_messages = warning;\nBEGIN;\n")
        for table in ("MV_PPDATA1", "MV_DATA1", "MV_SITESENSORS", "MV_SITES"):
            w(f"DROP TABLE IF EXISTS {table};\n")
        for ddl in SCHEMA:
            w(ddl + ";\n")
        w(readings_ddl("MV_DATA1", "TIMESTAMP(0)") + ";\n")
        w(readings_ddl("MV_PPDATA1", "TIMESTAMP(0)") + ";\n")
        for table, rows in (("MV_SITES", site_rows(stations)), ("MV_SITESENSORS", sensor_rows(stations))):
            w(f"COPY {table} FROM stdin;\n")
            for r in rows:
                w("\t".join(pg_text(v) for v in r) + "\n")
            w("\\.\n")

    def readings(self, table, rows):
        self.w(f"COPY {table} FROM stdin;\n")
        self.w("".join(f"{a}\t{b}\t{c}\t{pg_text(d)}\t{e}\n" for a, b, c, d, e in rows))
        self.w("\\.\n")

    def finish(self):
        for ddl in INDEXES:
            self.w(ddl + ";\n")
        self.w("COMMIT;\nANALYZE MV_SITES, MV_SITESENSORS, MV_DATA1, MV_PPDATA1;\n")


def main():
    ap = argparse.ArgumentParser(prog="make-demo", description=__doc__.split("\n\n")[0])
    ap.add_argument("dir", nargs="?", help="folder to write into (created when missing)")
    ap.add_argument("--bench", action="store_true", help="200 stations x 5 sensors x 30 days")
    ap.add_argument("--end", help="last day of readings, YYYY-MM-DD (default: today)")
    ap.add_argument("--days", type=int, help="number of days of readings")
    ap.add_argument("--stations", type=int, help="number of stations")
    ap.add_argument("--sensors", type=int, help="sensors per station (1 to 5)")
    ap.add_argument("--pg-script", metavar="FILE",
                    help="also write a psql script that loads the same data into PostgreSQL "
                         "('-': standard output, and no SQLite database without DIR)")
    a = ap.parse_args()

    stations_n, sensors_n, days = (200, 5, 30) if a.bench else (20, 4, 14)
    stations_n = a.stations or stations_n
    sensors_n = a.sensors or sensors_n
    days = a.days or days
    if not 1 <= sensors_n <= len(SENSORS) or stations_n < 1 or days < 1:
        ap.error("--stations and --days must be positive, --sensors 1 to 5")
    try:
        end = dt.date.fromisoformat(a.end) if a.end else dt.date.today()
    except ValueError:
        ap.error(f"--end '{a.end}' is not a date of the form YYYY-MM-DD")
    first_day = end - dt.timedelta(days=days - 1)
    stations = make_stations(stations_n, sensors_n)

    pg_out = None
    if a.pg_script:
        pg_out = sys.stdout if a.pg_script == "-" else open(a.pg_script + ".tmp", "w")
    pg = PgScript(pg_out, stations) if pg_out else None
    if not a.dir:
        if not pg:
            ap.error("the folder to write into is missing")
        for table, rows in reading_batches(stations, first_day, days):
            pg.readings(table, rows)
        pg.finish()
        return

    directory = os.path.abspath(a.dir)
    os.makedirs(directory, exist_ok=True)
    db_path = os.path.join(directory, "mvdemo.db")
    counts = write_sqlite(db_path, stations, first_day, days, pg)
    if pg:
        pg.finish()
        if pg_out is not sys.stdout:
            pg_out.close()
            os.replace(a.pg_script + ".tmp", a.pg_script)
    write_odbc_files(directory, db_path)
    reports = copy_reports(directory)
    print(f"make-demo: {db_path}: {stations_n} stations, {len(sensor_rows(stations))} sensors, "
          f"{counts['MV_DATA1']} readings, {counts['MV_PPDATA1']} hourly values, "
          f"{first_day} to {end}; {reports} report definitions")
    print(f"  export ODBCSYSINI={directory} ODBCINI={directory}/odbc.ini   # data source MVDEMO")


if __name__ == "__main__":
    main()
