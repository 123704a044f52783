// Node drawing on the recording context: shapes, colours, the label above the shape, the
// highlight frame, and the bounding rectangle the canvas repaints with. The recorder's 10-point
// font measures 7 units per character and 16 units per line.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "model/graphic_node.h"
#include "platform/core/recording_dc.h"

namespace varlo {
namespace {

class NodeDrawTest : public ::testing::Test {
 protected:
  NodeDrawTest() { dc.SelectFont(dc.CreatePointFont(10, "Arial")); }

  // A node named "N1" at (100, 200).
  std::unique_ptr<CGraphicNode> MakeNode(std::int32_t shape, std::int32_t size, bool highlighted = false) {
    auto node = std::make_unique<CGraphicNode>(1, "N1", 100, 200);
    node->shape = shape;
    node->size = size;
    node->highlighted = highlighted;
    return node;
  }

  // The recorded calls that paint something, skipping state changes.
  std::vector<DrawCall> Primitives() const {
    std::vector<DrawCall> out;
    for (const DrawCall& c : dc.Calls()) {
      if (c.op == DrawOp::kEllipse || c.op == DrawOp::kRectangle || c.op == DrawOp::kPolygon ||
          c.op == DrawOp::kIcon || c.op == DrawOp::kTextOut || c.op == DrawOp::kLine) {
        out.push_back(c);
      }
    }
    return out;
  }

  CRecordingDC dc;
};

TEST_F(NodeDrawTest, PlainCircleIsOutlinedInBackAndFilledWithFore) {
  const auto node = MakeNode(kShapeCircle, 10);
  node->Draw(dc);
  const auto prims = Primitives();
  ASSERT_EQ(prims.size(), 2u) << dc.Dump();
  EXPECT_EQ(prims[0].op, DrawOp::kEllipse);
  EXPECT_EQ(prims[0].rect, (Rect{90, 190, 110, 210}));
  EXPECT_EQ(prims[0].state.pen, (Pen{PenStyle::kSolid, 2, CGraphicNode::kDefaultBackColor}));
  EXPECT_EQ(prims[0].state.brush, (Brush{BrushStyle::kSolid, CGraphicNode::kDefaultForeColor}));
  EXPECT_EQ(prims[1].op, DrawOp::kTextOut);
  EXPECT_EQ(prims[1].state.textColor, node->textColor);
  EXPECT_EQ(prims[1].state.bkMode, kTransparent);
}

TEST_F(NodeDrawTest, HighlightedCircleSwapsColoursAndCarriesTheFrame) {
  auto node = MakeNode(kShapeCircle, 10, true);
  node->backColor = 0x0000FF;
  node->foreColor = 0x00FF00;
  node->Draw(dc);
  const auto prims = Primitives();
  ASSERT_EQ(prims.size(), 3u) << dc.Dump();
  EXPECT_EQ(prims[0].state.pen.color, 0x00FF00u);
  EXPECT_EQ(prims[0].state.brush, (Brush{BrushStyle::kSolid, 0x0000FF}));
  // Label "N1": cx 14, cy 16; m = max(14/2 + 3, 10 + 3) = 13.
  ASSERT_EQ(prims[2].op, DrawOp::kRectangle);
  EXPECT_EQ(prims[2].rect, (Rect{100 - 10 - 13, 200 - 10 - 22, 100 + 10 + 13, 200 + 10 + 5}));
  EXPECT_EQ(prims[2].state.pen, (Pen{PenStyle::kSolid, 2, 0x0000FF}));
  EXPECT_EQ(prims[2].state.brush.style, BrushStyle::kHollow);
}

TEST_F(NodeDrawTest, FrameWidensToALongLabel) {
  auto node = MakeNode(kShapeRectangle, 5, true);
  node->SetName("Backbone-Router");  // 15 characters, cx 105: m = max(52 + 3, 8) = 55
  node->Draw(dc);
  const auto rects = dc.CallsOf(DrawOp::kRectangle);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].rect, (Rect{95, 195, 105, 205}));
  EXPECT_EQ(rects[1].rect, (Rect{100 - 5 - 55, 200 - 5 - 22, 100 + 5 + 55, 200 + 5 + 5}));
}

TEST_F(NodeDrawTest, DiamondVerticesRunLeftTopRightBottom) {
  MakeNode(kShapeDiamond, 8)->Draw(dc);
  const auto polygons = dc.CallsOf(DrawOp::kPolygon);
  ASSERT_EQ(polygons.size(), 1u);
  EXPECT_EQ(polygons[0].points, (std::vector<Point>{{92, 200}, {100, 192}, {108, 200}, {100, 208}}));
}

