#include "engine/graph_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace varlo {

namespace {

constexpr ColorRef kWindowColor = Rgb(255, 255, 255);
constexpr ColorRef kValueLabelColor = Rgb(128, 0, 0);
constexpr ColorRef kTextColor = Rgb(0, 0, 128);
constexpr int kFontPoints = 10;

std::string FormatValue(const char* format, double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Device coordinates of far-off points (a curve beyond the range) are clamped so that the
// conversion to an integer stays defined; the line still leaves the plot in the right direction.
std::int32_t ToCoordinate(double v) {
  constexpr double kLimit = 1e7;
  if (v > kLimit) v = kLimit;
  if (v < -kLimit) v = -kLimit;
  return static_cast<std::int32_t>(v);  // truncated toward zero
}

}  // namespace

GraphRanges ComputeGraphRanges(const GraphData& graph) {
  GraphRanges r;
  const size_t n = graph.graphTimes.size();
  if (n > 0) {
    r.xMin = graph.graphTimes.front();
    r.xMax = graph.graphTimes.back();
  }
  r.yMin = 1e11;
  r.yMax = 0.0;
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) {
    for (size_t i = 0; i < n && i < s.values.size(); ++i) {
      const double value = s.values[i];
      if (!std::isfinite(value)) continue;
      if (r.yMax < value) r.yMax = value;
      if (r.yMin > value) r.yMin = value;
    }
  });
  if (r.yMin > r.yMax) r.yMin = 0.0;  // no values at all
  r.xMin = std::floor(r.xMin * 100) * 0.01;
  r.yMin = std::floor(r.yMin * 100) * 0.01;
  r.yMax = std::ceil(r.yMax * 100) * 0.01;
  r.xMax = std::ceil(r.xMax);
  if (!(r.xMax > r.xMin)) r.xMax = r.xMin + 1.0;
  if (!(r.yMax > r.yMin)) r.yMax = r.yMin + 1.0;
  return r;
}

std::string GraphCaption(const GraphData& graph) {
  std::string caption;
  bool first = true;
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) {
    if (!first) return;
    first = false;
    if (s.trafficClass) {
      caption = "Throughput(t)";
    } else {
      static const char* const kQueueCaptions[] = {"AvgSize(t)", "Util(t)", "LossProb(t)"};
      caption = (s.metric >= 0 && s.metric <= 2) ? kQueueCaptions[s.metric] : "";
    }
  });
  // A classic graph keeps its caption as it always was; a refined one says where it came from.
  if (graph.refinedModel && !caption.empty()) caption += "  (refined model)";
  return caption;
}

int TimeLabelStride(CDrawContext& dc, const GraphRanges& ranges, std::int32_t dx) {
  std::int32_t widest = 0;
  for (int i = 0; i <= 10; ++i) {
    const std::string label = FormatValue("%.2lf", ranges.xMin + i * (ranges.xMax - ranges.xMin) * 0.1);
    widest = std::max(widest, dc.GetTextExtent(label).cx);
  }
  constexpr std::int32_t kLabelGap = 6;  // device units between two labels
  for (int stride : {1, 2, 5}) {
    if (widest + kLabelGap <= stride * dx) return stride;
  }
  return 10;
}

