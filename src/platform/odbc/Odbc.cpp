#include "platform/odbc/Odbc.h"

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <set>

namespace mv::odbc {

EOdbcError::EOdbcError(const std::string& message, std::string sqlState, long nativeError)
    : std::runtime_error(message), FSqlState(std::move(sqlState)), FNativeError(nativeError) {}

namespace {

bool IEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// ---- handles --------------------------------------------------------------

struct THandleDeleter {
  SQLSMALLINT Type;
  void operator()(void* h) const noexcept {
    if (h) SQLFreeHandle(Type, h);
  }
};
using THandle = std::unique_ptr<void, THandleDeleter>;

// The process-wide ODBC 3 environment. Connections hold a reference, so it
// lives until the last of them is gone, whatever the order of static
// destruction.
class TEnvironment {
public:
  TEnvironment() : FEnv(nullptr, THandleDeleter{SQL_HANDLE_ENV}) {
    // The drivers read odbc.ini through libodbcinst, which caches what it
    // parsed. The driver manager loads and unloads that library with each
    // driver, which orphans the cache (a leak each time); kept loaded, the
    // cache stays owned.
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
      throw EOdbcError("Cannot create the ODBC environment: is the unixODBC driver manager installed?");
    FEnv.reset(env);
    SQLRETURN rc = SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(rc)) throw EOdbcError("The ODBC driver manager does not support ODBC 3");
  }
  SQLHENV Handle() const noexcept { return FEnv.get(); }
  // SQLDataSources and SQLDrivers keep a cursor in the environment.
  std::mutex ListLock;

private:
  THandle FEnv;
};

// psqlODBC sets the process's locale while it connects (setlocale is not
// thread-safe): connections are opened one at a time.
std::mutex ConnectLock;

std::shared_ptr<TEnvironment> Environment() {
  static std::shared_ptr<TEnvironment> env = std::make_shared<TEnvironment>();
  return env;
}

// ---- diagnostics ----------------------------------------------------------

struct TDiag {
  std::string Text;
  std::string SqlState;
  long Native = 0;
};

TDiag ReadDiag(SQLSMALLINT type, SQLHANDLE handle) {
  TDiag d;
  if (!handle) return d;
  for (SQLSMALLINT i = 1; i <= 10; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, msg, sizeof msg, &len);
    if (!SQL_SUCCEEDED(rc)) break;
    std::string text(reinterpret_cast<char*>(msg), std::min<std::size_t>(len, sizeof msg - 1));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (i == 1) {
      d.SqlState = reinterpret_cast<char*>(state);
      d.Native = native;
    } else {
      d.Text += "; ";
    }
    d.Text += '[';
    d.Text += reinterpret_cast<char*>(state);
    d.Text += "] ";
    d.Text += text;
  }
  return d;
}

[[noreturn]] void ThrowOdbc(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view context,
                            std::string_view password) {
  TDiag d = ReadDiag(type, handle);
  std::string msg(context);
  if (!d.Text.empty()) {
    msg += ": ";
    msg += d.Text;
  } else if (rc == SQL_INVALID_HANDLE) {
    msg += ": invalid ODBC handle";
  } else {
    msg += ": the driver gave no reason (return code " + std::to_string(rc) + ")";
  }
  throw EOdbcError(RedactPassword(msg, password), d.SqlState, d.Native);
}

// One checking function for every ODBC call: success and success with
// information pass, everything else becomes EOdbcError.
void CheckOdbc(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view context,
               std::string_view password = {}) {
  if (!SQL_SUCCEEDED(rc)) ThrowOdbc(rc, type, handle, context, password);
}

SQLCHAR* Sql(std::string& s) { return reinterpret_cast<SQLCHAR*>(s.data()); }

// ---- value parsing --------------------------------------------------------

std::string_view Trim(std::string_view v) {
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
  return v;
}

std::optional<double> ParseDouble(std::string_view v) {
  v = Trim(v);
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  if (v.empty()) return std::nullopt;
  double d = 0;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
  if (ec != std::errc() || p != v.data() + v.size()) return std::nullopt;
  return d;
}

std::optional<std::int64_t> ParseInt64(std::string_view v) {
  v = Trim(v);
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  std::int64_t i = 0;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), i);
  if (ec == std::errc() && p == v.data() + v.size() && !v.empty()) return i;
  // "5.0" from a REAL column, "5.00" from a NUMERIC(10,2) column
  auto d = ParseDouble(v);
  if (d && std::trunc(*d) == *d && *d >= -9.2233720368547758e18 && *d < 9.2233720368547758e18)
    return static_cast<std::int64_t>(*d);
  return std::nullopt;
}

