// The graph picture on the recording context: axis ranges, the layout of ticks and labels, grid,
// caption, curves and legend, and the degenerate ranges that must not divide by zero.
#include "engine/graph_drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "platform/core/recording_dc.h"

using namespace varlo;

namespace {

// Equality as the graph's numbers need it: exact for integers and texts, within a relative 1e-12
// for doubles (the ranges and positions are computed, not typed in).
template <class A, class B>
::testing::AssertionResult Same(const char* aText, const char* bText, const A& a, const B& b) {
  bool equal;
  if constexpr (std::is_floating_point_v<A> || std::is_floating_point_v<B>) {
    const double x = static_cast<double>(a), y = static_cast<double>(b);
    equal = x == y || std::abs(x - y) <= 1e-12 * std::max(std::abs(x), std::abs(y));
  } else {
    equal = a == b;
  }
  if (equal) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << aText << " differs from " << bText << " (" << ::testing::PrintToString(a) << " against "
         << ::testing::PrintToString(b) << ")";
}

constexpr Rect kClient{0, 0, 640, 480};

GraphSeries Series(int column, std::vector<double> values, ColorRef color, std::string label,
                   int simulated = 0, int metric = 0) {
  GraphSeries s;
  s.column = column;
  s.values = std::move(values);
  s.color = color;
  s.label = std::move(label);
  s.simulated = simulated;
  s.metric = metric;
  return s;
}

GraphData TwoPointGraph(std::vector<double> times, std::vector<double> values) {
  GraphData g;
  g.graphTimes = std::move(times);
  g.graphPointCount = static_cast<int>(g.graphTimes.size());
  g.graphSeries.SetAt(1, Series(1, std::move(values), Rgb(0, 0, 255), "A  -> B"));
  return g;
}

std::vector<DrawCall> TextsAt(const CRecordingDC& dc, const std::string& text) {
  std::vector<DrawCall> found;
  for (const DrawCall& c : dc.CallsOf(DrawOp::kTextOut))
    if (c.text == text) found.push_back(c);
  return found;
}

bool HasLine(const CRecordingDC& dc, Point from, Point to, PenStyle style) {
  for (const DrawCall& c : dc.CallsOf(DrawOp::kLine))
    if (c.points[0] == from && c.points[1] == to && c.state.pen.style == style) return true;
  return false;
}

}  // namespace

TEST(GraphDrawing, RangesFollowTheRoundingRules) {
  // Times 0.5 .. 9.2: the time axis runs to the next whole second.
  GraphRanges r = ComputeGraphRanges(TwoPointGraph({0.5, 9.2}, {0.123, 0.456}));
  EXPECT_PRED_FORMAT2(Same, r.xMin, 0.5);
  EXPECT_PRED_FORMAT2(Same, r.xMax, 10.0);
  EXPECT_TRUE(std::abs(r.yMin - 0.12) < 1e-12);
  EXPECT_TRUE(std::abs(r.yMax - 0.46) < 1e-12);

  // All negative: the maximum stays 0, the minimum is floored to a hundredth.
  r = ComputeGraphRanges(TwoPointGraph({0.0, 2.0}, {-1.234, -0.5}));
  EXPECT_TRUE(std::abs(r.yMin - -1.24) < 1e-12);
  EXPECT_PRED_FORMAT2(Same, r.yMax, 0.0);
}

TEST(GraphDrawing, DegenerateRangesAreWidened) {
  // One time point at a whole second, all values 0: both spans would be 0.
  GraphRanges r = ComputeGraphRanges(TwoPointGraph({3.0}, {0.0}));
  EXPECT_PRED_FORMAT2(Same, r.xMin, 3.0);
  EXPECT_PRED_FORMAT2(Same, r.xMax, 4.0);
  EXPECT_PRED_FORMAT2(Same, r.yMin, 0.0);
  EXPECT_PRED_FORMAT2(Same, r.yMax, 1.0);
  // No points at all.
  GraphData empty;
  r = ComputeGraphRanges(empty);
  EXPECT_TRUE(r.xMax > r.xMin && r.yMax > r.yMin);
  // Values that are not finite are left out of the range and break the curve.
  GraphData g = TwoPointGraph({0.0, 1.0, 2.0}, {1.0, INFINITY, 2.0});
  r = ComputeGraphRanges(g);
  EXPECT_PRED_FORMAT2(Same, r.yMax, 2.0);
  CRecordingDC dc;
  DrawGraph(dc, g, r, true, kClient);
  for (const DrawCall& c : dc.CallsOf(DrawOp::kLine)) {
    EXPECT_TRUE(std::abs(c.points[0].x) < 100000 && std::abs(c.points[1].y) < 100000);
  }
}

