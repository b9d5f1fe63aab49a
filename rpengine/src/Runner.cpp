#include "Runner.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <unordered_map>

#include "Chart.h"
#include "DefinitionReader.h"
#include "Errors.h"

namespace mv::rpe {

TCivilTime LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void AppendDisplay(std::string& out, std::string_view raw, bool isNull, TFieldType type, const TValueFormat* format) {
  if (isNull) return;
  switch (type) {
    case TFieldType::Number:
    case TFieldType::Integer:
      if (format && !format->Number.IsDefault()) {
        if (auto d = ParseDouble(raw)) {
          format->Number.Append(out, *d);
          return;
        }
      }
      break;
    case TFieldType::Date:
    case TFieldType::DateTime:
      if (auto t = ParseCivilTime(raw, false)) {
        if (format && !format->Date.IsDefault())
          format->Date.Append(out, *t);
        else if (type == TFieldType::Date)
          out += IsoDate(*t);
        else
          out += IsoDateTime(*t);
        return;
      }
      break;
    case TFieldType::Time:
      if (format && !format->Date.IsDefault()) {
        if (auto v = ParseValueText(raw, TParamType::Time)) {
          format->Date.Append(out, v->Time);
          return;
        }
        if (auto t = ParseCivilTime(raw, true)) {
          format->Date.Append(out, *t);
          return;
        }
      }
      break;
    case TFieldType::Text:
    case TFieldType::Auto:
      // Text columns of a dynamically typed data source (SQLite) often hold
      // date-times or numbers: a format applies when the value reads as one.
      if (format) {
        if (!format->Date.IsDefault()) {
          if (auto t = ParseCivilTime(raw, false)) {
            format->Date.Append(out, *t);
            return;
          }
        }
        if (!format->Number.IsDefault()) {
          if (auto d = ParseDouble(raw)) {
            format->Number.Append(out, *d);
            return;
          }
        }
      }
      break;
  }
  out += raw;
}

std::string TPageLine::Resolve(long page, long pageCount) const {
  std::string s;
  for (const TPart& p : Parts) {
    switch (p.Kind) {
      case TPart::TKind::Literal: s += p.Text; break;
      case TPart::TKind::PageNumber: s += std::to_string(page); break;
      case TPart::TKind::PageCount: s += std::to_string(pageCount); break;
    }
  }
  return s;
}

bool TPageLine::UsesPageCount() const {
  return std::any_of(Parts.begin(), Parts.end(), [](const TPart& p) { return p.Kind == TPart::TKind::PageCount; });
}

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

TFieldType TypeOfSql(int sqlType) {
  switch (sqlType) {
    case 91: case 9: return TFieldType::Date;            // SQL_TYPE_DATE, SQL_DATE
    case 92: case 10: return TFieldType::Time;           // SQL_TYPE_TIME, SQL_TIME
    case 93: case 11: return TFieldType::DateTime;       // SQL_TYPE_TIMESTAMP, SQL_TIMESTAMP
    case 4: case 5: case -6: case -5: case -7: return TFieldType::Integer;
    default: break;
  }
  return mv::odbc::IsNumericType(sqlType) ? TFieldType::Number : TFieldType::Text;
}

int DefaultWidth(TFieldType t, const mv::odbc::TColumnInfo* info, const TValueFormat* f) {
  if (f && !f->Date.IsDefault() && (t == TFieldType::Date || t == TFieldType::DateTime || t == TFieldType::Time ||
                                    t == TFieldType::Text))
    return static_cast<int>(f->Date.Format({2000, 12, 28, 23, 59, 59}).size());
  switch (t) {
    case TFieldType::DateTime: return 19;
    case TFieldType::Date: return 10;
    case TFieldType::Time: return 8;
    case TFieldType::Integer: return 8;
    case TFieldType::Number: return 12;
    default: break;
  }
  std::size_t size = info ? info->Size : 0;
  return static_cast<int>(std::clamp<std::size_t>(size == 0 ? 16 : size, 6, 30));
}

std::string ShortNumber(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

EDefinitionError DefError(const TReportFile& f, int line, const std::string& what) {
  return EDefinitionError(f.Path, line, what);
}

[[noreturn]] void ThrowDef(const TReportFile& f, int line, const std::string& what) {
  throw ERpeError(RE_ERR_DEFINITION, DefError(f, line, what).what());
}

std::string DisplayParam(const std::vector<TValue>& values, const TTextPart* part) {
  if (values.empty()) return "all";
  std::string s;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s += ", ";
    const TValue& v = values[i];
    switch (v.Type) {
      case TParamType::Date:
        if (part && part->HasFormat && !part->Format.Date.IsDefault()) part->Format.Date.Append(s, v.Time);
        else s += IsoDate(v.Time);
        break;
      case TParamType::DateTime:
        if (part && part->HasFormat && !part->Format.Date.IsDefault()) part->Format.Date.Append(s, v.Time);
        else s += IsoDateTime(v.Time);
        break;
      case TParamType::Time:
        if (part && part->HasFormat && !part->Format.Date.IsDefault()) part->Format.Date.Append(s, v.Time);
        else s += IsoTime(v.Time);
        break;
      case TParamType::Number:
      case TParamType::Currency:
        if (part && part->HasFormat && !part->Format.Number.IsDefault()) part->Format.Number.Append(s, v.Number);
        else s += FormatDouble(v.Number);
        break;
      case TParamType::Integer:
      case TParamType::Long:
      case TParamType::Color:
        if (part && part->HasFormat && !part->Format.Number.IsDefault())
          part->Format.Number.Append(s, static_cast<double>(v.Integer));
        else s += std::to_string(v.Integer);
        break;
      default:
        s += FormatValueText(v);
        break;
    }
  }
  return s;
}

void Bind(mv::odbc::TStatement& st, int pos, const TValue* v) {
  if (!v) {
    st.BindNull(pos);
    return;
  }
  switch (v->Type) {
    case TParamType::Number:
    case TParamType::Currency: st.BindDouble(pos, v->Number); break;
    case TParamType::Integer:
    case TParamType::Long:
    case TParamType::Color:
    case TParamType::Boolean: st.BindInt64(pos, v->Integer); break;
    case TParamType::Date:
      // As the date-time at midnight: compares right against date-time
      // columns and text holding "yyyy-mm-dd hh:nn:ss".
      st.BindTimestamp(pos, {v->Time.Year, v->Time.Month, v->Time.Day, 0, 0, 0});
      break;
    case TParamType::DateTime:
      st.BindTimestamp(pos, {v->Time.Year, v->Time.Month, v->Time.Day, v->Time.Hour, v->Time.Minute, v->Time.Second});
      break;
    case TParamType::Time: st.BindText(pos, IsoTime(v->Time)); break;
    case TParamType::NoValue: st.BindNull(pos); break;
    default: st.BindText(pos, v->Text); break;
  }
}

// The expansion of a report's query for the given values.
std::string Expand(const TReportDef& r, const std::vector<std::vector<TValue>>& params,
                   std::vector<TSqlTemplate::TBinding>& bindings) {
  std::vector<std::size_t> counts;
  std::vector<bool> multiple;
  for (int p : r.PlaceholderParams) {
    counts.push_back(params[static_cast<std::size_t>(p)].size());
    multiple.push_back(r.Params[static_cast<std::size_t>(p)].Multiple);
  }
  return r.Query.Expand(counts, multiple, bindings);
}

struct TAccumulator {
  long long Count = 0;
  double Sum = 0, Min = 0, Max = 0;
  std::string TextMin, TextMax;
  bool Seen = false;
};

// How one aggregate slot reads its column.
struct TSlotPlan {
  TAggregateDef Def;
  int Column = -1;   // -1: counts rows
  bool Numeric = true;
  TFieldType Type = TFieldType::Number;
  const TValueFormat* FieldFormat = nullptr;
};

// A chart of a footer and the columns it reads.
struct TChartPlan {
  const TChartDef* Def = nullptr;
  int Time = -1, Value = -1;
  std::vector<int> Series;
  TChartCollector Points;
  std::string Name;  // scratch: the series name of a row
};

struct TScope {
  std::vector<TSlotPlan> Plans;
  std::vector<TAccumulator> Acc;
  std::vector<TChartPlan> Charts;  // in the order the footer holds them
  void Reset() {
    Acc.assign(Plans.size(), {});
    for (TChartPlan& c : Charts) c.Points.Reset();
  }
};

// One (sub)report's query while it runs.
struct TQuery {
  int ReportIndex = 0;
  const TReportDef* Def = nullptr;
  std::unique_ptr<mv::odbc::TStatement> Stmt;
  bool Resolved = false;
  std::unordered_map<std::string, std::size_t> Index;  // lower-case column name
  std::vector<TFieldType> Types;
  std::vector<TColumn> Columns;
  std::vector<int> GroupColumns;
  std::vector<TScope> GroupScopes;
  TScope ReportScope;
  std::vector<std::string_view> Values;
  std::vector<char> Nulls;
  std::vector<std::string> PrevText;
  std::vector<std::string_view> PrevValues;
  std::vector<char> PrevNulls;
  std::vector<std::vector<TValue>> Params;
  std::vector<TSqlTemplate::TBinding> Bindings;
  std::string Sql;

