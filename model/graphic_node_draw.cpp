// Drawing of a node on any drawing context: the canvas, paper, metafiles and the test recorder.
#include <algorithm>
#include <array>

#include "model/graphic_node.h"
#include "platform/core/drawing_context.h"

namespace varlo {

namespace {

// Half-widths used by the frame and the bounding rectangle: m = max(cx/2 + 3, s + 3).
std::int32_t FrameMargin(std::int32_t labelWidth, std::int32_t size) {
  return std::max(labelWidth / 2 + 3, size + 3);
}

}  // namespace

void CGraphicNode::Draw(CDrawContext& dc) const {
  const std::int32_t s = size;
  // A highlighted node swaps its colours: filled with the back colour, outlined in the fore colour.
  const ColorRef penColor = highlighted ? foreColor : backColor;
  const ColorRef brushColor = highlighted ? backColor : foreColor;
  const Pen oldPen = dc.SelectPen(Pen{PenStyle::kSolid, 2, penColor});
  const Brush oldBrush = dc.SelectBrush(Brush{BrushStyle::kSolid, brushColor});
  dc.SetTextColor(textColor);
  dc.SetBkMode(kTransparent);

  switch (shape) {
    case kShapeCircle:
      dc.Ellipse(x - s, y - s, x + s, y + s);
      break;
    case kShapeRectangle:
      dc.Rectangle(x - s, y - s, x + s, y + s);
      break;
    case kShapeDiamond: {
      const std::array<Point, 4> diamond{Point{x - s, y}, Point{x, y - s}, Point{x + s, y}, Point{x, y + s}};
      dc.Polygon(diamond);
      break;
    }
    case kShapeIconHost:
    case kShapeIconSwitch:
    case kShapeIconJoin:
    case kShapeIconNet:
      dc.DrawIcon(x - s, y - s, shape - kShapeIconHost);
      break;
    default:  // a shape number no version wrote: only the label marks the node
      break;
  }

  const Size label = dc.GetTextExtent(GetName());
  dc.TextOut(x - label.cx / 2, y - s - label.cy - 2, GetName());

  if (highlighted) {
    const std::int32_t m = FrameMargin(label.cx, s);
    dc.SelectPen(Pen{PenStyle::kSolid, 2, backColor});
    dc.SelectBrush(Brush{BrushStyle::kHollow, 0});
    dc.Rectangle(x - s - m, y - s - (label.cy + 6), x + s + m, y + s + 5);
  }

  dc.SelectPen(oldPen);
  dc.SelectBrush(oldBrush);
}

Rect CGraphicNode::GetBoundingRect(CDrawContext& dc) const {
  const Size label = dc.GetTextExtent(GetName());
  const std::int32_t m = FrameMargin(label.cx, size);
  const Rect around = Rect{x - size, y - size, x + size, y + size}.Inflated(m + 2, label.cy + 8, m + 2, 7);
  if (shape < kShapeIconHost || shape > kShapeIconNet) return around;
  // An icon is always kIconSize units square from (x - s, y - s); below size 16 (which the node
  // dialog allows for "Icon - Switch") it reaches beyond the square, and a drag must repaint it too.
  return around.United(Rect{x - size, y - size, x - size + kIconSize, y - size + kIconSize});
}

}  // namespace varlo
