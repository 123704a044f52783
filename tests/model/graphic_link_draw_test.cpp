// Link drawing on the recording context: the erasing line, the line, the highlight dashes, the
// middle handle, and the buffer bars with their thresholds, lengths and colours.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/recording_dc.h"

namespace varlo {
namespace {

constexpr double kBuffer = 5000.0;

class LinkDrawTest : public ::testing::Test {
 protected:
  // Nodes of size 16 at the given centres; a link of thickness 2 with the default colours.
  void Build(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    a = std::make_unique<CGraphicNode>(1, "A", x1, y1);
    b = std::make_unique<CGraphicNode>(2, "B", x2, y2);
    link = std::make_unique<CGraphicLink>(
        a.get(), b.get(), std::make_unique<C_MM1K_Queue>(a.get(), b.get(), 1000.0, kBuffer, 0.0),
        std::make_unique<C_MM1K_Queue>(b.get(), a.get(), 1000.0, kBuffer, 0.0));
  }
  void SetFill(double forward, double backward) {
    link->GetForwardQueue()->N = forward * kBuffer;
    link->GetBackwardQueue()->N = backward * kBuffer;
  }
  std::vector<DrawCall> Lines() const { return dc.CallsOf(DrawOp::kLine); }
  // The bars are the lines after the handle.
  std::vector<DrawCall> Bars() const {
    std::vector<DrawCall> out;
    bool afterHandle = false;
    for (const DrawCall& c : dc.Calls()) {
      if (c.op == DrawOp::kEllipse) afterHandle = true;
      if (afterHandle && c.op == DrawOp::kLine) out.push_back(c);
    }
    return out;
  }

  std::unique_ptr<CGraphicNode> a, b;
  std::unique_ptr<CGraphicLink> link;
  CRecordingDC dc;
};

TEST_F(LinkDrawTest, PlainLinkErasesDrawsAndPutsTheHandleInTheMiddle) {
  Build(0, 0, 201, 51);
  link->Draw(dc);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u) << dc.Dump();
  EXPECT_EQ(lines[0].state.pen, (Pen{PenStyle::kSolid, 6, 0xFFFFFF}));  // 3 x thickness, window colour
  EXPECT_EQ(lines[1].state.pen, (Pen{PenStyle::kSolid, 2, 0x000080}));
  for (const DrawCall& line : lines) EXPECT_EQ(line.points, (std::vector<Point>{{0, 0}, {201, 51}}));
  const auto handles = dc.CallsOf(DrawOp::kEllipse);
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_EQ(handles[0].rect, (Rect{97, 22, 103, 28}));  // midpoint (100, 25)
  EXPECT_EQ(handles[0].state.brush, (Brush{BrushStyle::kSolid, 0x000080}));
  EXPECT_EQ(handles[0].state.pen, lines[1].state.pen);
  EXPECT_TRUE(Bars().empty());
}

TEST_F(LinkDrawTest, HighlightedLinkIsDoubleWidthWithInverseDashes) {
  Build(0, 0, 200, 0);
  link->highlighted = true;
  link->thickness = 3;
  link->lineColor = 0x203040;
  link->Draw(dc);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u) << dc.Dump();
  EXPECT_EQ(lines[0].state.pen.width, 9);
  EXPECT_EQ(lines[1].state.pen, (Pen{PenStyle::kSolid, 6, 0x203040}));
  EXPECT_EQ(lines[2].state.pen, (Pen{PenStyle::kDash, 1, 0xDFCFBF}));
  // The handle is outlined with the line pen again.
  EXPECT_EQ(dc.CallsOf(DrawOp::kEllipse)[0].state.pen, lines[1].state.pen);
}

TEST_F(LinkDrawTest, PenAndBrushAreRestored) {
  Build(0, 0, 200, 0);
  SetFill(1.0, 1.0);
  const Pen pen{PenStyle::kDot, 1, 0x111111};
  const Brush brush{BrushStyle::kHollow, 0};
  dc.SelectPen(pen);
  dc.SelectBrush(brush);
  link->Draw(dc);
  EXPECT_EQ(dc.State().pen, pen);
  EXPECT_EQ(dc.State().brush, brush);
}