  TRowView Current() const { return TRowView(Values.data(), Nulls.data(), Values.size()); }
  TRowView Previous() const { return TRowView(PrevValues.data(), PrevNulls.data(), PrevValues.size()); }

  bool Fetch() {
    if (!Stmt->Fetch()) return false;
    for (std::size_t i = 0; i < Values.size(); ++i) {
      Nulls[i] = Stmt->IsNull(i) ? 1 : 0;
      Values[i] = Stmt->Text(i);
    }
    return true;
  }

  void KeepAsPrevious() {
    for (std::size_t i = 0; i < Values.size(); ++i) {
      PrevText[i].assign(Values[i]);
      PrevValues[i] = PrevText[i];
      PrevNulls[i] = Nulls[i];
    }
  }

  int Column(std::string_view name) const {
    auto it = Index.find(Lower(name));
    return it == Index.end() ? -1 : static_cast<int>(it->second);
  }
};

class TRun {
 public:
  TRun(const TRunSettings& settings, TReportSink& sink)
      : FSettings(settings), FFile(*settings.File), FSink(sink), FSections(sink.WantsSections()) {
    FTitle = FFile.Summary.Title.empty() ? FFile.Main.Name : FFile.Summary.Title;
  }

  void Run() {
    TQuery main;
    main.ReportIndex = 0;
    main.Def = &FFile.Main;
    main.Params = FSettings.Params[0];
    FMain = &main;
    bool have = false;
    if (main.Def->HasQuery) {
      Open(main);
      have = FetchGuarded(main);
    }
    if (!have && FFile.SuppressEmpty)
      throw ERpeError(RE_ERR_EMPTYSUPPRESSED,
                      "the query returned no rows and the report is set to produce nothing when it is empty "
                      "(suppress-empty); no output was written");
    TReportInfo info;
    info.File = &FFile;
    info.Title = FTitle;
    info.PrintTime = FSettings.PrintTime;
    info.Columns = main.Columns;
    info.PageHeader = PageLines(main, FFile.Main.PageHeader);
    info.PageFooter = PageLines(main, FFile.Main.PageFooter);
    for (std::size_t i = 0; i < FFile.Main.Params.size(); ++i) {
      TParamSummary ps;
      ps.Name = FFile.Main.Params[i].Name;
      ps.Type = FFile.Main.Params[i].Type;
      for (const TValue& v : main.Params[i]) ps.Values.push_back(FormatValueText(v));
      info.Params.push_back(std::move(ps));
    }
    FSink.Begin(info);
    if (!FSections) {
      while (have) {
        FSink.Row(main.Current());
        have = FetchGuarded(main);
      }
    } else {
      Body(main, have, 0);
    }
    FSink.End();
  }

