#include "platform/core/recording_dc.h"

#include <cstdio>

namespace varlo {

const char* DrawOpName(DrawOp op) {
  switch (op) {
    case DrawOp::kSelectPen:
      return "SelectPen";
    case DrawOp::kSelectBrush:
      return "SelectBrush";
    case DrawOp::kSelectFont:
      return "SelectFont";
    case DrawOp::kSetTextColor:
      return "SetTextColor";
    case DrawOp::kSetBkMode:
      return "SetBkMode";
    case DrawOp::kSetBkColor:
      return "SetBkColor";
    case DrawOp::kSetMapping:
      return "SetMapping";
    case DrawOp::kMoveTo:
      return "MoveTo";
    case DrawOp::kLine:
      return "Line";
    case DrawOp::kEllipse:
      return "Ellipse";
    case DrawOp::kRectangle:
      return "Rectangle";
    case DrawOp::kPolygon:
      return "Polygon";
    case DrawOp::kIcon:
      return "Icon";
    case DrawOp::kTextOut:
      return "TextOut";
    case DrawOp::kDrawText:
      return "DrawText";
  }
  return "?";
}

DrawCall& CRecordingDC::Record(DrawOp op) {
  calls_.push_back(DrawCall{op, State(), {}, {}, {}, 0, -1});
  return calls_.back();
}

std::vector<DrawCall> CRecordingDC::CallsOf(DrawOp op) const {
  std::vector<DrawCall> out;
  for (const DrawCall& c : calls_) {
    if (c.op == op) out.push_back(c);
  }
  return out;
}

Size CRecordingDC::TextExtentFor(const Font& font, std::string_view text) {
  const std::int32_t charWidth = font.height * 7 / 13;
  return Size{static_cast<std::int32_t>(text.size()) * charWidth, font.height * 16 / 13};
}

void CRecordingDC::DoLine(Point from, Point to) {
  Record(DrawOp::kLine).points = {from, to};
}

void CRecordingDC::DoEllipse(const Rect& r) {
  Record(DrawOp::kEllipse).rect = r;
}

void CRecordingDC::DoRectangle(const Rect& r) {
  Record(DrawOp::kRectangle).rect = r;
}

void CRecordingDC::DoPolygon(std::span<const Point> points) {
  Record(DrawOp::kPolygon).points.assign(points.begin(), points.end());
}

void CRecordingDC::DoDrawIcon(Point topLeft, int iconId) {
  DrawCall& c = Record(DrawOp::kIcon);
  c.points = {topLeft};
  c.iconId = iconId;
}

void CRecordingDC::DoTextOut(Point topLeft, std::string_view text) {
  DrawCall& c = Record(DrawOp::kTextOut);
  c.points = {topLeft};
  c.text = std::string(text);
}

void CRecordingDC::DoDrawText(const Rect& rect, std::string_view text, unsigned flags) {
  DrawCall& c = Record(DrawOp::kDrawText);
  c.rect = rect;
  c.text = std::string(text);
  c.flags = flags;
}

Size CRecordingDC::DoGetTextExtent(std::string_view text) {
  return TextExtentFor(State().font, text);
}

void CRecordingDC::OnMoveTo(Point p) {
  Record(DrawOp::kMoveTo).points = {p};
}

std::string CRecordingDC::Dump() const {
  std::string out;
  char buffer[256];
  for (const DrawCall& c : calls_) {
    const DcState& s = c.state;
    std::snprintf(buffer, sizeof buffer, "%-12s pen(%d,%d,%06X) brush(%d,%06X) text=%06X", DrawOpName(c.op),
                  static_cast<int>(s.pen.style), s.pen.width, s.pen.color, static_cast<int>(s.brush.style),
                  s.brush.color, s.textColor);
    out += buffer;
    for (const Point& p : c.points) {
      std::snprintf(buffer, sizeof buffer, " (%d,%d)", p.x, p.y);
      out += buffer;
    }
    if (c.op == DrawOp::kEllipse || c.op == DrawOp::kRectangle || c.op == DrawOp::kDrawText) {
      std::snprintf(buffer, sizeof buffer, " [%d,%d,%d,%d]", c.rect.left, c.rect.top, c.rect.right,
                    c.rect.bottom);
      out += buffer;
    }
    if (!c.text.empty()) out += " \"" + c.text + "\"";
    if (c.iconId >= 0) out += " icon " + std::to_string(c.iconId);
    out += '\n';
  }
  return out;
}

}  // namespace varlo
