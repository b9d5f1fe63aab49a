#include "Chart.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Errors.h"
#include "TextUtil.h"
#include "Value.h"

namespace mv::rpe {

// ---- Collecting -------------------------------------------------------------

namespace {

long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

TCivilTime CivilOf(double seconds) {
  long long s = static_cast<long long>(std::floor(seconds));
  long long days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
  long long rest = s - days * 86400;
  long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  TCivilTime t;
  t.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.Year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (t.Month <= 2));
  t.Hour = static_cast<int>(rest / 3600);
  t.Minute = static_cast<int>(rest / 60 % 60);
  t.Second = static_cast<int>(rest % 60);
  return t;
}

void Merge(TChartPoint& into, const TChartPoint& p) {
  bool newMin = p.Min < into.Min, newMax = p.Max > into.Max;
  if (newMin) into.Min = p.Min;
  if (newMax) into.Max = p.Max;
  if (newMin && !newMax) into.MinFirst = false;  // the low came after the kept high
  if (newMax && !newMin) into.MinFirst = true;
  if (newMin && newMax) into.MinFirst = p.MinFirst;
  into.T1 = p.T1;
  into.Sum += p.Sum;
  into.Count += p.Count;
}

}  // namespace

bool ChartTime(std::string_view text, double& seconds) {
  auto t = ParseCivilTime(text, false);
  if (!t) return false;
  seconds = static_cast<double>(DaysFromCivil(t->Year, t->Month, t->Day)) * 86400.0 + t->Hour * 3600.0 +
            t->Minute * 60.0 + t->Second;
  return true;
}

void TChartCollector::Add(std::string_view series, std::string_view time, std::string_view value, bool valueNull) {
  if (valueNull) return;  // no reading: a gap, not a zero
  double t = 0;
  auto v = ParseDouble(value);
  if (!v || !std::isfinite(*v) || !ChartTime(time, t)) {
    ++FSkipped;
    return;
  }
  // Rows come grouped, so the series of the last row is the likely one.
  if (FLast >= FSeries.size() || FSeries[FLast].Series.Name != series) {
    FLast = 0;
    while (FLast < FSeries.size() && FSeries[FLast].Series.Name != series) ++FLast;
    if (FLast == FSeries.size()) {
      if (FSeries.size() >= kMaxSeries) {
        if (std::find(FOmitted.begin(), FOmitted.end(), series) == FOmitted.end()) {
          ++FOmittedCount;
          if (FOmitted.size() < 256) FOmitted.emplace_back(series);
        }
        FLast = FSeries.size();
        return;
      }
      FSeries.emplace_back();
      FSeries.back().Series.Name.assign(series);
    }
  }
  TSeriesAcc& s = FSeries[FLast];
  std::vector<TChartPoint>& pts = s.Series.Points;
  TChartPoint p{t, t, *v, *v, *v, 1, true};
  if (!pts.empty() && pts.back().Count < s.Factor && t >= pts.back().T1) {
    Merge(pts.back(), p);
    return;
  }
  pts.push_back(p);
  if (pts.size() >= kMaxPoints) {
    // Halve: each point takes its right neighbour.
    std::size_t out = 0;
    for (std::size_t i = 0; i < pts.size(); i += 2) {
      TChartPoint m = pts[i];
      if (i + 1 < pts.size()) Merge(m, pts[i + 1]);
      pts[out++] = m;
    }
    pts.resize(out);
    s.Factor *= 2;
  }
}

void TChartCollector::Reset() {
  FSeries.clear();
  FOmitted.clear();
  FOmittedCount = FSkipped = FLast = 0;
}

TChartData TChartCollector::Take(const TChartDef& def, std::string title) {
  TChartData d;
  d.Type = def.Type;
  d.Merge = def.Merge;
  d.Title = std::move(title);
  d.ValueLabel = def.ValueLabel;
  d.HeightMm = def.HeightMm;
  for (TSeriesAcc& s : FSeries) d.Series.push_back(std::move(s.Series));
  d.OmittedSeries = FOmittedCount;
  d.SkippedValues = FSkipped;
  Reset();
  return d;
}

