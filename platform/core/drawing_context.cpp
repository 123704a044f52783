#include "platform/core/drawing_context.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace varlo {

Rect Rect::Normalized() const {
  return Rect{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

Rect Rect::United(const Rect& other) const {
  if (other.IsEmpty()) return *this;
  if (IsEmpty()) return other;
  return Rect{std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
              std::max(bottom, other.bottom)};
}

Pen CDrawContext::SelectPen(const Pen& pen) {
  Pen previous = state_.pen;
  if (!(pen == previous)) {
    state_.pen = pen;
    OnPenChanged();
  }
  return previous;
}

Brush CDrawContext::SelectBrush(const Brush& brush) {
  Brush previous = state_.brush;
  if (!(brush == previous)) {
    state_.brush = brush;
    OnBrushChanged();
  }
  return previous;
}

Font CDrawContext::SelectFont(const Font& font) {
  Font previous = state_.font;
  if (!(font == previous)) {
    state_.font = font;
    OnFontChanged();
  }
  return previous;
}

ColorRef CDrawContext::SetTextColor(ColorRef color) {
  ColorRef previous = state_.textColor;
  if (color != previous) {
    state_.textColor = color;
    OnTextColorChanged();
  }
  return previous;
}

int CDrawContext::SetBkMode(int mode) {
  int previous = state_.bkMode;
  if (mode != previous) {
    state_.bkMode = mode;
    OnBkModeChanged();
  }
  return previous;
}

ColorRef CDrawContext::SetBkColor(ColorRef color) {
  ColorRef previous = state_.bkColor;
  if (color != previous) {
    state_.bkColor = color;
    OnBkColorChanged();
  }
  return previous;
}

Font CDrawContext::CreatePointFont(int pointSize, std::string face) const {
  // Points to device pixels rounds to nearest (72 points per inch); the device height is then
  // converted to logical units with the mapping of this moment.
  const long device = std::lround(static_cast<double>(pointSize) * GetLogPixelsY() / 72.0);
  const Point origin = DPtoLP(Point{0, 0});
  const Point far = DPtoLP(Point{0, static_cast<std::int32_t>(device)});
  std::int32_t height = std::abs(far.y - origin.y);
  return Font{std::move(face), std::max<std::int32_t>(height, 1)};
}

int CDrawContext::SetMapMode(int mode) {
  int previous = state_.mapMode;
  state_.mapMode = mode;
  if (mode == kMmText) {
    state_.windowExt = Size{1, 1};
    state_.viewportExt = Size{1, 1};
  }
  OnMappingChanged();
  return previous;
}

Size CDrawContext::SetWindowExt(std::int32_t cx, std::int32_t cy) {
  Size previous = state_.windowExt;
  // Extents only count under the two scalable modes, and never with a zero.
  if (state_.mapMode == kMmText || cx == 0 || cy == 0) return previous;
  state_.windowExt = Size{cx, cy};
  AdjustIsotropic();
  OnMappingChanged();
  return previous;
}

Point CDrawContext::SetWindowOrg(std::int32_t x, std::int32_t y) {
  Point previous = state_.windowOrg;
  state_.windowOrg = Point{x, y};
  OnMappingChanged();
  return previous;
}

Size CDrawContext::SetViewportExt(std::int32_t cx, std::int32_t cy) {
  Size previous = state_.viewportExt;
  if (state_.mapMode == kMmText || cx == 0 || cy == 0) return previous;
  state_.viewportExt = Size{cx, cy};
  AdjustIsotropic();
  OnMappingChanged();
  return previous;
}

Point CDrawContext::SetViewportOrg(std::int32_t x, std::int32_t y) {
  Point previous = state_.viewportOrg;
  state_.viewportOrg = Point{x, y};
  OnMappingChanged();
  return previous;
}

// Shrinks the viewport extent along the axis with the larger scale so that both axes have the
// same scale (square device pixels assumed), rounding to nearest and keeping the sign.
void CDrawContext::AdjustIsotropic() {
  if (state_.mapMode != kMmIsotropic) return;
  Size& vp = state_.viewportExt;
  const Size& w = state_.windowExt;
  const double xdim = std::fabs(static_cast<double>(vp.cx) / w.cx);
  const double ydim = std::fabs(static_cast<double>(vp.cy) / w.cy);
  if (xdim > ydim) {
    const std::int32_t minimum = vp.cx >= 0 ? 1 : -1;
    vp.cx = static_cast<std::int32_t>(std::floor(vp.cx * ydim / xdim + 0.5));
    if (vp.cx == 0) vp.cx = minimum;
  } else if (ydim > xdim) {
    const std::int32_t minimum = vp.cy >= 0 ? 1 : -1;
    vp.cy = static_cast<std::int32_t>(std::floor(vp.cy * xdim / ydim + 0.5));
    if (vp.cy == 0) vp.cy = minimum;
  }
}

double CDrawContext::ScaleX() const {
  return static_cast<double>(state_.viewportExt.cx) / state_.windowExt.cx;
}

double CDrawContext::ScaleY() const {
  return static_cast<double>(state_.viewportExt.cy) / state_.windowExt.cy;
}

Point CDrawContext::LPtoDP(Point p) const {
  const double x = (p.x - state_.windowOrg.x) * ScaleX() + state_.viewportOrg.x;
  const double y = (p.y - state_.windowOrg.y) * ScaleY() + state_.viewportOrg.y;
  return Point{static_cast<std::int32_t>(std::floor(x + 0.5)),
               static_cast<std::int32_t>(std::floor(y + 0.5))};
}

Point CDrawContext::DPtoLP(Point p) const {
  const double x = (p.x - state_.viewportOrg.x) / ScaleX() + state_.windowOrg.x;
  const double y = (p.y - state_.viewportOrg.y) / ScaleY() + state_.windowOrg.y;
  return Point{static_cast<std::int32_t>(std::floor(x + 0.5)),
               static_cast<std::int32_t>(std::floor(y + 0.5))};
}

int CDrawContext::SaveDC() {
  saved_.push_back(state_);
  return static_cast<int>(saved_.size());
}

bool CDrawContext::RestoreDC(int level) {
  if (saved_.empty()) return false;
  size_t index;
  if (level < 0) {
    if (static_cast<size_t>(-level) > saved_.size()) return false;
    index = saved_.size() - static_cast<size_t>(-level);
  } else {
    if (level == 0 || static_cast<size_t>(level) > saved_.size()) return false;
    index = static_cast<size_t>(level) - 1;
  }
  const DcState before = state_;
  state_ = saved_[index];
  saved_.resize(index);
  NotifyRestored(before);
  return true;
}

void CDrawContext::NotifyRestored(const DcState& before) {
  if (!(before.pen == state_.pen)) OnPenChanged();
  if (!(before.brush == state_.brush)) OnBrushChanged();
  if (!(before.font == state_.font)) OnFontChanged();
  if (before.textColor != state_.textColor) OnTextColorChanged();
  if (before.bkMode != state_.bkMode) OnBkModeChanged();
  if (before.bkColor != state_.bkColor) OnBkColorChanged();
  if (before.mapMode != state_.mapMode || !(before.windowOrg == state_.windowOrg) ||
      !(before.windowExt == state_.windowExt) || !(before.viewportOrg == state_.viewportOrg) ||
      !(before.viewportExt == state_.viewportExt)) {
    OnMappingChanged();
  }
  if (!(before.position == state_.position)) OnMoveTo(state_.position);
}

Point CDrawContext::MoveTo(std::int32_t x, std::int32_t y) {
  Point previous = state_.position;
  state_.position = Point{x, y};
  OnMoveTo(state_.position);
  return previous;
}

void CDrawContext::LineTo(std::int32_t x, std::int32_t y) {
  const Point from = state_.position;
  state_.position = Point{x, y};
  DoLine(from, state_.position);
}

void CDrawContext::Ellipse(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  DoEllipse(Rect{left, top, right, bottom});
}

void CDrawContext::Rectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  DoRectangle(Rect{left, top, right, bottom});
}

void CDrawContext::Polygon(std::span<const Point> points) {
  if (points.size() < 2) return;
  DoPolygon(points);
}

void CDrawContext::DrawIcon(std::int32_t x, std::int32_t y, int iconId) {
  DoDrawIcon(Point{x, y}, iconId);
}

void CDrawContext::TextOut(std::int32_t x, std::int32_t y, std::string_view text) {
  DoTextOut(Point{x, y}, text);
}

void CDrawContext::DrawText(const Rect& rect, std::string_view text, unsigned flags) {
  DoDrawText(rect, text, flags);
}

Size CDrawContext::GetTextExtent(std::string_view text) {
  return DoGetTextExtent(text);
}

void CDrawContext::DoDrawText(const Rect& rect, std::string_view text, unsigned flags) {
  std::vector<std::string_view> lines;
  if (flags & kDtSingleLine) {
    lines.push_back(text);
  } else {
    size_t start = 0;
    while (true) {
      size_t end = text.find('\n', start);
      std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  }
  std::int32_t lineHeight = GetTextExtent("X").cy;
  std::int32_t y = rect.top;
  if (flags & kDtSingleLine) {
    if (flags & kDtBottom) {
      y = rect.bottom - lineHeight;
    } else if (flags & kDtVCenter) {
      y = rect.top + (rect.Height() - lineHeight) / 2;
    }
  }
  for (std::string_view line : lines) {
    std::int32_t x = rect.left;
    if (flags & (kDtRight | kDtCenter)) {
      const std::int32_t width = GetTextExtent(line).cx;
      x = (flags & kDtRight) ? rect.right - width : rect.left + (rect.Width() - width) / 2;
    }
    if (!line.empty()) DoTextOut(Point{x, y}, line);
    y += lineHeight;
  }
}

}  // namespace varlo