bool ReadDigits(std::string_view& v, int count, int& out) {
  if (v.size() < static_cast<std::size_t>(count)) return false;
  out = 0;
  for (int i = 0; i < count; ++i) {
    char c = v[i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  v.remove_prefix(count);
  return true;
}

bool Expect(std::string_view& v, char c) {
  if (v.empty() || v.front() != c) return false;
  v.remove_prefix(1);
  return true;
}

std::optional<TTimestamp> ParseTimestamp(std::string_view v) {
  v = Trim(v);
  TTimestamp t;
  if (!ReadDigits(v, 4, t.Year) || !Expect(v, '-') || !ReadDigits(v, 2, t.Month) || !Expect(v, '-') ||
      !ReadDigits(v, 2, t.Day))
    return std::nullopt;
  if (!v.empty()) {
    if (v.front() != ' ' && v.front() != 'T') return std::nullopt;
    v.remove_prefix(1);
    if (!ReadDigits(v, 2, t.Hour) || !Expect(v, ':') || !ReadDigits(v, 2, t.Minute)) return std::nullopt;
    if (!v.empty() && v.front() == ':') {
      v.remove_prefix(1);
      if (!ReadDigits(v, 2, t.Second)) return std::nullopt;
      if (!v.empty() && v.front() == '.') {
        v.remove_prefix(1);
        while (!v.empty() && v.front() >= '0' && v.front() <= '9') v.remove_prefix(1);
      }
    }
  }
  if (!v.empty()) return std::nullopt;
  if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 || t.Minute > 59 || t.Second > 60)
    return std::nullopt;
  return t;
}

// Text buffer width per row for a column of a result set, NUL included.
std::size_t BoundWidth(const TColumnInfo& c, std::size_t maxWidth) {
  std::size_t w;
  if (IsTextType(c.SqlType)) {
    // Sizes count characters; UTF-8 needs up to 3 bytes for most of them.
    w = c.Size == 0 ? maxWidth : std::min(maxWidth, std::max<std::size_t>(c.Size * 3, 8));
  } else if (IsNumericType(c.SqlType) || IsDateTimeType(c.SqlType) || c.SqlType == SQL_GUID) {
    w = std::min(maxWidth, std::max<std::size_t>(c.Size + 3, 40));
  } else {
    w = maxWidth;
  }
  return w + 1;
}

// Where the '?' parameter markers and the comments of SQL text are, string
// literals and quoted identifiers skipped.
struct TSqlScan {
  std::vector<std::size_t> Markers;                         // offsets
  std::vector<std::pair<std::size_t, std::size_t>> Comments;  // [begin, end)
};

TSqlScan ScanSql(std::string_view sql) {
  TSqlScan scan;
  std::size_t i = 0, n = sql.size();
  auto skipQuoted = [&](char close, bool backslashEscapes = false) {
    ++i;
    while (i < n) {
      if (backslashEscapes && sql[i] == '\\') {
        i += 2;
        continue;
      }
      if (sql[i] == close) {
        if (close != ']' && i + 1 < n && sql[i + 1] == close) {
          i += 2;  // doubled quote inside the quoted text
          continue;
        }
        ++i;
        return;
      }
      ++i;
    }
  };
  while (i < n) {
    char c = sql[i];
    if (c == '\'') {
      // PostgreSQL's E'...' knows backslash escapes
      bool escapes = i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') && (i == 1 || !IsWordChar(sql[i - 2]));
      skipQuoted(c, escapes);
    } else if (c == '"' || c == '`') {
      skipQuoted(c);
    } else if (c == '$' && (i == 0 || !IsWordChar(sql[i - 1]))) {
      // PostgreSQL's dollar quoting: $$...$$ or $tag$...$tag$
      std::size_t close = i + 1;
      while (close < n && (std::isalpha(static_cast<unsigned char>(sql[close])) || sql[close] == '_')) ++close;
      if (close < n && sql[close] == '$') {
        std::string_view tag = sql.substr(i, close + 1 - i);
        std::size_t end = sql.find(tag, close + 1);
        i = end == std::string_view::npos ? n : end + tag.size();
      } else {
        ++i;
      }
    } else if (c == '[') {
      skipQuoted(']');
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      std::size_t begin = i;
      while (i < n && sql[i] != '\n') ++i;
      scan.Comments.emplace_back(begin, i);
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t end = sql.find("*/", i + 2);
      std::size_t begin = i;
      i = end == std::string_view::npos ? n : end + 2;
      scan.Comments.emplace_back(begin, i);
    } else {
      if (c == '?') scan.Markers.push_back(i);
      ++i;
    }
  }
  return scan;
}

struct TParam {
  bool Set = false;
  SQLSMALLINT CType = SQL_C_CHAR;
  SQLSMALLINT SqlType = SQL_VARCHAR;
  SQLULEN ColumnSize = 0;
  SQLSMALLINT Decimals = 0;
  std::string Text;
  double Double = 0;
  std::int64_t Int = 0;
  SQLLEN Ind = 0;
};

// The parameter as an SQLite literal, or nothing when it has no exact one
// (a text holding NUL, a number that is not finite).
std::optional<std::string> SqliteLiteral(const TParam& p) {
  if (p.Ind == SQL_NULL_DATA) return "NULL";
  if (p.CType == SQL_C_DOUBLE) {
    if (!std::isfinite(p.Double)) return std::nullopt;
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, p.Double);
    if (ec != std::errc()) return std::nullopt;
    std::string v(buf, end);
    if (v.find_first_of(".e") == std::string::npos) v += ".0";  // stays a REAL
    return v.front() == '-' ? "(" + v + ")" : v;  // "x-?" must not become "x--1"
  }
  if (p.CType == SQL_C_SBIGINT) {
    if (p.Int == std::numeric_limits<std::int64_t>::min()) return "(-9223372036854775807-1)";
    std::string v = std::to_string(p.Int);
    return v.front() == '-' ? "(" + v + ")" : v;
  }
  if (p.Text.find('\0') != std::string::npos) return std::nullopt;
  std::string v = "'";
  for (char c : p.Text) {
    v += c;
    if (c == '\'') v += '\'';
  }
  v += '\'';
  return v;
}

struct TColumnBuffer {
  std::size_t Width = 0;  // bytes per row, NUL included
  std::vector<char> Data;
  std::vector<SQLLEN> Ind;
};

}  // namespace

// ---- free functions -------------------------------------------------------

