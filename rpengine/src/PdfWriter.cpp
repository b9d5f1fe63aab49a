// PDF output. cairo cannot go back to a finished page, so "Page N of M"
// needs the page count before the first page is drawn: the first pass
// records the events (with the row values already formatted) in a spool
// file and runs the layout without drawing to count the pages; the second
// pass replays the spool through the same layout, drawing. Both passes cut
// pages at the same places because the layout's vertical geometry depends
// on the events alone, never on measured text.
//
// Drawing speed comes from shaping each distinct cell text once (a bounded
// cache; one-off texts such as page footers and group totals are shaped
// without caching) and drawing all glyphs of a row with one
// cairo_show_glyphs per font.
#include "PdfWriter.h"

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <optional>
#include <unordered_map>
#include <variant>

#include "Chart.h"
#include "Errors.h"
#include "OutputFile.h"

namespace mv::rpe {

std::string DocumentDate(const TCivilTime& runStart) {
  char buf[40];
  if (const char* sde = std::getenv("SOURCE_DATE_EPOCH"); sde && *sde) {
    char* end = nullptr;
    long long secs = std::strtoll(sde, &end, 10);
    if (end && *end == '\0' && secs >= 0) {
      std::time_t t = static_cast<std::time_t>(secs);
      std::tm tm{};
      gmtime_r(&t, &tm);
      std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
      return buf;
    }
  }
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", runStart.Year, runStart.Month, runStart.Day,
                runStart.Hour, runStart.Minute, runStart.Second);
  return buf;
}

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;

// Font roles.
enum TFontRole { kBody, kBodyBold, kTitle, kHeading, kSmall, kChrome, kItalic, kRoleCount };
const char* kFontDesc[kRoleCount] = {"Liberation Sans 8.5",      "Liberation Sans Bold 8.5", "Liberation Sans Bold 15",
                                     "Liberation Sans Bold 10.5", "Liberation Sans 7",        "Liberation Sans 7.5",
                                     "Liberation Sans Italic 8.5"};

// Vertical geometry in points.
constexpr double kRowH = 11.5, kCaptionH = 15, kTotalsH = 14, kTextH = 12.5, kSmallH = 10, kTitleH = 24,
                 kHeadingH = 20, kChromeLineH = 10, kChromeGap = 8, kSubStartH = kTextH + kCaptionH, kIndent = 18,
                 kCellPad = 4, kCharW = 5.0;

double TextHeight(TTextStyle s) {
  switch (s) {
    case TTextStyle::Title: return kTitleH;
    case TTextStyle::Heading: return kHeadingH;
    case TTextStyle::Small: return kSmallH;
    case TTextStyle::Normal: break;
  }
  return kTextH;
}

TFontRole TextRole(TTextStyle s) {
  switch (s) {
    case TTextStyle::Title: return kTitle;
    case TTextStyle::Heading: return kHeading;
    case TTextStyle::Small: return kSmall;
    case TTextStyle::Normal: break;
  }
  return kBody;
}

// ---- Spool records --------------------------------------------------------
// Each record: u32 length of what follows, a kind byte, then its fields.

enum TRecord : char { kSection = 'S', kText = 'T', kTotals = 'O', kChart = 'C', kEndSection = 'E', kSub = 'B', kEndSub = 'X', kRow = 'R' };

void PutU32(std::string& o, std::uint32_t v) { o.append(reinterpret_cast<const char*>(&v), 4); }
void PutStr(std::string& o, std::string_view s) {
  PutU32(o, static_cast<std::uint32_t>(s.size()));
  o.append(s);
}

class TReader {
 public:
  TReader(const char* p, std::size_t n) : FP(p), FEnd(p + n) {}
  std::uint32_t U32() {
    std::uint32_t v;
    std::memcpy(&v, FP, 4);
    FP += 4;
    return v;
  }
  char Byte() { return *FP++; }
  std::string_view Str() {
    std::uint32_t n = U32();
    std::string_view s(FP, n);
    FP += n;
    return s;
  }
  bool AtEnd() const { return FP >= FEnd; }

 private:
  const char* FP;
  const char* FEnd;
};

// ---- Shaping --------------------------------------------------------------

struct TRun {
  PangoFont* Font = nullptr;  // held by TFonts
  std::vector<cairo_glyph_t> Glyphs;  // x from the text's start, y 0
};