void DrawGraph(CDrawContext& dc, const GraphData& graph, const GraphRanges& ranges, bool showGrid,
               const Rect& client) {
  dc.SetBkMode(kTransparent);
  dc.SetBkColor(kWindowColor);

  Rect R = client;
  Font font;
  if (dc.IsPrinting()) {
    const Size page = dc.GetDeviceSize();
    R = Rect{100, 100, page.cx - 100, page.cy - 100};
    dc.SetMapMode(kMmText);
    font = dc.CreatePointFont(kFontPoints, "Arial");
  } else {
    font = dc.CreatePointFont(kFontPoints, "Arial");
    dc.SetMapMode(kMmAnisotropic);
    dc.SetWindowExt(R.Width(), R.Height());
    dc.SetViewportExt(R.Width(), R.Height());
  }
  const Font oldFont = dc.SelectFont(font);

  const Size top = dc.GetTextExtent(FormatValue("%.3lf", ranges.yMax));
  const std::int32_t w0 = top.cx, h0 = top.cy;

  const Pen axisPen{PenStyle::kSolid, 2, Rgb(0, 0, 0)};
  const Pen gridPen{PenStyle::kDot, 1, Rgb(128, 128, 128)};
  const Pen oldPen = dc.SelectPen(axisPen);

  std::int32_t L = R.left + w0 + 20;
  std::int32_t T = R.top + 10;
  std::int32_t Rt = R.right - 10;
  const std::int32_t B = R.bottom - h0 - 20;

  // Axes with their arrow heads.
  auto segment = [&](std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    dc.MoveTo(x1, y1);
    dc.LineTo(x2, y2);
  };
  segment(L, T, L, B + 10);
  segment(Rt, B, L - 10, B);
  segment(L, T, L - 5, T + 15);
  segment(L, T, L + 5, T + 15);
  segment(Rt, B, Rt - 15, B - 5);
  segment(Rt, B, Rt - 15, B + 5);

  Rt -= 20;
  T += 20;

  // Value axis.
  dc.SetTextColor(kValueLabelColor);
  const std::int32_t dy = (B - T) / 10;
  for (int i = 0; i <= 10; ++i) {
    const std::int32_t y = B - i * dy;
    const std::string label = FormatValue("%.3lf", ranges.yMin + i * (ranges.yMax - ranges.yMin) * 0.1);
    dc.TextOut(L - w0 - 12, B - h0 / 2 - i * dy, label);
    segment(L - 4, y, L + 4, y);
    if (showGrid && i > 0) {
      dc.SelectPen(gridPen);
      segment(L + 4, y, Rt, y);
      dc.SelectPen(axisPen);
    }
  }

  dc.SetTextColor(kTextColor);
  const std::string caption = GraphCaption(graph);
  if (!graph.graphSeries.Empty()) {
    const Rect inner = Rect{L, T, Rt, B}.Inflated(-5);
    dc.DrawText(inner, caption, 0);
    dc.DrawText(inner, "Time t", kDtRight | kDtBottom | kDtSingleLine);
  }

  // Time axis: each label ends at its tick. Eleven ticks always; when the labels are wider than
  // the tick spacing, only every second, fifth or tenth tick is labelled, so that they never run
  // together (both ends keep theirs).
  const std::int32_t dx = (Rt - L) / 10;
  const int labelStride = TimeLabelStride(dc, ranges, dx);
  for (int i = 0; i <= 10; ++i) {
    const std::int32_t x = L + i * dx;
    const std::string label = FormatValue("%.2lf", ranges.xMin + i * (ranges.xMax - ranges.xMin) * 0.1);
    const Size extent = dc.GetTextExtent(label);
    if (i % labelStride == 0) dc.TextOut(x - extent.cx, B + 12, label);
    segment(x, B - 4, x, B + 4);
    if (showGrid && i > 0) {
      dc.SelectPen(gridPen);
      segment(x, T, x, B - 4);
      dc.SelectPen(axisPen);
    }
  }

  // Curves, all solid. A value that is not finite interrupts its curve.
  const size_t n = graph.graphTimes.size();
  const double xScale = (Rt - L) / (ranges.xMax - ranges.xMin);
  const double yScale = (T - B) / (ranges.yMax - ranges.yMin);
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) {
    const Pen previous = dc.SelectPen(Pen{PenStyle::kSolid, 1, s.color});
    bool drawing = false;
    for (size_t k = 0; k < n && k < s.values.size(); ++k) {
      const double value = s.values[k];
      const double t = graph.graphTimes[k];
      if (!std::isfinite(value) || !std::isfinite(t)) {
        drawing = false;
        continue;
      }
      const std::int32_t X = L + ToCoordinate((t - ranges.xMin) * xScale);
      const std::int32_t Y = B + ToCoordinate((value - ranges.yMin) * yScale);
      if (!drawing) {
        dc.MoveTo(X, Y);
        drawing = true;
      }
      dc.LineTo(X, Y);
    }
    dc.SelectPen(previous);
  });

  // Legend at the top right, one row per series; companions get a dashed sample. The rows stand
  // on a patch of the window colour, so that grid lines and curves never cross their text.
  int j = 0;
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) {
    const Size extent = dc.GetTextExtent(s.label);
    const std::int32_t rowTop = R.top + 4 + j * (extent.cy + 4);
    {
      const Pen previousPen = dc.SelectPen(Pen{PenStyle::kNull, 0, kWindowColor});
      const Brush previousBrush = dc.SelectBrush(Brush{BrushStyle::kSolid, kWindowColor});
      dc.Rectangle(Rt - extent.cx - 44, rowTop - 2, Rt + 3, rowTop + extent.cy + 3);
      dc.SelectBrush(previousBrush);
      dc.SelectPen(previousPen);
    }
    dc.SetTextColor(s.color);
    dc.TextOut(Rt - extent.cx, rowTop, s.label);
    const Pen previous = dc.SelectPen(Pen{s.simulated ? PenStyle::kDash : PenStyle::kSolid, 1, s.color});
    const std::int32_t y = rowTop + extent.cy / 2;
    segment(Rt - extent.cx - 5, y, Rt - extent.cx - 40, y);
    dc.SelectPen(previous);
    ++j;
  });

  dc.SelectPen(oldPen);
  dc.SelectFont(oldFont);
}

}  // namespace varlo