bool IsTextType(int t) noexcept {
  switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

bool IsNumericType(int t) noexcept {
  switch (t) {
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT: case SQL_FLOAT:
    case SQL_REAL: case SQL_DOUBLE: case SQL_TINYINT: case SQL_BIGINT: case SQL_BIT:
      return true;
    default:
      return false;
  }
}

bool IsDateTimeType(int t) noexcept {
  switch (t) {
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP:
    case SQL_DATE: case SQL_TIME: case SQL_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

std::string FormatTimestamp(const TTimestamp& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second);
  return buf;
}

namespace {

bool NeedsBraces(std::string_view v) {
  if (v.empty()) return false;
  if (v.front() == ' ' || v.back() == ' ') return true;
  return v.find_first_of(";{}=") != std::string_view::npos;
}

void AppendAttribute(std::string& out, std::string_view key, std::string_view value) {
  if (!out.empty()) out += ';';
  out += key;
  out += '=';
  if (!NeedsBraces(value)) {
    out += value;
    return;
  }
  out += '{';
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
}

}  // namespace

std::string BuildConnectionString(const TLogon& logon) {
  std::string s;
  AppendAttribute(s, "DSN", logon.DataSource);
  if (!logon.UserName.empty()) AppendAttribute(s, "UID", logon.UserName);
  if (!logon.Password.empty()) AppendAttribute(s, "PWD", logon.Password);
  if (!logon.DatabaseName.empty()) AppendAttribute(s, "DATABASE", logon.DatabaseName);
  return s;
}

std::string RedactPassword(std::string_view text, std::string_view password) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // An attribute PWD= or PASSWORD= at the start of the text or of an
    // attribute, in any case.
    bool atStart = i == 0 || !IsWordChar(text[i - 1]);
    std::size_t keyLen = 0;
    if (atStart) {
      for (std::string_view key : {std::string_view("PWD"), std::string_view("PASSWORD")}) {
        std::size_t k = i + key.size();
        if (k < text.size() && IEquals(text.substr(i, key.size()), key)) {
          while (k < text.size() && text[k] == ' ') ++k;
          if (k < text.size() && text[k] == '=') {
            keyLen = k + 1 - i;
            break;
          }
        }
      }
    }
    if (keyLen == 0) {
      out += text[i++];
      continue;
    }
    out.append(text.substr(i, keyLen));
    i += keyLen;
    if (i < text.size() && text[i] == '{') {
      // braced value; "}}" stands for one brace
      ++i;
      while (i < text.size()) {
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
    } else {
      while (i < text.size() && text[i] != ';' && text[i] != '\n') ++i;
    }
    out += "***";
  }
  if (password.empty()) return out;
  // The password itself, wherever a driver may have echoed it. A very short
  // one is replaced only where it stands as a word of its own, so that a
  // message is not made unreadable.
  std::string result;
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = out.find(password, pos);
    if (hit == std::string::npos) break;
    bool whole = (hit == 0 || !IsWordChar(out[hit - 1])) &&
                 (hit + password.size() == out.size() || !IsWordChar(out[hit + password.size()]));
    result.append(out, pos, hit - pos);
    if (password.size() >= 4 || whole) {
      result += "***";
    } else {
      result.append(password);
    }
    pos = hit + password.size();
  }
  result.append(out, pos, std::string::npos);
  return result;
}

std::vector<TDataSourceInfo> DataSources() {
  auto env = Environment();
  std::lock_guard lock(env->ListLock);
  std::vector<TDataSourceInfo> list;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (true) {
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1] = {};
    SQLCHAR desc[1024] = {};
    SQLSMALLINT nameLen = 0, descLen = 0;
    SQLRETURN rc = SQLDataSources(env->Handle(), direction, name, sizeof name, &nameLen, desc, sizeof desc, &descLen);
    if (rc == SQL_NO_DATA) break;
    CheckOdbc(rc, SQL_HANDLE_ENV, env->Handle(), "Cannot list the ODBC data sources");
    list.push_back({reinterpret_cast<char*>(name), reinterpret_cast<char*>(desc)});
    direction = SQL_FETCH_NEXT;
  }
  return list;
}

std::vector<TDriverInfo> Drivers() {
  auto env = Environment();
  std::lock_guard lock(env->ListLock);
  std::vector<TDriverInfo> list;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (true) {
    SQLCHAR name[512] = {};
    SQLCHAR attrs[4096] = {};
    SQLSMALLINT nameLen = 0, attrLen = 0;
    SQLRETURN rc = SQLDrivers(env->Handle(), direction, name, sizeof name, &nameLen, attrs, sizeof attrs, &attrLen);
    if (rc == SQL_NO_DATA) break;
    CheckOdbc(rc, SQL_HANDLE_ENV, env->Handle(), "Cannot list the ODBC drivers");
    TDriverInfo info{reinterpret_cast<char*>(name), {}};
    // "key=value\0key=value\0\0"
    std::size_t limit = std::min<std::size_t>(std::max<SQLSMALLINT>(attrLen, 0), sizeof attrs - 1);
    for (std::size_t p = 0; p < limit && attrs[p];) {
      const char* a = reinterpret_cast<char*>(attrs + p);
      std::size_t n = strnlen(a, limit - p);
      info.Attributes.emplace_back(a, n);
      p += n + 1;
    }
    list.push_back(std::move(info));
    direction = SQL_FETCH_NEXT;
  }
  return list;
}

// ---- connection -----------------------------------------------------------

struct TConnection::TImpl {
  std::shared_ptr<TEnvironment> Env = Environment();
  THandle Dbc{nullptr, THandleDeleter{SQL_HANDLE_DBC}};
  bool IsConnected = false;
  TLogon Logon;
  bool BlockGetData = false;  // SQLGetData works on any row of a block
  // The SQLite driver streams rows (StepAPI) only for statements without
  // bound parameters; with them it reads the whole result into memory first
  // (150 MB for a week of readings). Its parameters are therefore sent as
  // exactly encoded literals.
  bool InlineParameters = false;
  // PostgreSQL guesses the type of an untyped parameter from its context:
  // "CHANNEL < ?" makes it an integer, and 3.5 then fails; with server-side
  // cursors (UseDeclareFetch) psqlODBC sends every parameter untyped. Numeric
  // parameters are therefore given their type in the SQL text.
  bool CastNumbers = false;
  std::mutex StatementsLock;  // guards Statements
  std::set<TStatement::TImpl*> Statements;

  ~TImpl();
  void Close() noexcept;
  std::string Info(SQLUSMALLINT what) const;
  [[noreturn]] void Throw(SQLRETURN rc, std::string_view context) const {
    ThrowOdbc(rc, SQL_HANDLE_DBC, Dbc.get(), context, Logon.Password);
  }
};