// ---- Layout -----------------------------------------------------------------

namespace {

// Colours told apart also by readers with the common colour-vision deficiencies.
const TChartColor kPalette[] = {{0.00, 0.45, 0.70}, {0.84, 0.37, 0.00}, {0.00, 0.62, 0.45}, {0.80, 0.47, 0.65},
                                {0.90, 0.62, 0.00}, {0.34, 0.71, 0.91}, {0.35, 0.35, 0.35}, {0.55, 0.34, 0.29},
                                {0.09, 0.75, 0.81}, {0.60, 0.60, 0.20}};
constexpr TChartColor kInk{0.15, 0.15, 0.15}, kGrid{0.86, 0.86, 0.86}, kAxis{0.35, 0.35, 0.35};
constexpr double kTickFont = 7, kLabelFont = 7.5, kTitleFont = 9.5, kLegendFont = 7.5;

// Text width estimate for Liberation Sans: good enough to keep labels apart.
double TextWidth(std::string_view s, double size) {
  std::size_t chars = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++chars;
  return static_cast<double>(chars) * size * 0.56;
}

std::string NumberText(double v, int decimals) {
  char buf[64];
  if (std::fabs(v) < 1e-12) v = 0;
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TTick {
  double T;
  std::string Upper, Lower;  // the tick's label and, at day or year changes, a second line
};

// Time ticks: the smallest step whose labels fit, aligned to whole hours,
// days, months or years of the data's clock.
std::vector<TTick> TimeTicks(double t0, double t1, double plotW) {
  std::vector<TTick> out;
  const double span = std::max(t1 - t0, 60.0);
  const int most = std::max(2, static_cast<int>(plotW / 48));
  static const double kSteps[] = {60,    300,   600,    900,    1800,   3600,   7200,    10800,
                                  21600, 43200, 86400,  172800, 345600, 604800, 1209600};
  double step = 0;
  for (double s : kSteps)
    if (span / s <= most) {
      step = s;
      break;
    }
  char buf[64];
  if (step > 0) {
    double first = std::ceil(t0 / step) * step;
    if (step >= 604800) first = std::ceil((t0 - 4 * 86400) / step) * step + 4 * 86400;  // weeks start on Monday
    int lastDay = -1, lastYear = -1;
    for (double t = first; t <= t1 + 1e-6; t += step) {
      TCivilTime c = CivilOf(t);
      TTick k;
      k.T = t;
      int dayKey = c.Year * 400 + c.Month * 32 + c.Day;
      if (step < 86400) {
        std::snprintf(buf, sizeof buf, "%02d:%02d", c.Hour, c.Minute);
        k.Upper = buf;
        if (dayKey != lastDay) {
          std::snprintf(buf, sizeof buf, "%d %s", c.Day, kMonths[c.Month - 1]);
          k.Lower = buf;
          if (c.Year != lastYear && lastYear < 0) k.Lower += " " + std::to_string(c.Year);
        }
      } else {
        std::snprintf(buf, sizeof buf, "%d %s", c.Day, kMonths[c.Month - 1]);
        k.Upper = buf;
        if (c.Year != lastYear) k.Lower = std::to_string(c.Year);
      }
      lastDay = dayKey;
      lastYear = c.Year;
      out.push_back(std::move(k));
    }
    return out;
  }
  // Months or years.
  TCivilTime c = CivilOf(t0);
  int months = 1;
  for (int m : {1, 2, 3, 6, 12, 24, 60, 120})
    if (span / (m * 30.44 * 86400) <= most) {
      months = m;
      break;
    } else {
      months = m;
    }
  int y = c.Year, mo = c.Month;
  // The first whole step at or after t0.
  if (c.Day != 1 || c.Hour || c.Minute || c.Second) ++mo;
  int total = y * 12 + (mo - 1);
  total = (total + months - 1) / months * months;
  int lastYear = -1;
  for (;; total += months) {
    int yy = total / 12, mm = total % 12 + 1;
    double t = static_cast<double>(DaysFromCivil(yy, mm, 1)) * 86400.0;
    if (t > t1 + 1e-6) break;
    TTick k;
    k.T = t;
    k.Upper = months >= 12 ? std::to_string(yy) : kMonths[mm - 1];
    if (months < 12 && yy != lastYear) k.Lower = std::to_string(yy);
    lastYear = yy;
    out.push_back(std::move(k));
  }
  return out;
}

// A 1-2-5 step giving about `wanted` intervals over [lo, hi].
double NiceStep(double lo, double hi, int wanted) {
  double raw = (hi - lo) / std::max(1, wanted);
  if (raw <= 0 || !std::isfinite(raw)) return 1;
  double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
    if (raw <= m * p * 1.0001) return m * p;
  return 10 * p;
}

double BarValue(const TChartData& c, const TChartPoint& p) { return c.Merge == TChartMerge::Sum ? p.Sum : p.Max; }

}  // namespace

TChartScene LayoutChart(const TChartData& c, double width, double height) {
  TChartScene sc;
  sc.Width = width;
  sc.Height = height;
  const bool bars = c.Type == TChartType::Bar;

  // Data range.
  double t0 = 0, t1 = 0, v0 = 0, v1 = 0;
  bool any = false;
  for (const TChartSeries& s : c.Series)
    for (const TChartPoint& p : s.Points) {
      double lo = bars ? BarValue(c, p) : p.Min, hi = bars ? BarValue(c, p) : p.Max;
      if (!any) {
        t0 = p.T0, t1 = p.T1, v0 = lo, v1 = hi;
        any = true;
      }
      t0 = std::min(t0, p.T0);
      t1 = std::max(t1, p.T1);
      v0 = std::min(v0, lo);
      v1 = std::max(v1, hi);
    }

  // Bars: the usual spacing of a series' points sets the bar width, and
  // half a bar of room at either end keeps the outer bars whole.
  double slot = 0;
  const std::vector<TChartSeries>* series = &c.Series;
  std::vector<TChartSeries> rebinned;
  std::string binNote;
  if (bars && any) {
    std::vector<double> gaps;
    for (const TChartSeries& s : c.Series)
      for (std::size_t i = 1; i < s.Points.size(); ++i) {
        double a = (s.Points[i - 1].T0 + s.Points[i - 1].T1) / 2, b = (s.Points[i].T0 + s.Points[i].T1) / 2;
        if (b > a) gaps.push_back(b - a);
      }
    if (!gaps.empty()) {
      std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
      slot = gaps[gaps.size() / 2];
    } else {
      slot = std::max(t1 - t0, 3600.0);
    }
    // Bars thinner than a few points cannot be told apart: merge them into
    // whole hours or days, and say so in the legend.
    const double roomy = (width - 60) / 3.0;
    const double slots = (t1 - t0) / slot + 1;
    if (slots * static_cast<double>(std::max<std::size_t>(1, c.Series.size())) > roomy) {
      double wanted = slot * std::ceil(slots * static_cast<double>(c.Series.size()) / roomy);
      double bucket = 0;
      for (double b : {900.0, 1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0, 86400.0, 172800.0, 604800.0})
        if (b >= wanted) {
          bucket = b;
          break;
        }
      if (bucket == 0) bucket = std::ceil(wanted / 604800.0) * 604800.0;
      for (const TChartSeries& in : c.Series) {
        TChartSeries out{in.Name, {}};
        double key = -1e300;
        for (const TChartPoint& p : in.Points) {
          double k = std::floor((p.T0 + p.T1) / 2 / bucket);
          if (out.Points.empty() || k != key) {
            TChartPoint q = p;
            q.T0 = k * bucket;
            q.T1 = k * bucket + bucket;
            out.Points.push_back(q);
            key = k;
          } else {
            double t0Keep = out.Points.back().T0, t1Keep = out.Points.back().T1;
            Merge(out.Points.back(), p);
            out.Points.back().T0 = t0Keep;
            out.Points.back().T1 = t1Keep;
          }
        }
        rebinned.push_back(std::move(out));
      }
      series = &rebinned;
      slot = bucket;
      t0 = std::floor(t0 / bucket) * bucket;
      t1 = std::floor(t1 / bucket) * bucket + bucket;
      char buf[64];
      if (bucket >= 86400)
        std::snprintf(buf, sizeof buf, "%g-day", bucket / 86400);
      else if (bucket >= 3600)
        std::snprintf(buf, sizeof buf, "%g-hour", bucket / 3600);
      else
        std::snprintf(buf, sizeof buf, "%g-minute", bucket / 60);
      binNote = std::string("bars: ") + buf + (c.Merge == TChartMerge::Sum ? " totals" : " highest values");
    }
    if (series == &rebinned) {
      v0 = v1 = 0;
      for (const TChartSeries& rs : rebinned)
        for (const TChartPoint& p : rs.Points) {
          v0 = std::min(v0, BarValue(c, p));
          v1 = std::max(v1, BarValue(c, p));
        }
    }
    t0 -= slot / 2;
    t1 += slot / 2;
    v0 = std::min(v0, 0.0);
    v1 = std::max(v1, 0.0);
  }
  if (!any) {
    t0 = 0;
    t1 = 86400;
  }
  if (t1 - t0 < 60) {
    t0 -= 30;
    t1 += 30;
  }
  if (v1 - v0 < 1e-9) {
    double pad = std::max(std::fabs(v0) * 0.1, 1.0);
    if (!bars || v0 != 0) v0 -= pad;
    v1 += pad;
  }

  // Legend rows at the bottom (measured first: they take the height they need).
  struct TEntry {
    std::string Text;
    TChartColor Color;
    bool Swatch;
  };
  std::vector<TEntry> entries;
  for (std::size_t i = 0; i < c.Series.size(); ++i) entries.push_back({c.Series[i].Name, kPalette[i % 10], true});
  if (c.OmittedSeries) entries.push_back({"(" + std::to_string(c.OmittedSeries) + " more series not shown)", kInk, false});
  if (!any) entries.push_back({"(no values in this period)", kInk, false});
  if (!binNote.empty()) entries.push_back({"(" + binNote + ")", kInk, false});
  const double legendRowH = 11, swatchW = 14;
  std::vector<std::vector<std::pair<std::size_t, double>>> rows(1);
  double x = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    double w = (entries[i].Swatch ? swatchW + 4 : 0) + TextWidth(entries[i].Text, kLegendFont) + 14;
    if (x > 0 && x + w > width - 20) {
      rows.emplace_back();
      x = 0;
    }
    rows.back().push_back({i, w});
    x += w;
  }
  const double legendH = rows.size() * legendRowH + 4;