struct TShaped {
  std::vector<TRun> Runs;
  double Width = 0;
};

class TFonts {
 public:
  TFonts() {
    FContext = pango_font_map_create_context(pango_cairo_font_map_get_default());
    pango_cairo_context_set_resolution(FContext, 72);
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(FContext, fo);
    cairo_font_options_destroy(fo);
    pango_context_set_round_glyph_positions(FContext, FALSE);
    for (int r = 0; r < kRoleCount; ++r) {
      PangoFontDescription* d = pango_font_description_from_string(kFontDesc[r]);
      FLayouts[r] = pango_layout_new(FContext);
      pango_layout_set_font_description(FLayouts[r], d);
      pango_layout_set_single_paragraph_mode(FLayouts[r], TRUE);
      PangoFontMetrics* m = pango_context_get_metrics(FContext, d, nullptr);
      FAscent[r] = pango_font_metrics_get_ascent(m) / double(PANGO_SCALE);
      FDescent[r] = pango_font_metrics_get_descent(m) / double(PANGO_SCALE);
      pango_font_metrics_unref(m);
      pango_font_description_free(d);
    }
  }
  ~TFonts() {
    for (PangoLayout* l : FLayouts) g_object_unref(l);
    for (auto& [font, scaled] : FHeld) g_object_unref(font);
    g_object_unref(FContext);
  }
  TFonts(const TFonts&) = delete;
  TFonts& operator=(const TFonts&) = delete;

  // A cell text, shaped once and kept (up to a bound).
  const TShaped& Cached(TFontRole role, std::string_view text) {
    auto& cache = FCache[role];
    FKey.assign(text);
    auto it = cache.find(FKey);
    if (it != cache.end()) return it->second;
    if (cache.size() >= kCacheLimit) cache.clear();
    return cache.emplace(FKey, Shape(role, text)).first->second;
  }
  // A text seen once or rarely: shaped into a scratch result.
  const TShaped& Once(TFontRole role, std::string_view text) {
    FScratch = Shape(role, text);
    return FScratch;
  }
  // Baseline offset that centres the role's font in a line of `height`.
  double Baseline(TFontRole role, double height) const {
    return (height + FAscent[role] - FDescent[role]) / 2;
  }
  cairo_scaled_font_t* Scaled(PangoFont* f) { return FHeld.at(f); }

 private:
  static constexpr std::size_t kCacheLimit = 20000;
  PangoContext* FContext = nullptr;
  PangoLayout* FLayouts[kRoleCount] = {};
  double FAscent[kRoleCount] = {}, FDescent[kRoleCount] = {};
  std::unordered_map<std::string, TShaped> FCache[kRoleCount];
  std::unordered_map<PangoFont*, cairo_scaled_font_t*> FHeld;
  std::string FKey;
  TShaped FScratch;

  TShaped Shape(TFontRole role, std::string_view text) {
    TShaped out;
    if (text.empty()) return out;
    PangoLayout* l = FLayouts[role];
    pango_layout_set_text(l, text.data(), static_cast<int>(text.size()));
    PangoLayoutLine* line = pango_layout_get_line_readonly(l, 0);
    double x = 0;
    for (GSList* r = line ? line->runs : nullptr; r; r = r->next) {
      auto* item = static_cast<PangoGlyphItem*>(r->data);
      PangoFont* font = item->item->analysis.font;
      if (!FHeld.count(font)) {
        g_object_ref(font);
        FHeld.emplace(font, pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font)));
      }
      TRun run;
      run.Font = font;
      PangoGlyphString* gs = item->glyphs;
      for (int i = 0; i < gs->num_glyphs; ++i) {
        const PangoGlyphInfo& g = gs->glyphs[i];
        if (g.glyph != PANGO_GLYPH_EMPTY && !(g.glyph & PANGO_GLYPH_UNKNOWN_FLAG))
          run.Glyphs.push_back({g.glyph, x + g.geometry.x_offset / double(PANGO_SCALE),
                                g.geometry.y_offset / double(PANGO_SCALE)});
        x += g.geometry.width / double(PANGO_SCALE);
      }
      out.Runs.push_back(std::move(run));
    }
    out.Width = x;
    return out;
  }
};