struct TStatement::TImpl {
  TConnection::TImpl* Conn = nullptr;  // null once the connection is gone
  std::atomic<SQLHSTMT> Stmt{SQL_NULL_HSTMT};
  // Cancel from another thread. SQLCancel is sent only while a driver call
  // runs: between calls it would close the cursor, and it clears the
  // diagnostics the owner may be reading. A cancel also stays in force, so
  // one that arrives between two calls stops the next.
  std::mutex CancelLock;
  bool InCall = false;  // guarded by CancelLock
  std::atomic<bool> Cancelled{false};
  std::size_t RowsetSize = 512;
  std::size_t MaxWidth = 256;
  std::string SqlText;  // for error messages
  std::vector<TParam> Params;  // by position - 1
  std::size_t NumParams = 0;
  std::vector<TColumnInfo> Columns;
  std::vector<TColumnBuffer> Buffers;
  std::vector<SQLUSMALLINT> RowStatus;
  SQLULEN Fetched = 0;
  std::size_t Rowset = 1;  // rows per block of the open result set
  std::size_t Row = 0;     // index of the current row in the block
  bool HaveRow = false;
  bool CursorOpen = false;
  std::int64_t Affected = -1;
  // Whole values of the current row that did not fit their buffers.
  mutable std::vector<std::optional<std::string>> LongValues;

  ~TImpl() { Release(); }

  void Release() noexcept {
    std::lock_guard lock(CancelLock);  // not while Cancel uses the handle
    SQLHSTMT h = Stmt.exchange(SQL_NULL_HSTMT);
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
    Buffers.clear();
    CursorOpen = HaveRow = false;
  }

  SQLHSTMT Handle(const char* what) const {
    SQLHSTMT h = Stmt.load();
    if (!h || !Conn) throw EOdbcError(std::string("Cannot ") + what + ": the database connection is closed");
    return h;
  }

  // Runs a driver call that may take long, where Cancel can reach it.
  template <typename F>
  SQLRETURN Call(F&& call) {
    ThrowIfCancelled();
    {
      std::lock_guard lock(CancelLock);
      InCall = true;
    }
    SQLRETURN rc = call();
    std::lock_guard lock(CancelLock);
    InCall = false;
    return rc;
  }

  void ThrowIfCancelled() const {
    if (Cancelled) throw EOdbcError(QueryContext("Cancelled the query"), "HY008");
  }

  std::string_view Password() const { return Conn ? std::string_view(Conn->Logon.Password) : std::string_view(); }

  [[noreturn]] void Throw(SQLRETURN rc, std::string_view context) const {
    ThrowOdbc(rc, SQL_HANDLE_STMT, Stmt.load(), context, Password());
  }

  std::string QueryContext(std::string_view what) const {
    std::string s(what);
    if (!SqlText.empty()) {
      s += " \"";
      s += SqlText.size() > 200 ? SqlText.substr(0, 200) + "..." : SqlText;
      s += '"';
    }
    return s;
  }

  void Close() noexcept {
    SQLHSTMT h = Stmt.load();
    if (h && CursorOpen) SQLFreeStmt(h, SQL_CLOSE);
    CursorOpen = HaveRow = false;
    Fetched = 0;
  }

  TParam& ParamAt(int position) {
    if (position < 1 || position > 32767)
      throw std::out_of_range("ODBC parameter position " + std::to_string(position) + " is out of range");
    if (Params.size() < static_cast<std::size_t>(position)) Params.resize(position);
    TParam& p = Params[position - 1];
    p = TParam{};
    p.Set = true;
    return p;
  }