 private:
  const TRunSettings& FSettings;
  const TReportFile& FFile;
  TReportSink& FSink;
  bool FSections;
  std::string FTitle;
  std::map<std::string, std::unique_ptr<mv::odbc::TConnection>> FConnections;
  std::map<int, std::unique_ptr<TQuery>> FSubqueries;
  const TQuery* FMain = nullptr;  // for the link fields of subreports

  std::string ReportLabel(const TQuery& q) const {
    return q.ReportIndex == 0 ? std::string("the report") : "subreport \"" + q.Def->Name + "\"";
  }

  mv::odbc::TConnection& Connection(const TQuery& q) {
    const mv::odbc::TLogon& logon = FSettings.Logons[static_cast<std::size_t>(q.ReportIndex)];
    std::string key = logon.DataSource + '\x1f' + logon.UserName + '\x1f' + logon.Password + '\x1f' + logon.DatabaseName;
    auto& c = FConnections[key + '\x1f' + std::to_string(q.ReportIndex)];
    if (!c) {
      if (logon.DataSource.empty()) {
        std::string table = q.Def->Tables.empty() ? FFile.Main.Tables.at(0).Name : q.Def->Tables[0].Name;
        throw ERpeError(RE_ERR_DBLOGON, "no data source is set for table \"" + table + "\" of " + ReportLabel(q) +
                                            "; set the logon (server name = ODBC data source name)");
      }
      try {
        c = std::make_unique<mv::odbc::TConnection>(logon);
      } catch (const mv::odbc::EOdbcError& e) {
        throw ERpeError(RE_ERR_DBLOGON, "cannot connect to the data source \"" + logon.DataSource + "\" for " +
                                            ReportLabel(q) + ": " + e.what());
      }
    }
    return *c;
  }

