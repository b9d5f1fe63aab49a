#include <algorithm>
#include <cmath>

#include "Chart.h"
#include "PagedWriter.h"

namespace mv::rpe {
namespace {

const char* AlignClass(TAlign a) { return a == TAlign::Right ? "r" : a == TAlign::Center ? "c" : "l"; }

const char* kStyle =
    "body{font-family:\"Liberation Sans\",Arial,Helvetica,sans-serif;font-size:10pt;margin:1em;color:#111}"
    "div.page{margin-bottom:2em;border-bottom:1px solid #bbb;padding-bottom:1em}"
    "div.nav{font-size:9pt;margin:.5em 0}div.nav a,div.nav span{margin-right:.8em}span.off{color:#999}"
    "div.ph,div.pf{color:#444;font-size:9pt}div.ph p,div.pf p{margin:.2em 0}"
    "table.report,table.sub{border-collapse:collapse}"
    "th{border-bottom:1px solid #333;padding:2px 8px;text-align:left;white-space:nowrap}"
    "td{padding:1px 8px;white-space:nowrap}"
    ".l{text-align:left}.c{text-align:center}.r{text-align:right}"
    "h1{font-size:16pt;margin:.4em 0}h2{font-size:12pt;margin:.6em 0 .3em}p{margin:.2em 0}p.small{font-size:8pt;color:#444}"
    "tr.title td{font-size:16pt;font-weight:bold;padding-top:.4em}"
    "tr.heading td{font-size:11pt;font-weight:bold;padding-top:.6em}"
    "tr.small td{font-size:8pt;color:#444}"
    "tr.totals td{font-weight:bold;border-top:1px solid #999}"
    "td.sub{padding-left:2em}table.sub th{font-size:9pt}div.chart{margin:.6em 0}";

class THtmlWriter : public TPagedWriter {
 public:
  THtmlWriter(std::string path, std::string tempFolder, THtmlOptions o)
      : TPagedWriter(std::move(path), std::move(tempFolder), o.SeparatePages), FOptions(o) {}

 private:
  THtmlOptions FOptions;
  std::string FCell;
  std::vector<std::string> FCellOpen;  // "<td>" / "<td class=\"r\">" per current column

  void Prepare() {
    FCellOpen.clear();
    for (const TColumn& c : Columns())
      FCellOpen.push_back(c.Align == TAlign::Left ? std::string("<td>") : std::string("<td class=\"") + AlignClass(c.Align) + "\">");
  }

  std::size_t Span() const { return std::max<std::size_t>(1, Columns().size()); }

  int ChromeLines() const override {
    int n = 0;
    if (!FInfo.PageHeader.empty()) n += static_cast<int>(FInfo.PageHeader.size()) + 1;
    if (!FInfo.PageFooter.empty()) n += static_cast<int>(FInfo.PageFooter.size()) + 1;
    return n;
  }
  int TableStartLines() const override { return FInfo.Columns.empty() ? 0 : 2; }

  void WriteTableStart() override {
    std::string& o = Out();
    o += "<table class=\"report\">\n";
    Head(o, FInfo.Columns);
    o += "<tbody>\n";
  }

  void WriteTableEnd() override { Out() += "</tbody></table>\n"; }
  int TextLines(const TTextLine& l) const override {
    return l.Style == TTextStyle::Title || l.Style == TTextStyle::Heading ? 2 : 1;
  }
  int TotalsLines(const TTotalsLine&) const override { return 1; }
  int SubreportStartLines() const override { return 2; }
  bool BreaksInSubreports() const override { return false; }

  void Head(std::string& o, const std::vector<TColumn>& cols) {
    if (cols.empty()) return;
    o += "<thead><tr>";
    for (const TColumn& c : cols) {
      o += "<th class=\"";
      o += AlignClass(c.Align);
      o += "\">";
      AppendXmlEscaped(o, c.Caption);
      o += "</th>";
    }
    o += "</tr></thead>\n";
  }

  void WriteDocumentStart() override {
    std::string& o = Out();
    o += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://www.w3.org/TR/html4/strict.dtd\">\n"
         "<html><head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n<title>";
    AppendXmlEscaped(o, FInfo.Title);
    o += "</title>\n<style type=\"text/css\">";
    o += kStyle;
    o += "</style>\n</head>\n<body>\n";
    Prepare();
  }

  void WritePageStart(long page) override {
    std::string& o = Out();
    o += "<div class=\"page\" id=\"p";
    o += std::to_string(page);
    o += "\">\n";
    if (FOptions.PageNavigator && FOptions.SeparatePages) AppendMarker(o, kNavigator, page);
    if (!FInfo.PageHeader.empty()) AppendMarker(o, kPageHeader, page);
  }

  void WritePageEnd(long page) override {
    std::string& o = Out();
    if (!FInfo.PageFooter.empty()) AppendMarker(o, kPageFooter, page);
    o += "</div>\n";
  }