  // Value ticks.
  const double titleH = c.Title.empty() ? 4 : 16;
  double plotTop = titleH + 6, plotBottom = height - legendH - 26;
  if (plotBottom - plotTop < 30) plotBottom = plotTop + 30;
  int wanted = std::clamp(static_cast<int>((plotBottom - plotTop) / 28), 2, 8);
  double vstep = NiceStep(v0, v1, wanted);
  double vlo = std::floor(v0 / vstep + 1e-9) * vstep, vhi = std::ceil(v1 / vstep - 1e-9) * vstep;
  if (vhi <= vlo) vhi = vlo + vstep;
  int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(vstep) + 1e-9)));
  if (std::fabs(vstep * std::pow(10.0, decimals) - std::round(vstep * std::pow(10.0, decimals))) > 1e-6) ++decimals;
  std::vector<std::pair<double, std::string>> vticks;
  double labelW = 0;
  for (double v = vlo; v <= vhi + vstep * 1e-6; v += vstep) {
    vticks.push_back({v, NumberText(v, decimals)});
    labelW = std::max(labelW, TextWidth(vticks.back().second, kTickFont));
  }
  const double axisLabelW = c.ValueLabel.empty() ? 0 : 12;
  const double plotLeft = axisLabelW + labelW + 8, plotRight = width - 10;
  const double plotW = plotRight - plotLeft, plotH = plotBottom - plotTop;
  auto X = [&](double t) { return plotLeft + (t - t0) / (t1 - t0) * plotW; };
  auto Y = [&](double v) { return plotBottom - (v - vlo) / (vhi - vlo) * plotH; };

  if (!c.Title.empty()) sc.Texts.push_back({plotLeft, 11, c.Title, kTitleFont, TChartScene::TAnchor::Start, true, false, kInk});
  sc.Rects.push_back({plotLeft, plotTop, plotW, plotH, {1, 1, 1}});

  // Grid and value axis.
  for (const auto& [v, text] : vticks) {
    double y = Y(v);
    sc.Lines.push_back({plotLeft, y, plotRight, y, 0.4, kGrid});
    sc.Lines.push_back({plotLeft - 3, y, plotLeft, y, 0.6, kAxis});
    sc.Texts.push_back({plotLeft - 5, y + kTickFont * 0.35, text, kTickFont, TChartScene::TAnchor::End, false, false, kInk});
  }
  if (!c.ValueLabel.empty())
    sc.Texts.push_back({8, (plotTop + plotBottom) / 2, c.ValueLabel, kLabelFont, TChartScene::TAnchor::Middle, false, true,
                        kInk});

  // Time axis: ticks whose labels would run into the previous one are left unlabelled.
  std::vector<TTick> ticks = TimeTicks(t0, t1, plotW);
  double lastRight = -1e9, lastLowerRight = -1e9;
  for (const TTick& k : ticks) {
    double xx = X(k.T);
    if (xx < plotLeft - 0.5 || xx > plotRight + 0.5) continue;
    bool major = !k.Lower.empty();
    sc.Lines.push_back({xx, plotTop, xx, plotBottom, major ? 0.6 : 0.4, major ? TChartColor{0.75, 0.75, 0.75} : kGrid});
    sc.Lines.push_back({xx, plotBottom, xx, plotBottom + 3, 0.6, kAxis});
    double w = TextWidth(k.Upper, kTickFont);
    if (xx - w / 2 > lastRight + 4 && xx + w / 2 < width) {
      sc.Texts.push_back({xx, plotBottom + 11, k.Upper, kTickFont, TChartScene::TAnchor::Middle, false, false, kInk});
      lastRight = xx + w / 2;
    }
    if (!k.Lower.empty()) {
      double lw = TextWidth(k.Lower, kTickFont);
      if (xx - lw / 2 > lastLowerRight + 4 && xx + lw / 2 < width) {
        sc.Texts.push_back({xx, plotBottom + 20, k.Lower, kTickFont, TChartScene::TAnchor::Middle, true, false, kInk});
        lastLowerRight = xx + lw / 2;
      }
    }
  }
  // Axes over the grid.
  sc.Lines.push_back({plotLeft, plotTop, plotLeft, plotBottom, 0.8, kAxis});
  sc.Lines.push_back({plotLeft, plotBottom, plotRight, plotBottom, 0.8, kAxis});
  if (vlo < 0 && vhi > 0) sc.Lines.push_back({plotLeft, Y(0), plotRight, Y(0), 0.6, kAxis});

  // Series.
  const std::size_t n = c.Series.size();
  for (std::size_t si = 0; si < n; ++si) {
    const TChartSeries& s = (*series)[si];
    TChartColor col = kPalette[si % 10];
    if (bars) {
      double slotW = slot / (t1 - t0) * plotW;
      double barW = std::max(0.3, slotW * 0.8 / static_cast<double>(n));
      for (const TChartPoint& p : s.Points) {
        double mid = X((p.T0 + p.T1) / 2) - slotW * 0.4 + barW * static_cast<double>(si);
        double v = BarValue(c, p), ya = Y(std::max(v, 0.0)), yb = Y(std::min(v, 0.0));
        sc.Marks.push_back({mid, ya, barW, std::max(yb - ya, 0.3), col});
      }
      continue;
    }
    // Lines break where readings are missing: a gap well over the usual spacing.
    std::vector<double> gaps;
    for (std::size_t i = 1; i < s.Points.size(); ++i) gaps.push_back(s.Points[i].T0 - s.Points[i - 1].T1);
    double usual = 0;
    if (!gaps.empty()) {
      std::vector<double> g = gaps;
      std::nth_element(g.begin(), g.begin() + static_cast<std::ptrdiff_t>(g.size() / 2), g.end());
      usual = g[g.size() / 2];
    }
    TChartScene::TPolyline line{{}, 1.1, col};
    for (std::size_t i = 0; i < s.Points.size(); ++i) {
      const TChartPoint& p = s.Points[i];
      if (i > 0 && usual > 0 && gaps[i - 1] > 3.5 * usual) {
        if (!line.Points.empty()) sc.Polylines.push_back(line);
        line.Points.clear();
      }
      double xx = X((p.T0 + p.T1) / 2);
      if (p.Count == 1 || p.Min == p.Max) {
        line.Points.push_back({xx, Y(p.Min)});
      } else {
        line.Points.push_back({xx, Y(p.MinFirst ? p.Min : p.Max)});
        line.Points.push_back({xx, Y(p.MinFirst ? p.Max : p.Min)});
      }
    }
    if (line.Points.size() == 1) {
      // A lone reading still shows: a small mark.
      auto [px, py] = line.Points[0];
      sc.Marks.push_back({px - 1.5, py - 1.5, 3, 3, col});
    } else if (!line.Points.empty()) {
      sc.Polylines.push_back(std::move(line));
    }
  }

  // Legend, centred under the plot.
  double y = height - legendH + 8;
  for (const auto& row : rows) {
    double rowW = 0;
    for (const auto& [i, w] : row) rowW += w;
    double xx = std::max(plotLeft, (plotLeft + plotRight - rowW) / 2);
    for (const auto& [i, w] : row) {
      const TEntry& e = entries[i];
      double tx = xx;
      if (e.Swatch) {
        if (bars)
          sc.Marks.push_back({xx, y - 6, swatchW, 7, e.Color});
        else
          sc.Marks.push_back({xx, y - 3.3, swatchW, 1.8, e.Color});
        tx += swatchW + 4;
      }
      sc.Texts.push_back({tx, y, e.Text, kLegendFont, TChartScene::TAnchor::Start, false, false, kInk});
      xx += w;
    }
    y += legendRowH;
  }
  return sc;
}

