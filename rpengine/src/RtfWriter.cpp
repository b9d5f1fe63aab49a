#include "RtfWriter.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>

#include "OutputFile.h"
#include "PdfWriter.h"

namespace mv::rpe {

void AppendRtfText(std::string& out, std::string_view s) {
  auto unit = [&](unsigned v) {
    out += "\\u";
    out += std::to_string(static_cast<int>(static_cast<std::int16_t>(v)));
    out += '?';
  };
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '\\' || c == '{' || c == '}') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c == '\n') {
        out += "\\line ";
      } else if (c == '\t') {
        out += "\\tab ";
      } else if (c >= 0x20) {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    unsigned cp = len == 4 ? c & 0x07 : len == 3 ? c & 0x0F : c & 0x1F;
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      unit(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
    i += static_cast<std::size_t>(len);
  }
}

namespace {

constexpr double kTwipsPerMm = 1440 / 25.4;
constexpr int kIndentTw = 360;

std::string Tw(double v) { return std::to_string(static_cast<long>(std::lround(v))); }

class TRtfWriter : public TReportSink {
 public:
  explicit TRtfWriter(std::string path) : FPath(std::move(path)) {}

  void Begin(const TReportInfo& info) override {
    FInfo = info;
    FFile.emplace(FPath);
    const TPageSetup& p = info.File->Page;
    const TSummaryInfo& sum = info.File->Summary;
    std::string& o = FFile->Buffer();
    o += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
         "{\\fonttbl{\\f0\\fswiss\\fcharset0 Liberation Sans{\\*\\falt Arial};}}\n"
         "{\\colortbl;\\red0\\green0\\blue0;\\red85\\green85\\blue85;\\red236\\green239\\blue244;}\n{\\info";
    auto infoField = [&](const char* name, const std::string& v) {
      if (v.empty()) return;
      o += "{\\";
      o += name;
      o += ' ';
      AppendRtfText(o, v);
      o += '}';
    };
    infoField("title", info.Title);
    infoField("subject", sum.Subject);
    infoField("author", sum.Author);
    infoField("keywords", sum.Keywords);
    infoField("doccomm", sum.Comments);
    std::string date = DocumentDate(info.PrintTime);
    o += "{\\creatim\\yr" + date.substr(0, 4) + "\\mo" + std::to_string(std::stoi(date.substr(5, 2))) + "\\dy" +
         std::to_string(std::stoi(date.substr(8, 2))) + "\\hr" + std::to_string(std::stoi(date.substr(11, 2))) +
         "\\min" + std::to_string(std::stoi(date.substr(14, 2))) + "}";
    o += "}\n";
    o += "\\paperw" + Tw(p.WidthMm * kTwipsPerMm) + "\\paperh" + Tw(p.HeightMm * kTwipsPerMm) + "\\margl" +
         Tw(p.MarginLeftMm * kTwipsPerMm) + "\\margr" + Tw(p.MarginRightMm * kTwipsPerMm) + "\\margt" +
         Tw(p.MarginTopMm * kTwipsPerMm) + "\\margb" + Tw(p.MarginBottomMm * kTwipsPerMm);
    if (p.Landscape) o += "\\landscape";
    o += "\\widowctrl\\fs18\n";
    FTextWidth = (p.WidthMm - p.MarginLeftMm - p.MarginRightMm) * kTwipsPerMm;
    if (!info.PageHeader.empty()) Chrome("header", info.PageHeader);
    if (!info.PageFooter.empty()) Chrome("footer", info.PageFooter);
    FColumns.push_back(&FInfo.Columns);
    Prepare();
  }

  void BeginSection(const TSectionEvent& s) override {
    FKeep = s.Kind == TSectionKind::GroupHeader;
    FInTable = false;
  }

  void Text(const TTextLine& l) override {
    std::string& o = FFile->Buffer();
    FInTable = false;
    o += "\\pard\\plain\\f0";
    if (Depth() > 0) o += "\\li" + std::to_string(Depth() * kIndentTw);
    o += l.Align == TAlign::Right ? "\\qr" : l.Align == TAlign::Center ? "\\qc" : "\\ql";
    switch (l.Style) {
      case TTextStyle::Title: o += "\\sb120\\sa120\\fs32\\b"; break;
      case TTextStyle::Heading: o += "\\sb200\\sa60\\fs22\\b"; break;
      case TTextStyle::Small: o += "\\fs14\\cf2"; break;
      case TTextStyle::Normal: o += "\\fs18"; break;
    }
    // A group's heading stays on the page of its first rows.
    if (FKeep) o += "\\keepn";
    o += ' ';
    AppendRtfText(o, l.Text);
    o += "\\par\n";
    FFile->FlushIfFull();
  }

  void Totals(const TTotalsLine& t) override {
    std::vector<std::string> cells(Columns().size());
    bool own = false;
    for (const TTotalValue& v : t.Values)
      if (v.Column < cells.size()) {
        cells[v.Column] = v.Display;
        own |= v.Column == 0;
      }
    if (!t.Label.empty()) {
      if (own) Text({TTextStyle::Normal, TAlign::Left, t.Label});
      else cells[0] = t.Label;
    }
    std::string& o = FFile->Buffer();
    o += FRowTotals;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      o += "\\pard\\plain\\intbl\\f0\\fs18\\b";
      o += Columns()[i].Align == TAlign::Right && !(i == 0 && !own && !t.Label.empty()) ? "\\qr " : "\\ql ";
      AppendRtfText(o, cells[i]);
      o += "\\cell";
    }
    o += "\\row\n";
    FInTable = false;
  }