// Glyphs gathered for one line, by font, drawn with one call per font.
class TGlyphLine {
 public:
  void Add(const TShaped& s, double x, double baseline, double clipRight) {
    for (const TRun& r : s.Runs) {
      std::vector<cairo_glyph_t>* v = nullptr;
      for (auto& [f, glyphs] : FByFont)
        if (f == r.Font) v = &glyphs;
      if (!v) v = &FByFont.emplace_back(r.Font, std::vector<cairo_glyph_t>{}).second;
      for (const cairo_glyph_t& g : r.Glyphs) {
        if (x + g.x > clipRight) break;
        v->push_back({g.index, x + g.x, baseline + g.y});
      }
    }
  }
  void Draw(cairo_t* cr, TFonts& fonts) {
    for (auto& [f, glyphs] : FByFont) {
      if (glyphs.empty()) continue;
      cairo_set_scaled_font(cr, fonts.Scaled(f));
      cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
      glyphs.clear();
    }
  }

 private:
  std::vector<std::pair<PangoFont*, std::vector<cairo_glyph_t>>> FByFont;
};

// ---- Layout ---------------------------------------------------------------

struct TTable {
  std::vector<double> X, W;  // column starts (from the table's left) and widths
  double Width = 0;
};

TTable TableOf(const std::vector<TColumn>& cols, double avail, bool stretch) {
  TTable t;
  double natural = 0;
  for (const TColumn& c : cols) natural += std::max(3, c.Width) * kCharW + 2 * kCellPad;
  double scale = natural <= 0 ? 1 : (stretch || natural > avail ? avail / natural : 1.0);
  double x = 0;
  for (const TColumn& c : cols) {
    double w = (std::max(3, c.Width) * kCharW + 2 * kCellPad) * scale;
    t.X.push_back(x);
    t.W.push_back(w);
    x += w;
  }
  t.Width = x;
  return t;
}

// The page layout, run twice: without a cairo context to count pages, then
// with one to draw them.
class TLayout {
 public:
  // `cr` null: the pages are only counted. Pages outside [first, last]
  // (0: open) are laid out but not drawn.
  TLayout(const TReportInfo& info, const TPageSetup& page, cairo_t* cr, TFonts* fonts, long pageCount, long first = 0,
          long last = 0)
      : FInfo(info), FTarget(cr), FFonts(fonts), FPageCount(pageCount), FFirst(first), FLast(last) {
    FPageW = page.WidthMm * kPtPerMm;
    FPageH = page.HeightMm * kPtPerMm;
    FLeft = page.MarginLeftMm * kPtPerMm;
    FRight = FPageW - page.MarginRightMm * kPtPerMm;
    if (FRight - FLeft < 72) FRight = std::min(FPageW, FLeft + 72);
    double top = page.MarginTopMm * kPtPerMm, bottom = FPageH - page.MarginBottomMm * kPtPerMm;
    FBodyTop = top + (info.PageHeader.empty() ? 0 : info.PageHeader.size() * kChromeLineH + kChromeGap);
    FBodyBottom = bottom - (info.PageFooter.empty() ? 0 : info.PageFooter.size() * kChromeLineH + kChromeGap);
    FTop = top;
    FBottom = bottom;
    // At least a few rows per page, however tall the header and footer are.
    if (FBodyBottom - FBodyTop < 6 * kRowH) FBodyBottom = FBodyTop + 6 * kRowH;
    FColumns.push_back(&FInfo.Columns);
    FTables.push_back(TableOf(FInfo.Columns, FRight - FLeft, true));
    FPage = 1;
    StartPage();
  }

  double PageWidth() const { return FPageW; }
  double PageHeight() const { return FPageH; }
  long Pages() const { return FPage; }

  void BeginSection(TSectionKind kind) {
    FHeaderPending = kind == TSectionKind::GroupHeader;
    FPending.clear();
    FStripe = false;
  }

  void Text(const TTextLine& line) {
    if (FHeaderPending) {
      FPending.emplace_back(line);
      return;
    }
    Ensure(TextHeight(line.Style));
    DrawText(line);
  }

  void Totals(const TTotalsLine& t) {
    if (FHeaderPending) {
      FPending.emplace_back(t);
      return;
    }
    EnsureInTable(TotalsHeight(t));
    DrawTotals(t);
  }