// ---- Drawing ------------------------------------------------------------------

void DrawChart(cairo_t* cr, const TChartScene& sc, double ox, double oy) {
  cairo_save(cr);
  cairo_translate(cr, ox, oy);
  auto color = [&](const TChartColor& c) { cairo_set_source_rgb(cr, c.R, c.G, c.B); };
  for (const auto& r : sc.Rects) {
    color(r.Color);
    cairo_rectangle(cr, r.X, r.Y, r.W, r.H);
    cairo_fill(cr);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  for (const auto& l : sc.Lines) {
    color(l.Color);
    cairo_set_line_width(cr, l.Width);
    cairo_move_to(cr, l.X0, l.Y0);
    cairo_line_to(cr, l.X1, l.Y1);
    cairo_stroke(cr);
  }
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (const auto& p : sc.Polylines) {
    color(p.Color);
    cairo_set_line_width(cr, p.Width);
    for (std::size_t i = 0; i < p.Points.size(); ++i)
      (i ? cairo_line_to : cairo_move_to)(cr, p.Points[i].first, p.Points[i].second);
    cairo_stroke(cr);
  }
  for (const auto& r : sc.Marks) {
    color(r.Color);
    cairo_rectangle(cr, r.X, r.Y, r.W, r.H);
    cairo_fill(cr);
  }
  PangoLayout* layout = pango_cairo_create_layout(cr);
  for (const auto& t : sc.Texts) {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, "Liberation Sans");
    pango_font_description_set_absolute_size(d, t.Size * PANGO_SCALE);
    if (t.Bold) pango_font_description_set_weight(d, PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    pango_layout_set_text(layout, t.Text.data(), static_cast<int>(t.Text.size()));
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    double w = logical.width / double(PANGO_SCALE);
    double baseline = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
    double dx = t.Anchor == TChartScene::TAnchor::End ? -w : t.Anchor == TChartScene::TAnchor::Middle ? -w / 2 : 0;
    cairo_save(cr);
    cairo_translate(cr, t.X, t.Y);
    if (t.Vertical) cairo_rotate(cr, -M_PI / 2);
    cairo_move_to(cr, dx, -baseline);
    color(t.Color);
    pango_cairo_update_layout(cr, layout);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
  }
  g_object_unref(layout);
  cairo_restore(cr);
}

namespace {

void AppendNum(std::string& o, double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string_view s = buf;
  while (s.size() > 1 && s.find('.') != std::string_view::npos && (s.back() == '0' || s.back() == '.')) {
    bool dot = s.back() == '.';
    s.remove_suffix(1);
    if (dot) break;
  }
  o += s;
}

void AppendColor(std::string& o, const TChartColor& c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(std::lround(c.R * 255)),
                static_cast<int>(std::lround(c.G * 255)), static_cast<int>(std::lround(c.B * 255)));
  o += buf;
}

}  // namespace

