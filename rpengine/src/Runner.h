// Runs a report: its query over ODBC, groups, totals and subreports, as a
// stream of events into a TReportSink. Rows are fetched and handed on as
// they come, so memory does not grow with the number of rows.
#pragma once

#include <string>
#include <vector>

#include "Definition.h"
#include "ReportSink.h"
#include "platform/odbc/Odbc.h"

namespace mv::rpe {

struct TRunSettings {
  const TReportFile* File = nullptr;
  // Values per report (0 main, k subreport k) and parameter. A linked
  // parameter's entry is filled from the main report's row at run time.
  std::vector<std::vector<std::vector<TValue>>> Params;
  // Logon per report; a subreport without tables of its own runs with the
  // main report's.
  std::vector<mv::odbc::TLogon> Logons;
  TCivilTime PrintTime;
};

// Throws ERpeError: 530 (connect), 531 (query), 532 (values), 504 (the
// definition names a field the result lacks), 505 (no rows and the report
// suppresses empty output; nothing reached the sink), or whatever the sink
// throws.
void RunReport(const TRunSettings& settings, TReportSink& sink);

// The SQL text with '?' markers and the values bound to them, as a run
// would send them; for showing and for tests.
struct TBoundQuery {
  std::string Sql;
  std::vector<TValue> Values;    // one per marker; Type NoValue for NULL
};
TBoundQuery BindQuery(const TReportDef& report, const std::vector<std::vector<TValue>>& params);

// The local time now, for PrintTime.
TCivilTime LocalNow();

}  // namespace mv::rpe