  void EndSection() {
    if (FHeaderPending) {
      FlushPending(FPending.empty() ? 0 : kRowH);
      FHeaderPending = false;
    }
  }

  // A chart across the body's width, on the next page when it does not
  // fit on this one; the rows after it start with their captions again.
  void Chart(const TChartData& c) {
    double h = std::min(c.HeightMm * kPtPerMm, Capacity()) + 6;
    Ensure(h);
    if (FCr) {
      TChartScene scene = LayoutChart(c, FRight - FLeft - Indent(), h - 6);
      DrawChart(FCr, scene, FLeft + Indent(), FBodyTop + FUsed + 3);
      cairo_set_source_rgb(FCr, 0, 0, 0);
    }
    FUsed += h;
    FTableOpen = false;
    FStripe = false;
  }

  void BeginSubreport(const TSubreportInfo& s) {
    if (FHeaderPending) {
      FlushPending(0);
      FHeaderPending = false;
    }
    EnsureInTable(kSubStartH);
    FColumns.push_back(&s.Columns);
    FTables.push_back(TableOf(s.Columns, FRight - FLeft - Indent(), false));
    FSubNames.push_back(s.Name);
    DrawSubreportStart(true);
  }

  void EndSubreport() {
    FColumns.pop_back();
    FTables.pop_back();
    FSubNames.pop_back();
  }

  template <class TCells>
  void Row(const TCells& cells) {
    EnsureInTable(kRowH);
    if (FCr) {
      double y = FBodyTop + FUsed;
      if (FStripe) {
        cairo_set_source_rgb(FCr, 0.94, 0.95, 0.97);
        cairo_rectangle(FCr, FLeft + Indent(), y, Table().Width, kRowH);
        cairo_fill(FCr);
      }
      cairo_set_source_rgb(FCr, 0, 0, 0);
      double base = y + FFonts->Baseline(kBody, kRowH);
      for (std::size_t i = 0; i < Table().X.size() && i < cells.size(); ++i)
        PlaceCell(FFonts->Cached(kBody, cells[i]), i, base);
      FLine.Draw(FCr, *FFonts);
    }
    FStripe = !FStripe;
    FUsed += kRowH;
  }

  void Finish() { EndPage(false); }

 private:
  const TReportInfo& FInfo;
  cairo_t* FTarget;
  cairo_t* FCr = nullptr;  // FTarget on a page that is drawn, else null
  TFonts* FFonts;
  long FPageCount;
  long FFirst, FLast;
  double FPageW = 0, FPageH = 0, FLeft = 0, FRight = 0, FTop = 0, FBottom = 0, FBodyTop = 0, FBodyBottom = 0;
  long FPage = 0;
  double FUsed = 0;
  bool FTableOpen = false, FHeaderPending = false, FStripe = false;
  std::vector<std::variant<TTextLine, TTotalsLine>> FPending;
  std::vector<const std::vector<TColumn>*> FColumns;
  std::vector<TTable> FTables;
  std::vector<std::string> FSubNames;
  TGlyphLine FLine;

  int Depth() const { return static_cast<int>(FColumns.size()) - 1; }
  double Indent() const { return Depth() * kIndent; }
  const TTable& Table() const { return FTables.back(); }
  const std::vector<TColumn>& Columns() const { return *FColumns.back(); }
  double Capacity() const { return FBodyBottom - FBodyTop; }

  double TotalsHeight(const TTotalsLine& t) const { return LabelOwnLine(t) ? kTextH + kTotalsH : kTotalsH; }
  // A label goes left of the first total; when that is in the first
  // column, on a line of its own above.
  bool LabelOwnLine(const TTotalsLine& t) const {
    if (t.Label.empty()) return false;
    for (const TTotalValue& v : t.Values)
      if (v.Column == 0) return true;
    return false;
  }

  void Ensure(double h) {
    if (FUsed > 0 && FUsed + h > Capacity() + 0.01) NewPage();
  }

  void EnsureInTable(double h) {
    if (Depth() > 0) {
      Ensure(h);
      return;
    }
    Ensure(h + (!FTableOpen && !FInfo.Columns.empty() ? kCaptionH : 0));
    // A new page closes the table: its captions come again.
    if (!FTableOpen) {
      if (!FInfo.Columns.empty()) DrawCaptions(Columns(), Table(), 0);
      FTableOpen = true;
    }
  }

