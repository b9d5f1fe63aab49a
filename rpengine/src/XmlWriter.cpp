#include <optional>

#include "OutputFile.h"
#include "TextUtil.h"
#include "Writers.h"

namespace mv::rpe {
namespace {

const char* SectionElement(TSectionKind k) {
  switch (k) {
    case TSectionKind::ReportHeader: return "report-header";
    case TSectionKind::PageHeader: return "page-header";
    case TSectionKind::GroupHeader: return "group-header";
    case TSectionKind::Detail: return "detail";
    case TSectionKind::GroupFooter: return "group-footer";
    case TSectionKind::PageFooter: return "page-footer";
    case TSectionKind::ReportFooter: return "report-footer";
  }
  return "section";
}

const char* TypeName(TFieldType t) { return FieldTypeName(t); }

class TXmlWriter : public TReportSink {
 public:
  explicit TXmlWriter(std::string path) : FPath(std::move(path)) {}

  void Begin(const TReportInfo& info) override {
    FFile.emplace(FPath);
    FColumns.assign(1, info.Columns);
    std::string& o = FFile->Buffer();
    o += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<report format-version=\"1\" name=\"";
    AppendXmlEscaped(o, info.File->Main.Name);
    o += "\" title=\"";
    AppendXmlEscaped(o, info.Title);
    o += "\" printed=\"";
    o += IsoDateTime(info.PrintTime);
    o += "\">\n";
    if (!info.Params.empty()) {
      o += "<parameters>\n";
      for (const TParamSummary& p : info.Params) {
        o += "<parameter name=\"";
        AppendXmlEscaped(o, p.Name);
        o += "\" type=\"";
        o += ParamTypeName(p.Type);
        o += "\">";
        for (const std::string& v : p.Values) {
          o += "<value>";
          AppendXmlEscaped(o, ValueText(p.Type, v));
          o += "</value>";
        }
        o += "</parameter>\n";
      }
      o += "</parameters>\n";
    }
    WriteColumns(info.Columns);
  }

  void BeginSection(const TSectionEvent& s) override {
    std::string& o = FFile->Buffer();
    if (s.Kind == TSectionKind::GroupHeader) {
      o += "<group level=\"";
      o += std::to_string(s.Group);
      o += "\" field=\"";
      AppendXmlEscaped(o, s.GroupField);
      o += "\"";
      if (s.GroupValueNull) {
        o += " null=\"true\"";
      } else {
        o += " value=\"";
        AppendXmlEscaped(o, s.GroupValue);
        o += "\"";
      }
      o += ">\n";
    }
    FSections.push_back({s.Kind, s.Empty});
    if (s.Empty) return;
    o += '<';
    o += SectionElement(s.Kind);
    o += ">\n";
  }

  void Text(const TTextLine& l) override {
    std::string& o = FFile->Buffer();
    o += "<text style=\"";
    o += TextStyleName(l.Style);
    o += "\" align=\"";
    o += AlignName(l.Align);
    o += "\">";
    AppendXmlEscaped(o, l.Text);
    o += "</text>\n";
  }

  void Totals(const TTotalsLine& t) override {
    std::string& o = FFile->Buffer();
    o += "<totals label=\"";
    AppendXmlEscaped(o, t.Label);
    o += "\">";
    const std::vector<TColumn>& cols = FColumns.back();
    for (const TTotalValue& v : t.Values) {
      o += "<total column=\"";
      if (v.Column < cols.size()) AppendXmlEscaped(o, cols[v.Column].Name);
      o += "\" function=\"";
      o += AggFunctionName(v.Function);
      o += "\" display=\"";
      AppendXmlEscaped(o, v.Display);
      o += "\">";
      AppendXmlEscaped(o, v.Raw);
      o += "</total>";
    }
    o += "</totals>\n";
  }

  void EndSection() override {
    auto [kind, empty] = FSections.back();
    FSections.pop_back();
    std::string& o = FFile->Buffer();
    if (!empty) {
      o += "</";
      o += SectionElement(kind);
      o += ">\n";
    }
    if (kind == TSectionKind::GroupFooter) o += "</group>\n";
    FFile->FlushIfFull();
  }

  void BeginSubreport(const TSubreportInfo& s) override {
    std::string& o = FFile->Buffer();
    o += "<subreport name=\"";
    AppendXmlEscaped(o, s.Name);
    o += "\">\n";
    FColumns.push_back(s.Columns);
    WriteColumns(s.Columns);
  }

  void EndSubreport() override {
    FColumns.pop_back();
    FFile->Buffer() += "</subreport>\n";
  }

  void Row(const TRowView& row) override {
    std::string& o = FFile->Buffer();
    o += "<row>";
    for (const TColumn& c : FColumns.back()) {
      o += "<field name=\"";
      AppendXmlEscaped(o, c.Name);
      if (row.IsNull(c.Source)) {
        o += "\" null=\"true\"/>";
        continue;
      }
      o += "\">";
      AppendXmlEscaped(o, row.Text(c.Source));
      o += "</field>";
    }
    o += "</row>\n";
    FFile->FlushIfFull();
  }

  void End() override {
    FFile->Buffer() += "</report>\n";
    FFile->Commit();
  }

 private:
  std::string FPath;
  std::optional<TOutputFile> FFile;
  std::vector<std::vector<TColumn>> FColumns;
  std::vector<std::pair<TSectionKind, bool>> FSections;  // open sections and whether they are empty

  static std::string ValueText(TParamType t, const std::string& engineText) {
    // Date-times as "yyyy-mm-dd hh:nn:ss" rather than the engine's commas.
    if (t == TParamType::Date || t == TParamType::DateTime)
      if (auto v = ParseValueText(engineText, t)) return t == TParamType::Date ? IsoDate(v->Time) : IsoDateTime(v->Time);
    return engineText;
  }

  void WriteColumns(const std::vector<TColumn>& cols) {
    std::string& o = FFile->Buffer();
    o += "<columns>\n";
    for (const TColumn& c : cols) {
      o += "<column name=\"";
      AppendXmlEscaped(o, c.Name);
      o += "\" caption=\"";
      AppendXmlEscaped(o, c.Caption);
      o += "\" type=\"";
      o += TypeName(c.Type);
      o += "\"/>\n";
    }
    o += "</columns>\n";
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeXmlWriter(std::string path) { return std::make_unique<TXmlWriter>(std::move(path)); }

}  // namespace mv::rpe
