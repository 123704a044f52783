// The drawing context's own semantics (mapping, fonts by point size, save/restore, DrawText
// placement), observed through the recording backend.
#include <gtest/gtest.h>

#include <array>

#include "platform/core/recording_dc.h"

namespace varlo {
namespace {

TEST(RectTest, NormalizedInflatedUnited) {
  EXPECT_EQ((Rect{10, 20, 0, 5}.Normalized()), (Rect{0, 5, 10, 20}));
  EXPECT_EQ((Rect{0, 0, 10, 10}.Inflated(1, 2, 3, 4)), (Rect{-1, -2, 13, 14}));
  EXPECT_EQ((Rect{0, 0, 10, 10}.United(Rect{5, -5, 20, 5})), (Rect{0, -5, 20, 10}));
  // An empty rectangle adds nothing to a union, on either side.
  EXPECT_EQ((Rect{0, 0, 10, 10}.United(Rect{})), (Rect{0, 0, 10, 10}));
  EXPECT_EQ((Rect{}.United(Rect{1, 1, 2, 2})), (Rect{1, 1, 2, 2}));
}

TEST(MappingTest, TextModeIsIdentityAndIgnoresExtents) {
  CRecordingDC dc;
  dc.SetWindowExt(500, 500);
  dc.SetViewportExt(10, 10);
  EXPECT_EQ(dc.LPtoDP(Point{7, 9}), (Point{7, 9}));
  dc.SetViewportOrg(-30, -40);
  EXPECT_EQ(dc.LPtoDP(Point{7, 9}), (Point{-23, -31}));
}

// The canvas at zoom 2: window extent = client x 2, viewport extent = client, origin = -scroll.
TEST(MappingTest, AnisotropicZoomAndScroll) {
  CRecordingDC dc;
  dc.SetMapMode(kMmAnisotropic);
  dc.SetWindowExt(1600, 1200);
  dc.SetViewportExt(800, 600);
  EXPECT_EQ(dc.LPtoDP(Point{200, 100}), (Point{100, 50}));
  dc.SetViewportOrg(-10, -20);
  EXPECT_EQ(dc.LPtoDP(Point{200, 100}), (Point{90, 30}));
  EXPECT_EQ(dc.DPtoLP(Point{90, 30}), (Point{200, 100}));
  EXPECT_DOUBLE_EQ(dc.ScaleX(), 0.5);
}

TEST(MappingTest, IsotropicShrinksTheLargerScale) {
  CRecordingDC dc;
  dc.SetMapMode(kMmIsotropic);
  dc.SetWindowExt(1000, 500);     // largest x, largest y of a network
  dc.SetViewportExt(4500, 6000);  // printable area less the margin
  // x scale 4.5, y scale 12: the y extent shrinks to keep 4.5 on both axes.
  EXPECT_EQ(dc.State().viewportExt, (Size{4500, 2250}));
  EXPECT_EQ(dc.LPtoDP(Point{1000, 500}), (Point{4500, 2250}));
}

TEST(MappingTest, SwitchingBackToTextResetsExtents) {
  CRecordingDC dc;
  dc.SetMapMode(kMmAnisotropic);
  dc.SetWindowExt(3, 3);
  dc.SetViewportExt(1, 1);
  EXPECT_EQ(dc.SetMapMode(kMmText), kMmAnisotropic);
  EXPECT_EQ(dc.LPtoDP(Point{9, 9}), (Point{9, 9}));
}

// A point font is sized for the device and the mapping of the moment it is created: made before
// the zoom mapping it keeps 13 units and so shrinks on screen when zoomed out; made under a
// print mapping it keeps its size on paper.
TEST(FontTest, PointFontFollowsTheMappingAtCreation) {
  CRecordingDC screen;
  EXPECT_EQ(screen.CreatePointFont(10, "Arial"), (Font{"Arial", 13}));
  EXPECT_EQ(screen.CreatePointFont(5, "Arial").height, 7);  // 6.67 rounds up

  CRecordingDC printer(true, 600, Size{4800, 6600});
  printer.SetMapMode(kMmIsotropic);
  printer.SetWindowExt(1000, 1000);
  printer.SetViewportExt(4500, 4500);
  // 5 points at 600 dpi are 42 device units, 9 logical units at 4.5 device units each.
  EXPECT_EQ(printer.CreatePointFont(5, "Arial").height, 9);
}

TEST(FontTest, RecordingMetricIsSevenBySixteenAtTenPoints) {
  CRecordingDC dc;
  dc.SelectFont(dc.CreatePointFont(10, "Arial"));
  EXPECT_EQ(dc.GetTextExtent("N12"), (Size{21, 16}));
  EXPECT_EQ(dc.GetTextExtent(""), (Size{0, 16}));
}

TEST(SelectTest, SelectingReturnsThePreviousObject) {
  CRecordingDC dc;
  const Pen red{PenStyle::kSolid, 2, 0x0000FF};
  const Pen first = dc.SelectPen(red);
  EXPECT_EQ(dc.SelectPen(first), red);
  EXPECT_EQ(dc.SetBkMode(kTransparent), kOpaque);
  EXPECT_EQ(dc.SetTextColor(0x123456), 0u);
  // Selecting what is already selected records nothing.
  const size_t calls = dc.Calls().size();
  dc.SetTextColor(0x123456);
  EXPECT_EQ(dc.Calls().size(), calls);
}

TEST(SaveRestoreTest, RestoreBringsBackObjectsAndMapping) {
  CRecordingDC dc;
  const DcState initial = dc.State();
  EXPECT_EQ(dc.SaveDC(), 1);
  dc.SelectPen(Pen{PenStyle::kDot, 1, 0x808080});
  dc.SetMapMode(kMmAnisotropic);
  dc.SetWindowExt(2, 2);
  EXPECT_EQ(dc.SaveDC(), 2);
  dc.SetTextColor(0xFF);
  EXPECT_TRUE(dc.RestoreDC(-1));
  EXPECT_EQ(dc.State().textColor, 0u);
  EXPECT_EQ(dc.State().mapMode, kMmAnisotropic);
  EXPECT_TRUE(dc.RestoreDC(1));
  EXPECT_EQ(dc.State(), initial);
  EXPECT_FALSE(dc.RestoreDC(-1));  // nothing left to restore
}

TEST(PrimitiveTest, LinesRunFromTheCurrentPosition) {
  CRecordingDC dc;
  dc.MoveTo(1, 2);
  dc.LineTo(3, 4);
  dc.LineTo(5, 6);
  const auto lines = dc.CallsOf(DrawOp::kLine);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].points, (std::vector<Point>{{1, 2}, {3, 4}}));
  EXPECT_EQ(lines[1].points, (std::vector<Point>{{3, 4}, {5, 6}}));
  EXPECT_EQ(dc.State().position, (Point{5, 6}));
}