TEST(GraphDrawing, AxesTicksAndLabelsFollowTheLayout) {
  const GraphData g = TwoPointGraph({0.5, 9.2}, {0.123, 0.456});
  CRecordingDC dc;
  DrawGraph(dc, g, ComputeGraphRanges(g), true, kClient);
  // The recording metric: 7 x 16 per character of the 10-point font. "0.460" is 35 wide.
  const int w0 = 35, h0 = 16;
  const int L = w0 + 20, B = 480 - h0 - 20, Rt = 640 - 10 - 20, T = 10 + 20;
  EXPECT_TRUE(HasLine(dc, {L, 10}, {L, B + 10}, PenStyle::kSolid));    // value axis
  EXPECT_TRUE(HasLine(dc, {630, B}, {L - 10, B}, PenStyle::kSolid));   // time axis
  EXPECT_TRUE(HasLine(dc, {630, B}, {615, B - 5}, PenStyle::kSolid));  // arrow head
  const int dy = (B - T) / 10, dx = (Rt - L) / 10;

  auto bottom = TextsAt(dc, "0.120");
  EXPECT_PRED_FORMAT2(Same, bottom.size(), size_t{1});
  EXPECT_PRED_FORMAT2(Same, bottom[0].points[0], (Point{L - w0 - 12, B - h0 / 2}));
  EXPECT_PRED_FORMAT2(Same, bottom[0].state.textColor, Rgb(128, 0, 0));
  auto top = TextsAt(dc, "0.460");
  EXPECT_PRED_FORMAT2(Same, top[0].points[0], (Point{L - w0 - 12, B - h0 / 2 - 10 * dy}));
  EXPECT_TRUE(HasLine(dc, {L - 4, B - 10 * dy}, {L + 4, B - 10 * dy}, PenStyle::kSolid));

  // Time labels end at their ticks: "0.50" (28 wide) and "10.00" (35 wide).
  EXPECT_PRED_FORMAT2(Same, TextsAt(dc, "0.50")[0].points[0], (Point{L - 28, B + 12}));
  auto last = TextsAt(dc, "10.00");
  EXPECT_PRED_FORMAT2(Same, last[0].points[0], (Point{L + 10 * dx - 35, B + 12}));
  EXPECT_PRED_FORMAT2(Same, last[0].state.textColor, Rgb(0, 0, 128));
  EXPECT_TRUE(HasLine(dc, {L + 10 * dx, B - 4}, {L + 10 * dx, B + 4}, PenStyle::kSolid));

  // Grid: dotted grey, none at i = 0.
  EXPECT_TRUE(HasLine(dc, {L + 4, B - dy}, {Rt, B - dy}, PenStyle::kDot));
  EXPECT_TRUE(HasLine(dc, {L + dx, T}, {L + dx, B - 4}, PenStyle::kDot));
  EXPECT_TRUE(!HasLine(dc, {L + 4, B}, {Rt, B}, PenStyle::kDot));
  EXPECT_TRUE(!HasLine(dc, {L, T}, {L, B - 4}, PenStyle::kDot));
  int dotted = 0;
  for (const DrawCall& c : dc.CallsOf(DrawOp::kLine)) {
    if (c.state.pen.style == PenStyle::kDot) {
      ++dotted;
      EXPECT_PRED_FORMAT2(Same, c.state.pen.color, Rgb(128, 128, 128));
    }
  }
  EXPECT_PRED_FORMAT2(Same, dotted, 20);

  // Grid off: ticks only.
  CRecordingDC plain;
  DrawGraph(plain, g, ComputeGraphRanges(g), false, kClient);
  for (const DrawCall& c : plain.CallsOf(DrawOp::kLine)) EXPECT_TRUE(c.state.pen.style != PenStyle::kDot);
}

