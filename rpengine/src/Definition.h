// A report definition as read from its file (see docs/report-format.md).
// Immutable once read; every open print job holds its own copy.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Format.h"
#include "SqlTemplate.h"
#include "Value.h"

namespace mv::rpe {

enum class TDiscreteRange : std::uint16_t { Discrete = 0, Range = 1, DiscreteAndRange = 2 };

struct TParamDef {
  std::string Name;
  TParamType Type = TParamType::String;
  TDiscreteRange Kind = TDiscreteRange::Discrete;
  bool Multiple = false;
  bool Nullable = false;
  bool Editable = true;
  std::string Prompt;
  std::vector<TValue> Defaults;   // several only when Multiple
  std::optional<TValue> Min, Max;
  std::string BrowseField;        // "TABLE.FIELD" a prompt would offer; may be empty
  std::string LinkField;          // subreports: the main-report field that feeds it
  int Line = 0;
};

struct TTableDef {
  std::string Name;
  std::string DataSource;  // default logon, replaced by the caller's
  std::string Database;
  std::string User;
  int Line = 0;
};

enum class TAggFunction { Count, Sum, Avg, Min, Max };
const char* AggFunctionName(TAggFunction f);

// One accumulated value of a footer: a function over a field ("" counts rows).
struct TAggregateDef {
  TAggFunction Function = TAggFunction::Count;
  std::string Field;
  friend bool operator==(const TAggregateDef&, const TAggregateDef&) = default;
};

// A value's display format: a number or date pattern, or none.
struct TValueFormat {
  std::string Pattern;
  TNumberFormat Number;
  TDateFormat Date;
};

// A text with references in braces: {Name} or {Name:format}, and in footers
// {count}, {sum(FIELD)}, {avg(FIELD):0.0}, ... "{{" and "}}" are braces.
struct TTextPart {
  enum class TKind { Literal, Param, Field, PageNumber, PageCount, PrintTime, Title, Aggregate };
  TKind Kind = TKind::Literal;
  std::string Text;    // the literal, or the referenced name
  int Index = -1;      // parameter index in its report, or aggregate slot
  bool HasFormat = false;
  TValueFormat Format;
};

struct TTextTemplate {
  std::vector<TTextPart> Parts;
  bool UsesFields() const;
  bool UsesPageNumbers() const;
};

enum class TTextStyle { Normal, Title, Heading, Small };
enum class TAlign { Left, Center, Right };
const char* TextStyleName(TTextStyle s);
const char* AlignName(TAlign a);

struct TTotalCell {
  std::string Field;   // the detail field under which it stands
  int Slot = -1;       // aggregate slot of the section's scope
  TAggFunction Function = TAggFunction::Count;
  bool HasFormat = false;
  TValueFormat Format;
};

enum class TChartType { Line, Bar };
// How bars of neighbouring readings merge when there are more than fit.
enum class TChartMerge { Sum, Max };

// A chart of a value over time, one series per distinct value of the
// series fields, drawn from the rows of the footer's group (or report).
struct TChartDef {
  TChartType Type = TChartType::Line;
  TChartMerge Merge = TChartMerge::Sum;
  std::string TimeField, ValueField;
  std::vector<std::string> SeriesFields;  // empty: one series named after the value
  TTextTemplate Title;
  std::string ValueLabel;  // the value axis' caption
  double HeightMm = 80;
};

struct TSectionItem {
  enum class TKind { Text, Totals, Subreport, Chart };
  TKind Kind = TKind::Text;
  TTextStyle Style = TTextStyle::Normal;
  TAlign Align = TAlign::Left;
  TTextTemplate Text;             // Text; for Totals the label
  std::vector<TTotalCell> Cells;  // Totals
  int Subreport = -1;             // index into TReportFile::Subreports
  TChartDef Chart;                // Chart
  int Line = 0;
};

struct TSectionDef {
  bool Present = false;
  int Line = 0;
  std::vector<TSectionItem> Items;
};

struct TGroupDef {
  std::string Field;
  int Line = 0;
  TSectionDef Header, Footer;
  std::vector<TAggregateDef> Aggregates;  // slots used in its footer
};

enum class TFieldType { Auto, Text, Number, Integer, Date, DateTime, Time };
const char* FieldTypeName(TFieldType t);

struct TFieldDef {
  std::string Name;     // result column
  std::string Caption;
  TFieldType Type = TFieldType::Auto;  // Auto: from the column's SQL type
  bool HasFormat = false;
  TValueFormat Format;
  int Width = 0;        // characters in text outputs; 0: chosen from type and caption
  TAlign Align = TAlign::Left;
  bool AlignSet = false;
  int Line = 0;
};

// Section kinds as the C interface numbers them (code = kind * 1000 + index).
enum class TSectionKind {
  ReportHeader = 1, PageHeader = 2, GroupHeader = 3, Detail = 4, GroupFooter = 5,
  PageFooter = 7, ReportFooter = 8
};

// The main report or one subreport.
struct TReportDef {
  std::string Name;       // subreports: their name; main: the file's base name
  int Line = 0;
  std::vector<TTableDef> Tables;
  std::vector<TParamDef> Params;
  bool HasQuery = false;
  TSqlTemplate Query;
  std::vector<int> PlaceholderParams;  // parameter index of each query placeholder
  int QueryLine = 0;
  TSectionDef ReportHeader, PageHeader, Detail, ReportFooter, PageFooter;
  std::vector<TGroupDef> Groups;       // outermost first
  std::vector<TFieldDef> Fields;       // detail fields; empty: every result column
  std::vector<TAggregateDef> ReportAggregates;  // slots used in the report footer
  // Subreports: the section code where this one is placed (0 for the main).
  int PlacedInSection = 0;

  int FindParam(const std::string& name) const;
  // Sections in print order as (code, definition).
  std::vector<std::pair<int, const TSectionDef*>> Sections() const;
};

struct TSummaryInfo {
  std::string Title, Subject, Author, Keywords, Comments;  // Comments: lines joined by "\n"
};

struct TPageSetup {
  std::string PaperName = "A4";
  double WidthMm = 210, HeightMm = 297;   // of the paper as printed (after orientation)
  bool Landscape = false;
  double MarginTopMm = 15, MarginBottomMm = 15, MarginLeftMm = 15, MarginRightMm = 15;
  std::string Printer;  // CUPS destination the report asks for; empty: the default
};

struct TReportFile {
  std::string Path;
  int FormatVersion = 1;
  TSummaryInfo Summary;
  TPageSetup Page;
  bool SuppressEmpty = false;
  TReportDef Main;
  std::vector<TReportDef> Subreports;

  const TReportDef& Report(int index) const { return index == 0 ? Main : Subreports[index - 1]; }
  int ReportCount() const { return 1 + static_cast<int>(Subreports.size()); }
};

}  // namespace mv::rpe
