// A thin RAII layer over the ODBC C API (unixODBC driver manager).
//
// Used by the report engine to run report queries and by the scheduler for
// its database connection. Tested with the SQLite ODBC driver and psqlODBC.
//
// Errors: every failing ODBC call throws EOdbcError, whose text is built from
// the driver's diagnostic records. No text this layer produces ever holds the
// password: connection strings and diagnostics are redacted before they are
// kept or thrown.
//
// Threads: one TConnection and its statements belong to one thread at a time.
// Different connections may be used in different threads at once. The only
// call meant for another thread is TStatement::Cancel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mv::odbc {

class EOdbcError : public std::runtime_error {
public:
  EOdbcError(const std::string& message, std::string sqlState = {}, long nativeError = 0);

  // Five-character SQLSTATE of the first diagnostic record ("08001",
  // "IM002", "HYT00", ...); empty when the error did not come from a driver.
  const std::string& SqlState() const noexcept { return FSqlState; }
  long NativeError() const noexcept { return FNativeError; }

private:
  std::string FSqlState;
  long FNativeError;
};

// A data source known to the driver manager (user and system odbc.ini).
struct TDataSourceInfo {
  std::string Name;
  std::string Description;  // the driver's name, as SQLDataSources gives it
};

struct TDriverInfo {
  std::string Name;
  std::vector<std::string> Attributes;  // "Driver=/usr/lib/...", ...
};

// Every data source, user ones first, in the driver manager's order.
std::vector<TDataSourceInfo> DataSources();
std::vector<TDriverInfo> Drivers();

struct TLogon {
  std::string DataSource;    // DSN
  std::string UserName;      // UID; may be empty
  std::string Password;      // PWD; may be empty
  std::string DatabaseName;  // DATABASE; empty keeps the data source's own.
                             // Beware: for the SQLite driver this is the file.
};

// Builds "DSN=...;UID=...;PWD=...[;DATABASE=...]". A value holding ';', '{',
// '}', '=' or outer blanks is enclosed in braces, a '}' inside doubled.
std::string BuildConnectionString(const TLogon& logon);

// Replaces the value of every PWD= / PASSWORD= attribute with "***", and every
// further occurrence of `password` (when not empty) too.
std::string RedactPassword(std::string_view text, std::string_view password = {});

// SQL type codes as ODBC defines them (SQL_VARCHAR = 12, SQL_LONGVARCHAR = -1,
// SQL_INTEGER = 4, SQL_BIGINT = -5, SQL_DOUBLE = 8, SQL_FLOAT = 6,
// SQL_NUMERIC = 2, SQL_TYPE_DATE = 91, SQL_TYPE_TIMESTAMP = 93, ...).
struct TColumnInfo {
  std::string Name;
  int SqlType = 0;
  std::size_t Size = 0;     // column size: characters, digits or precision
  int Decimals = 0;         // decimal digits (scale)
  bool Nullable = true;     // true also when the driver does not know
  std::string TypeName;     // the data source's own type name; filled by
                            // TConnection::TableColumns only
};

// True for the character types (CHAR, VARCHAR, LONGVARCHAR and wide forms).
bool IsTextType(int sqlType) noexcept;
// True for the exact and approximate numeric types, BIT included.
bool IsNumericType(int sqlType) noexcept;
// True for DATE, TIME and TIMESTAMP types.
bool IsDateTimeType(int sqlType) noexcept;

// A local wall-clock time, no time zone.
struct TTimestamp {
  int Year = 0, Month = 0, Day = 0;     // Month 1..12, Day 1..31
  int Hour = 0, Minute = 0, Second = 0; // 0..23, 0..59, 0..59
  friend bool operator==(const TTimestamp&, const TTimestamp&) = default;
};

// "YYYY-MM-DD HH:MM:SS", the form readings are stored in.
std::string FormatTimestamp(const TTimestamp& t);

class TStatement;

class TConnection {
public:
  TConnection();  // not connected
  // Connects at once; see Connect.
  explicit TConnection(const TLogon& logon, int loginTimeoutSeconds = 15);
  ~TConnection();
  TConnection(TConnection&&) noexcept;
  TConnection& operator=(TConnection&&) noexcept;
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Connects without prompting (SQL_DRIVER_NOPROMPT). Throws EOdbcError with
  // the driver's message ("[IM002] ... Data source name not found",
  // "[08001] ... password authentication failed ..."), password removed.
  // A connection already open is closed first.
  void Connect(const TLogon& logon, int loginTimeoutSeconds = 15);
  // Closes the connection. Statements still alive lose their handles and
  // throw on further use. An open transaction is rolled back. Never throws.
  void Disconnect() noexcept;
  bool Connected() const noexcept;

  // The logon this connection was made with, password included; for a new
  // statement's error texts and the caller's own bookkeeping.
  const TLogon& Logon() const noexcept;
  std::string DbmsName() const;    // "SQLite", "PostgreSQL"
  std::string DriverName() const;  // "sqlite3odbc.so", "psqlodbcw.so"