  void BindParameters(SQLHSTMT h) {
    SQLFreeStmt(h, SQL_RESET_PARAMS);
    CheckParameterCount();
    std::size_t count = std::max(NumParams, Params.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (i >= Params.size() || !Params[i].Set)
        throw EOdbcError(QueryContext("Cannot run") + ": parameter " + std::to_string(i + 1) + " has no value");
      TParam& p = Params[i];
      SQLPOINTER value = nullptr;
      SQLLEN bufLen = 0;
      switch (p.CType) {
        case SQL_C_DOUBLE: value = &p.Double; bufLen = sizeof p.Double; break;
        case SQL_C_SBIGINT: value = &p.Int; bufLen = sizeof p.Int; break;
        default: value = p.Text.data(); bufLen = static_cast<SQLLEN>(p.Text.size() + 1); break;
      }
      SQLRETURN rc = SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, p.CType, p.SqlType,
                                      p.ColumnSize, p.Decimals, value, bufLen, &p.Ind);
      if (!SQL_SUCCEEDED(rc)) Throw(rc, QueryContext("Cannot bind parameter " + std::to_string(i + 1) + " of"));
    }
  }

  void CheckParameterCount() const {
    if (Params.size() > NumParams && NumParams > 0)
      throw EOdbcError(QueryContext("Cannot run") + ": a value is given for parameter " +
                       std::to_string(Params.size()) + " but the query has " + std::to_string(NumParams));
  }

  // The SQL text with every marker replaced by its parameter's literal and
  // every comment by a blank (the SQLite driver counts a '?' in a comment as
  // a marker); nothing when a parameter has no exact literal, or with
  // withLiterals false, the text with its markers and without comments.
  std::optional<std::string> InlineSql(bool withLiterals = true) const {
    if (withLiterals) CheckParameterCount();
    TSqlScan scan = ScanSql(SqlText);
    std::string out;
    out.reserve(SqlText.size() + 24 * scan.Markers.size());
    std::size_t from = 0, k = 0, m = 0;
    while (true) {
      std::size_t nextMarker = k < scan.Markers.size() ? scan.Markers[k] : std::string::npos;
      std::size_t nextComment = m < scan.Comments.size() ? scan.Comments[m].first : std::string::npos;
      if (nextMarker == std::string::npos && nextComment == std::string::npos) break;
      if (nextComment < nextMarker) {
        out.append(SqlText, from, nextComment - from);
        out += ' ';
        from = scan.Comments[m++].second;
        continue;
      }
      out.append(SqlText, from, nextMarker - from);
      from = nextMarker + 1;
      if (!withLiterals) {
        out += '?';
      } else {
        if (k >= Params.size() || !Params[k].Set)
          throw EOdbcError(QueryContext("Cannot run") + ": parameter " + std::to_string(k + 1) + " has no value");
        std::optional<std::string> lit = SqliteLiteral(Params[k]);
        if (!lit) return std::nullopt;
        out += *lit;
      }
      ++k;
    }
    out.append(SqlText, from, std::string::npos);
    return out;
  }

  // SqlText with each marker of a numeric parameter wrapped in a cast.
  std::string WithNumberCasts() const {
    TSqlScan scan = ScanSql(SqlText);
    std::string out;
    std::size_t from = 0;
    for (std::size_t k = 0; k < scan.Markers.size() && k < Params.size(); ++k) {
      const TParam& p = Params[k];
      const char* type = p.Ind == SQL_NULL_DATA   ? nullptr
                         : p.CType == SQL_C_DOUBLE ? "DOUBLE PRECISION"
                         : p.CType == SQL_C_SBIGINT ? "BIGINT"
                                                    : nullptr;
      if (!type) continue;
      out.append(SqlText, from, scan.Markers[k] - from);
      out += "CAST(? AS ";
      out += type;
      out += ')';
      from = scan.Markers[k] + 1;
    }
    out.append(SqlText, from, std::string::npos);
    return out;
  }

  // Runs SqlText with the parameters. Always directly: psqlODBC types the
  // parameters of a statement prepared before (by SQLPrepare) from the
  // server's guess rather than from the binding, so a 3.5 compared with an
  // integer column fails; executed directly, the binding's types are sent.
  void Run(SQLHSTMT h) {
    std::string text;
    if (Conn->InlineParameters) {
      SQLFreeStmt(h, SQL_RESET_PARAMS);
      if (std::optional<std::string> sql = InlineSql()) {
        SQLRETURN rc = Call([&] { return SQLExecDirect(h, Sql(*sql), static_cast<SQLINTEGER>(sql->size())); });
        AfterExecute(h, rc);
        return;
      }
      // no exact literal: bind for real, at the cost of memory
      text = *InlineSql(false);
    } else if (Conn->CastNumbers) {
      text = WithNumberCasts();
    } else {
      text = SqlText;
    }
    BindParameters(h);
    SQLRETURN rc = Call([&] { return SQLExecDirect(h, Sql(text), static_cast<SQLINTEGER>(text.size())); });
    AfterExecute(h, rc);
  }

  // Sets up the column buffers of a result set just produced.
  void OpenResult(SQLHSTMT h) {
    Columns.clear();
    Buffers.clear();
    LongValues.clear();
    HaveRow = false;
    Fetched = 0;
    SQLSMALLINT count = 0;
    SQLRETURN rc = SQLNumResultCols(h, &count);
    if (!SQL_SUCCEEDED(rc)) Throw(rc, QueryContext("Cannot read the result of"));
    CursorOpen = count > 0;
    if (count <= 0) return;
    Columns.resize(count);
    for (SQLSMALLINT c = 0; c < count; ++c) {
      SQLCHAR name[512] = {};
      SQLSMALLINT nameLen = 0, type = 0, decimals = 0, nullable = SQL_NULLABLE_UNKNOWN;
      SQLULEN size = 0;
      rc = SQLDescribeCol(h, c + 1, name, sizeof name, &nameLen, &type, &size, &decimals, &nullable);
      if (!SQL_SUCCEEDED(rc)) Throw(rc, QueryContext("Cannot describe the columns of"));
      TColumnInfo& ci = Columns[c];
      ci.Name = reinterpret_cast<char*>(name);
      ci.SqlType = type;
      ci.Size = size;
      ci.Decimals = decimals;
      ci.Nullable = nullable != SQL_NO_NULLS;
    }
    // A long value is read with SQLGetData. Drivers that cannot do that on
    // any row of a block (the SQLite driver) fetch one row at a time, which
    // costs them little since they step row by row anyway.
    Rowset = Conn->BlockGetData ? RowsetSize : 1;
    rc = SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(Rowset)), 0);
    if (!SQL_SUCCEEDED(rc)) Rowset = 1;
    RowStatus.assign(Rowset, SQL_ROW_NOROW);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, RowStatus.data(), 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &Fetched, 0);
    Buffers.resize(count);
    LongValues.resize(count);
    for (SQLSMALLINT c = 0; c < count; ++c) {
      TColumnBuffer& b = Buffers[c];
      b.Width = BoundWidth(Columns[c], MaxWidth);
      b.Data.assign(b.Width * Rowset, '\0');
      b.Ind.assign(Rowset, SQL_NULL_DATA);
      rc = SQLBindCol(h, c + 1, SQL_C_CHAR, b.Data.data(), static_cast<SQLLEN>(b.Width), b.Ind.data());
      if (!SQL_SUCCEEDED(rc)) Throw(rc, QueryContext("Cannot bind the columns of"));
    }
  }

  void AfterExecute(SQLHSTMT h, SQLRETURN rc) {
    if (rc == SQL_NO_DATA) {  // a searched UPDATE or DELETE that hit no row
      Affected = 0;
      Columns.clear();
      Buffers.clear();
      CursorOpen = HaveRow = false;
      return;
    }
    if (!SQL_SUCCEEDED(rc)) Throw(rc, QueryContext("Cannot run"));
    SQLLEN n = -1;
    Affected = SQL_SUCCEEDED(SQLRowCount(h, &n)) ? n : -1;
    OpenResult(h);
  }

  bool Fetch() {
    if (!CursorOpen) return false;
    ThrowIfCancelled();
    SQLHSTMT h = Handle("fetch rows");
    std::fill(LongValues.begin(), LongValues.end(), std::nullopt);
    while (true) {
      if (HaveRow && Row + 1 < Fetched) {
        ++Row;
      } else {
        SQLRETURN rc = Call([&] { return SQLFetchScroll(h, SQL_FETCH_NEXT, 0); });
        if (rc == SQL_NO_DATA) {
          Close();
          return false;
        }
        if (!SQL_SUCCEEDED(rc)) {
          HaveRow = false;
          Throw(rc, QueryContext("Cannot fetch the rows of"));
        }
        if (Fetched == 0) {
          Close();
          return false;
        }
        Row = 0;
        HaveRow = true;
      }
      SQLUSMALLINT st = RowStatus[Row];
      if (st == SQL_ROW_ERROR) Throw(SQL_ERROR, QueryContext("Cannot fetch a row of"));
      if (st == SQL_ROW_NOROW || st == SQL_ROW_DELETED) continue;
      return true;
    }
  }

  void CheckColumn(std::size_t column) const {
    if (!HaveRow) throw std::logic_error("ODBC statement has no current row");
    if (column >= Buffers.size())
      throw std::out_of_range("ODBC column " + std::to_string(column) + " is out of range (" +
                              std::to_string(Buffers.size()) + " columns)");
  }

  bool IsNull(std::size_t column) const {
    CheckColumn(column);
    return Buffers[column].Ind[Row] == SQL_NULL_DATA;
  }

  std::string_view Text(std::size_t column) const {
    CheckColumn(column);
    const TColumnBuffer& b = Buffers[column];
    SQLLEN ind = b.Ind[Row];
    if (ind == SQL_NULL_DATA) return {};
    if (ind != SQL_NO_TOTAL && ind >= 0 && static_cast<std::size_t>(ind) < b.Width)
      return {b.Data.data() + Row * b.Width, static_cast<std::size_t>(ind)};
    if (!LongValues[column]) LongValues[column] = ReadWhole(column);
    return *LongValues[column];
  }

  // The whole value of a column that did not fit its buffer.
  std::string ReadWhole(std::size_t column) const {
    SQLHSTMT h = Handle("read a long value");
    if (Rowset > 1) {
      SQLRETURN rc = SQLSetPos(h, static_cast<SQLSETPOSIROW>(Row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
      if (!SQL_SUCCEEDED(rc)) Throw(rc, "Cannot read the whole value of column \"" + Columns[column].Name + "\"");
    }
    std::string value;
    std::vector<char> chunk(std::max<std::size_t>(Buffers[column].Width, 4096));
    while (true) {
      SQLLEN ind = 0;
      SQLRETURN rc = SQLGetData(h, static_cast<SQLUSMALLINT>(column + 1), SQL_C_CHAR, chunk.data(),
                                static_cast<SQLLEN>(chunk.size()), &ind);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) Throw(rc, "Cannot read the whole value of column \"" + Columns[column].Name + "\"");
      if (ind == SQL_NULL_DATA) break;
      bool more = ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) >= chunk.size();
      std::size_t got = more ? chunk.size() - 1 : static_cast<std::size_t>(ind);
      value.append(chunk.data(), got);
      if (!more) break;
      if (ind != SQL_NO_TOTAL && value.capacity() < value.size() + static_cast<std::size_t>(ind))
        value.reserve(value.size() + static_cast<std::size_t>(ind));
      if (chunk.size() < (1u << 20)) chunk.resize(chunk.size() * 4);
    }
    return value;
  }

  [[noreturn]] void ThrowConversion(std::size_t column, const char* what) const {
    std::string v(Text(column).substr(0, 60));
    throw EOdbcError("Column \"" + Columns[column].Name + "\": '" + v + "' is not " + what, "22018");
  }
};