TEST(GraphDrawing, CaptionCurvesAndLegend) {
  GraphData g;
  g.graphTimes = {0.0, 1.0, 2.0};
  g.graphPointCount = 3;
  g.graphSeries.SetAt(2, Series(2, {0.0, 0.5, 1.0}, Rgb(0, 0, 255), "N1  -> N2", 0, 1));
  g.graphSeries.SetAt(20, Series(2, {0.0, 0.25, 0.5}, Rgb(255, 0, 255), "Sim of N1  -> N2", 1, 1));
  const GraphRanges r = ComputeGraphRanges(g);
  CRecordingDC dc;
  DrawGraph(dc, g, r, true, kClient);

  const auto texts = dc.CallsOf(DrawOp::kDrawText);
  EXPECT_PRED_FORMAT2(Same, texts.size(), size_t{2});
  EXPECT_PRED_FORMAT2(Same, texts[0].text, std::string("Util(t)"));
  EXPECT_PRED_FORMAT2(Same, texts[0].flags, 0u);
  EXPECT_PRED_FORMAT2(Same, texts[1].text, std::string("Time t"));
  EXPECT_PRED_FORMAT2(Same, texts[1].flags, unsigned(kDtRight | kDtBottom | kDtSingleLine));

  // "1.000" is 35 wide: L = 55, B = 444, data area 55..610 x 30..444.
  const int L = 55, B = 444, Rt = 610, T = 30;
  // Every curve is solid, companions included, in its colour.
  EXPECT_TRUE(HasLine(dc, {L, B}, {L, B}, PenStyle::kSolid));
  EXPECT_TRUE(HasLine(dc, {L + (Rt - L) / 2, B + (T - B) / 2}, {Rt, T}, PenStyle::kSolid));
  bool companionCurve = false;
  for (const DrawCall& c : dc.CallsOf(DrawOp::kLine)) {
    if (c.state.pen.color == Rgb(255, 0, 255) && c.points[1] == Point{Rt, B + (T - B) / 2}) {
      companionCurve = c.state.pen.style == PenStyle::kSolid;
    }
  }
  EXPECT_TRUE(companionCurve);

  // Legend rows at the top right in walk order (key 2, then key 20), samples 35 long.
  const auto first = TextsAt(dc, "N1  -> N2");
  const int w1 = 9 * 7;
  EXPECT_PRED_FORMAT2(Same, first[0].points[0], (Point{Rt - w1, 4}));
  EXPECT_PRED_FORMAT2(Same, first[0].state.textColor, Rgb(0, 0, 255));
  EXPECT_TRUE(HasLine(dc, {Rt - w1 - 5, 4 + 8}, {Rt - w1 - 40, 4 + 8}, PenStyle::kSolid));
  const auto second = TextsAt(dc, "Sim of N1  -> N2");
  const int w2 = 16 * 7;
  EXPECT_PRED_FORMAT2(Same, second[0].points[0], (Point{Rt - w2, 4 + 20}));
  EXPECT_TRUE(HasLine(dc, {Rt - w2 - 5, 24 + 8}, {Rt - w2 - 40, 24 + 8}, PenStyle::kDash));
}

