// Connection strings and password redaction: no database needed.
#include "platform/odbc/Odbc.h"

#include <gtest/gtest.h>

namespace mv::odbc {
namespace {

TEST(OdbcConnectionString, QuotesValuesThatNeedIt) {
  constexpr struct {
    const char* Label;
    const char* Dsn;
    const char* User;
    const char* Password;
    const char* Database;
    const char* Expected;
  } kCases[] = {
      {"plain", "MVDEMO", "u", "pw", "", "DSN=MVDEMO;UID=u;PWD=pw"},
      {"no user or password", "MVDEMO", "", "", "", "DSN=MVDEMO"},
      {"database named", "PG", "u", "", "sensordb", "DSN=PG;UID=u;DATABASE=sensordb"},
      {"semicolon in password", "PG", "u", "a;b", "", "DSN=PG;UID=u;PWD={a;b}"},
      {"braces doubled", "PG", "u", "p;w{x}=1", "", "DSN=PG;UID=u;PWD={p;w{x}}=1}"},
      {"equals sign", "PG", "u", "a=b", "", "DSN=PG;UID=u;PWD={a=b}"},
      {"outer blank", "PG", "u", " pw", "", "DSN=PG;UID=u;PWD={ pw}"},
      {"blank inside is fine", "My Source", "u", "p w", "", "DSN=My Source;UID=u;PWD=p w"},
      {"user with semicolon", "PG", "x;y", "pw", "", "DSN=PG;UID={x;y};PWD=pw"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(BuildConnectionString({c.Dsn, c.User, c.Password, c.Database}), c.Expected);
  }
}

TEST(OdbcRedaction, RemovesPasswordsFromTexts) {
  constexpr struct {
    const char* Label;
    const char* Text;
    const char* Password;
    const char* Expected;
  } kCases[] = {
      {"attribute", "DSN=PG;UID=u;PWD=secret;PORT=1", "", "DSN=PG;UID=u;PWD=***;PORT=1"},
      {"attribute at end", "DSN=PG;PWD=secret", "", "DSN=PG;PWD=***"},
      {"any case, long key", "dsn=x;Password=secret;a=b", "", "dsn=x;Password=***;a=b"},
      {"braced with ; and doubled }", "DSN=PG;PWD={p;w{x}}=1};UID=u", "", "DSN=PG;PWD=***;UID=u"},
      {"empty value", "DSN=PG;PWD=;UID=u", "", "DSN=PG;PWD=***;UID=u"},
      {"not a key inside a word", "MYPWD=keep;UPWD=keep", "", "MYPWD=keep;UPWD=keep"},
      {"echoed password", "FATAL: password 'hunter22' rejected", "hunter22", "FATAL: password '***' rejected"},
      {"echoed twice", "hunter22 and hunter22", "hunter22", "*** and ***"},
      {"short password as a word", "login pw refused, pwd pw", "pw", "login *** refused, pwd ***"},
      {"short password inside words kept", "passwords", "pw", "passwords"},
      {"special characters", "got p;w{x}=1 back", "p;w{x}=1", "got *** back"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(RedactPassword(c.Text, c.Password), c.Expected);
  }
}

TEST(OdbcTimestamp, FormatsTheStoredForm) {
  EXPECT_EQ(FormatTimestamp({2024, 2, 29, 0, 0, 0}), "2024-02-29 00:00:00");
  EXPECT_EQ(FormatTimestamp({1999, 12, 31, 23, 59, 59}), "1999-12-31 23:59:59");
}

TEST(OdbcTypes, ClassifiesSqlTypes) {
  constexpr struct {
    int Type;
    bool Text, Numeric, DateTime;
  } kCases[] = {
      {12, true, false, false},   // VARCHAR
      {-1, true, false, false},   // LONGVARCHAR
      {-9, true, false, false},   // WVARCHAR
      {4, false, true, false},    // INTEGER
      {-5, false, true, false},   // BIGINT
      {6, false, true, false},    // FLOAT
      {2, false, true, false},    // NUMERIC
      {-7, false, true, false},   // BIT
      {93, false, false, true},   // TYPE_TIMESTAMP
      {91, false, false, true},   // TYPE_DATE
      {-2, false, false, false},  // BINARY
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Type);
    EXPECT_EQ(IsTextType(c.Type), c.Text);
    EXPECT_EQ(IsNumericType(c.Type), c.Numeric);
    EXPECT_EQ(IsDateTimeType(c.Type), c.DateTime);
  }
}

}  // namespace
}  // namespace mv::odbc