TEST_F(NodeDrawTest, IconShapesDrawTheirIconAtTheTopLeftCorner) {
  const std::int32_t shapes[] = {kShapeIconHost, kShapeIconSwitch, kShapeIconJoin, kShapeIconNet};
  for (int i = 0; i < 4; ++i) {
    dc.Clear();
    MakeNode(shapes[i], 16)->Draw(dc);
    const auto icons = dc.CallsOf(DrawOp::kIcon);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].iconId, i);
    EXPECT_EQ(icons[0].points[0], (Point{84, 184}));  // size 16 centres the 32-unit icon
    EXPECT_TRUE(dc.CallsOf(DrawOp::kEllipse).empty());
  }
}

TEST_F(NodeDrawTest, UnknownShapeDrawsOnlyTheLabel) {
  MakeNode(9, 10)->Draw(dc);
  const auto prims = Primitives();
  ASSERT_EQ(prims.size(), 1u);
  EXPECT_EQ(prims[0].op, DrawOp::kTextOut);
}

TEST_F(NodeDrawTest, LabelIsCentredAboveTheShape) {
  auto node = MakeNode(kShapeCircle, 12);
  node->SetName("N12");  // cx 21: left edge at x - 10 (integer division)
  node->Draw(dc);
  const auto texts = dc.CallsOf(DrawOp::kTextOut);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "N12");
  EXPECT_EQ(texts[0].points[0], (Point{100 - 10, 200 - 12 - 16 - 2}));
}

TEST_F(NodeDrawTest, PenAndBrushAreRestored) {
  const Pen pen{PenStyle::kDot, 1, 0x123456};
  const Brush brush{BrushStyle::kSolid, 0x654321};
  dc.SelectPen(pen);
  dc.SelectBrush(brush);
  MakeNode(kShapeDiamond, 10, true)->Draw(dc);
  EXPECT_EQ(dc.State().pen, pen);
  EXPECT_EQ(dc.State().brush, brush);
}

TEST_F(NodeDrawTest, BoundingRectWidensTheSquareByLabelAndFrame) {
  const auto node = MakeNode(kShapeIconHost, 16);  // "N1": m = max(10, 19) = 19
  EXPECT_EQ(node->GetBoundingRect(dc), (Rect{100 - 16 - 21, 200 - 16 - 24, 100 + 16 + 21, 200 + 16 + 7}));
}

// Whatever the shape, label or highlight, everything drawn (pens of width 2 included) stays in the
// bounding rectangle, so repainting that rectangle after a move leaves no trace.
TEST_F(NodeDrawTest, EverythingDrawnLiesInsideTheBoundingRect) {
  const char* names[] = {"", "N1", "A rather long node name"};
  for (std::int32_t shape = 0; shape <= kShapeIconNet; ++shape) {
    for (std::int32_t size : {3, 16, 20}) {
      for (const char* name : names) {
        for (bool highlighted : {false, true}) {
          dc.Clear();
          auto node = MakeNode(shape, size, highlighted);
          node->SetName(name);
          node->Draw(dc);
          const Rect bounds = node->GetBoundingRect(dc);
          for (const DrawCall& c : Primitives()) {
            Rect drawn;
            switch (c.op) {
              case DrawOp::kEllipse:
              case DrawOp::kRectangle:
                drawn = c.rect.Inflated(1);
                break;  // half the pen width
              case DrawOp::kPolygon:
                drawn = Rect{c.points[0].x, c.points[1].y, c.points[2].x, c.points[3].y}.Inflated(1);
                break;
              case DrawOp::kIcon:
                drawn =
                    Rect{c.points[0].x, c.points[0].y, c.points[0].x + kIconSize, c.points[0].y + kIconSize};
                break;
              case DrawOp::kTextOut: {
                const Size extent = CRecordingDC::TextExtentFor(c.state.font, c.text);
                drawn =
                    Rect{c.points[0].x, c.points[0].y, c.points[0].x + extent.cx, c.points[0].y + extent.cy};
                break;
              }
              default:
                continue;
            }
            EXPECT_EQ(bounds.United(drawn), bounds)
                << "shape " << shape << " size " << size << " name '" << name << "' " << DrawOpName(c.op);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace varlo