  void EndSection() override { FKeep = false; }

  void BeginSubreport(const TSubreportInfo& s) override {
    FSubColumns.push_back(s.Columns);
    FColumns.push_back(&FSubColumns.back());
    std::string& o = FFile->Buffer();
    o += "\\pard\\plain\\f0\\fs16\\i\\keepn\\li" + std::to_string(Depth() * kIndentTw) + ' ';
    AppendRtfText(o, s.Name);
    o += "\\par\n";
    Prepare();
    FInTable = false;
  }

  void EndSubreport() override {
    FColumns.pop_back();
    FSubColumns.pop_back();
    Prepare();
    FInTable = false;
  }

  void Row(const TRowView& row) override {
    std::string& o = FFile->Buffer();
    if (!FInTable) {
      Captions();
      FInTable = true;
    }
    o += FRowPlain;
    const std::vector<TColumn>& cols = Columns();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      o += FCellOpen[i];
      FCell.clear();
      AppendDisplay(FCell, cols[i], row);
      AppendRtfText(o, FCell);
      o += "\\cell";
    }
    o += "\\row\n";
    FFile->FlushIfFull();
  }

  void End() override {
    FFile->Buffer() += "\\pard\\par}\n";
    FFile->Commit();
  }

 private:
  std::string FPath;
  TReportInfo FInfo;
  std::optional<TOutputFile> FFile;
  double FTextWidth = 0;
  bool FKeep = false, FInTable = false;
  std::vector<const std::vector<TColumn>*> FColumns;
  std::deque<std::vector<TColumn>> FSubColumns;
  // Row definitions of the current table: plain, captions, totals.
  std::string FRowPlain, FRowCaptions, FRowTotals;
  std::vector<std::string> FCellOpen;
  std::string FCell;

  int Depth() const { return static_cast<int>(FColumns.size()) - 1; }
  const std::vector<TColumn>& Columns() const { return *FColumns.back(); }

  void Prepare() {
    const std::vector<TColumn>& cols = Columns();
    double indent = Depth() * kIndentTw;
    double natural = 0;
    for (const TColumn& c : cols) natural += std::max(3, c.Width) + 2;
    double avail = FTextWidth - indent;
    // Main table across the text width; subreports at most that wide.
    double perChar = natural <= 0 ? 0 : Depth() == 0 ? avail / natural : std::min(avail / natural, 110.0);
    std::string cellx, cellxCaption, cellxTotals;
    double x = indent;
    for (const TColumn& c : cols) {
      x += (std::max(3, c.Width) + 2) * perChar;
      cellx += "\\cellx" + Tw(x);
      cellxCaption += "\\clbrdrb\\brdrs\\brdrw15\\cellx" + Tw(x);
      cellxTotals += "\\clbrdrt\\brdrs\\brdrw5\\cellx" + Tw(x);
    }
    std::string row = "\\trowd\\trgaph60\\trleft" + Tw(indent);
    FRowPlain = row + cellx + "\n";
    FRowCaptions = row + "\\trhdr\\trkeep" + cellxCaption + "\n";
    FRowTotals = row + "\\trkeep" + cellxTotals + "\n";
    FCellOpen.clear();
    for (const TColumn& c : cols)
      FCellOpen.push_back(std::string("\\pard\\plain\\intbl\\f0\\fs17") +
                          (c.Align == TAlign::Right ? "\\qr " : c.Align == TAlign::Center ? "\\qc " : "\\ql "));
  }

  // The caption row, repeated by the word processor at the top of each page
  // the table runs on to.
  void Captions() {
    const std::vector<TColumn>& cols = Columns();
    if (cols.empty()) return;
    std::string& o = FFile->Buffer();
    o += FRowCaptions;
    for (const TColumn& c : cols) {
      o += "\\pard\\plain\\intbl\\keepn\\f0\\fs17\\b";
      o += c.Align == TAlign::Right ? "\\qr " : c.Align == TAlign::Center ? "\\qc " : "\\ql ";
      AppendRtfText(o, c.Caption);
      o += "\\cell";
    }
    o += "\\row\n";
  }

  void Chrome(const char* where, const std::vector<TPageLine>& lines) {
    std::string& o = FFile->Buffer();
    o += "{\\";
    o += where;
    for (const TPageLine& l : lines) {
      o += "\\pard\\plain\\f0\\fs15\\cf2";
      o += l.Align == TAlign::Right ? "\\qr " : l.Align == TAlign::Center ? "\\qc " : "\\ql ";
      for (const TPageLine::TPart& p : l.Parts) {
        if (p.Kind == TPageLine::TPart::TKind::PageNumber) o += "{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}";
        else if (p.Kind == TPageLine::TPart::TKind::PageCount) o += "{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt 1}}";
        else AppendRtfText(o, p.Text);
      }
      o += "\\par";
    }
    o += "}\n";
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeRtfWriter(std::string path) { return std::make_unique<TRtfWriter>(std::move(path)); }

}  // namespace mv::rpe