  // Prepares (once), binds and executes q's query; resolves its columns
  // the first time.
  void Open(TQuery& q) {
    try {
      if (!q.Stmt) {
        mv::odbc::TConnection& con = Connection(q);
        q.Stmt = std::make_unique<mv::odbc::TStatement>(con);
        q.Sql = Expand(*q.Def, q.Params, q.Bindings);
        q.Stmt->Prepare(q.Sql);
      }
      int pos = 1;
      for (const TSqlTemplate::TBinding& b : q.Bindings) {
        const auto& ph = q.Def->Query.Placeholders()[b.Placeholder];
        const std::vector<TValue>& vals = q.Params[static_cast<std::size_t>(q.Def->PlaceholderParams[b.Placeholder])];
        if (ph.Count) {
          q.Stmt->BindInt64(pos++, static_cast<std::int64_t>(vals.size()));
        } else {
          Bind(*q.Stmt, pos++, b.ValueIndex < 0 || static_cast<std::size_t>(b.ValueIndex) >= vals.size()
                                   ? nullptr
                                   : &vals[static_cast<std::size_t>(b.ValueIndex)]);
        }
      }
      q.Stmt->Execute();
    } catch (const mv::odbc::EOdbcError& e) {
      throw ERpeError(RE_ERR_DBQUERY, "the query of " + ReportLabel(q) + " failed: " + e.what());
    }
    if (!q.Resolved) Resolve(q);
  }

  bool FetchGuarded(TQuery& q) {
    try {
      return q.Fetch();
    } catch (const mv::odbc::EOdbcError& e) {
      throw ERpeError(RE_ERR_DBQUERY, "reading the rows of " + ReportLabel(q) + " failed: " + e.what());
    }
  }

  int NeedColumn(const TQuery& q, const std::string& name, int line, const char* what) const {
    int c = q.Column(name);
    if (c >= 0) return c;
    std::string cols;
    for (const auto& ci : q.Stmt->Columns()) cols += (cols.empty() ? "" : ", ") + ci.Name;
    ThrowDef(FFile, line, std::string(what) + " \"" + name + "\" is not a column of the query's result of " +
                              ReportLabel(q) + " (its columns: " + cols + ")");
  }

  void PlanScope(TQuery& q, TScope& scope, const std::vector<TAggregateDef>& slots, int line) {
    for (const TAggregateDef& a : slots) {
      TSlotPlan p;
      p.Def = a;
      if (!a.Field.empty()) {
        p.Column = NeedColumn(q, a.Field, line, "the total's field");
        p.Type = q.Types[static_cast<std::size_t>(p.Column)];
        for (const TFieldDef& f : q.Def->Fields)
          if (Lower(f.Name) == Lower(a.Field) && f.HasFormat) p.FieldFormat = &f.Format;
      }
      bool numericColumn = p.Type == TFieldType::Number || p.Type == TFieldType::Integer;
      p.Numeric = a.Function == TAggFunction::Sum || a.Function == TAggFunction::Avg || numericColumn;
      scope.Plans.push_back(p);
    }
    scope.Reset();
  }

  void PlanCharts(TQuery& q, TScope& scope, const TSectionDef& footer) {
    for (const TSectionItem& item : footer.Items) {
      if (item.Kind != TSectionItem::TKind::Chart) continue;
      TChartPlan p;
      p.Def = &item.Chart;
      p.Time = NeedColumn(q, item.Chart.TimeField, item.Line, "the chart's time field");
      p.Value = NeedColumn(q, item.Chart.ValueField, item.Line, "the chart's value field");
      for (const std::string& f : item.Chart.SeriesFields) p.Series.push_back(NeedColumn(q, f, item.Line, "the chart's series field"));
      scope.Charts.push_back(std::move(p));
    }
  }

  void CollectCharts(TQuery& q, TScope& scope) {
    for (TChartPlan& c : scope.Charts) {
      c.Name.clear();
      for (int f : c.Series) {
        if (!c.Name.empty()) c.Name += ' ';
        c.Name += q.Values[static_cast<std::size_t>(f)];
      }
      if (c.Series.empty()) c.Name = c.Def->ValueLabel.empty() ? c.Def->ValueField : c.Def->ValueLabel;
      std::size_t t = static_cast<std::size_t>(c.Time), v = static_cast<std::size_t>(c.Value);
      if (q.Nulls[t]) continue;
      c.Points.Add(c.Name, q.Values[t], q.Values[v], q.Nulls[v] != 0);
    }
  }

