#include "platform/qt/qt_draw_context.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPixmap>
#include <QPolygon>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/qt/icons.h"

namespace varlo {

QColor ToQColor(ColorRef color) {
  return QColor(static_cast<int>(RedOf(color)), static_cast<int>(GreenOf(color)),
                static_cast<int>(BlueOf(color)));
}

QString ToQString(std::string_view text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!decoder.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QFont ToQFont(const Font& font) {
  QFont f(ToQString(font.face));
  f.setPixelSize(std::max(1, font.height));
  return f;
}

CWmfWriter::TextMeasure ScreenTextMeasure() {
  return [](const Font& font, std::string_view text) {
    const QFontMetrics metrics(ToQFont(font));
    return Size{metrics.horizontalAdvance(ToQString(text)), metrics.height()};
  };
}

CWmfWriter::IconProvider NodeIconProvider() {
  return [](int iconId, IconImage& image) {
    const QImage icon = NodeIconImage(iconId);
    if (icon.isNull()) return false;
    const QImage argb = icon.convertToFormat(QImage::Format_ARGB32);
    image.width = argb.width();
    image.height = argb.height();
    image.argb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
      std::copy(row, row + image.width, image.argb.begin() + static_cast<std::ptrdiff_t>(y) * image.width);
    }
    return true;
  };
}

CQtDrawContext::CQtDrawContext(QPainter& painter, bool printing, int logPixelsY)
    : painter_(painter),
      printing_(printing),
      deviceTransform_(painter.worldTransform()),
      metrics_(ToQFont(State().font)) {
  if (logPixelsY <= 0) {
    logPixelsY = (printing && painter.device() != nullptr) ? painter.device()->logicalDpiY() : 96;
  }
  logPixelsY_ = logPixelsY;
  ApplyPen();
  ApplyBrush();
  ApplyFont();
  ApplyBackground();
}

Size CQtDrawContext::GetDeviceSize() const {
  const QPaintDevice* device = painter_.device();
  if (device == nullptr) return Size{0, 0};
  return Size{device->width(), device->height()};
}

void CQtDrawContext::OnMappingChanged() {
  const DcState& s = State();
  const double sx = ScaleX(), sy = ScaleY();
  const QTransform mapping(sx, 0.0, 0.0, sy, s.viewportOrg.x - s.windowOrg.x * sx,
                           s.viewportOrg.y - s.windowOrg.y * sy);
  painter_.setWorldTransform(mapping * deviceTransform_);
  ApplyPen();  // pen widths are kept in device pixels
}

void CQtDrawContext::ApplyPen() {
  const Pen& p = State().pen;
  if (p.style == PenStyle::kNull) {
    pen_ = QPen(Qt::NoPen);
    painter_.setPen(pen_);
    return;
  }
  // Widths are logical units scaled by the mapping, never below one device pixel. On paper a
  // device pixel is far smaller than a screen pixel: there a pen is never thinner than it looks
  // on the screen (its width in screen pixels at the printer's resolution).
  const double scale = std::fabs(ScaleX()) * std::sqrt(std::fabs(deviceTransform_.determinant()));
  const double screenPixel = printing_ ? std::max(1.0, logPixelsY_ / 96.0) : 1.0;  // device pixels
  double width = std::max(1.0, std::round(p.width * scale));
  if (printing_) width = std::max(width, std::max(1, p.width) * screenPixel);
  pen_ = QPen(ToQColor(p.color));
  if (printing_ && scale > 0.0) {
    // Print preview records the page and replays it scaled to its window: a cosmetic pen would
    // keep its printer-pixel width there and smear over the page. A pen in logical units scales
    // with the page.
    pen_.setCosmetic(false);
    pen_.setWidthF(width / scale);
  } else {
    // On the screen the pen is cosmetic so that the painter does not scale it a second time.
    pen_.setCosmetic(true);
    pen_.setWidthF(width);
  }
  pen_.setCapStyle(Qt::RoundCap);
  pen_.setJoinStyle(Qt::RoundJoin);
  // A classic dashed or dotted pen wider than one unit draws solid. Dash lengths are screen
  // pixels, given in pen widths.
  if (p.width <= 1 && p.style == PenStyle::kDash) {
    pen_.setCapStyle(Qt::FlatCap);
    pen_.setDashPattern({18.0 * screenPixel / width, 6.0 * screenPixel / width});
  } else if (p.width <= 1 && p.style == PenStyle::kDot) {
    pen_.setCapStyle(Qt::FlatCap);
    pen_.setDashPattern({3.0 * screenPixel / width, 3.0 * screenPixel / width});
  }
  painter_.setPen(pen_);
}

void CQtDrawContext::ApplyBrush() {
  const Brush& b = State().brush;
  painter_.setBrush(b.style == BrushStyle::kHollow ? QBrush(Qt::NoBrush) : QBrush(ToQColor(b.color)));
}

void CQtDrawContext::ApplyFont() {
  const QFont font = ToQFont(State().font);
  painter_.setFont(font);
  metrics_ = QFontMetrics(font);
}

void CQtDrawContext::ApplyBackground() {
  painter_.setBackgroundMode(State().bkMode == kOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
  painter_.setBackground(QBrush(ToQColor(State().bkColor)));
}

void CQtDrawContext::DoLine(Point from, Point to) {
  if (from == to) return;  // a classic line to its own start draws nothing
  painter_.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
}

void CQtDrawContext::DoEllipse(const Rect& r) {
  painter_.drawEllipse(QRectF(r.left, r.top, r.Width(), r.Height()));
}

void CQtDrawContext::DoRectangle(const Rect& r) {
  painter_.drawRect(QRectF(r.left, r.top, r.Width(), r.Height()));
}

void CQtDrawContext::DoPolygon(std::span<const Point> points) {
  QPolygon polygon;
  polygon.reserve(static_cast<qsizetype>(points.size()));
  for (const Point& p : points) polygon.append(QPoint(p.x, p.y));
  painter_.drawPolygon(polygon);
}

void CQtDrawContext::DoDrawIcon(Point topLeft, int iconId) {
  const QPixmap& pixmap = NodeIconPixmap(iconId);
  if (pixmap.isNull()) return;
  painter_.drawPixmap(QRect(topLeft.x, topLeft.y, kIconSize, kIconSize), pixmap);
}

void CQtDrawContext::DoTextOut(Point topLeft, std::string_view text) {
  painter_.setPen(ToQColor(State().textColor));
  painter_.drawText(QPoint(topLeft.x, topLeft.y + metrics_.ascent()), ToQString(text));
  painter_.setPen(pen_);
}

Size CQtDrawContext::DoGetTextExtent(std::string_view text) {
  return Size{metrics_.horizontalAdvance(ToQString(text)), metrics_.height()};
}

}  // namespace varlo
