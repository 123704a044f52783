#include "simulators/sweep_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/graph_data.h"
#include "platform/core/svg_draw_context.h"
#include "platform/core/text_format.h"

namespace varlo {
namespace {

// A range that can be divided into ten ticks: equal ends are widened by one unit (or by a tenth
// of their size) so that every point has a place.
void Widen(double& lo, double& hi) {
  if (lo < hi) return;
  const double pad = lo == 0.0 ? 1.0 : std::abs(lo) * 0.1;
  lo -= pad;
  hi += pad;
}

std::string TickLabel(double v) {
  return Format("%.4g", v);
}

}  // namespace

void DrawSweepChart(CDrawContext& dc, const SweepChart& chart, const Rect& area) {
  double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin, yMin = xMin, yMax = -xMin;
  for (const auto& curve : chart.curves) {
    for (const auto& [x, y] : curve.points) {
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      xMin = std::min(xMin, x), xMax = std::max(xMax, x);
      yMin = std::min(yMin, y), yMax = std::max(yMax, y);
    }
  }
  if (!(xMin <= xMax)) xMin = 0.0, xMax = 1.0, yMin = 0.0, yMax = 1.0;
  // Figures are counts, rates and fractions: the value axis starts at 0 unless values go below.
  yMin = std::min(yMin, 0.0);
  Widen(xMin, xMax);
  Widen(yMin, yMax);
  // Ten ticks of a round step (1, 2, 2.5 or 5 times a power of ten) that cover the values.
  for (int pass = 0; pass < 2; ++pass) {
    const double raw = (yMax - yMin) / 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    const double step = (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 2.5 ? 2.5 : f <= 5.0 ? 5.0 : 10.0) * power;
    const double top = yMax;
    yMin = std::floor(yMin / step) * step;
    yMax = yMin + 10.0 * step;
    if (yMax < top) yMax = top;
  }

  dc.SetBkMode(kTransparent);
  const Font previousFont = dc.SelectFont(dc.CreatePointFont(10, "Arial"));
  const Pen previousPen = dc.SelectPen(Pen{PenStyle::kSolid, 2, Rgb(0, 0, 0)});
  const Size label = dc.GetTextExtent(TickLabel(yMax) + "00");
  const std::int32_t left = area.left + label.cx + 20, top = area.top + label.cy + 20;
  const std::int32_t right = area.right - 20, bottom = area.bottom - 2 * label.cy - 24;
  dc.MoveTo(left, top);
  dc.LineTo(left, bottom);
  dc.LineTo(right, bottom);

  dc.SetTextColor(Rgb(0, 0, 128));
  const Pen grid{PenStyle::kDot, 1, Rgb(128, 128, 128)};
  for (int i = 0; i <= 10; ++i) {
    const std::int32_t y = bottom - (bottom - top) * i / 10;
    const std::string text = TickLabel(yMin + (yMax - yMin) * i / 10.0);
    const Size extent = dc.GetTextExtent(text);
    dc.TextOut(left - extent.cx - 8, y - extent.cy / 2, text);
    dc.MoveTo(left - 4, y);
    dc.LineTo(left + 4, y);
    const std::int32_t x = left + (right - left) * i / 10;
    const std::string xText = TickLabel(xMin + (xMax - xMin) * i / 10.0);
    const Size xExtent = dc.GetTextExtent(xText);
    dc.TextOut(x - xExtent.cx / 2, bottom + 8, xText);
    dc.MoveTo(x, bottom - 4);
    dc.LineTo(x, bottom + 4);
    if (i > 0) {
      const Pen axis = dc.SelectPen(grid);
      dc.MoveTo(left + 4, y);
      dc.LineTo(right, y);
      dc.MoveTo(x, top);
      dc.LineTo(x, bottom - 4);
      dc.SelectPen(axis);
    }
  }
  dc.DrawText(Rect{left, area.top + 4, right, top}, chart.yLabel, kDtLeft | kDtSingleLine);
  dc.DrawText(Rect{left, bottom + label.cy + 12, right, area.bottom - 4}, chart.xLabel,
              kDtRight | kDtBottom | kDtSingleLine);

  auto toX = [&](double x) { return left + static_cast<std::int32_t>(std::lround((x - xMin) * (right - left) / (xMax - xMin))); };
  auto toY = [&](double y) { return bottom - static_cast<std::int32_t>(std::lround((y - yMin) * (bottom - top) / (yMax - yMin))); };
  // Palette colours go to the curves of their own, in order; a companion takes its curve's.
  std::vector<ColorRef> colors;
  for (size_t c = 0, own = 0; c < chart.curves.size(); ++c) {
    const int of = chart.curves[c].companionOf;
    colors.push_back(of >= 0 && static_cast<size_t>(of) < c ? colors[static_cast<size_t>(of)]
                                                            : seriesPalette[own++ % seriesPalette.size()]);
  }
  const auto penOf = [&](size_t c) {
    return Pen{chart.curves[c].companionOf >= 0 ? PenStyle::kDash : PenStyle::kSolid, 2, colors[c]};
  };
  for (size_t c = 0; c < chart.curves.size(); ++c) {
    const ColorRef color = colors[c];
    std::vector<std::pair<double, double>> points;
    for (const auto& p : chart.curves[c].points) {
      if (std::isfinite(p.first) && std::isfinite(p.second)) points.push_back(p);
    }
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    dc.SelectPen(penOf(c));
    const Brush previousBrush = dc.SelectBrush(Brush{BrushStyle::kSolid, color});
    for (size_t i = 0; i < points.size(); ++i) {
      const std::int32_t x = toX(points[i].first), y = toY(points[i].second);
      if (i == 0) dc.MoveTo(x, y);
      else dc.LineTo(x, y);
    }
    dc.SelectPen(Pen{PenStyle::kSolid, 2, color});
    for (const auto& p : points) {
      const std::int32_t x = toX(p.first), y = toY(p.second);
      dc.Ellipse(x - 3, y - 3, x + 4, y + 4);
    }
    dc.SelectBrush(previousBrush);
  }
  // The legend at the top right, one row per curve, drawn after all curves on patches of the
  // background colour, so that no curve or grid line crosses its text (the rows of a sweep with
  // several axes reach down into the plot).
  for (size_t c = 0; c < chart.curves.size(); ++c) {
    const ColorRef color = colors[c];
    const Size extent = dc.GetTextExtent(chart.curves[c].label);
    const std::int32_t ly = area.top + 4 + static_cast<std::int32_t>(c) * (extent.cy + 4);
    {
      const Pen previous = dc.SelectPen(Pen{PenStyle::kNull, 0, Rgb(255, 255, 255)});
      const Brush previousBrush = dc.SelectBrush(Brush{BrushStyle::kSolid, Rgb(255, 255, 255)});
      dc.Rectangle(right - extent.cx - 44, ly - 2, right + 3, ly + extent.cy + 3);
      dc.SelectBrush(previousBrush);
      dc.SelectPen(previous);
    }
    dc.SelectPen(penOf(c));
    dc.SetTextColor(color);
    dc.TextOut(right - extent.cx, ly, chart.curves[c].label);
    dc.MoveTo(right - extent.cx - 5, ly + extent.cy / 2);
    dc.LineTo(right - extent.cx - 40, ly + extent.cy / 2);
  }
  dc.SelectPen(previousPen);
  dc.SelectFont(previousFont);
}

std::string SweepChartSvg(const SweepChart& chart) {
  constexpr std::int32_t kWidth = 720, kHeight = 480;
  CSvgDrawContext dc(kWidth, kHeight, chart.yLabel + " against " + chart.xLabel);
  DrawSweepChart(dc, chart, Rect{0, 0, kWidth, kHeight});
  return dc.Svg();
}

}  // namespace varlo