TEST(PrimitiveTest, PrimitivesCarryTheStateTheyWereDrawnWith) {
  CRecordingDC dc;
  dc.SelectBrush(Brush{BrushStyle::kHollow, 0});
  dc.SelectPen(Pen{PenStyle::kSolid, 2, 0x800000});
  dc.Rectangle(0, 0, 10, 10);
  const auto rects = dc.CallsOf(DrawOp::kRectangle);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].state.brush.style, BrushStyle::kHollow);
  EXPECT_EQ(rects[0].state.pen.color, 0x800000u);
  EXPECT_EQ(rects[0].rect, (Rect{0, 0, 10, 10}));
}

// The generic DrawText (used by the Qt and metafile backends) places text with the extent.
class PlacingDC : public CRecordingDC {
 protected:
  void DoDrawText(const Rect& rect, std::string_view text, unsigned flags) override {
    CDrawContext::DoDrawText(rect, text, flags);
  }
};

TEST(DrawTextTest, RightBottomSingleLineEndsAtTheCorner) {
  PlacingDC dc;
  dc.SelectFont(dc.CreatePointFont(10, "Arial"));
  dc.DrawText(Rect{10, 20, 310, 220}, "Time t", kDtRight | kDtBottom | kDtSingleLine);
  const auto texts = dc.CallsOf(DrawOp::kTextOut);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].points[0], (Point{310 - 6 * 7, 220 - 16}));
}

TEST(DrawTextTest, TopLeftBreaksLinesAndIgnoresBottomWithoutSingleLine) {
  PlacingDC dc;
  dc.SelectFont(dc.CreatePointFont(10, "Arial"));
  dc.DrawText(Rect{10, 20, 310, 220}, "Util(t)\nsecond", kDtLeft | kDtTop | kDtBottom);
  const auto texts = dc.CallsOf(DrawOp::kTextOut);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].points[0], (Point{10, 20}));
  EXPECT_EQ(texts[1].points[0], (Point{10, 36}));
  EXPECT_EQ(texts[1].text, "second");
}

}  // namespace
}  // namespace varlo