  void CheckTemplate(const TQuery& q, const TTextTemplate& t, int line) const {
    for (const TTextPart& p : t.Parts)
      if (p.Kind == TTextPart::TKind::Field) NeedColumn(q, p.Text, line, "field");
  }

  void Resolve(TQuery& q) {
    const auto& cols = q.Stmt->Columns();
    const TReportDef& d = *q.Def;
    q.Types.clear();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      q.Index.emplace(Lower(cols[i].Name), i);
      q.Types.push_back(TypeOfSql(cols[i].SqlType));
    }
    // Declared field types win over the column's SQL type.
    for (const TFieldDef& f : d.Fields) {
      std::size_t c = static_cast<std::size_t>(NeedColumn(q, f.Name, f.Line, "detail field"));
      if (f.Type != TFieldType::Auto) {
        q.Types[c] = f.Type;
      } else if (f.HasFormat && q.Types[c] == TFieldType::Text && !f.Format.Number.IsDefault() &&
                 !f.Format.Date.HasFields()) {
        // A number format on a column the driver types as text (SQLite
        // expressions): the values are numbers.
        q.Types[c] = TFieldType::Number;
      }
    }
    if (d.Fields.empty()) {
      for (std::size_t i = 0; i < cols.size(); ++i) {
        TColumn c;
        c.Name = cols[i].Name;
        c.Caption = cols[i].Name;
        c.Type = q.Types[i];
        c.Width = std::max<int>(DefaultWidth(c.Type, &cols[i], nullptr), static_cast<int>(c.Caption.size()));
        c.Align = c.Type == TFieldType::Number || c.Type == TFieldType::Integer ? TAlign::Right : TAlign::Left;
        c.Source = i;
        q.Columns.push_back(std::move(c));
      }
    } else {
      for (const TFieldDef& f : d.Fields) {
        TColumn c;
        std::size_t src = static_cast<std::size_t>(q.Column(f.Name));
        c.Name = f.Name;
        c.Caption = f.Caption;
        c.Type = q.Types[src];
        c.Format = f.HasFormat ? &f.Format : nullptr;
        c.Width = f.Width > 0 ? f.Width
                              : std::max<int>(DefaultWidth(c.Type, &cols[src], c.Format),
                                              static_cast<int>(c.Caption.size()));
        c.Align = f.AlignSet ? f.Align
                             : (c.Type == TFieldType::Number || c.Type == TFieldType::Integer ? TAlign::Right : TAlign::Left);
        c.Source = src;
        q.Columns.push_back(std::move(c));
      }
    }
    for (const TGroupDef& g : d.Groups) q.GroupColumns.push_back(NeedColumn(q, g.Field, g.Line, "group field"));
    q.GroupScopes.resize(d.Groups.size());
    for (std::size_t i = 0; i < d.Groups.size(); ++i)
      PlanScope(q, q.GroupScopes[i], d.Groups[i].Aggregates, d.Groups[i].Footer.Line);
    PlanScope(q, q.ReportScope, d.ReportAggregates, d.ReportFooter.Line);
    for (std::size_t i = 0; i < d.Groups.size(); ++i) PlanCharts(q, q.GroupScopes[i], d.Groups[i].Footer);
    PlanCharts(q, q.ReportScope, d.ReportFooter);
    for (const auto& [code, section] : d.Sections()) {
      for (const TSectionItem& item : section->Items) {
        if (item.Kind == TSectionItem::TKind::Chart) {
          CheckTemplate(q, item.Chart.Title, item.Line);
        } else if (item.Kind == TSectionItem::TKind::Subreport) {
          const TReportDef& sub = FFile.Subreports[static_cast<std::size_t>(item.Subreport)];
          for (const TParamDef& p : sub.Params)
            if (!p.LinkField.empty()) NeedColumn(q, p.LinkField, p.Line, "link field");
        } else {
          CheckTemplate(q, item.Text, item.Line);
        }
      }
    }
    q.Values.assign(cols.size(), {});
    q.Nulls.assign(cols.size(), 0);
    q.PrevText.assign(cols.size(), {});
    q.PrevValues.assign(cols.size(), {});
    q.PrevNulls.assign(cols.size(), 1);
    q.Resolved = true;
  }