  void FlushPending(double rowAfter) {
    double h = rowAfter;
    for (const auto& p : FPending)
      h += std::holds_alternative<TTextLine>(p) ? TextHeight(std::get<TTextLine>(p).Style)
                                                : TotalsHeight(std::get<TTotalsLine>(p));
    if (rowAfter > 0 && !FTableOpen && Depth() == 0 && !FInfo.Columns.empty()) h += kCaptionH;
    if (h > 0) Ensure(h);
    for (const auto& p : FPending) {
      if (std::holds_alternative<TTextLine>(p)) {
        DrawText(std::get<TTextLine>(p));
      } else {
        EnsureInTable(TotalsHeight(std::get<TTotalsLine>(p)));
        DrawTotals(std::get<TTotalsLine>(p));
      }
    }
    FPending.clear();
  }

  void NewPage() {
    EndPage(true);
    ++FPage;
    StartPage();
    if (Depth() > 0) DrawSubreportStart(false);
  }

  void StartPage() {
    FUsed = 0;
    FTableOpen = false;
    FStripe = false;
    FCr = (FFirst == 0 || FPage >= FFirst) && (FLast == 0 || FPage <= FLast) ? FTarget : nullptr;
    if (!FCr) return;
    cairo_set_source_rgb(FCr, 0.3, 0.3, 0.3);
    double y = FTop;
    for (const TPageLine& l : FInfo.PageHeader) {
      DrawOnce(kChrome, l.Resolve(FPage, FPageCount), l.Align, FLeft, FRight, y, kChromeLineH);
      y += kChromeLineH;
    }
    if (!FInfo.PageHeader.empty()) Rule(FLeft, FRight, y + kChromeGap / 2 - 1, 0.4, 0.6);
    cairo_set_source_rgb(FCr, 0, 0, 0);
  }

  void EndPage(bool more) {
    if (FCr) {
      double y = FBottom - FInfo.PageFooter.size() * kChromeLineH;
      if (!FInfo.PageFooter.empty()) Rule(FLeft, FRight, y - kChromeGap / 2, 0.4, 0.6);
      cairo_set_source_rgb(FCr, 0.3, 0.3, 0.3);
      for (const TPageLine& l : FInfo.PageFooter) {
        DrawOnce(kChrome, l.Resolve(FPage, FPageCount), l.Align, FLeft, FRight, y, kChromeLineH);
        y += kChromeLineH;
      }
      cairo_set_source_rgb(FCr, 0, 0, 0);
      cairo_show_page(FCr);
    }
    (void)more;
  }

  void Rule(double x0, double x1, double y, double width, double grey) {
    cairo_save(FCr);
    cairo_set_source_rgb(FCr, grey, grey, grey);
    cairo_set_line_width(FCr, width);
    cairo_move_to(FCr, x0, y);
    cairo_line_to(FCr, x1, y);
    cairo_stroke(FCr);
    cairo_restore(FCr);
  }

  // One text aligned between x0 and x1 on a line starting at `top`.
  void DrawOnce(TFontRole role, std::string_view text, TAlign align, double x0, double x1, double top, double h) {
    const TShaped& s = FFonts->Once(role, text);
    double x = align == TAlign::Right ? x1 - s.Width : align == TAlign::Center ? (x0 + x1 - s.Width) / 2 : x0;
    FLine.Add(s, std::max(x, x0), top + FFonts->Baseline(role, h), x1);
    FLine.Draw(FCr, *FFonts);
  }

  void PlaceCell(const TShaped& s, std::size_t i, double base) {
    const TTable& t = Table();
    double x0 = FLeft + Indent() + t.X[i] + kCellPad, x1 = FLeft + Indent() + t.X[i] + t.W[i] - kCellPad;
    TAlign a = Columns()[i].Align;
    double x = a == TAlign::Right ? x1 - s.Width : a == TAlign::Center ? (x0 + x1 - s.Width) / 2 : x0;
    FLine.Add(s, std::max(x, x0), base, x1);
  }

