#include "platform/core/svg_draw_context.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace varlo {
namespace {

// Advance widths of Arial for the printable ASCII characters, in 1/1000 em, from ' ' (32) to '~'.
constexpr int kArialWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // ' ' .. '/'
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,  // '0' .. '?'
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,  // '@' .. 'O'
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,  // 'P' .. '_'
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,  // '`' .. 'o'
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};      // 'p' .. '~'
constexpr double kAscent = 0.905;      // of the em, Arial
constexpr double kLineHeight = 1.149;  // of the em, Arial (ascent + descent)

std::string Color(ColorRef c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
  return text;
}

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') out += ' ';
        else out += c;
    }
  }
  return out;
}

CSvgDrawContext::CSvgDrawContext(std::int32_t width, std::int32_t height, std::string title)
    : width_(width), height_(height), title_(std::move(title)) {}

std::string CSvgDrawContext::Svg() const {
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width_) + "\" height=\"" +
         std::to_string(height_) + "\" viewBox=\"0 0 " + std::to_string(width_) + " " + std::to_string(height_) +
         "\">\n";
  if (!title_.empty()) svg += "<title>" + XmlEscape(title_) + "</title>\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width_) + "\" height=\"" + std::to_string(height_) +
         "\" fill=\"#ffffff\"/>\n";
  svg += body_;
  svg += "</svg>\n";
  return svg;
}

std::string CSvgDrawContext::StrokeAttributes() const {
  const Pen& pen = State().pen;
  if (pen.style == PenStyle::kNull) return " stroke=\"none\"";
  const double width = std::max(1.0, std::abs(pen.width * ScaleX()));
  std::string a = " stroke=\"" + Color(pen.color) + "\" stroke-width=\"" + Num(width) + "\"";
  if (pen.style == PenStyle::kDash) a += " stroke-dasharray=\"6 2\"";
  if (pen.style == PenStyle::kDot) a += " stroke-dasharray=\"1 1\"";
  return a;
}

std::string CSvgDrawContext::FillAttributes() const {
  const Brush& brush = State().brush;
  if (brush.style == BrushStyle::kHollow) return " fill=\"none\"";
  return " fill=\"" + Color(brush.color) + "\"";
}

void CSvgDrawContext::DoLine(Point from, Point to) {
  if (State().pen.style == PenStyle::kNull) return;
  const Point a = LPtoDP(from), b = LPtoDP(to);
  body_ += "<line x1=\"" + std::to_string(a.x) + "\" y1=\"" + std::to_string(a.y) + "\" x2=\"" +
           std::to_string(b.x) + "\" y2=\"" + std::to_string(b.y) + "\"" + StrokeAttributes() + "/>\n";
}

void CSvgDrawContext::DoEllipse(const Rect& r) {
  const Point a = LPtoDP(Point{r.left, r.top}), b = LPtoDP(Point{r.right, r.bottom});
  body_ += "<ellipse cx=\"" + Num((a.x + b.x) / 2.0) + "\" cy=\"" + Num((a.y + b.y) / 2.0) + "\" rx=\"" +
           Num(std::abs(b.x - a.x) / 2.0) + "\" ry=\"" + Num(std::abs(b.y - a.y) / 2.0) + "\"" + FillAttributes() +
           StrokeAttributes() + "/>\n";
}

void CSvgDrawContext::DoRectangle(const Rect& r) {
  const Point a = LPtoDP(Point{r.left, r.top}), b = LPtoDP(Point{r.right, r.bottom});
  body_ += "<rect x=\"" + std::to_string(std::min(a.x, b.x)) + "\" y=\"" + std::to_string(std::min(a.y, b.y)) +
           "\" width=\"" + std::to_string(std::abs(b.x - a.x)) + "\" height=\"" + std::to_string(std::abs(b.y - a.y)) +
           "\"" + FillAttributes() + StrokeAttributes() + "/>\n";
}

void CSvgDrawContext::DoPolygon(std::span<const Point> points) {
  body_ += "<polygon points=\"";
  for (size_t i = 0; i < points.size(); ++i) {
    const Point p = LPtoDP(points[i]);
    body_ += (i > 0 ? " " : "") + std::to_string(p.x) + "," + std::to_string(p.y);
  }
  body_ += "\"" + FillAttributes() + StrokeAttributes() + "/>\n";
}

void CSvgDrawContext::DoDrawIcon(Point topLeft, int) {
  // Node icons are pictures of the desktop program; a plain square keeps the place.
  const Point a = LPtoDP(topLeft), b = LPtoDP(Point{topLeft.x + kIconSize, topLeft.y + kIconSize});
  body_ += "<rect x=\"" + std::to_string(a.x) + "\" y=\"" + std::to_string(a.y) + "\" width=\"" +
           std::to_string(b.x - a.x) + "\" height=\"" + std::to_string(b.y - a.y) +
           "\" fill=\"#c0c0c0\" stroke=\"#000000\"/>\n";
}

void CSvgDrawContext::DoTextOut(Point topLeft, std::string_view text) {
  const Font& font = State().font;
  const double size = std::abs(font.height * ScaleY());
  const Point p = LPtoDP(topLeft);
  const double baseline = p.y + size * kAscent;
  if (State().bkMode == kOpaque) {
    const Size extent = DoGetTextExtent(text);
    body_ += "<rect x=\"" + std::to_string(p.x) + "\" y=\"" + std::to_string(p.y) + "\" width=\"" +
             Num(std::abs(extent.cx * ScaleX())) + "\" height=\"" + Num(std::abs(extent.cy * ScaleY())) +
             "\" fill=\"" + Color(State().bkColor) + "\"/>\n";
  }
  body_ += "<text x=\"" + std::to_string(p.x) + "\" y=\"" + Num(baseline) + "\" font-family=\"" +
           XmlEscape(font.face) + ", Liberation Sans, Helvetica, sans-serif\" font-size=\"" + Num(size) +
           "\" fill=\"" + Color(State().textColor) + "\" xml:space=\"preserve\">" + XmlEscape(text) + "</text>\n";
}

Size CSvgDrawContext::DoGetTextExtent(std::string_view text) {
  const double em = State().font.height;
  long units = 0;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    units += (u >= 32 && u < 127) ? kArialWidths[u - 32] : 556;
  }
  return Size{static_cast<std::int32_t>(std::lround(units * em / 1000.0)),
              static_cast<std::int32_t>(std::lround(em * kLineHeight))};
}

}  // namespace varlo