  std::vector<TPageLine> PageLines(const TQuery& q, const TSectionDef& s) const {
    std::vector<TPageLine> out;
    for (const TSectionItem& item : s.Items) {
      TPageLine line;
      line.Style = item.Style;
      line.Align = item.Align;
      for (const TTextPart& p : item.Text.Parts) {
        TPageLine::TPart part;
        if (p.Kind == TTextPart::TKind::PageNumber) {
          part.Kind = TPageLine::TPart::TKind::PageNumber;
        } else if (p.Kind == TTextPart::TKind::PageCount) {
          part.Kind = TPageLine::TPart::TKind::PageCount;
        } else {
          part.Text = Eval1(q, p, nullptr, nullptr);
        }
        line.Parts.push_back(std::move(part));
      }
      out.push_back(std::move(line));
    }
    return out;
  }

  void Accumulate(TQuery& q, TScope& scope) {
    if (!scope.Charts.empty()) CollectCharts(q, scope);
    for (std::size_t i = 0; i < scope.Plans.size(); ++i) {
      const TSlotPlan& p = scope.Plans[i];
      TAccumulator& a = scope.Acc[i];
      if (p.Column < 0) {
        ++a.Count;
        continue;
      }
      std::size_t c = static_cast<std::size_t>(p.Column);
      if (q.Nulls[c]) continue;
      ++a.Count;
      if (p.Def.Function == TAggFunction::Count) continue;
      std::string_view raw = q.Values[c];
      if (p.Numeric) {
        auto d = ParseDouble(raw);
        if (!d)
          throw ERpeError(RE_ERR_DATAVALUE, "cannot take the " + std::string(AggFunctionName(p.Def.Function)) +
                                                " of field \"" + p.Def.Field + "\" of " + ReportLabel(q) + ": \"" +
                                                std::string(raw) + "\" is not a number");
        a.Sum += *d;
        if (!a.Seen || *d < a.Min) a.Min = *d;
        if (!a.Seen || *d > a.Max) a.Max = *d;
      } else {
        if (!a.Seen || raw < a.TextMin) a.TextMin.assign(raw);
        if (!a.Seen || raw > a.TextMax) a.TextMax.assign(raw);
      }
      a.Seen = true;
    }
  }

  // Display and raw text of a slot's value.
  void AggregateText(const TSlotPlan& p, const TAccumulator& a, const TValueFormat* format, std::string& display,
                     std::string& raw) const {
    display.clear();
    raw.clear();
    if (p.Def.Function == TAggFunction::Count) {
      raw = std::to_string(a.Count);
      if (format && !format->Number.IsDefault())
        format->Number.Append(display, static_cast<double>(a.Count));
      else
        display = raw;
      return;
    }
    if (!a.Seen) return;  // no values: nothing to show
    if (!p.Numeric) {
      raw = p.Def.Function == TAggFunction::Min ? a.TextMin : a.TextMax;
      AppendDisplay(display, raw, false, p.Type, format ? format : p.FieldFormat);
      return;
    }
    double v = p.Def.Function == TAggFunction::Sum   ? a.Sum
               : p.Def.Function == TAggFunction::Avg ? a.Sum / static_cast<double>(a.Count)
               : p.Def.Function == TAggFunction::Min ? a.Min
                                                     : a.Max;
    raw = ShortNumber(v, 15);
    const TValueFormat* f = format ? format : p.FieldFormat;
    if (f && !f->Number.IsDefault())
      f->Number.Append(display, v);
    else
      display = ShortNumber(v, 10);  // sums of doubles carry noise past ten digits
  }

