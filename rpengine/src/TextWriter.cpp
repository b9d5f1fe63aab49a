#include <algorithm>

#include "PagedWriter.h"

namespace mv::rpe {
namespace {

constexpr int kGap = 2;  // blanks between columns

int AlignCode(TAlign a) { return a == TAlign::Right ? 2 : a == TAlign::Center ? 1 : 0; }

std::size_t TableWidth(const std::vector<TColumn>& cols) {
  std::size_t w = 0;
  for (const TColumn& c : cols) w += static_cast<std::size_t>(c.Width);
  return cols.empty() ? 0 : w + kGap * (cols.size() - 1);
}

void TrimRight(std::string& s, std::size_t from) {
  std::size_t end = s.size();
  while (end > from && s[end - 1] == ' ') --end;
  s.resize(end);
}

class TTextWriter : public TPagedWriter {
 public:
  TTextWriter(std::string path, std::string tempFolder) : TPagedWriter(std::move(path), std::move(tempFolder), true) {}

 private:
  std::size_t FWidth = 70;
  std::string FCell;

  std::size_t Width() const {
    return std::max<std::size_t>(static_cast<std::size_t>(FPage.Columns), TableWidth(FInfo.Columns));
  }
  std::string Indent() const { return std::string(static_cast<std::size_t>(Depth()) * 4, ' '); }

  int ChromeLines() const override {
    int n = 0;
    if (!FInfo.PageHeader.empty()) n += static_cast<int>(FInfo.PageHeader.size()) + 1;
    if (!FInfo.PageFooter.empty()) n += static_cast<int>(FInfo.PageFooter.size()) + 1;
    return n;
  }
  int TableStartLines() const override { return FInfo.Columns.empty() ? 0 : 2; }
  void WriteTableStart() override { Captions(FInfo.Columns); }
  void WriteTableEnd() override {}
  // A title is underlined with "=", a heading set off by a blank line and
  // underlined with "-".
  int TextLines(const TTextLine& l) const override {
    return l.Style == TTextStyle::Title ? 2 : l.Style == TTextStyle::Heading ? 3 : 1;
  }
  int TotalsLines(const TTotalsLine& t) const override { return LabelFits(t) ? 1 : 2; }
  int SubreportStartLines() const override { return 2; }
  bool BreaksInSubreports() const override { return true; }

  void WriteDocumentStart() override { FWidth = Width(); }

  void Captions(const std::vector<TColumn>& cols) {
    if (cols.empty()) return;
    std::string& o = Out();
    std::size_t start = o.size();
    o += Indent();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (i) o.append(kGap, ' ');
      AppendFitted(o, cols[i].Caption, static_cast<std::size_t>(cols[i].Width), AlignCode(cols[i].Align));
    }
    TrimRight(o, start);
    o += '\n';
    o += Indent();
    o.append(TableWidth(cols), '-');
    o += '\n';
  }

  void WritePageStart(long page) override {
    if (page > 1) Out() += '\f';
    if (!FInfo.PageHeader.empty()) AppendMarker(Out(), kPageHeader, page);
  }

  void WriteContinuation() override { Captions(Columns()); }

  void WritePageEnd(long page) override {
    if (!FInfo.PageFooter.empty()) AppendMarker(Out(), kPageFooter, page);
  }

  void Line(std::string_view text, TAlign align, std::size_t width) {
    std::string& o = Out();
    std::size_t start = o.size();
    o += Indent();
    AppendFitted(o, text, std::max(width, Utf8Width(text)), AlignCode(align));
    TrimRight(o, start);
    o += '\n';
  }

  std::size_t CurrentWidth() const { return Depth() == 0 ? FWidth : std::max<std::size_t>(TableWidth(Columns()), 40); }

  void WriteText(const TTextLine& l) override {
    std::size_t w = CurrentWidth();
    if (l.Style == TTextStyle::Heading) Out() += '\n';
    Line(l.Text, l.Align, w);
    if (l.Style == TTextStyle::Title || l.Style == TTextStyle::Heading) {
      std::size_t n = std::min(Utf8Width(l.Text), w);
      std::string rule(n, l.Style == TTextStyle::Title ? '=' : '-');
      std::size_t pad = l.Align == TAlign::Right ? w - n : l.Align == TAlign::Center ? (w - n) / 2 : 0;
      Line(std::string(pad, ' ') + rule, TAlign::Left, w);
    }
  }

