// The stream of report events that output writers consume.
//
// A run produces, in this order:
//   Begin(info)
//   BeginSection(report header) ... EndSection
//   for each group break: BeginSection(group footer, innermost first) ...
//     EndSection, then BeginSection(group header, outermost first) ... EndSection
//   Row(row) for every detail row, each followed by the detail section's
//     subreports (BeginSection(detail) ... EndSection) when it has any
//   the last group footers, BeginSection(report footer) ... EndSection
//   End()
// Inside a section come Text, Totals and Chart items and subreports, each of which
// is BeginSubreport, its own sections and rows in the same order, then
// EndSubreport. A group's header and footer events come at every group
// break even when the definition gives that section nothing to show, so
// writers can nest groups. Page headers and footers are not events: a
// writer that paginates draws them from TReportInfo on each page.
//
// A writer that only wants the main report's detail rows (CSV) answers
// WantsSections() with false; it then gets Begin, Row for each main row and
// End, and the run skips everything else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Definition.h"

namespace mv::rpe {

// A detail column as outputs show it.
struct TColumn {
  std::string Name;
  std::string Caption;
  TFieldType Type = TFieldType::Text;  // resolved: never Auto
  int Width = 10;                      // characters, for text layouts
  TAlign Align = TAlign::Left;
  const TValueFormat* Format = nullptr;  // the definition's format, or none
  std::size_t Source = 0;              // index of the value in TRowView
};

// One row of a query's result. Values are the data source's text forms
// (numbers as the driver writes them, date-times "yyyy-mm-dd hh:nn:ss");
// a null reads as "" with IsNull true. Valid during the call only.
class TRowView {
 public:
  TRowView() = default;
  TRowView(const std::string_view* values, const char* nulls, std::size_t count)
      : FValues(values), FNulls(nulls), FCount(count) {}
  std::size_t Size() const { return FCount; }
  std::string_view Text(std::size_t i) const { return FValues[i]; }
  bool IsNull(std::size_t i) const { return FNulls[i] != 0; }

 private:
  const std::string_view* FValues = nullptr;
  const char* FNulls = nullptr;
  std::size_t FCount = 0;
};

// Appends the display text of a value: its format applied when it has one
// that fits the value, else the value's own text ("" for a null).
void AppendDisplay(std::string& out, std::string_view raw, bool isNull, TFieldType type, const TValueFormat* format);
inline void AppendDisplay(std::string& out, const TColumn& c, const TRowView& row) {
  AppendDisplay(out, row.Text(c.Source), row.IsNull(c.Source), c.Type, c.Format);
}

// A line of a page header or footer: text with the page number and page
// count still open.
struct TPageLine {
  TTextStyle Style = TTextStyle::Normal;
  TAlign Align = TAlign::Left;
  struct TPart {
    enum class TKind { Literal, PageNumber, PageCount } Kind = TKind::Literal;
    std::string Text;
  };
  std::vector<TPart> Parts;
  std::string Resolve(long page, long pageCount) const;
  bool UsesPageCount() const;
};

struct TParamSummary {
  std::string Name;
  TParamType Type = TParamType::String;
  std::vector<std::string> Values;  // engine value texts
};

struct TReportInfo {
  const TReportFile* File = nullptr;
  std::string Title;            // the summary title, else the report's name
  TCivilTime PrintTime;         // local time the run started
  std::vector<TColumn> Columns; // the main report's detail columns
  std::vector<TPageLine> PageHeader, PageFooter;
  std::vector<TParamSummary> Params;  // the main report's parameters as run
};

struct TSubreportInfo {
  const TReportDef* Report = nullptr;
  std::string Name;
  std::vector<TColumn> Columns;
};

struct TSectionEvent {
  TSectionKind Kind = TSectionKind::ReportHeader;
  int Group = -1;             // group index (0 outermost) for group sections
  std::string GroupField;     // group sections: the field and the group's value
  std::string GroupValue;     // as the data source gives it
  bool GroupValueNull = false;
  int Depth = 0;              // 0 main report, 1 inside a subreport
  bool Empty = false;         // the definition gives this section nothing to show
};

struct TChartData;  // Chart.h

struct TTextLine {
  TTextStyle Style = TTextStyle::Normal;
  TAlign Align = TAlign::Left;
  std::string Text;
};

struct TTotalValue {
  std::size_t Column = 0;       // index into the current columns
  TAggFunction Function = TAggFunction::Count;
  std::string Display;          // formatted
  std::string Raw;              // plain number ("" when there were no values)
};

struct TTotalsLine {
  std::string Label;
  std::vector<TTotalValue> Values;
};

class TReportSink {
 public:
  virtual ~TReportSink() = default;
  virtual bool WantsSections() const { return true; }
  virtual void Begin(const TReportInfo& info) = 0;
  virtual void BeginSection(const TSectionEvent& section) = 0;
  virtual void Text(const TTextLine& line) = 0;
  virtual void Totals(const TTotalsLine& totals) = 0;
  virtual void EndSection() = 0;
  // A chart in a footer of the main report; outputs without drawings
  // leave it out.
  virtual void Chart(const TChartData& chart) { (void)chart; }
  virtual void BeginSubreport(const TSubreportInfo& subreport) = 0;
  virtual void EndSubreport() = 0;
  // A detail row of the innermost open report (the main report, or the
  // subreport between BeginSubreport and EndSubreport).
  virtual void Row(const TRowView& row) = 0;
  // Completes the output (for a file: written and in place).
  virtual void End() = 0;
};

}  // namespace mv::rpe