TConnection::TImpl::~TImpl() { Close(); }

void TConnection::TImpl::Close() noexcept {
  {
    std::lock_guard lock(StatementsLock);
    for (TStatement::TImpl* s : Statements) {
      s->Release();
      s->Conn = nullptr;
    }
    Statements.clear();
  }
  if (Dbc && IsConnected) {
    if (!SQL_SUCCEEDED(SQLDisconnect(Dbc.get()))) {
      // an open transaction keeps the connection: roll it back
      SQLEndTran(SQL_HANDLE_DBC, Dbc.get(), SQL_ROLLBACK);
      SQLDisconnect(Dbc.get());
    }
  }
  IsConnected = false;
  Dbc.reset();
}

std::string TConnection::TImpl::Info(SQLUSMALLINT what) const {
  if (!IsConnected) throw EOdbcError("Not connected to a data source");
  SQLCHAR buf[512] = {};
  SQLSMALLINT len = 0;
  SQLRETURN rc = SQLGetInfo(Dbc.get(), what, buf, sizeof buf, &len);
  if (!SQL_SUCCEEDED(rc)) Throw(rc, "Cannot ask the driver about the data source");
  return reinterpret_cast<char*>(buf);
}

TConnection::TConnection() : FImpl(std::make_unique<TImpl>()) {}

TConnection::TConnection(const TLogon& logon, int loginTimeoutSeconds) : TConnection() {
  Connect(logon, loginTimeoutSeconds);
}

TConnection::~TConnection() = default;
TConnection::TConnection(TConnection&&) noexcept = default;
TConnection& TConnection::operator=(TConnection&&) noexcept = default;

