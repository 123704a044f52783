// A drawing context that writes a classic Windows metafile (.wmf, the 16-bit record format, not the
// enhanced one). Like a metafile device context it has no pixels of its own: text is measured
// through a callback standing for the reference (screen) context, and icons are taken as pixels
// from a provider. Coordinates are stored as signed 16-bit values; larger ones are clamped.
//
// Objects and attributes are written lazily, just before the first primitive that uses them, so
// redundant selections cost nothing and the file never depends on a player's defaults.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/drawing_context.h"

namespace varlo {

// An icon as pixels: rows top to bottom, each pixel 0xAARRGGBB; alpha below 128 is transparent.
struct IconImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint32_t> argb;
};

class CWmfWriter : public CDrawContext {
 public:
  // Extent of text in the given font, in logical units.
  using TextMeasure = std::function<Size(const Font&, std::string_view)>;
  // Fills image with icon iconId; false when there is no such icon (nothing is drawn then).
  using IconProvider = std::function<bool(int iconId, IconImage& image)>;

  explicit CWmfWriter(TextMeasure measure, IconProvider icons = {}, int logPixelsY = 96);

  // Adds the 22-byte placeable header in front of the file: the picture's bounds in logical units
  // and how many of them make an inch. Without it the file is exactly what a classic metafile
  // context writes.
  void SetPlaceableHeader(const Rect& bounds, std::uint16_t unitsPerInch);

  int GetLogPixelsY() const override { return logPixelsY_; }

  // The complete file: optional placeable header, metafile header, records, end record.
  std::vector<std::uint8_t> Finish() const;
  // Writes Finish() to path; false when the file cannot be written.
  bool WriteFile(const std::string& path) const;

  // Record functions, as numbered by the format.
  enum Function : std::uint16_t {
    kMetaEof = 0x0000,
    kMetaSetBkMode = 0x0102,
    kMetaSetMapMode = 0x0103,
    kMetaSetBkColor = 0x0201,
    kMetaSetTextColor = 0x0209,
    kMetaSetWindowOrg = 0x020B,
    kMetaSetWindowExt = 0x020C,
    kMetaSetViewportOrg = 0x020D,
    kMetaSetViewportExt = 0x020E,
    kMetaLineTo = 0x0213,
    kMetaMoveTo = 0x0214,
    kMetaSelectObject = 0x012D,
    kMetaDeleteObject = 0x01F0,
    kMetaCreatePenIndirect = 0x02FA,
    kMetaCreateFontIndirect = 0x02FB,
    kMetaCreateBrushIndirect = 0x02FC,
    kMetaPolygon = 0x0324,
    kMetaEllipse = 0x0418,
    kMetaRectangle = 0x041B,
    kMetaTextOut = 0x0521,
    kMetaStretchDib = 0x0F43,
  };

 protected:
  void DoLine(Point from, Point to) override;
  void DoEllipse(const Rect& r) override;
  void DoRectangle(const Rect& r) override;
  void DoPolygon(std::span<const Point> points) override;
  void DoDrawIcon(Point topLeft, int iconId) override;
  void DoTextOut(Point topLeft, std::string_view text) override;
  Size DoGetTextExtent(std::string_view text) override;

 private:
  enum Slot { kPenSlot, kBrushSlot, kFontSlot, kSlotCount };

  // Starts a record; returns its offset in records_. EndRecord fills in its size.
  size_t BeginRecord(Function function);
  void EndRecord(size_t start);
  void Word(std::int32_t value);  // clamped to 16 bits
  void DWord(std::uint32_t value);
  void Coord(std::int32_t value) { Word(value); }
  // Writes the records that bring the file's objects and attributes up to the state in effect.
  void SyncAttributes(bool objects, bool text);
  void SyncMapping();
  void ReplaceObject(Slot slot, Function createFunction, const std::vector<std::uint16_t>& body);
  std::uint16_t AllocateObject();
  void WriteStretchDib(Point dest, const IconImage& image, bool mask, std::uint32_t rop);

  TextMeasure measure_;
  IconProvider icons_;
  int logPixelsY_;
  std::optional<Rect> placeableBounds_;
  std::uint16_t unitsPerInch_ = 96;

  std::vector<std::uint16_t> records_;  // the records, in 16-bit words
  std::uint32_t maxRecordWords_ = 0;
  std::vector<bool> objectUsed_;  // the player's object table
  std::uint16_t objectHighWater_ = 0;
  std::optional<std::uint16_t> selected_[kSlotCount];
  std::optional<Pen> writtenPen_;
  std::optional<Brush> writtenBrush_;
  std::optional<Font> writtenFont_;
  std::optional<ColorRef> writtenTextColor_;
  std::optional<int> writtenBkMode_;
  std::optional<ColorRef> writtenBkColor_;
  std::optional<DcState> writtenMapping_;
  std::optional<Point> writtenPosition_;
};

}  // namespace varlo
