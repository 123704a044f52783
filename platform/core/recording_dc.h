// A drawing context that draws nothing and records every call with the state in effect, for tests
// of the drawing algorithms. Text is measured with a fixed metric so that label positions are
// deterministic: a character is height*7/13 units wide and a line height*16/13 units high, which is
// 7 x 16 for the 10-point font of a 96-dpi screen (height 13).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/drawing_context.h"

namespace varlo {

enum class DrawOp {
  kSelectPen,
  kSelectBrush,
  kSelectFont,
  kSetTextColor,
  kSetBkMode,
  kSetBkColor,
  kSetMapping,
  kMoveTo,
  kLine,
  kEllipse,
  kRectangle,
  kPolygon,
  kIcon,
  kTextOut,
  kDrawText,
};

struct DrawCall {
  DrawOp op;
  DcState state;              // the state after the call (for primitives: the state drawn with)
  std::vector<Point> points;  // kLine: from, to; kPolygon: the vertices; kMoveTo, kIcon, kTextOut: one
  Rect rect;                  // kEllipse, kRectangle, kDrawText
  std::string text;           // kTextOut, kDrawText
  unsigned flags = 0;         // kDrawText
  int iconId = -1;            // kIcon
};

const char* DrawOpName(DrawOp op);

class CRecordingDC : public CDrawContext {
 public:
  CRecordingDC() = default;
  CRecordingDC(bool printing, int logPixelsY, Size deviceSize)
      : printing_(printing), logPixelsY_(logPixelsY), deviceSize_(deviceSize) {}

  bool IsPrinting() const override { return printing_; }
  int GetLogPixelsY() const override { return logPixelsY_; }
  Size GetDeviceSize() const override { return deviceSize_; }

  const std::vector<DrawCall>& Calls() const { return calls_; }
  // The calls of one kind, in order.
  std::vector<DrawCall> CallsOf(DrawOp op) const;
  void Clear() { calls_.clear(); }
  // One line per call, for failure messages.
  std::string Dump() const;

  // The fixed text metric, for tests that compute expected positions.
  static Size TextExtentFor(const Font& font, std::string_view text);

 protected:
  void DoLine(Point from, Point to) override;
  void DoEllipse(const Rect& r) override;
  void DoRectangle(const Rect& r) override;
  void DoPolygon(std::span<const Point> points) override;
  void DoDrawIcon(Point topLeft, int iconId) override;
  void DoTextOut(Point topLeft, std::string_view text) override;
  void DoDrawText(const Rect& rect, std::string_view text, unsigned flags) override;
  Size DoGetTextExtent(std::string_view text) override;
  void OnMoveTo(Point p) override;
  void OnPenChanged() override { Record(DrawOp::kSelectPen); }
  void OnBrushChanged() override { Record(DrawOp::kSelectBrush); }
  void OnFontChanged() override { Record(DrawOp::kSelectFont); }
  void OnTextColorChanged() override { Record(DrawOp::kSetTextColor); }
  void OnBkModeChanged() override { Record(DrawOp::kSetBkMode); }
  void OnBkColorChanged() override { Record(DrawOp::kSetBkColor); }
  void OnMappingChanged() override { Record(DrawOp::kSetMapping); }

 private:
  DrawCall& Record(DrawOp op);

  bool printing_ = false;
  int logPixelsY_ = 96;
  Size deviceSize_{1024, 768};
  std::vector<DrawCall> calls_;
};

}  // namespace varlo
