// Charts of a value over time: the points a run collects (bounded per
// series), the drawing laid out once as a scene of lines, shapes and
// texts, and that scene drawn with cairo (PDF) or written as SVG (HTML).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Definition.h"

typedef struct _cairo cairo_t;

namespace mv::rpe {

// One point of a series, or several neighbouring readings merged into one
// when a series holds more than a chart can show: their time span, lowest
// and highest value (a line draws both), sum and count.
struct TChartPoint {
  double T0 = 0, T1 = 0;  // seconds since 1970-01-01 00:00 of the data's own clock
  double Min = 0, Max = 0, Sum = 0;
  std::uint32_t Count = 0;
  bool MinFirst = true;   // the lowest value came before the highest
};

struct TChartSeries {
  std::string Name;
  std::vector<TChartPoint> Points;  // in the order the rows came
};

// A chart as a section delivers it to the writers.
struct TChartData {
  TChartType Type = TChartType::Line;
  TChartMerge Merge = TChartMerge::Sum;
  std::string Title, ValueLabel;
  double HeightMm = 80;
  std::vector<TChartSeries> Series;
  std::size_t OmittedSeries = 0;  // series past the most a chart shows
  std::size_t SkippedValues = 0;  // rows whose time or value did not read
};

// Collects a chart's points from the rows of its scope. Memory is bounded:
// at most kMaxSeries series of at most kMaxPoints points each; past that,
// neighbouring points merge pairwise (min, max, sum kept), so a week of
// 15-minute readings costs the same as an hour's.
class TChartCollector {
 public:
  static constexpr std::size_t kMaxSeries = 10;
  static constexpr std::size_t kMaxPoints = 1000;

  void Add(std::string_view series, std::string_view time, std::string_view value, bool valueNull);
  void Reset();
  // The collected series, handed over (the collector is empty afterwards).
  TChartData Take(const TChartDef& def, std::string title);

 private:
  struct TSeriesAcc {
    TChartSeries Series;
    std::uint32_t Factor = 1;  // readings a point may hold
  };
  std::vector<TSeriesAcc> FSeries;
  std::vector<std::string> FOmitted;  // names past kMaxSeries (bounded)
  std::size_t FOmittedCount = 0, FSkipped = 0, FLast = 0;
};

// Seconds since 1970-01-01 of a "yyyy-mm-dd[ hh:nn[:ss]]" text; false when
// it does not read.
bool ChartTime(std::string_view text, double& seconds);

// ---- The drawing ----------------------------------------------------------

struct TChartColor {
  double R = 0, G = 0, B = 0;
};

struct TChartScene {
  struct TLine {
    double X0, Y0, X1, Y1, Width;
    TChartColor Color;
  };
  struct TRect {
    double X, Y, W, H;
    TChartColor Color;
  };
  struct TPolyline {
    std::vector<std::pair<double, double>> Points;
    double Width;
    TChartColor Color;
  };
  enum class TAnchor { Start, Middle, End };
  struct TText {
    double X, Y;  // Y is the baseline
    std::string Text;
    double Size;
    TAnchor Anchor = TAnchor::Start;
    bool Bold = false;
    bool Vertical = false;  // rotated a quarter turn anticlockwise about (X, Y)
    TChartColor Color;
  };
  double Width = 0, Height = 0;
  std::vector<TRect> Rects;          // drawn first
  std::vector<TLine> Lines;          // grid, axes, ticks
  std::vector<TPolyline> Polylines;  // series lines
  std::vector<TRect> Marks;          // bars and legend swatches, drawn over the grid
  std::vector<TText> Texts;
};

// Lays out a chart on a width x height area (points).
TChartScene LayoutChart(const TChartData& chart, double width, double height);
// Draws a scene with its top left corner at (x, y).
void DrawChart(cairo_t* cr, const TChartScene& scene, double x, double y);
// Appends the scene as an inline <svg> element (texts escaped).
void AppendChartSvg(std::string& out, const TChartScene& scene);

// The spool form of a chart (the PDF writer's two passes).
void AppendChartRecord(std::string& out, const TChartData& chart);
TChartData ReadChartRecord(std::string_view record);

}  // namespace mv::rpe