  void DrawCaptions(const std::vector<TColumn>& cols, const TTable& t, double indent) {
    if (FCr) {
      double y = FBodyTop + FUsed;
      double base = y + FFonts->Baseline(kBodyBold, kCaptionH - 2);
      for (std::size_t i = 0; i < cols.size(); ++i) {
        const TShaped& s = FFonts->Cached(kBodyBold, cols[i].Caption);
        double x0 = FLeft + indent + t.X[i] + kCellPad, x1 = FLeft + indent + t.X[i] + t.W[i] - kCellPad;
        double x = cols[i].Align == TAlign::Right ? x1 - s.Width : cols[i].Align == TAlign::Center ? (x0 + x1 - s.Width) / 2 : x0;
        FLine.Add(s, std::max(x, x0), base, x1);
      }
      FLine.Draw(FCr, *FFonts);
      Rule(FLeft + indent, FLeft + indent + t.Width, y + kCaptionH - 2.5, 0.8, 0.2);
    }
    FUsed += kCaptionH;
    FStripe = false;
  }

  void DrawText(const TTextLine& l) {
    double h = TextHeight(l.Style);
    if (FCr) {
      TFontRole role = TextRole(l.Style);
      double x0 = FLeft + Indent(), x1 = FRight;
      double top = FBodyTop + FUsed;
      // Headings sit low in their line: the space above sets them off.
      double lineTop = l.Style == TTextStyle::Heading ? top + h - kTextH - 1 : top;
      double lineH = l.Style == TTextStyle::Heading ? kTextH : h;
      if (l.Style == TTextStyle::Small) cairo_set_source_rgb(FCr, 0.3, 0.3, 0.3);
      DrawOnce(role, l.Text, l.Align, x0, x1, lineTop, lineH);
      cairo_set_source_rgb(FCr, 0, 0, 0);
      if (l.Style == TTextStyle::Title) Rule(x0, x1, top + h - 2, 1.2, 0.2);
    }
    FUsed += h;
    FStripe = false;
  }

  void DrawTotals(const TTotalsLine& t) {
    bool own = LabelOwnLine(t);
    if (own) {
      if (FCr) DrawOnce(kBodyBold, t.Label, TAlign::Left, FLeft + Indent() + kCellPad, FRight, FBodyTop + FUsed, kTextH);
      FUsed += kTextH;
    }
    if (FCr) {
      const TTable& tab = Table();
      double y = FBodyTop + FUsed;
      double first = tab.Width;
      for (const TTotalValue& v : t.Values)
        if (v.Column < tab.X.size()) {
          first = std::min(first, tab.X[v.Column]);
          double x0 = FLeft + Indent() + tab.X[v.Column];
          Rule(x0 + 2, x0 + tab.W[v.Column] - 2, y + 1, 0.5, 0.4);
        }
      double base = y + 1 + FFonts->Baseline(kBodyBold, kTotalsH - 2);
      if (!own && !t.Label.empty())
        FLine.Add(FFonts->Once(kBodyBold, t.Label), FLeft + Indent() + kCellPad, base,
                  FLeft + Indent() + std::max(first - kCellPad, kCellPad * 2));
      FLine.Draw(FCr, *FFonts);
      for (const TTotalValue& v : t.Values)
        if (v.Column < tab.X.size()) PlaceCell(FFonts->Once(kBodyBold, v.Display), v.Column, base);
      FLine.Draw(FCr, *FFonts);
    }
    FUsed += kTotalsH;
    FStripe = false;
  }

  // A subreport's name and captions; again at the top of a page it runs on to.
  void DrawSubreportStart(bool counted) {
    (void)counted;
    if (FCr) {
      cairo_set_source_rgb(FCr, 0.25, 0.25, 0.25);
      DrawOnce(kItalic, FSubNames.back(), TAlign::Left, FLeft + Indent(), FRight, FBodyTop + FUsed, kTextH);
      cairo_set_source_rgb(FCr, 0, 0, 0);
    }
    FUsed += kTextH;
    if (Columns().empty()) {
      FUsed += kCaptionH;
      return;
    }
    DrawCaptions(Columns(), Table(), Indent());
  }
};

// ---- The writer -----------------------------------------------------------

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length);