TEST(GraphDrawing, TimeLabelsNeverRunTogetherAndTheLegendStaysReadable) {
  // A 3000 s run in a narrow window: "3000.00" is 49 units wide, the ticks 31 apart.
  GraphData g = TwoPointGraph({0.0, 3000.0}, {0.0, 0.8});
  g.graphSeries.SetAt(2, Series(2, {0.5, 0.1}, Rgb(255, 0, 0), "A long legend label"));
  const Rect narrow{0, 0, 400, 300};
  CRecordingDC dc;
  DrawGraph(dc, g, ComputeGraphRanges(g), true, narrow);
  const int B = 300 - 16 - 20;
  std::vector<DrawCall> labels;
  for (const DrawCall& c : dc.CallsOf(DrawOp::kTextOut))
    if (c.points[0].y == B + 12) labels.push_back(c);
  ASSERT_GE(labels.size(), 2u);
  EXPECT_EQ(labels.front().text, "0.00");
  EXPECT_EQ(labels.back().text, "3000.00");
  for (size_t i = 1; i < labels.size(); ++i) {
    const int previousRight = labels[i - 1].points[0].x + 7 * int(labels[i - 1].text.size());
    EXPECT_LT(previousRight, labels[i].points[0].x) << labels[i].text;
  }
  // Still eleven ticks on the time axis.
  int ticks = 0;
  for (const DrawCall& c : dc.CallsOf(DrawOp::kLine))
    if (c.points[0].y == B - 4 && c.points[1].y == B + 4 && c.points[0].x == c.points[1].x) ++ticks;
  EXPECT_EQ(ticks, 11);

  // Each legend text stands on a window-coloured patch laid after the grid.
  const auto& calls = dc.Calls();
  size_t lastGrid = 0;
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].op == DrawOp::kLine && calls[i].state.pen.style == PenStyle::kDot) lastGrid = i;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != DrawOp::kTextOut || calls[i].points[0].y >= 100 || calls[i].text.size() < 6) continue;
    const Point at = calls[i].points[0];
    const int width = 7 * int(calls[i].text.size());
    bool covered = false;
    for (size_t k = lastGrid; k < i; ++k) {
      const DrawCall& r = calls[k];
      if (r.op == DrawOp::kRectangle && r.state.brush.style == BrushStyle::kSolid &&
          r.state.brush.color == Rgb(255, 255, 255) && r.rect.left <= at.x && r.rect.top <= at.y &&
          r.rect.right >= at.x + width && r.rect.bottom >= at.y + 16)
        covered = true;
    }
    EXPECT_TRUE(covered) << calls[i].text;
  }
}

TEST(GraphDrawing, CaptionsByKindOfSeries) {
  GraphData g;
  EXPECT_PRED_FORMAT2(Same, GraphCaption(g), std::string());
  g.graphSeries.SetAt(1, Series(1, {}, 0, "q"));
  EXPECT_PRED_FORMAT2(Same, GraphCaption(g), std::string("AvgSize(t)"));
  g.graphSeries.Find(1)->metric = 2;
  EXPECT_PRED_FORMAT2(Same, GraphCaption(g), std::string("LossProb(t)"));
  GraphSeries c = Series(13, {}, 0, "c", 0, 0);
  static const int dummy = 0;
  c.trafficClass = reinterpret_cast<const CTrafficClass*>(&dummy);  // never dereferenced
  GraphData classes;
  classes.graphSeries.SetAt(13, c);
  EXPECT_PRED_FORMAT2(Same, GraphCaption(classes), std::string("Throughput(t)"));
}

TEST(GraphDrawing, EmptyGraphDrawsAxesOnly) {
  GraphData g;
  CRecordingDC dc;
  DrawGraph(dc, g, GraphRanges{}, true, kClient);  // all ranges 0, as before the first load
  EXPECT_TRUE(dc.CallsOf(DrawOp::kDrawText).empty());
  EXPECT_PRED_FORMAT2(Same, dc.CallsOf(DrawOp::kTextOut).size(), size_t{22});
}

TEST(GraphDrawing, PrintingLaysOutOnThePage) {
  const GraphData g = TwoPointGraph({0.0, 1.0}, {0.0, 1.0});
  CRecordingDC dc(true, 600, Size{4800, 6000});
  DrawGraph(dc, g, ComputeGraphRanges(g), true, kClient);
  // The font is made for the printer: 10 points at 600 dpi.
  const Size e = CRecordingDC::TextExtentFor(dc.CreatePointFont(10, "Arial"), "1.000");
  EXPECT_TRUE(e.cy > 60);
  const int L = 100 + e.cx + 20, B = 6000 - 100 - e.cy - 20;
  EXPECT_TRUE(HasLine(dc, {L, 110}, {L, B + 10}, PenStyle::kSolid));
}
