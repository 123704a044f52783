// The drawing context on a QPainter: the screen, printers, print preview, PNG, SVG and PDF. The
// classic mappings become the painter's world transform; pens keep their classic look (a width in
// logical units, never thinner than one device pixel; dashed and dotted only when one unit wide).
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <QTransform>
#include <string_view>

#include "platform/core/drawing_context.h"
#include "platform/core/wmf_writer.h"

namespace varlo {

class CQtDrawContext : public CDrawContext {
 public:
  // The painter must be active. logPixelsY 0 takes the printer's resolution when printing and 96
  // otherwise, so that the screen, the metafile and the SVG/PNG/PDF pictures agree. The painter's
  // world transform at construction is the device transform under the mapping.
  explicit CQtDrawContext(QPainter& painter, bool printing = false, int logPixelsY = 0);

  bool IsPrinting() const override { return printing_; }
  int GetLogPixelsY() const override { return logPixelsY_; }
  Size GetDeviceSize() const override;

 protected:
  void DoLine(Point from, Point to) override;
  void DoEllipse(const Rect& r) override;
  void DoRectangle(const Rect& r) override;
  void DoPolygon(std::span<const Point> points) override;
  void DoDrawIcon(Point topLeft, int iconId) override;
  void DoTextOut(Point topLeft, std::string_view text) override;
  Size DoGetTextExtent(std::string_view text) override;

  void OnPenChanged() override { ApplyPen(); }
  void OnBrushChanged() override { ApplyBrush(); }
  void OnFontChanged() override { ApplyFont(); }
  void OnBkModeChanged() override { ApplyBackground(); }
  void OnBkColorChanged() override { ApplyBackground(); }
  void OnMappingChanged() override;

 private:
  void ApplyPen();
  void ApplyBrush();
  void ApplyFont();
  void ApplyBackground();

  QPainter& painter_;
  bool printing_;
  int logPixelsY_;
  QTransform deviceTransform_;
  QPen pen_;              // the pen for lines and outlines (text is drawn with a pen in the text colour)
  QFontMetrics metrics_;  // of the selected font, in logical units
};

// Model colour 0x00BBGGRR as a QColor.
QColor ToQColor(ColorRef color);
// Model text (UTF-8, or single-byte text from old files) as a QString.
QString ToQString(std::string_view text);
// The font as Qt draws it: the face at a pixel size equal to the logical height.
QFont ToQFont(const Font& font);
// Text extents as the screen measures them, for contexts without pixels of their own (metafiles).
CWmfWriter::TextMeasure ScreenTextMeasure();
// The node icons as pixels, for metafiles.
CWmfWriter::IconProvider NodeIconProvider();

}  // namespace varlo