void TConnection::Connect(const TLogon& logon, int loginTimeoutSeconds) {
  if (!FImpl) FImpl = std::make_unique<TImpl>();
  FImpl->Close();
  FImpl->Logon = logon;
  std::string context = "Cannot connect to the data source \"" + logon.DataSource + "\"";
  if (!logon.UserName.empty()) context += " as user \"" + logon.UserName + "\"";
  if (logon.DataSource.empty()) throw EOdbcError(context + ": no data source name given", "IM002");

  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, FImpl->Env->Handle(), &dbc);
  if (!SQL_SUCCEEDED(rc)) ThrowOdbc(rc, SQL_HANDLE_ENV, FImpl->Env->Handle(), context, logon.Password);
  FImpl->Dbc.reset(dbc);
  if (loginTimeoutSeconds > 0) {
    // Not every driver knows it; a refusal is no reason to fail.
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
  }
  std::string in = BuildConnectionString(logon);
  // The completed connection string the driver hands back carries the
  // password in clear: it is neither asked for nor kept.
  {
    std::lock_guard lock(ConnectLock);
    rc = SQLDriverConnect(dbc, nullptr, Sql(in), static_cast<SQLSMALLINT>(in.size()), nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
  }
  std::fill(in.begin(), in.end(), '\0');
  if (!SQL_SUCCEEDED(rc)) {
    try {
      FImpl->Throw(rc, context);
    } catch (...) {
      FImpl->Dbc.reset();
      throw;
    }
  }
  FImpl->IsConnected = true;
  SQLUINTEGER ext = 0;
  if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &ext, sizeof ext, nullptr)))
    FImpl->BlockGetData = (ext & SQL_GD_BLOCK) && (ext & SQL_GD_BOUND) && (ext & SQL_GD_ANY_ORDER);
  SQLCHAR dbms[64] = {};
  if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, nullptr))) {
    FImpl->InlineParameters = IEquals(reinterpret_cast<char*>(dbms), "SQLite");
    FImpl->CastNumbers = IEquals(reinterpret_cast<char*>(dbms), "PostgreSQL");
  }
}

void TConnection::Disconnect() noexcept {
  if (FImpl) FImpl->Close();
}

bool TConnection::Connected() const noexcept { return FImpl && FImpl->IsConnected; }

const TLogon& TConnection::Logon() const noexcept { return FImpl->Logon; }

std::string TConnection::DbmsName() const { return FImpl->Info(SQL_DBMS_NAME); }

std::string TConnection::DriverName() const { return FImpl->Info(SQL_DRIVER_NAME); }

std::vector<TColumnInfo> TConnection::TableColumns(std::string_view table) const {
  std::vector<std::string> names{std::string(table)};
  std::string lower(table), upper(table);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (lower != names[0]) names.push_back(lower);
  if (upper != names[0] && upper != lower) names.push_back(upper);

  for (std::string& name : names) {
    TStatement st(const_cast<TConnection&>(*this));
    TStatement::TImpl& s = *st.FImpl;
    SQLHSTMT h = s.Handle("list columns");
    s.SqlText = "columns of " + name;
    SQLRETURN rc = SQLColumns(h, nullptr, 0, nullptr, 0, Sql(name), static_cast<SQLSMALLINT>(name.size()), nullptr, 0);
    if (!SQL_SUCCEEDED(rc)) s.Throw(rc, "Cannot list the columns of table \"" + name + "\"");
    s.OpenResult(h);
    std::vector<std::pair<std::int64_t, TColumnInfo>> cols;
    while (st.Fetch()) {
      // '_' is a wildcard in the catalog's pattern: keep the table asked for
      if (st.Text(2) != name) continue;
      TColumnInfo c;
      c.Name = st.Text(3);
      c.SqlType = static_cast<int>(st.Int64(4));
      c.TypeName = st.Text(5);
      c.Size = st.IsNull(6) ? 0 : static_cast<std::size_t>(std::max<std::int64_t>(st.Int64(6), 0));
      c.Decimals = st.IsNull(8) ? 0 : static_cast<int>(st.Int64(8));
      c.Nullable = st.IsNull(10) || st.Int64(10) != SQL_NO_NULLS;
      std::int64_t ordinal = st.ColumnCount() > 16 && !st.IsNull(16) ? st.Int64(16) : static_cast<std::int64_t>(cols.size());
      cols.emplace_back(ordinal, std::move(c));
    }
    if (cols.empty()) continue;
    std::stable_sort(cols.begin(), cols.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<TColumnInfo> result;
    for (auto& c : cols) result.push_back(std::move(c.second));
    return result;
  }
  return {};
}

std::int64_t TConnection::Execute(std::string_view sql) {
  TStatement st(*this);
  st.ExecuteDirect(sql);
  std::int64_t n = st.AffectedRows();
  st.CloseCursor();
  return n;
}

void TConnection::SetAutoCommit(bool on) {
  if (!Connected()) throw EOdbcError("Not connected to a data source");
  SQLRETURN rc = SQLSetConnectAttr(FImpl->Dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
  if (!SQL_SUCCEEDED(rc)) FImpl->Throw(rc, "Cannot change the transaction mode");
}

void TConnection::Commit() {
  if (!Connected()) throw EOdbcError("Not connected to a data source");
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, FImpl->Dbc.get(), SQL_COMMIT);
  if (!SQL_SUCCEEDED(rc)) FImpl->Throw(rc, "Cannot commit the transaction");
}

void TConnection::Rollback() {
  if (!Connected()) throw EOdbcError("Not connected to a data source");
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, FImpl->Dbc.get(), SQL_ROLLBACK);
  if (!SQL_SUCCEEDED(rc)) FImpl->Throw(rc, "Cannot roll the transaction back");
}

// ---- statement ------------------------------------------------------------

TStatement::TStatement(TConnection& connection) : FImpl(std::make_unique<TImpl>()) {
  TConnection::TImpl* conn = connection.FImpl.get();
  if (!conn || !conn->IsConnected) throw EOdbcError("Cannot run a query: not connected to a data source");
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, conn->Dbc.get(), &h);
  if (!SQL_SUCCEEDED(rc)) conn->Throw(rc, "Cannot create a statement");
  FImpl->Stmt = h;
  FImpl->Conn = conn;
  std::lock_guard lock(conn->StatementsLock);
  conn->Statements.insert(FImpl.get());
}

TStatement::~TStatement() {
  if (!FImpl) return;
  if (TConnection::TImpl* conn = FImpl->Conn) {
    std::lock_guard lock(conn->StatementsLock);
    conn->Statements.erase(FImpl.get());
  }
}

TStatement::TStatement(TStatement&&) noexcept = default;

TStatement& TStatement::operator=(TStatement&& other) noexcept {
  if (this != &other) {
    TStatement old(std::move(*this));  // unregisters and frees on scope exit
    FImpl = std::move(other.FImpl);
  }
  return *this;
}

void TStatement::SetRowsetSize(std::size_t rows) { FImpl->RowsetSize = std::clamp<std::size_t>(rows, 1, 4096); }