void AppendChartSvg(std::string& o, const TChartScene& sc) {
  o += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"";
  AppendNum(o, sc.Width);
  o += "pt\" height=\"";
  AppendNum(o, sc.Height);
  o += "pt\" viewBox=\"0 0 ";
  AppendNum(o, sc.Width);
  o += ' ';
  AppendNum(o, sc.Height);
  o += "\" font-family=\"Liberation Sans,Arial,Helvetica,sans-serif\">\n";
  auto rect = [&](const TChartScene::TRect& r) {
    o += "<rect x=\"";
    AppendNum(o, r.X);
    o += "\" y=\"";
    AppendNum(o, r.Y);
    o += "\" width=\"";
    AppendNum(o, r.W);
    o += "\" height=\"";
    AppendNum(o, r.H);
    o += "\" fill=\"";
    AppendColor(o, r.Color);
    o += "\"/>\n";
  };
  for (const auto& r : sc.Rects) rect(r);
  for (const auto& l : sc.Lines) {
    o += "<line x1=\"";
    AppendNum(o, l.X0);
    o += "\" y1=\"";
    AppendNum(o, l.Y0);
    o += "\" x2=\"";
    AppendNum(o, l.X1);
    o += "\" y2=\"";
    AppendNum(o, l.Y1);
    o += "\" stroke=\"";
    AppendColor(o, l.Color);
    o += "\" stroke-width=\"";
    AppendNum(o, l.Width);
    o += "\"/>\n";
  }
  for (const auto& p : sc.Polylines) {
    o += "<polyline fill=\"none\" stroke-linejoin=\"round\" stroke=\"";
    AppendColor(o, p.Color);
    o += "\" stroke-width=\"";
    AppendNum(o, p.Width);
    o += "\" points=\"";
    for (std::size_t i = 0; i < p.Points.size(); ++i) {
      if (i) o += ' ';
      AppendNum(o, p.Points[i].first);
      o += ',';
      AppendNum(o, p.Points[i].second);
    }
    o += "\"/>\n";
  }
  for (const auto& r : sc.Marks) rect(r);
  for (const auto& t : sc.Texts) {
    o += "<text x=\"";
    AppendNum(o, t.X);
    o += "\" y=\"";
    AppendNum(o, t.Y);
    o += "\" font-size=\"";
    AppendNum(o, t.Size);
    o += '"';
    if (t.Anchor != TChartScene::TAnchor::Start)
      o += t.Anchor == TChartScene::TAnchor::End ? " text-anchor=\"end\"" : " text-anchor=\"middle\"";
    if (t.Bold) o += " font-weight=\"bold\"";
    if (t.Vertical) {
      o += " transform=\"rotate(-90 ";
      AppendNum(o, t.X);
      o += ' ';
      AppendNum(o, t.Y);
      o += ")\"";
    }
    o += " fill=\"";
    AppendColor(o, t.Color);
    o += "\">";
    AppendXmlEscaped(o, t.Text);
    o += "</text>\n";
  }
  o += "</svg>\n";
}

