// A drawing context that writes an SVG picture, for pictures made without Qt (varlo-cli and the
// sweeps on machines without a display). Text is set in the selected face with the widths of the
// standard Arial metrics, so that labels are placed and measured as the screen would within a
// pixel or two.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/drawing_context.h"

namespace varlo {

class CSvgDrawContext : public CDrawContext {
 public:
  // width and height in device pixels (96 per inch); the background is white.
  CSvgDrawContext(std::int32_t width, std::int32_t height, std::string title = {});

  Size GetDeviceSize() const override { return Size{width_, height_}; }
  // The whole document.
  std::string Svg() const;

 protected:
  void DoLine(Point from, Point to) override;
  void DoEllipse(const Rect& r) override;
  void DoRectangle(const Rect& r) override;
  void DoPolygon(std::span<const Point> points) override;
  void DoDrawIcon(Point topLeft, int iconId) override;
  void DoTextOut(Point topLeft, std::string_view text) override;
  Size DoGetTextExtent(std::string_view text) override;

 private:
  std::string StrokeAttributes() const;
  std::string FillAttributes() const;

  std::int32_t width_;
  std::int32_t height_;
  std::string title_;
  std::string body_;
};

// Text escaped for XML character data and attribute values.
std::string XmlEscape(std::string_view text);

}  // namespace varlo
