// The drawing context: the small set of drawing operations the model, the canvas and the graph view
// use, in the manner of a classic device context. Coordinates are logical units, mapped to device
// units by the mapping mode and the window/viewport origins and extents. Objects (pen, brush, font)
// are values; selecting one returns the one it replaces, so callers restore what they changed.
//
// The base class keeps the whole state (selected objects, text attributes, mapping, current
// position) so that every backend sees the same semantics; backends implement the primitives and
// react to state changes through the protected hooks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/colors.h"

namespace varlo {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Right and bottom are exclusive, as for the classic rectangle primitives.
struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  // Swaps the edges so that left <= right and top <= bottom.
  Rect Normalized() const;
  // Widens each side outwards by the given amount (negative values shrink).
  Rect Inflated(std::int32_t dl, std::int32_t dt, std::int32_t dr, std::int32_t db) const {
    return Rect{left - dl, top - dt, right + dr, bottom + db};
  }
  Rect Inflated(std::int32_t d) const { return Inflated(d, d, d, d); }
  // Smallest rectangle holding both; an empty rectangle does not count.
  Rect United(const Rect& other) const;
  friend bool operator==(const Rect&, const Rect&) = default;
};

enum class PenStyle : std::uint8_t { kSolid = 0, kDash = 1, kDot = 2, kNull = 5 };

// Width in logical units; 0 and 1 both draw one device pixel wide.
struct Pen {
  PenStyle style = PenStyle::kSolid;
  std::int32_t width = 1;
  ColorRef color = 0;
  friend bool operator==(const Pen&, const Pen&) = default;
};

enum class BrushStyle : std::uint8_t { kSolid = 0, kHollow = 1 };

struct Brush {
  BrushStyle style = BrushStyle::kSolid;
  ColorRef color = 0xFFFFFF;
  friend bool operator==(const Brush&, const Brush&) = default;
};

// A font by face and character (em) height in logical units, fixed when the font is created: a
// font created under one mapping keeps its logical height when the mapping changes afterwards.
struct Font {
  std::string face = "Arial";
  std::int32_t height = 13;
  friend bool operator==(const Font&, const Font&) = default;
};

enum BkMode : int { kTransparent = 1, kOpaque = 2 };

// Values as in the classic mapping-mode numbering, so that metafile records carry them directly.
enum MapMode : int { kMmText = 1, kMmIsotropic = 7, kMmAnisotropic = 8 };

// DrawText flags (classic values). Left and top are the absence of the others.
enum DrawTextFlags : unsigned {
  kDtLeft = 0x00,
  kDtTop = 0x00,
  kDtCenter = 0x01,
  kDtRight = 0x02,
  kDtVCenter = 0x04,
  kDtBottom = 0x08,
  kDtSingleLine = 0x20,
};

// Node icons, in the order of the shapes "Icon - Host" .. "Icon - Net".
enum IconId : int { kIconHost = 0, kIconSwitch = 1, kIconJoin = 2, kIconNet = 3 };
// Icons are drawn at the system icon size, in logical units.
constexpr std::int32_t kIconSize = 32;

// Everything a SaveDC/RestoreDC pair brings back.
struct DcState {
  Pen pen;
  Brush brush;
  Font font;
  ColorRef textColor = 0x000000;
  int bkMode = kOpaque;
  ColorRef bkColor = 0xFFFFFF;
  int mapMode = kMmText;
  Point windowOrg{0, 0};
  Size windowExt{1, 1};
  Point viewportOrg{0, 0};
  Size viewportExt{1, 1};
  Point position{0, 0};
  friend bool operator==(const DcState&, const DcState&) = default;
};

class CDrawContext {
 public:
  CDrawContext() = default;
  virtual ~CDrawContext() = default;
  CDrawContext(const CDrawContext&) = delete;
  CDrawContext& operator=(const CDrawContext&) = delete;

  // --- objects and attributes: each returns the previous value ---------------------------------
  Pen SelectPen(const Pen& pen);
  Brush SelectBrush(const Brush& brush);
  Font SelectFont(const Font& font);
  ColorRef SetTextColor(ColorRef color);
  int SetBkMode(int mode);
  ColorRef SetBkColor(ColorRef color);