  std::string Eval1(const TQuery& q, const TTextPart& p, const TRowView* row, const TScope* scope) const {
    switch (p.Kind) {
      case TTextPart::TKind::Literal: return p.Text;
      case TTextPart::TKind::Title: return FTitle;
      case TTextPart::TKind::PrintTime: {
        std::string s;
        if (p.HasFormat && !p.Format.Date.IsDefault()) p.Format.Date.Append(s, FSettings.PrintTime);
        else s = IsoDateTime(FSettings.PrintTime);
        return s;
      }
      case TTextPart::TKind::Param:
        return DisplayParam(q.Params[static_cast<std::size_t>(p.Index)], &p);
      case TTextPart::TKind::Field: {
        if (!row) return {};
        int c = q.Column(p.Text);
        if (c < 0) return {};
        const TValueFormat* f = p.HasFormat ? &p.Format : nullptr;
        if (!f)
          for (const TFieldDef& fd : q.Def->Fields)
            if (fd.HasFormat && Lower(fd.Name) == Lower(p.Text)) f = &fd.Format;
        std::string s;
        AppendDisplay(s, row->Text(static_cast<std::size_t>(c)), row->IsNull(static_cast<std::size_t>(c)),
                      q.Types[static_cast<std::size_t>(c)], f);
        return s;
      }
      case TTextPart::TKind::Aggregate: {
        if (!scope) return {};
        std::string display, raw;
        AggregateText(scope->Plans[static_cast<std::size_t>(p.Index)], scope->Acc[static_cast<std::size_t>(p.Index)],
                      p.HasFormat ? &p.Format : nullptr, display, raw);
        return display;
      }
      case TTextPart::TKind::PageNumber:
      case TTextPart::TKind::PageCount:
        return {};
    }
    return {};
  }

  std::string Eval(const TQuery& q, const TTextTemplate& t, const TRowView* row, const TScope* scope) const {
    std::string s;
    for (const TTextPart& p : t.Parts) s += Eval1(q, p, row, scope);
    return s;
  }

  void Section(TQuery& q, const TSectionDef& def, TSectionEvent ev, const TRowView* row, TScope* scope, int depth) {
    ev.Depth = depth;
    ev.Empty = def.Items.empty();
    FSink.BeginSection(ev);
    std::size_t chart = 0;
    for (const TSectionItem& item : def.Items) {
      switch (item.Kind) {
        case TSectionItem::TKind::Chart: {
          // Footers only: the reader refuses charts elsewhere.
          TChartPlan& plan = scope->Charts.at(chart++);
          FSink.Chart(plan.Points.Take(*plan.Def, Eval(q, plan.Def->Title, row, scope)));
          break;
        }
        case TSectionItem::TKind::Text:
          FSink.Text({item.Style, item.Align, Eval(q, item.Text, row, scope)});
          break;
        case TSectionItem::TKind::Totals: {
          TTotalsLine t;
          t.Label = Eval(q, item.Text, row, scope);
          for (const TTotalCell& cell : item.Cells) {
            TTotalValue v;
            v.Function = cell.Function;
            auto it = std::find_if(q.Columns.begin(), q.Columns.end(),
                                   [&](const TColumn& c) { return Lower(c.Name) == Lower(cell.Field); });
            v.Column = it == q.Columns.end() ? 0 : static_cast<std::size_t>(it - q.Columns.begin());
            const TValueFormat* f = cell.HasFormat ? &cell.Format : (it != q.Columns.end() ? it->Format : nullptr);
            AggregateText(scope->Plans[static_cast<std::size_t>(cell.Slot)], scope->Acc[static_cast<std::size_t>(cell.Slot)],
                          f, v.Display, v.Raw);
            t.Values.push_back(std::move(v));
          }
          FSink.Totals(t);
          break;
        }
        case TSectionItem::TKind::Subreport:
          RunSubreport(item.Subreport, row);
          break;
      }
    }
    FSink.EndSection();
  }

  TSectionEvent GroupEvent(const TQuery& q, TSectionKind kind, std::size_t g, const TRowView& row) const {
    TSectionEvent ev;
    ev.Kind = kind;
    ev.Group = static_cast<int>(g);
    ev.GroupField = q.Def->Groups[g].Field;
    std::size_t c = static_cast<std::size_t>(q.GroupColumns[g]);
    ev.GroupValue = std::string(row.Text(c));
    ev.GroupValueNull = row.IsNull(c);
    return ev;
  }