  // Start of each column within a table line.
  std::vector<std::size_t> Starts() const {
    std::vector<std::size_t> s;
    std::size_t x = 0;
    for (const TColumn& c : Columns()) {
      s.push_back(x);
      x += static_cast<std::size_t>(c.Width) + kGap;
    }
    return s;
  }

  bool LabelFits(const TTotalsLine& t) const {
    if (t.Label.empty()) return true;
    std::size_t first = std::string::npos;
    std::vector<std::size_t> s = Starts();
    for (const TTotalValue& v : t.Values)
      if (v.Column < s.size()) first = std::min(first, s[v.Column]);
    return first == std::string::npos || Utf8Width(t.Label) + 1 <= first;
  }

  void WriteTotals(const TTotalsLine& t) override {
    const std::vector<TColumn>& cols = Columns();
    std::vector<std::string> cells(cols.size());
    for (const TTotalValue& v : t.Values)
      if (v.Column < cells.size()) cells[v.Column] = v.Display;
    bool fits = LabelFits(t);
    if (!fits) Line(t.Label, TAlign::Left, 0);
    std::string& o = Out();
    std::size_t start = o.size();
    o += Indent();
    std::size_t lineStart = o.size();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (i) o.append(kGap, ' ');
      AppendFitted(o, cells[i], static_cast<std::size_t>(cols[i].Width), AlignCode(cols[i].Align));
    }
    if (fits && !t.Label.empty()) {
      // Over the blanks left of the first total.
      std::string label;
      AppendPlain(label, t.Label);
      std::string rest = o.substr(lineStart);
      std::size_t skip = 0, chars = Utf8Width(label);
      // Drop as many leading blanks as the label takes characters.
      while (skip < rest.size() && chars > 0 && rest[skip] == ' ') {
        ++skip;
        --chars;
      }
      o.resize(lineStart);
      o += label;
      o += rest.substr(skip);
    }
    TrimRight(o, start);
    o += '\n';
  }

  void WriteRow(const TRowView& row) override {
    const std::vector<TColumn>& cols = Columns();
    std::string& o = Out();
    std::size_t start = o.size();
    if (Depth() > 0) o += Indent();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (i) o.append(kGap, ' ');
      FCell.clear();
      AppendDisplay(FCell, cols[i], row);
      AppendFitted(o, FCell, static_cast<std::size_t>(cols[i].Width), AlignCode(cols[i].Align));
    }
    TrimRight(o, start);
    o += '\n';
  }

  void WriteSubreportStart(const TSubreportInfo& s) override {
    // Drawn one level in: the stack is pushed after this call.
    std::string& o = Out();
    o += std::string(static_cast<std::size_t>(Depth() + 1) * 4, ' ');
    o += '[';
    AppendPlain(o, s.Name);
    o += "]\n";
    std::string indent(static_cast<std::size_t>(Depth() + 1) * 4, ' ');
    if (!s.Columns.empty()) {
      std::size_t startLen = o.size();
      o += indent;
      for (std::size_t i = 0; i < s.Columns.size(); ++i) {
        if (i) o.append(kGap, ' ');
        AppendFitted(o, s.Columns[i].Caption, static_cast<std::size_t>(s.Columns[i].Width), AlignCode(s.Columns[i].Align));
      }
      TrimRight(o, startLen);
      o += '\n';
    } else {
      o += '\n';
    }
  }

  void WriteSubreportEnd() override {}
  void WriteDocumentEnd() override {}

  void ExpandMarker(char kind, long page, std::string& out) override {
    const std::vector<TPageLine>& lines = kind == kPageHeader ? FInfo.PageHeader : FInfo.PageFooter;
    if (kind == kPageFooter) out += '\n';
    for (const TPageLine& l : lines) {
      std::size_t start = out.size();
      AppendFitted(out, l.Resolve(page, FPageCount), FWidth, AlignCode(l.Align));
      TrimRight(out, start);
      out += '\n';
    }
    if (kind == kPageHeader) out += '\n';
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeTextWriter(std::string path, std::string tempFolder) {
  return std::make_unique<TTextWriter>(std::move(path), std::move(tempFolder));
}

}  // namespace mv::rpe
