// The ODBC layer against the real drivers: the SQLite ODBC driver over the
// demo database and PostgreSQL through psqlODBC, both started by the test
// services.
#include "platform/odbc/Odbc.h"

#include "TestServices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <latch>
#include <limits>
#include <thread>

namespace mv::odbc {
namespace {

using mv::test::TServices;

bool ContainsNoCase(std::string_view text, std::string_view part) {
  auto lower = [](std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

TLogon DemoLogon(const std::string& backend) {
  const TServices& s = TServices::Get();
  if (backend == "sqlite") return {s["MV_SQLITE_DSN"], "", "", ""};
  return {s["MV_PG_DSN"], s["MV_PG_USER"], s["MV_PG_PASSWORD"], ""};
}

std::int64_t CountOf(TConnection& c, const std::string& sql) {
  TStatement st(c);
  st.ExecuteDirect(sql);
  EXPECT_TRUE(st.Fetch());
  return st.Int64(0);
}

// Runs each test on both drivers. Tables a test creates live in a private
// SQLite file, or in the PostgreSQL demo database under a name of this
// process, dropped at the end.
class OdbcDb : public ::testing::TestWithParam<std::string> {
protected:
  bool Pg() const { return GetParam() == "postgresql"; }

  TLogon Demo() const { return DemoLogon(GetParam()); }

  // A connection on which the test may create tables.
  TLogon Scratch() const {
    TLogon l = Demo();
    if (!Pg()) l.DatabaseName = FDir.File("scratch.db");
    return l;
  }

  std::string Table(const std::string& name) {
    std::string t = "odbct_" + name + "_" + std::to_string(::getpid());
    FTables.push_back(t);
    return t;
  }
  const char* TimeType() const { return Pg() ? "TIMESTAMP(0)" : "VARCHAR(19)"; }
  const char* DoubleType() const { return Pg() ? "DOUBLE PRECISION" : "REAL"; }

  void TearDown() override {
    if (!Pg() || FTables.empty()) return;
    TConnection c(Scratch());
    for (const auto& t : FTables) c.Execute("DROP TABLE IF EXISTS " + t);
  }

  mv::test::TScratchDir FDir;
  std::vector<std::string> FTables;
};

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDb, ::testing::Values("sqlite", "postgresql"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

TEST_P(OdbcDb, ConnectsAndDisconnects) {
  TConnection c(Demo());
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(c.DbmsName(), Pg() ? "PostgreSQL" : "SQLite");
  EXPECT_EQ(CountOf(c, "SELECT COUNT(*) FROM MV_SITES"), 20);
  c.Disconnect();
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(TStatement{c}, EOdbcError);
  c.Connect(Demo());  // the same object connects again
  EXPECT_EQ(CountOf(c, "SELECT COUNT(*) FROM MV_SITESENSORS"), 80);
}

TEST(OdbcCatalog, ListsDataSourcesAndDrivers) {
  auto sources = DataSources();
  auto has = [&](const char* name, const char* driver) {
    for (const auto& s : sources)
      if (s.Name == name) return s.Description == driver;
    return false;
  };
  EXPECT_TRUE(has("MVDEMO", "SQLite3"));
  EXPECT_TRUE(has("MVDEMO_PG", "PostgreSQL Unicode"));

  bool sqliteDriver = false;
  for (const auto& d : Drivers()) {
    if (d.Name != "SQLite3") continue;
    for (const auto& a : d.Attributes)
      if (a.rfind("Driver=/", 0) == 0 && a.find("libsqlite3odbc.so") != std::string::npos) sqliteDriver = true;
  }
  EXPECT_TRUE(sqliteDriver);
}

TEST(OdbcConnect, FailuresSayWhatAndNeverShowThePassword) {
  const TServices& s = TServices::Get();
  const struct {
    const char* Label;
    TLogon Logon;
    const char* SqlState;
    const char* Says;
  } kCases[] = {
      {"unknown data source", {"NO_SUCH_DSN", "someone", "Secret-77;x", ""}, "IM002", "Data source name not found"},
      {"wrong password", {s["MV_PG_DSN"], s["MV_PG_USER"], "Wrong-pw-123", ""}, "08001", "password authentication failed"},
      {"wrong password needing quotes", {s["MV_PG_DSN"], s["MV_PG_USER2"], "p;w{x}=2", ""}, "08001",
       "password authentication failed"},
      {"unknown user", {s["MV_PG_DSN"], "nobody_here", s["MV_PG_PASSWORD"], ""}, "08001", "nobody_here"},
      {"no data source", {"", "u", "Secret-77", ""}, "IM002", "no data source name"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Label);
    TConnection con;
    try {
      con.Connect(c.Logon, 5);
      ADD_FAILURE() << "connected";
    } catch (const EOdbcError& e) {
      std::string what = e.what();
      EXPECT_EQ(e.SqlState(), c.SqlState) << what;
      EXPECT_TRUE(ContainsNoCase(what, c.Says)) << what;
      EXPECT_NE(what.find("Cannot connect to the data source \"" + c.Logon.DataSource + "\""), std::string::npos)
          << what;
      if (!c.Logon.Password.empty()) {
        EXPECT_EQ(what.find(c.Logon.Password), std::string::npos) << what;
      }
    }
    EXPECT_FALSE(con.Connected());
  }
}

TEST(OdbcConnect, PasswordWithSpecialCharactersConnects) {
  const TServices& s = TServices::Get();
  TConnection c({s["MV_PG_DSN"], s["MV_PG_USER2"], s["MV_PG_PASSWORD2"], ""});
  EXPECT_EQ(CountOf(c, "SELECT COUNT(*) FROM MV_SITES"), 20);
}

TEST_P(OdbcDb, BindsEveryKindOfParameter) {
  TConnection c(Scratch());
  std::string t = Table("kinds");
  c.Execute("CREATE TABLE " + t + " (ID BIGINT, NAME VARCHAR(200), AMOUNT " + DoubleType() + ", TS " + TimeType() +
            ", NOTE VARCHAR(40))");
  const struct {
    std::int64_t Id;
    const char* Name;
    double Amount;
    TTimestamp Ts;
  } kRows[] = {
      {1, "plain", 1.5, {2024, 2, 29, 0, 0, 0}},
      {2, "O'Brien", -0.25, {2024, 3, 1, 23, 59, 59}},
      {3, "x'); DROP TABLE odbct; --", 1e-9, {1999, 12, 31, 12, 0, 0}},
      {4, "question? marks ?", 123456789.125, {2030, 1, 1, 0, 0, 1}},
      {5, "semi;colon {brace} \"double\"", 0.0, {2024, 1, 1, 0, 0, 0}},
      {6, "A\xC2\xB0" "C \xC3\xBC \xE2\x80\x93 \xE2\x82\xAC", -1e6, {2024, 6, 15, 6, 30, 0}},
      {7, "", 2.0, {2024, 6, 15, 6, 30, 0}},
      {8, "line\nbreak\ttab", 3.75, {2024, 6, 15, 6, 30, 0}},
      {std::numeric_limits<std::int64_t>::max(), "big", 1.0, {2024, 1, 1, 0, 0, 0}},
      {std::numeric_limits<std::int64_t>::min(), "small", 1.0, {2024, 1, 1, 0, 0, 0}},
  };
  TStatement ins(c);
  ins.Prepare("INSERT INTO " + t + " (ID, NAME, AMOUNT, TS, NOTE) VALUES (?, ?, ?, ?, ?)");
  EXPECT_EQ(ins.ParameterCount(), 5u);
  for (const auto& r : kRows) {
    ins.BindInt64(1, r.Id);
    ins.BindText(2, r.Name);
    ins.BindDouble(3, r.Amount);
    ins.BindTimestamp(4, r.Ts);
    ins.BindNull(5);
    ins.Execute();
    EXPECT_EQ(ins.AffectedRows(), 1);
  }

  TStatement sel(c);
  sel.Prepare("SELECT ID, NAME, AMOUNT, TS, NOTE FROM " + t + " WHERE NAME = ? AND ID = ?");
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.Name);
    sel.BindText(1, r.Name);
    sel.BindInt64(2, r.Id);
    sel.Execute();
    ASSERT_TRUE(sel.Fetch());
    EXPECT_EQ(sel.Int64(0), r.Id);
    EXPECT_EQ(sel.Text(1), r.Name);
    EXPECT_NEAR(sel.Double(2), r.Amount, std::abs(r.Amount) * 1e-12);
    EXPECT_EQ(sel.Timestamp(3), r.Ts);
    EXPECT_EQ(sel.Text(3), FormatTimestamp(r.Ts));
    EXPECT_TRUE(sel.IsNull(4));
    EXPECT_EQ(sel.Text(4), "");
    EXPECT_FALSE(sel.Fetch());
  }
  EXPECT_EQ(CountOf(c, "SELECT COUNT(*) FROM " + t), static_cast<std::int64_t>(std::size(kRows)));

  // A negative value after a minus sign must stay arithmetic, and a
  // fraction must compare with an integer column.
  TStatement calc(c);
  calc.Prepare("SELECT 10 - ?, 10 - ?, COUNT(*) FROM " + t + " WHERE ID < ?");
  calc.BindInt64(1, -5);
  calc.BindDouble(2, -2.5);
  calc.BindDouble(3, 3.5);
  calc.Execute();
  ASSERT_TRUE(calc.Fetch());
  EXPECT_EQ(calc.Int64(0), 15);
  EXPECT_DOUBLE_EQ(calc.Double(1), 12.5);
  EXPECT_EQ(calc.Int64(2), 4);  // 1, 2, 3 and the smallest
}

TEST_P(OdbcDb, MarkersInsideLiteralsAreText) {
  TConnection c(Demo());
  TStatement st(c);
  st.Prepare("SELECT '?' AS A, CAST(? AS VARCHAR(20)) AS B, 'it''s ?' AS C /* ? */ FROM MV_SITES WHERE STATION_ID = ?");
  EXPECT_EQ(st.ParameterCount(), 2u);
  st.BindText(1, "it's ? too");
  st.BindText(2, "FTC01");
  st.Execute();
  ASSERT_TRUE(st.Fetch());
  EXPECT_EQ(st.Text(0), "?");
  EXPECT_EQ(st.Text(1), "it's ? too");
  EXPECT_EQ(st.Text(2), "it's ?");
  EXPECT_FALSE(st.Fetch());

  if (!Pg()) return;
  // PostgreSQL's own quoting: escapes and dollar quotes
  st.Prepare("SELECT E'it\\'s ?' AS A, $$?$$ AS B, $q$ ? $q$ AS C, 10 - ? AS D");
  st.BindDouble(1, 2.5);
  st.Execute();
  ASSERT_TRUE(st.Fetch());
  EXPECT_EQ(st.Text(0), "it's ?");
  EXPECT_EQ(st.Text(1), "?");
  EXPECT_EQ(st.Text(2), " ? ");
  EXPECT_DOUBLE_EQ(st.Double(3), 7.5);
}

// Readings are stored to the second; a range given by its exact first and
// last reading must return both of them. The SQLite driver turns a binary
// timestamp parameter into text with ".000", which compares after the
// stored first reading and loses it.
TEST_P(OdbcDb, KeepsRowsOnTheTimeRangeBoundaries) {
  TConnection c(Demo());
  const struct {
    const char* Label;
    const char* Sql;
    std::size_t Expected;
    const char* First;
    const char* Last;
  } kCases[] = {
      {">= and <=", "READING_TIME >= ? AND READING_TIME <= ?", 9, "2024-03-01 10:00:00", "2024-03-01 12:00:00"},
      {"BETWEEN", "READING_TIME BETWEEN ? AND ?", 9, "2024-03-01 10:00:00", "2024-03-01 12:00:00"},
      {">= and <", "READING_TIME >= ? AND READING_TIME < ?", 8, "2024-03-01 10:00:00", "2024-03-01 11:45:00"},
      {"> and <=", "READING_TIME > ? AND READING_TIME <= ?", 8, "2024-03-01 10:15:00", "2024-03-01 12:00:00"},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.Label);
    TStatement st(c);
    st.Prepare(std::string("SELECT READING_TIME FROM MV_DATA1 WHERE STATION_ID = ? AND SENSORNAME = ? AND ") + k.Sql +
               " ORDER BY READING_TIME");
    st.BindText(1, "FTC01");
    st.BindText(2, "AIRTEMP");
    st.BindTimestamp(3, {2024, 3, 1, 10, 0, 0});
    st.BindTimestamp(4, {2024, 3, 1, 12, 0, 0});
    st.Execute();
    std::vector<std::string> times;
    while (st.Fetch()) times.emplace_back(st.Text(0));
    ASSERT_EQ(times.size(), k.Expected);
    EXPECT_EQ(times.front(), k.First);
    EXPECT_EQ(times.back(), k.Last);
  }

  // The same bind against a text column (on PostgreSQL too).
  TConnection w(Scratch());
  std::string t = Table("texttime");
  w.Execute("CREATE TABLE " + t + " (T VARCHAR(19))");
  for (const char* v : {"2024-03-01 09:45:00", "2024-03-01 10:00:00", "2024-03-01 11:00:00", "2024-03-01 12:00:00",
                        "2024-03-01 12:15:00"})
    w.Execute("INSERT INTO " + t + " VALUES ('" + v + "')");
  TStatement st(w);
  st.Prepare("SELECT COUNT(*) FROM " + t + " WHERE T >= ? AND T <= ?");
  st.BindTimestamp(1, {2024, 3, 1, 10, 0, 0});
  st.BindTimestamp(2, {2024, 3, 1, 12, 0, 0});
  st.Execute();
  ASSERT_TRUE(st.Fetch());
  EXPECT_EQ(st.Int64(0), 3);
}

TEST_P(OdbcDb, StreamsBlocksWithNullsAndLongTexts) {
  TConnection c(Scratch());
  std::string t = Table("long");
  c.Execute("CREATE TABLE " + t + " (ID INTEGER, NOTE TEXT, TAG VARCHAR(10))");
  auto expected = [](int id) -> std::optional<std::string> {
    if (id % 7 == 0) return std::nullopt;
    if (id == 500) return std::string(100000, 'x') + "end";
    if (id % 13 == 0) {
      std::string s;
      for (int k = 0; s.size() < static_cast<std::size_t>(300 + id * 7); ++k) s += std::to_string(id * 31 + k) + ",";
      return s;
    }
    return "row " + std::to_string(id);
  };
  const int kRows = 1000;
  c.SetAutoCommit(false);
  TStatement ins(c);
  ins.Prepare("INSERT INTO " + t + " (ID, NOTE, TAG) VALUES (?, ?, ?)");
  for (int id = 1; id <= kRows; ++id) {
    ins.BindInt64(1, id);
    if (auto v = expected(id))
      ins.BindText(2, *v);
    else
      ins.BindNull(2);
    // longer than declared: SQLite keeps it, and it must come back whole
    if (Pg())
      ins.BindText(3, "t" + std::to_string(id));
    else
      ins.BindText(3, "tag-longer-than-ten-" + std::to_string(id));
    ins.Execute();
  }
  c.Commit();
  c.SetAutoCommit(true);

  TStatement st(c);
  st.SetRowsetSize(64);
  st.SetMaxBoundWidth(32);
  st.Prepare("SELECT ID, NOTE, TAG, NOTE FROM " + t + " ORDER BY ID");
  st.Execute();
  ASSERT_EQ(st.ColumnCount(), 4u);
  int id = 0;
  while (st.Fetch()) {
    ++id;
    SCOPED_TRACE(id);
    ASSERT_EQ(st.Int64(0), id);
    auto v = expected(id);
    // the second copy first: values may be read in any order
    EXPECT_EQ(st.IsNull(3), !v);
    EXPECT_EQ(st.Text(3), v.value_or(""));
    EXPECT_EQ(st.IsNull(1), !v);
    EXPECT_EQ(st.Text(1), v.value_or(""));
    EXPECT_EQ(st.Text(1), v.value_or(""));  // a long value read twice
    EXPECT_EQ(st.Text(2), (Pg() ? "t" : "tag-longer-than-ten-") + std::to_string(id));
  }
  EXPECT_EQ(id, kRows);
  EXPECT_FALSE(st.Fetch());  // stays at the end
}

TEST_P(OdbcDb, DescribesResultAndTableColumns) {
  TConnection c(Demo());
  TStatement st(c);
  st.ExecuteDirect(
      "SELECT S.STATION_ID, S.PRIMARY_CHANNEL, D.VALUE, D.READING_TIME, COUNT(*) AS N FROM MV_SITES S, MV_DATA1 D "
      "WHERE S.STATION_ID = D.STATION_ID AND S.STATION_ID = 'FTC01' "
      "GROUP BY S.STATION_ID, S.PRIMARY_CHANNEL, D.VALUE, D.READING_TIME");
  const auto& cols = st.Columns();
  ASSERT_EQ(cols.size(), 5u);
  const char* names[] = {"STATION_ID", "PRIMARY_CHANNEL", "VALUE", "READING_TIME", "N"};
  for (std::size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_TRUE(ContainsNoCase(cols[i].Name, names[i]) && cols[i].Name.size() == std::strlen(names[i]));
  }
  EXPECT_TRUE(IsTextType(cols[0].SqlType));
  EXPECT_EQ(cols[1].SqlType, 4);  // INTEGER
  EXPECT_TRUE(IsNumericType(cols[2].SqlType));
  EXPECT_EQ(cols[3].SqlType, Pg() ? 93 : 12);  // a real timestamp on PostgreSQL, text in SQLite
  // While it streams, the SQLite driver describes computed columns as
  // VARCHAR(255); their text is still the number.
  if (Pg())
    EXPECT_TRUE(IsNumericType(cols[4].SqlType));
  else
    EXPECT_EQ(cols[4].SqlType, 12);
  ASSERT_TRUE(st.Fetch());
  EXPECT_GT(st.Int64(4), 0);
  EXPECT_EQ(st.Text(0), "FTC01");
  st.CloseCursor();
  EXPECT_FALSE(st.Fetch());

  const char* siteColumns[] = {"STATION_ID", "REPORTING_TIME", "REPORTING_INTERVAL", "BASIN", "DISTRICT", "CITY",
                               "COUNTRY", "STATE", "COUNTY", "PRIMARY_CHANNEL", "RANDOM_CHANNEL"};
  for (const char* table : {"MV_SITES", "mv_sites"}) {
    SCOPED_TRACE(table);
    auto tc = c.TableColumns(table);
    ASSERT_EQ(tc.size(), std::size(siteColumns));
    for (std::size_t i = 0; i < tc.size(); ++i) EXPECT_TRUE(ContainsNoCase(tc[i].Name, siteColumns[i]));
    EXPECT_TRUE(IsTextType(tc[0].SqlType));
    EXPECT_EQ(tc[0].Size, 16u);
    EXPECT_FALSE(tc[0].Nullable);  // the key
    EXPECT_TRUE(tc[3].Nullable);   // BASIN
    EXPECT_EQ(tc[9].SqlType, 4);
    EXPECT_FALSE(tc[3].TypeName.empty());
  }
  EXPECT_TRUE(c.TableColumns("NO_SUCH_TABLE").empty());
  EXPECT_TRUE(c.TableColumns("MVXSITES").empty());  // '_' is no wildcard here
}

TEST_P(OdbcDb, ConvertsValuesOrSaysWhyNot) {
  TConnection c(Demo());
  TStatement st(c);
  st.ExecuteDirect(
      "SELECT '2024-02-29 23:59:59' AS A, '2024-02-29T01:02:03.250' AS B, '2024-02-29' AS C, "
      "' 42 ' AS D, '5.0' AS E, '-12.5e1' AS F, 'abc' AS BAD, NULL AS EMPTY, '2024-13-01 00:00:00' AS BADTIME, "
      "'12.5' AS FRACTION");
  ASSERT_TRUE(st.Fetch());
  EXPECT_EQ(st.Timestamp(0), (TTimestamp{2024, 2, 29, 23, 59, 59}));
  EXPECT_EQ(st.Timestamp(1), (TTimestamp{2024, 2, 29, 1, 2, 3}));
  EXPECT_EQ(st.Timestamp(2), (TTimestamp{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(st.Int64(3), 42);
  EXPECT_EQ(st.Int64(4), 5);
  EXPECT_DOUBLE_EQ(st.Double(5), -125.0);
  try {
    st.Double(6);
    ADD_FAILURE() << "no error";
  } catch (const EOdbcError& e) {
    EXPECT_TRUE(ContainsNoCase(e.what(), "column \"bad\": 'abc' is not a number")) << e.what();
  }
  EXPECT_EQ(st.Int64(5), -125);  // a whole number, though written as a fraction
  EXPECT_THROW(st.Int64(9), EOdbcError);
  EXPECT_TRUE(st.IsNull(7));
  EXPECT_EQ(st.Double(7), 0.0);
  EXPECT_EQ(st.Timestamp(7), TTimestamp{});
  EXPECT_THROW(st.Timestamp(8), EOdbcError);
  EXPECT_THROW(st.Timestamp(6), EOdbcError);
  EXPECT_THROW(st.Text(10), std::out_of_range);
}

TEST_P(OdbcDb, ErrorsNameTheQueryAndTheMissingValue) {
  TConnection c(Demo());
  TStatement st(c);
  try {
    st.ExecuteDirect("SELECT NO_SUCH_COLUMN FROM MV_SITES");
    ADD_FAILURE() << "no error";
  } catch (const EOdbcError& e) {
    EXPECT_NE(std::string(e.what()).find("SELECT NO_SUCH_COLUMN FROM MV_SITES"), std::string::npos) << e.what();
    EXPECT_EQ(e.SqlState().size(), 5u);
  }
  st.Prepare("SELECT COUNT(*) FROM MV_DATA1 WHERE STATION_ID = ? AND SENSORNAME = ?");
  st.BindText(1, "FTC01");
  try {
    st.Execute();
    ADD_FAILURE() << "no error";
  } catch (const EOdbcError& e) {
    EXPECT_NE(std::string(e.what()).find("parameter 2 has no value"), std::string::npos) << e.what();
  }
  st.BindText(2, "RAIN");
  st.BindText(3, "extra");
  EXPECT_THROW(st.Execute(), EOdbcError);
  st.ClearParameters();
  st.BindText(1, "FTC01");
  st.BindText(2, "RAIN");
  st.Execute();  // the statement is still usable
  ASSERT_TRUE(st.Fetch());
  EXPECT_EQ(st.Int64(0), 14 * 96);
}

TEST_P(OdbcDb, StatementOutlivingItsConnectionFailsCleanly) {
  auto c = std::make_unique<TConnection>(Demo());
  TStatement st(*c);
  st.ExecuteDirect("SELECT STATION_ID FROM MV_SITES");
  ASSERT_TRUE(st.Fetch());
  c->Disconnect();
  try {
    st.ExecuteDirect("SELECT 1");
    ADD_FAILURE() << "no error";
  } catch (const EOdbcError& e) {
    EXPECT_NE(std::string(e.what()).find("connection is closed"), std::string::npos) << e.what();
  }
  TStatement later(*c = TConnection(Demo()));
  c.reset();
  EXPECT_THROW(later.Prepare("SELECT 1"), EOdbcError);
}

TEST_P(OdbcDb, CancelStopsARunningQuery) {
  TConnection c(Demo());
  TStatement st(c);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      st.Cancel();
    }
  });
  // Finishes by itself after some 20 seconds should a cancel not work.
  const char* slow = Pg() ? "SELECT pg_sleep(20)"
                          : "WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X + 1 FROM C WHERE X < 400000000) "
                            "SELECT COUNT(*) FROM C";
  auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(
      {
        st.ExecuteDirect(slow);
        while (st.Fetch()) {
        }
      },
      EOdbcError);
  done = true;
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  // The connection goes on working.
  EXPECT_EQ(CountOf(c, "SELECT COUNT(*) FROM MV_SITES"), 20);

  // A cancel between two fetches stops the next one.
  TStatement rows(c);
  rows.ExecuteDirect("SELECT STATION_ID FROM MV_SITES");
  ASSERT_TRUE(rows.Fetch());
  rows.Cancel();
  try {
    rows.Fetch();
    ADD_FAILURE() << "no error";
  } catch (const EOdbcError& e) {
    EXPECT_EQ(e.SqlState(), "HY008");
  }
}

TEST_P(OdbcDb, TwoConnectionsInTwoThreads) {
  std::latch start(2);
  std::atomic<int> failures{0};
  auto work = [&](const char* station) {
    try {
      TConnection c(Demo());
      TStatement st(c);
      st.SetRowsetSize(100);
      st.Prepare("SELECT STATION_ID, VALUE FROM MV_DATA1 WHERE STATION_ID = ? AND READING_TIME >= ? ORDER BY READING_TIME");
      start.arrive_and_wait();
      for (int round = 0; round < 5; ++round) {
        st.BindText(1, station);
        st.BindTimestamp(2, {2024, 3, 1, 0, 0, 0});
        st.Execute();
        int n = 0;
        while (st.Fetch()) {
          if (st.Text(0) != station) ++failures;
          ++n;
        }
        if (n != 4 * 7 * 96) ++failures;  // four sensors, 1 to 7 March
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      ++failures;
    }
  };
  std::thread a(work, "FTC01"), b(work, "LNK01");
  a.join();
  b.join();
  EXPECT_EQ(failures, 0);
}

// The PostgreSQL copy of the demo data is the same data as the SQLite one.
TEST(OdbcDemoData, SameOnBothDrivers) {
  TConnection lite(DemoLogon("sqlite")), pg(DemoLogon("postgresql"));
  for (const char* table : {"MV_DATA1", "MV_PPDATA1"}) {
    SCOPED_TRACE(table);
    std::string sql = std::string("SELECT COUNT(*), COUNT(VALUE), SUM(VALUE), MIN(READING_TIME), MAX(READING_TIME), "
                                  "SUM(QUALITY) FROM ") + table;
    TStatement a(lite), b(pg);
    a.ExecuteDirect(sql);
    b.ExecuteDirect(sql);
    ASSERT_TRUE(a.Fetch());
    ASSERT_TRUE(b.Fetch());
    EXPECT_EQ(a.Int64(0), b.Int64(0));
    EXPECT_EQ(a.Int64(1), b.Int64(1));
    EXPECT_NEAR(a.Double(2), b.Double(2), std::abs(a.Double(2)) * 1e-9);
    EXPECT_EQ(a.Text(3), b.Text(3));
    EXPECT_EQ(a.Text(4), b.Text(4));
    EXPECT_EQ(a.Int64(5), b.Int64(5));
  }
  EXPECT_EQ(CountOf(lite, "SELECT COUNT(*) FROM MV_DATA1"), 20 * 4 * 14 * 96);

  // Row by row for one station and day, as a report would read them.
  const char* sql =
      "SELECT STATION_ID, SENSORNAME, READING_TIME, VALUE, QUALITY FROM MV_DATA1 WHERE STATION_ID = ? AND "
      "READING_TIME >= ? AND READING_TIME < ? ORDER BY SENSORNAME, READING_TIME";
  TStatement a(lite), b(pg);
  for (TStatement* st : {&a, &b}) {
    st->Prepare(sql);
    st->BindText(1, "LGM01");  // the station with missing readings on the first day
    st->BindTimestamp(2, {2024, 2, 23, 0, 0, 0});
    st->BindTimestamp(3, {2024, 2, 24, 0, 0, 0});
    st->Execute();
  }
  int rows = 0, nulls = 0;
  while (a.Fetch()) {
    ASSERT_TRUE(b.Fetch());
    ++rows;
    for (std::size_t col : {0u, 1u, 2u, 4u}) EXPECT_EQ(a.Text(col), b.Text(col));
    ASSERT_EQ(a.IsNull(3), b.IsNull(3));
    if (a.IsNull(3)) ++nulls;
    else EXPECT_NEAR(a.Double(3), b.Double(3), 1e-9);
  }
  EXPECT_FALSE(b.Fetch());
  EXPECT_EQ(rows, 4 * 96);
  EXPECT_GT(nulls, 0);
}

TEST(OdbcThreads, SqliteAndPostgresqlAtOnce) {
  std::latch start(2);
  std::atomic<int> good{0};
  auto work = [&](std::string backend) {
    TConnection c(DemoLogon(backend));
    start.arrive_and_wait();
    for (int i = 0; i < 10; ++i)
      if (CountOf(c, "SELECT COUNT(*) FROM MV_PPDATA1 WHERE SENSORNAME = 'RAIN'") == 20 * 14 * 24) ++good;
  };
  std::thread a(work, "sqlite"), b(work, "postgresql");
  a.join();
  b.join();
  EXPECT_EQ(good, 20);
}

}  // namespace
}  // namespace mv::odbc