  // Columns of a table in their ordinal order (SQLColumns); empty when there
  // is no such table. The name is tried as given, then in lower and in upper
  // case, since PostgreSQL stores unquoted names in lower case.
  std::vector<TColumnInfo> TableColumns(std::string_view table) const;

  // Runs a statement that returns no rows (DDL, INSERT without parameters).
  // Returns the number of rows affected, -1 when not known.
  std::int64_t Execute(std::string_view sql);

  // Transactions; auto-commit is on by default.
  void SetAutoCommit(bool on);
  void Commit();
  void Rollback();

private:
  friend class TStatement;
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// A statement on one connection: prepare, bind parameters, execute, then
// stream the rows. Rows are fetched in blocks into column buffers bound once
// per result set, so memory does not grow with the number of rows.
//
// Column indices for values and metadata are 0-based; parameter positions
// are 1-based, as in SQL text ('?' number 1 is the first).
//
// Every column is fetched as text (both drivers deliver text natively);
// Double, Int64 and Timestamp parse it. A value longer than the bound width
// is read completely on demand, so Text always gives the whole value.
//
// Column names come as the data source gives them: PostgreSQL gives unquoted
// names in lower case. While it streams, the SQLite driver describes computed
// columns (COUNT(*), SUM(...), expressions) as VARCHAR(255); their text is
// still the number.
class TStatement {
public:
  // Throws when the connection is not open. A statement that outlives its
  // connection's Disconnect or destruction throws on every further use.
  explicit TStatement(TConnection& connection);
  ~TStatement();
  TStatement(TStatement&&) noexcept;
  TStatement& operator=(TStatement&&) noexcept;
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  // Rows fetched per block (default 512, 1..4096). Takes effect at the next
  // Execute.
  void SetRowsetSize(std::size_t rows);
  // Widest text buffer bound per column in bytes (default 256). Longer
  // values are still read whole; this only trades memory for speed.
  void SetMaxBoundWidth(std::size_t bytes);

  // Prepares SQL with '?' markers. Clears the parameters bound before.
  // Errors in the SQL may show only at Execute: the SQLite driver is given
  // the statement then, with its values in place (bound parameters would
  // make it read the whole result into memory before the first row).
  void Prepare(std::string_view sql);
  std::size_t ParameterCount() const;

  // Parameter values are copied; the arguments need not outlive the call.
  void BindText(int position, std::string_view value);
  // Numbers compare with integer and float columns alike on every driver
  // (on PostgreSQL the marker is given its type: 3.5 against an integer
  // column would otherwise fail as an invalid integer).
  void BindDouble(int position, double value);
  void BindInt64(int position, std::int64_t value);
  void BindNull(int position);
  // A date-time sent as the text "YYYY-MM-DD HH:MM:SS": compares correctly
  // against PostgreSQL timestamp columns and against text columns holding
  // that form, including rows exactly on the bound (the SQLite driver would
  // append ".000" to a binary timestamp parameter, which text comparison
  // places after the boundary row).
  void BindTimestamp(int position, const TTimestamp& value);
  void ClearParameters();

  // Executes the prepared statement with the bound parameters. Closes a
  // result set still open from the last execution first.
  void Execute();
  // Prepares and executes in one call, for statements without parameters.
  void ExecuteDirect(std::string_view sql);

  // Rows affected by the last INSERT/UPDATE/DELETE; -1 when not known.
  std::int64_t AffectedRows() const;

  // Result set of the last execution; empty when it has none.
  const std::vector<TColumnInfo>& Columns() const noexcept;
  std::size_t ColumnCount() const noexcept;

  // Moves to the next row; false at the end (the cursor is then closed).
  bool Fetch();
  // Closes the result set early. Never throws.
  void CloseCursor() noexcept;

  // Values of the current row (the last Fetch that returned true).
  bool IsNull(std::size_t column) const;
  // The whole value as text; valid until the next Fetch, CloseCursor or
  // Execute. A null gives "".
  std::string_view Text(std::size_t column) const;
  // Text converted; throws EOdbcError when the value is not of that form.
  // A null gives 0 / a zero timestamp: check IsNull first.
  double Double(std::size_t column) const;
  std::int64_t Int64(std::size_t column) const;
  // Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" and a 'T' in place
  // of the blank; fractions of a second are dropped.
  TTimestamp Timestamp(std::size_t column) const;

  // Asks the driver to stop a running Execute or Fetch (SQLCancel). Safe to
  // call from another thread while this statement is in use; the interrupted
  // call then throws EOdbcError (SQLSTATE "HY008" on most drivers). The
  // statement stays cancelled: every later Execute or Fetch throws too.
  void Cancel() noexcept;

private:
  friend class TConnection;
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace mv::odbc