  // A font of the given size in points, its height converted to logical units under the mapping in
  // effect now (device pixels per inch from GetLogPixelsY, rounded, then device to logical).
  Font CreatePointFont(int pointSize, std::string face) const;

  // --- mapping ------------------------------------------------------------------------------
  int SetMapMode(int mode);  // resets the extents to 1:1 for kMmText; returns the previous mode
  Size SetWindowExt(std::int32_t cx, std::int32_t cy);
  Point SetWindowOrg(std::int32_t x, std::int32_t y);
  // Under kMmIsotropic the viewport extent is adjusted so one logical unit is as wide as it is high.
  Size SetViewportExt(std::int32_t cx, std::int32_t cy);
  Point SetViewportOrg(std::int32_t x, std::int32_t y);
  Point LPtoDP(Point p) const;
  Point DPtoLP(Point p) const;
  // Device units per logical unit along each axis (negative when an axis is flipped).
  double ScaleX() const;
  double ScaleY() const;

  // --- whole-state save and restore ---------------------------------------------------------
  int SaveDC();               // returns the saved level (1 for the first)
  bool RestoreDC(int level);  // -1 restores the last saved state

  // --- primitives (logical coordinates) -----------------------------------------------------
  Point MoveTo(std::int32_t x, std::int32_t y);  // returns the previous position
  void LineTo(std::int32_t x, std::int32_t y);
  void Ellipse(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  void Rectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  void Polygon(std::span<const Point> points);
  // Draws node icon iconId (IconId) with its top-left corner at (x, y), kIconSize units square.
  void DrawIcon(std::int32_t x, std::int32_t y, int iconId);
  // Text with its top-left corner at (x, y), in the text colour, over the background when opaque.
  void TextOut(std::int32_t x, std::int32_t y, std::string_view text);
  // Text placed in rect by the kDt* flags. Without kDtSingleLine, '\n' starts a new line (and
  // kDtBottom/kDtVCenter have no effect, as classically).
  void DrawText(const Rect& rect, std::string_view text, unsigned flags);
  // Width and height of the text in the selected font, logical units.
  Size GetTextExtent(std::string_view text);

  // --- device -------------------------------------------------------------------------------
  virtual bool IsPrinting() const { return false; }
  // Pixels per logical inch of the device (96 for a screen).
  virtual int GetLogPixelsY() const { return 96; }
  // The device's drawable size in device units (the printable area for a printer).
  virtual Size GetDeviceSize() const { return Size{0, 0}; }

  const DcState& State() const { return state_; }

 protected:
  // Primitives in logical coordinates, with State() in effect.
  virtual void DoLine(Point from, Point to) = 0;
  virtual void DoEllipse(const Rect& r) = 0;
  virtual void DoRectangle(const Rect& r) = 0;
  virtual void DoPolygon(std::span<const Point> points) = 0;
  virtual void DoDrawIcon(Point topLeft, int iconId) = 0;
  virtual void DoTextOut(Point topLeft, std::string_view text) = 0;
  // Default: places each line with the text extent and calls DoTextOut.
  virtual void DoDrawText(const Rect& rect, std::string_view text, unsigned flags);
  virtual Size DoGetTextExtent(std::string_view text) = 0;
  // The current position moved without drawing (metafiles record it).
  virtual void OnMoveTo(Point) {}

  // State hooks, called after the state has changed (only when the value really changed).
  virtual void OnPenChanged() {}
  virtual void OnBrushChanged() {}
  virtual void OnFontChanged() {}
  virtual void OnTextColorChanged() {}
  virtual void OnBkModeChanged() {}
  virtual void OnBkColorChanged() {}
  // The mapping mode, an origin or an extent changed. RestoreDC calls the hooks of whatever it
  // brought back.
  virtual void OnMappingChanged() {}

 private:
  void AdjustIsotropic();
  void NotifyRestored(const DcState& before);

  DcState state_;
  std::vector<DcState> saved_;
};

}  // namespace varlo