TEST_F(LinkDrawTest, LongLinkBarsCoverTheRadiusAndFortyUnitsAtMost) {
  Build(0, 0, 200, 0);
  SetFill(0.5, 1.0);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 2u) << dc.Dump();
  EXPECT_EQ(bars[0].points, (std::vector<Point>{{0, 0}, {16 + 20, 0}}));
  EXPECT_EQ(bars[1].points, (std::vector<Point>{{200, 0}, {200 - 56, 0}}));
  for (const DrawCall& bar : bars) EXPECT_EQ(bar.state.pen.width, 6);
  // Half full: each channel halfway from 0x008020 to 0xC00000, truncated.
  EXPECT_EQ(bars[0].state.pen.color, Rgb(16, 64, 96));
  EXPECT_EQ(bars[1].state.pen.color, 0xC00000u);
}

TEST_F(LinkDrawTest, DiagonalBarEndsAreTruncated) {
  Build(0, 0, 300, 400);  // length 500
  SetFill(1.0, 0.0);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].points[1], (Point{33, 44}));  // 56/500 of (300, 400) = (33.6, 44.8)
}

TEST_F(LinkDrawTest, CentreDistanceOfExactlyHundredIsLong) {
  Build(0, 0, 100, 0);
  SetFill(1.0, 1.0);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[0].points[1], (Point{56, 0}));
  EXPECT_EQ(bars[1].points[1], (Point{44, 0}));
}

TEST_F(LinkDrawTest, ShortLinkBarsScaleWithTheLink) {
  Build(0, 0, 99, 0);
  SetFill(1.0, 0.5);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[0].points[1], (Point{39, 0}));  // 0.4 x 99 = 39.6
  EXPECT_EQ(bars[1].points[1], (Point{79, 0}));  // 99 - 0.2 x 99 = 79.2
}

TEST_F(LinkDrawTest, FivePercentDrawsNoBarAndJustAboveDoes) {
  Build(0, 0, 200, 0);
  link->GetForwardQueue()->N = 0.05 * kBuffer;
  link->GetBackwardQueue()->N = 0.0501 * kBuffer;
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].points[0], (Point{200, 0}));
}

TEST_F(LinkDrawTest, OverfullBufferDrawsAFullBarOfColourTwo) {
  Build(0, 0, 200, 0);
  link->bufferColor2 = 0x00FF00;
  SetFill(3.0, 0.0);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].points[1], (Point{56, 0}));
  EXPECT_EQ(bars[0].state.pen.color, 0x00FF00u);
}

TEST_F(LinkDrawTest, NotANumberOrNegativeOccupancyCountsAsEmpty) {
  Build(0, 0, 200, 0);
  link->GetForwardQueue()->N = std::numeric_limits<double>::quiet_NaN();
  link->GetBackwardQueue()->N = -10.0;
  link->Draw(dc);
  EXPECT_TRUE(Bars().empty());
  // An empty buffer of size 0 gives 0/0: no bar either.
  dc.Clear();
  link->GetForwardQueue()->N = 0.0;
  link->GetForwardQueue()->bufferSize = 0.0;
  link->Draw(dc);
  EXPECT_TRUE(Bars().empty());
}

TEST_F(LinkDrawTest, NodesOnOnePointGiveBarsWithoutLength) {
  Build(50, 60, 50, 60);
  SetFill(1.0, 1.0);
  link->Draw(dc);
  const auto bars = Bars();
  ASSERT_EQ(bars.size(), 2u);
  for (const DrawCall& bar : bars) EXPECT_EQ(bar.points, (std::vector<Point>{{50, 60}, {50, 60}}));
  EXPECT_EQ(dc.CallsOf(DrawOp::kEllipse)[0].rect, (Rect{47, 57, 53, 63}));
}

TEST_F(LinkDrawTest, LinkWithoutNodesDrawsNothing) {
  CGraphicLink empty;
  empty.Draw(dc);
  EXPECT_TRUE(dc.Calls().empty());
}

}  // namespace
}  // namespace varlo