void TStatement::SetMaxBoundWidth(std::size_t bytes) { FImpl->MaxWidth = std::clamp<std::size_t>(bytes, 16, 1 << 20); }

void TStatement::Prepare(std::string_view sql) {
  SQLHSTMT h = FImpl->Handle("prepare a query");
  FImpl->Close();
  FImpl->Params.clear();
  FImpl->NumParams = 0;
  FImpl->SqlText.assign(sql);
  if (FImpl->Conn->InlineParameters) {
    // Prepared at each Execute, with its values in place.
    FImpl->NumParams = ScanSql(FImpl->SqlText).Markers.size();
    return;
  }
  std::string text(sql);
  SQLRETURN rc = SQLPrepare(h, Sql(text), static_cast<SQLINTEGER>(text.size()));
  if (!SQL_SUCCEEDED(rc)) FImpl->Throw(rc, FImpl->QueryContext("Cannot prepare"));
  SQLSMALLINT n = 0;
  if (SQL_SUCCEEDED(SQLNumParams(h, &n)) && n > 0) FImpl->NumParams = static_cast<std::size_t>(n);
}

std::size_t TStatement::ParameterCount() const { return FImpl->NumParams; }

void TStatement::BindText(int position, std::string_view value) {
  TParam& p = FImpl->ParamAt(position);
  p.Text.assign(value);
  p.CType = SQL_C_CHAR;
  p.SqlType = value.size() > 4000 ? SQL_LONGVARCHAR : SQL_VARCHAR;
  p.ColumnSize = std::max<std::size_t>(value.size(), 1);
  p.Ind = static_cast<SQLLEN>(value.size());
}

void TStatement::BindDouble(int position, double value) {
  TParam& p = FImpl->ParamAt(position);
  p.CType = SQL_C_DOUBLE;
  p.SqlType = SQL_DOUBLE;
  p.ColumnSize = 15;
  p.Double = value;
  p.Ind = sizeof(double);
}

void TStatement::BindInt64(int position, std::int64_t value) {
  TParam& p = FImpl->ParamAt(position);
  p.CType = SQL_C_SBIGINT;
  p.SqlType = SQL_BIGINT;
  p.ColumnSize = 19;
  p.Int = value;
  p.Ind = sizeof(std::int64_t);
}

void TStatement::BindNull(int position) {
  TParam& p = FImpl->ParamAt(position);
  p.CType = SQL_C_CHAR;
  p.SqlType = SQL_VARCHAR;
  p.ColumnSize = 1;
  p.Ind = SQL_NULL_DATA;
}

void TStatement::BindTimestamp(int position, const TTimestamp& value) {
  TParam& p = FImpl->ParamAt(position);
  // Text in the stored form, of no declared type: PostgreSQL takes it as a
  // timestamp beside a timestamp column and as text beside a text column
  // (typed as a timestamp, psqlODBC would send a timestamp that no text
  // column compares with), and SQLite compares it with the stored text
  // exactly (a binary timestamp would arrive there with ".000" appended).
  p.Text = FormatTimestamp(value);
  p.CType = SQL_C_CHAR;
  p.SqlType = SQL_VARCHAR;
  p.ColumnSize = 19;
  p.Decimals = 0;
  p.Ind = static_cast<SQLLEN>(p.Text.size());
}

void TStatement::ClearParameters() {
  FImpl->Params.clear();
  if (SQLHSTMT h = FImpl->Stmt.load()) SQLFreeStmt(h, SQL_RESET_PARAMS);
}

void TStatement::Execute() {
  SQLHSTMT h = FImpl->Handle("run a query");
  if (FImpl->SqlText.empty()) throw EOdbcError("Cannot run a query: nothing was prepared");
  FImpl->Close();
  FImpl->Run(h);
}

void TStatement::ExecuteDirect(std::string_view sql) {
  SQLHSTMT h = FImpl->Handle("run a query");
  FImpl->Close();
  FImpl->SqlText.assign(sql);
  // Other drivers count their own markers (PostgreSQL has '?' operators).
  FImpl->NumParams = FImpl->Conn->InlineParameters ? ScanSql(FImpl->SqlText).Markers.size() : 0;
  FImpl->Run(h);
}

std::int64_t TStatement::AffectedRows() const { return FImpl->Affected; }

const std::vector<TColumnInfo>& TStatement::Columns() const noexcept { return FImpl->Columns; }

std::size_t TStatement::ColumnCount() const noexcept { return FImpl->Columns.size(); }

bool TStatement::Fetch() { return FImpl->Fetch(); }

void TStatement::CloseCursor() noexcept { FImpl->Close(); }

bool TStatement::IsNull(std::size_t column) const { return FImpl->IsNull(column); }

std::string_view TStatement::Text(std::size_t column) const { return FImpl->Text(column); }

double TStatement::Double(std::size_t column) const {
  if (FImpl->IsNull(column)) return 0;
  auto d = ParseDouble(FImpl->Text(column));
  if (!d) FImpl->ThrowConversion(column, "a number");
  return *d;
}

std::int64_t TStatement::Int64(std::size_t column) const {
  if (FImpl->IsNull(column)) return 0;
  auto i = ParseInt64(FImpl->Text(column));
  if (!i) FImpl->ThrowConversion(column, "a whole number");
  return *i;
}

TTimestamp TStatement::Timestamp(std::size_t column) const {
  if (FImpl->IsNull(column)) return {};
  auto t = ParseTimestamp(FImpl->Text(column));
  if (!t) FImpl->ThrowConversion(column, "a date and time of the form YYYY-MM-DD HH:MM:SS");
  return *t;
}

void TStatement::Cancel() noexcept {
  if (!FImpl) return;
  FImpl->Cancelled = true;
  std::lock_guard lock(FImpl->CancelLock);
  if (!FImpl->InCall) return;
  if (SQLHSTMT h = FImpl->Stmt.load()) SQLCancel(h);
}

}  // namespace mv::odbc