  void WriteText(const TTextLine& l) override {
    std::string& o = Out();
    if (!TableOpen() && Depth() == 0) {
      // Above the table: headings and paragraphs.
      const char* tag = l.Style == TTextStyle::Title ? "h1" : l.Style == TTextStyle::Heading ? "h2" : "p";
      o += '<';
      o += tag;
      o += " class=\"";
      o += AlignClass(l.Align);
      if (l.Style == TTextStyle::Small) o += " small";
      o += "\">";
      AppendXmlEscaped(o, l.Text);
      o += "</";
      o += tag;
      o += ">\n";
      return;
    }
    o += "<tr class=\"";
    o += TextStyleName(l.Style);
    o += "\"><td colspan=\"";
    o += std::to_string(Span());
    o += "\" class=\"";
    o += AlignClass(l.Align);
    o += "\">";
    AppendXmlEscaped(o, l.Text);
    o += "</td></tr>\n";
  }

  // Lines of the text layout (6 per inch) the chart's height takes.
  int ChartLines(const TChartData& c) const override {
    return std::max(4, static_cast<int>(std::ceil(c.HeightMm / 25.4 * 6))) + 1;
  }

  void WriteChart(const TChartData& c) override {
    std::string& o = Out();
    double width = std::min(FPage.Columns * 7.2, 800.0);
    o += "<div class=\"chart\">";
    AppendChartSvg(o, LayoutChart(c, width, c.HeightMm * 72 / 25.4));
    o += "</div>\n";
  }

  void WriteTotals(const TTotalsLine& t) override {
    const std::vector<TColumn>& cols = Columns();
    std::vector<const TTotalValue*> cells(cols.size(), nullptr);
    for (const TTotalValue& v : t.Values)
      if (v.Column < cells.size()) cells[v.Column] = &v;
    std::string& o = Out();
    o += "<tr class=\"totals\">";
    std::size_t i = 0;
    if (!t.Label.empty()) {
      // The label spans the empty cells left of the first total.
      std::size_t span = 0;
      while (span < cells.size() && !cells[span]) ++span;
      if (span == 0) {
        o += "<td colspan=\"";
        o += std::to_string(Span());
        o += "\">";
        AppendXmlEscaped(o, t.Label);
        o += "</td></tr>\n<tr class=\"totals\">";
      } else {
        o += "<td colspan=\"";
        o += std::to_string(span);
        o += "\">";
        AppendXmlEscaped(o, t.Label);
        o += "</td>";
        i = span;
      }
    }
    for (; i < cols.size(); ++i) {
      o += FCellOpen[i];
      if (cells[i]) AppendXmlEscaped(o, cells[i]->Display);
      o += "</td>";
    }
    if (cols.empty()) o += "<td></td>";
    o += "</tr>\n";
  }

  void WriteRow(const TRowView& row) override {
    const std::vector<TColumn>& cols = Columns();
    std::string& o = Out();
    o += "<tr>";
    for (std::size_t i = 0; i < cols.size(); ++i) {
      o += FCellOpen[i];
      const TColumn& c = cols[i];
      if (c.Format || c.Type == TFieldType::Date || c.Type == TFieldType::DateTime) {
        FCell.clear();
        AppendDisplay(FCell, c, row);
        AppendXmlEscaped(o, FCell);
      } else {
        AppendXmlEscaped(o, row.Text(c.Source));
      }
      o += "</td>";
    }
    o += "</tr>\n";
  }

  void WriteSubreportStart(const TSubreportInfo& s) override {
    std::string& o = Out();
    o += "<tr class=\"subreport\"><td colspan=\"";
    o += std::to_string(Span());
    o += "\" class=\"sub\"><table class=\"sub\" title=\"";
    AppendXmlEscaped(o, s.Name);
    o += "\">\n";
    Head(o, s.Columns);
    o += "<tbody>\n";
  }

  void ColumnsChanged() override { Prepare(); }

  void WriteSubreportEnd() override {
    Out() += "</tbody></table></td></tr>\n";
  }

  void WriteDocumentEnd() override { Out() += "</body></html>\n"; }

  void ExpandMarker(char kind, long page, std::string& out) override {
    if (kind == kNavigator) {
      auto link = [&](const char* text, long target, bool on) {
        if (on) {
          out += "<a href=\"#p";
          out += std::to_string(target);
          out += "\">";
          out += text;
          out += "</a>";
        } else {
          out += "<span class=\"off\">";
          out += text;
          out += "</span>";
        }
      };
      out += "<div class=\"nav\">";
      link("First", 1, page > 1);
      link("Previous", page - 1, page > 1);
      link("Next", page + 1, page < FPageCount);
      link("Last", FPageCount, page < FPageCount);
      out += "<span>Page ";
      out += std::to_string(page);
      out += " of ";
      out += std::to_string(FPageCount);
      out += "</span></div>\n";
      return;
    }
    const std::vector<TPageLine>& lines = kind == kPageHeader ? FInfo.PageHeader : FInfo.PageFooter;
    out += kind == kPageHeader ? "<div class=\"ph\">" : "<div class=\"pf\">";
    for (const TPageLine& l : lines) {
      out += "<p class=\"";
      out += AlignClass(l.Align);
      out += "\">";
      AppendXmlEscaped(out, l.Resolve(page, FPageCount));
      out += "</p>";
    }
    out += "</div>\n";
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeHtmlWriter(std::string path, std::string tempFolder, THtmlOptions options) {
  return std::make_unique<THtmlWriter>(std::move(path), std::move(tempFolder), options);
}

}  // namespace mv::rpe