// ---- Spool form ---------------------------------------------------------------

namespace {

template <class T>
void Put(std::string& o, const T& v) {
  o.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void PutText(std::string& o, std::string_view s) {
  Put(o, static_cast<std::uint32_t>(s.size()));
  o.append(s);
}

class TChartReader {
 public:
  explicit TChartReader(std::string_view s) : FS(s) {}
  template <class T>
  T Get() {
    Need(sizeof(T));
    T v;
    std::memcpy(&v, FS.data() + FAt, sizeof v);
    FAt += sizeof v;
    return v;
  }
  std::string Text() {
    auto n = Get<std::uint32_t>();
    Need(n);
    std::string s(FS.substr(FAt, n));
    FAt += n;
    return s;
  }

 private:
  std::string_view FS;
  std::size_t FAt = 0;
  void Need(std::size_t n) const {
    if (FS.size() - FAt < n) throw ERpeError(RE_ERR_INTERNAL, "a chart's record in the spool file is damaged");
  }
};

}  // namespace

void AppendChartRecord(std::string& o, const TChartData& c) {
  Put(o, static_cast<std::uint8_t>(c.Type));
  Put(o, static_cast<std::uint8_t>(c.Merge));
  PutText(o, c.Title);
  PutText(o, c.ValueLabel);
  Put(o, c.HeightMm);
  Put(o, static_cast<std::uint64_t>(c.OmittedSeries));
  Put(o, static_cast<std::uint64_t>(c.SkippedValues));
  Put(o, static_cast<std::uint32_t>(c.Series.size()));
  for (const TChartSeries& s : c.Series) {
    PutText(o, s.Name);
    Put(o, static_cast<std::uint32_t>(s.Points.size()));
    for (const TChartPoint& p : s.Points) Put(o, p);
  }
}

TChartData ReadChartRecord(std::string_view record) {
  TChartReader r(record);
  TChartData c;
  c.Type = static_cast<TChartType>(r.Get<std::uint8_t>());
  c.Merge = static_cast<TChartMerge>(r.Get<std::uint8_t>());
  c.Title = r.Text();
  c.ValueLabel = r.Text();
  c.HeightMm = r.Get<double>();
  c.OmittedSeries = static_cast<std::size_t>(r.Get<std::uint64_t>());
  c.SkippedValues = static_cast<std::size_t>(r.Get<std::uint64_t>());
  auto n = r.Get<std::uint32_t>();
  for (std::uint32_t i = 0; i < n; ++i) {
    TChartSeries s;
    s.Name = r.Text();
    auto m = r.Get<std::uint32_t>();
    for (std::uint32_t j = 0; j < m; ++j) s.Points.push_back(r.Get<TChartPoint>());
    c.Series.push_back(std::move(s));
  }
  return c;
}

}  // namespace mv::rpe