  // Report header, groups, rows, totals and report footer of one query
  // whose first row (if `have`) is current.
  void Body(TQuery& q, bool have, int depth) {
    const TReportDef& d = *q.Def;
    TRowView first = q.Current();
    TSectionEvent rh;
    rh.Kind = TSectionKind::ReportHeader;
    Section(q, d.ReportHeader, rh, have ? &first : nullptr, nullptr, depth);
    q.ReportScope.Reset();
    bool started = false;
    bool detailSubreports = !d.Detail.Items.empty();
    const std::size_t groups = d.Groups.size();
    while (have) {
      TRowView cur = q.Current();
      std::size_t brk = groups;
      if (!started) {
        brk = 0;
      } else {
        for (std::size_t g = 0; g < groups; ++g) {
          std::size_t c = static_cast<std::size_t>(q.GroupColumns[g]);
          if (q.Nulls[c] != q.PrevNulls[c] || q.Values[c] != q.PrevValues[c]) {
            brk = g;
            break;
          }
        }
        if (brk < groups) {
          TRowView prev = q.Previous();
          for (std::size_t g = groups; g-- > brk;)
            Section(q, d.Groups[g].Footer, GroupEvent(q, TSectionKind::GroupFooter, g, prev), &prev,
                    &q.GroupScopes[g], depth);
        }
      }
      for (std::size_t g = brk; g < groups; ++g) {
        q.GroupScopes[g].Reset();
        Section(q, d.Groups[g].Header, GroupEvent(q, TSectionKind::GroupHeader, g, cur), &cur, nullptr, depth);
      }
      started = true;
      for (std::size_t g = 0; g < groups; ++g) Accumulate(q, q.GroupScopes[g]);
      Accumulate(q, q.ReportScope);
      FSink.Row(cur);
      if (detailSubreports) {
        TSectionEvent de;
        de.Kind = TSectionKind::Detail;
        Section(q, d.Detail, de, &cur, nullptr, depth);
      }
      q.KeepAsPrevious();
      have = FetchGuarded(q);
    }
    TRowView prev = q.Previous();
    if (started)
      for (std::size_t g = groups; g-- > 0;)
        Section(q, d.Groups[g].Footer, GroupEvent(q, TSectionKind::GroupFooter, g, prev), &prev, &q.GroupScopes[g],
                depth);
    TSectionEvent rf;
    rf.Kind = TSectionKind::ReportFooter;
    Section(q, d.ReportFooter, rf, started ? &prev : nullptr, &q.ReportScope, depth);
  }

  void RunSubreport(int index, const TRowView* linkRow) {
    auto& slot = FSubqueries[index];
    if (!slot) {
      slot = std::make_unique<TQuery>();
      slot->ReportIndex = index + 1;
      slot->Def = &FFile.Subreports[static_cast<std::size_t>(index)];
      slot->Params = FSettings.Params[static_cast<std::size_t>(index + 1)];
    }
    TQuery& q = *slot;
    const TReportDef& sub = *q.Def;
    for (std::size_t i = 0; i < sub.Params.size(); ++i) {
      const TParamDef& p = sub.Params[i];
      if (p.LinkField.empty()) continue;
      q.Params[i].clear();
      if (!linkRow) continue;
      // The link field's column in the main report's result.
      int c = FMain->Column(p.LinkField);
      if (c < 0 || linkRow->IsNull(static_cast<std::size_t>(c))) continue;
      std::string_view raw = linkRow->Text(static_cast<std::size_t>(c));
      auto v = ParseValueText(raw, p.Type);
      if (!v)
        throw ERpeError(RE_ERR_DATAVALUE, "subreport \"" + sub.Name + "\": parameter \"" + p.Name + "\" (" +
                                              std::string(ParamTypeName(p.Type)) + ") cannot take the value \"" +
                                              std::string(raw) + "\" of field \"" + p.LinkField + "\"");
      q.Params[i].push_back(*v);
    }
    Open(q);
    TSubreportInfo info;
    info.Report = &sub;
    info.Name = sub.Name;
    info.Columns = q.Columns;
    FSink.BeginSubreport(info);
    bool have = FetchGuarded(q);
    Body(q, have, 1);
    FSink.EndSubreport();
  }
};

}  // namespace

TBoundQuery BindQuery(const TReportDef& report, const std::vector<std::vector<TValue>>& params) {
  TBoundQuery out;
  std::vector<TSqlTemplate::TBinding> bindings;
  out.Sql = Expand(report, params, bindings);
  for (const TSqlTemplate::TBinding& b : bindings) {
    const auto& ph = report.Query.Placeholders()[b.Placeholder];
    const std::vector<TValue>& vals = params[static_cast<std::size_t>(report.PlaceholderParams[b.Placeholder])];
    TValue v;
    if (ph.Count) {
      v.Type = TParamType::Long;
      v.Integer = static_cast<std::int64_t>(vals.size());
    } else if (b.ValueIndex >= 0 && static_cast<std::size_t>(b.ValueIndex) < vals.size()) {
      v = vals[static_cast<std::size_t>(b.ValueIndex)];
    } else {
      v.Type = TParamType::NoValue;
    }
    out.Values.push_back(std::move(v));
  }
  return out;
}

void RunReport(const TRunSettings& settings, TReportSink& sink) {
  TRun run(settings, sink);
  run.Run();
}

}  // namespace mv::rpe