struct TStreamTarget {
  TOutputFile* File = nullptr;
  std::exception_ptr Error;
};

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  auto* t = static_cast<TStreamTarget*>(closure);
  if (t->Error) return CAIRO_STATUS_WRITE_ERROR;
  try {
    t->File->Write(std::string_view(reinterpret_cast<const char*>(data), length));
  } catch (...) {
    t->Error = std::current_exception();
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

class TPdfWriter : public TReportSink {
 public:
  TPdfWriter(std::string path, std::string tempFolder, TPdfOptions o)
      : FPath(std::move(path)), FTempFolder(std::move(tempFolder)), FOptions(std::move(o)) {}

  void Begin(const TReportInfo& info) override {
    FInfo = info;
    FPage = info.File->Page;
    if ((FOptions.Orientation == 1 && FPage.WidthMm > FPage.HeightMm) ||
        (FOptions.Orientation == 2 && FPage.WidthMm < FPage.HeightMm)) {
      std::swap(FPage.WidthMm, FPage.HeightMm);
      FPage.Landscape = !FPage.Landscape;
    }
    // The file first, so that an unwritable folder fails before the query.
    FFile.emplace(FPath);
    FSpool.emplace(FTempFolder);
    FCounter.emplace(FInfo, FPage, nullptr, nullptr, 0);
  }

  void BeginSection(const TSectionEvent& s) override {
    Start(kSection);
    FRec.push_back(static_cast<char>(s.Kind));
    Finish();
    FCounter->BeginSection(s.Kind);
  }
  void Text(const TTextLine& l) override {
    Start(kText);
    FRec.push_back(static_cast<char>(l.Style));
    FRec.push_back(static_cast<char>(l.Align));
    PutStr(FRec, l.Text);
    Finish();
    FCounter->Text(l);
  }
  void Totals(const TTotalsLine& t) override {
    Start(kTotals);
    PutStr(FRec, t.Label);
    PutU32(FRec, static_cast<std::uint32_t>(t.Values.size()));
    for (const TTotalValue& v : t.Values) {
      PutU32(FRec, static_cast<std::uint32_t>(v.Column));
      PutStr(FRec, v.Display);
    }
    Finish();
    FCounter->Totals(t);
  }
  void EndSection() override {
    Start(kEndSection);
    Finish();
    FCounter->EndSection();
  }
  void Chart(const TChartData& c) override {
    Start(kChart);
    AppendChartRecord(FRec, c);
    Finish();
    FCounter->Chart(c);
  }
  void BeginSubreport(const TSubreportInfo& s) override {
    std::uint32_t index = 0;
    while (index < FSubs.size() && !(FSubs[index].Report == s.Report && FSubs[index].Name == s.Name)) ++index;
    if (index == FSubs.size()) FSubs.push_back(s);
    Start(kSub);
    PutU32(FRec, index);
    Finish();
    FCounter->BeginSubreport(FSubs[index]);
    FSubStack.push_back(index);
  }
  void EndSubreport() override {
    Start(kEndSub);
    Finish();
    FCounter->EndSubreport();
    FSubStack.pop_back();
  }
  void Row(const TRowView& row) override {
    const std::vector<TColumn>& cols = FSubStack.empty() ? FInfo.Columns : FSubs[FSubStack.back()].Columns;
    Start(kRow);
    PutU32(FRec, static_cast<std::uint32_t>(cols.size()));
    FCells.resize(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i) {
      std::size_t lenAt = FRec.size();
      PutU32(FRec, 0);
      std::size_t from = FRec.size();
      AppendDisplay(FRec, cols[i], row);
      std::uint32_t n = static_cast<std::uint32_t>(FRec.size() - from);
      std::memcpy(&FRec[lenAt], &n, 4);
    }
    Finish();
    FEmpty.assign(cols.size(), std::string_view());
    FCounter->Row(FEmpty);
  }

  void End() override {
    FCounter->Finish();
    long pages = FCounter->Pages();
    if (FOptions.FirstPage > pages)
      throw ERpeError(RE_ERR_BADARGUMENT, "the pages asked for start at page " + std::to_string(FOptions.FirstPage) +
                                              ", but the report has " + std::to_string(pages) +
                                              (pages == 1 ? " page" : " pages") + "; nothing was written");
    Draw(pages);
  }

 private:
  std::string FPath, FTempFolder;
  TPdfOptions FOptions;
  TReportInfo FInfo;
  TPageSetup FPage;
  std::optional<TOutputFile> FFile;
  std::optional<TSpoolFile> FSpool;
  std::optional<TLayout> FCounter;
  std::vector<TSubreportInfo> FSubs;
  std::vector<std::uint32_t> FSubStack;
  std::string FRec;
  std::vector<std::string_view> FCells, FEmpty;

  void Start(char kind) {
    FRec.clear();
    PutU32(FRec, 0);
    FRec.push_back(kind);
  }
  void Finish() {
    std::uint32_t n = static_cast<std::uint32_t>(FRec.size() - 4);
    std::memcpy(FRec.data(), &n, 4);
    FSpool->Write(FRec);
  }

  void Replay(TLayout& layout, std::string_view rec) {
    TReader r(rec.data(), rec.size());
    switch (r.Byte()) {
      case kSection: layout.BeginSection(static_cast<TSectionKind>(r.Byte())); break;
      case kText: {
        TTextLine l;
        l.Style = static_cast<TTextStyle>(r.Byte());
        l.Align = static_cast<TAlign>(r.Byte());
        l.Text = r.Str();
        layout.Text(l);
        break;
      }
      case kTotals: {
        TTotalsLine t;
        t.Label = r.Str();
        std::uint32_t n = r.U32();
        for (std::uint32_t i = 0; i < n; ++i) {
          TTotalValue v;
          v.Column = r.U32();
          v.Display = r.Str();
          t.Values.push_back(std::move(v));
        }
        layout.Totals(t);
        break;
      }
      case kEndSection: layout.EndSection(); break;
      case kChart: layout.Chart(ReadChartRecord(rec.substr(1))); break;
      case kSub: layout.BeginSubreport(FSubs[r.U32()]); break;
      case kEndSub: layout.EndSubreport(); break;
      case kRow: {
        std::uint32_t n = r.U32();
        FCells.clear();
        for (std::uint32_t i = 0; i < n; ++i) FCells.push_back(r.Str());
        layout.Row(FCells);
        break;
      }
      default: throw ERpeError(RE_ERR_INTERNAL, "the PDF writer's spool file is damaged");
    }
  }

  void Draw(long pages) {
    TStreamTarget target{&*FFile, nullptr};
    double w = FPage.WidthMm * kPtPerMm, h = FPage.HeightMm * kPtPerMm;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(WriteToFile, &target, w, h);
    auto fail = [&](const std::string& what) {
      cairo_surface_destroy(surface);
      if (target.Error) std::rethrow_exception(target.Error);
      throw ERpeError(RE_ERR_EXPORTWRITE, "cannot write the PDF file \"" + FPath + "\": " + what);
    };
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
      fail(cairo_status_to_string(cairo_surface_status(surface)));
    const TSummaryInfo& sum = FInfo.File->Summary;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, FInfo.Title.c_str());
    if (!sum.Author.empty()) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_AUTHOR, sum.Author.c_str());
    if (!sum.Subject.empty()) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_SUBJECT, sum.Subject.c_str());
    if (!sum.Keywords.empty()) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_KEYWORDS, sum.Keywords.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "mv report engine");
    std::string date = FOptions.CreationDate.empty() ? DocumentDate(FInfo.PrintTime) : FOptions.CreationDate;
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, date.c_str());
    cairo_t* cr = cairo_create(surface);
    {
      TFonts fonts;
      TLayout layout(FInfo, FPage, cr, &fonts, pages, FOptions.FirstPage, FOptions.LastPage);
      std::string pending;
      std::size_t at = 0;
      FSpool->ReadAll([&](std::string_view chunk) {
        pending.erase(0, at);
        at = 0;
        pending.append(chunk);
        while (pending.size() - at >= 4) {
          std::uint32_t n;
          std::memcpy(&n, pending.data() + at, 4);
          if (pending.size() - at - 4 < n) break;
          Replay(layout, std::string_view(pending.data() + at + 4, n));
          at += 4 + n;
        }
      });
      layout.Finish();
      FSpool.reset();
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_status_t st = cairo_surface_status(surface);
    if (st != CAIRO_STATUS_SUCCESS || target.Error) fail(cairo_status_to_string(st));
    cairo_surface_destroy(surface);
    FFile->Commit();
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakePdfWriter(std::string path, std::string tempFolder, TPdfOptions options) {
  return std::make_unique<TPdfWriter>(std::move(path), std::move(tempFolder), std::move(options));
}

}  // namespace mv::rpe
