// Drawing of a link: the line, its middle handle and one buffer bar per direction whose length
// and colour show how full that direction's buffer is.
#include <cmath>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/drawing_context.h"

namespace varlo {

namespace {

// The erasing line uses the window colour, so earlier (longer) bars vanish before the redraw.
constexpr ColorRef kWindowColor = 0xFFFFFF;
// Model units of line a bar may cover beyond the node's radius on a long link.
constexpr double kBarReach = 40.0;
// Fraction of the centre-to-centre line a full bar covers on a short link.
constexpr double kShortBarShare = 0.4;
// Fills at or below this draw no bar.
constexpr double kBarThreshold = 0.05;

// Mean occupancy over buffer size, in [0, 1]; anything not >= 0 (NaN included) is empty.
double FillOf(const C_MM1K_Queue* queue) {
  if (queue == nullptr) return 0.0;
  double f = queue->N / queue->bufferSize;
  if (!(f >= 0.0)) return 0.0;
  return f > 1.0 ? 1.0 : f;
}

// Each of red, green and blue moves from c1 toward c2 by the fill, truncated.
ColorRef BarColor(ColorRef c1, ColorRef c2, double f) {
  auto channel = [f](unsigned a, unsigned b) {
    return static_cast<unsigned>(static_cast<int>(a + f * (static_cast<double>(b) - static_cast<double>(a))));
  };
  return Rgb(channel(RedOf(c1), RedOf(c2)), channel(GreenOf(c1), GreenOf(c2)),
             channel(BlueOf(c1), BlueOf(c2)));
}

ColorRef Inverse(ColorRef c) {
  return Rgb(255 - RedOf(c), 255 - GreenOf(c), 255 - BlueOf(c));
}

}  // namespace

void CGraphicLink::Draw(CDrawContext& dc) const {
  if (first_ == nullptr || second_ == nullptr) return;
  const std::int32_t x1 = first_->x, y1 = first_->y, s1 = first_->size;
  const std::int32_t x2 = second_->x, y2 = second_->y, s2 = second_->size;

  const Pen oldPen = dc.SelectPen(Pen{PenStyle::kSolid, 3 * thickness, kWindowColor});
  dc.MoveTo(x1, y1);
  dc.LineTo(x2, y2);

  const Pen linePen{PenStyle::kSolid, highlighted ? thickness * 2 : thickness, lineColor};
  dc.SelectPen(linePen);
  dc.MoveTo(x1, y1);
  dc.LineTo(x2, y2);
  if (highlighted) {
    dc.SelectPen(Pen{PenStyle::kDash, 1, Inverse(lineColor)});
    dc.MoveTo(x1, y1);
    dc.LineTo(x2, y2);
    dc.SelectPen(linePen);
  }

  std::int32_t mx = 0, my = 0;
  GetMidpoint(mx, my);
  const Brush oldBrush = dc.SelectBrush(Brush{BrushStyle::kSolid, lineColor});
  dc.Ellipse(mx - 3, my - 3, mx + 3, my + 3);
  dc.SelectBrush(oldBrush);

  const double dx = static_cast<double>(x2) - x1;
  const double dy = static_cast<double>(y2) - y1;
  const std::int32_t len = static_cast<std::int32_t>(std::sqrt(dx * dx + dy * dy));
  const double f1 = FillOf(forward_.get());
  const double f2 = FillOf(backward_.get());
  // Two nodes on one point give -inf here and so take the short rule, whose bars have no length.
  const bool longLink = static_cast<double>(len - 2 * static_cast<std::int32_t>(kBarReach)) / len >= 0.2;

  auto bar = [&](std::int32_t fromX, std::int32_t fromY, double dirX, double dirY, std::int32_t radius,
                 double f) {
    if (!(f > kBarThreshold)) return;
    // Multiplying before dividing keeps whole-unit ends exact (a 56-unit bar on a 100-unit link
    // ends at 44, not at 43.99... truncated to 43).
    double endX, endY;
    if (longLink) {
      const double reach = radius + kBarReach * f;
      endX = fromX + dirX * reach / len;
      endY = fromY + dirY * reach / len;
    } else {
      endX = fromX + dirX * kShortBarShare * f;
      endY = fromY + dirY * kShortBarShare * f;
    }
    dc.SelectPen(Pen{PenStyle::kSolid, 3 * thickness, BarColor(bufferColor1, bufferColor2, f)});
    dc.MoveTo(fromX, fromY);
    dc.LineTo(static_cast<std::int32_t>(endX), static_cast<std::int32_t>(endY));
  };
  bar(x1, y1, dx, dy, s1, f1);
  bar(x2, y2, -dx, -dy, s2, f2);

  dc.SelectPen(oldPen);
}

}  // namespace varlo
