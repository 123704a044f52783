#include "platform/core/wmf_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

namespace varlo {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kHeaderWords = 9;
constexpr std::uint16_t kMetafileVersion = 0x0300;
constexpr std::uint16_t kMemoryMetafile = 1;
constexpr std::uint32_t kRopSrcAnd = 0x008800C6;
constexpr std::uint32_t kRopSrcPaint = 0x00EE0086;
constexpr std::uint16_t kFontWeightNormal = 400;
constexpr size_t kFaceNameBytes = 32;

std::uint16_t Clamp16(std::int32_t value) {
  return static_cast<std::uint16_t>(
      static_cast<std::int16_t>(std::clamp<std::int32_t>(value, -32768, 32767)));
}

// Text is stored in the single-byte ANSI code page; UTF-8 is decoded and anything beyond Latin-1
// becomes '?'. Bytes that are not valid UTF-8 are taken as they are (names read from old files).
std::string ToAnsi(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = 0;
    std::uint32_t code = c;
    if (c >= 0xC0 && c < 0xE0) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c < 0xF0) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c < 0xF8) {
      extra = 3;
      code = c & 0x07;
    }
    bool valid = c < 0x80 || extra > 0;
    if (extra > 0) {
      if (i + static_cast<size_t>(extra) >= text.size()) {
        valid = false;
      } else {
        for (int k = 1; k <= extra; ++k) {
          const auto cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
          if ((cc & 0xC0) != 0x80) {
            valid = false;
            break;
          }
          code = (code << 6) | (cc & 0x3F);
        }
      }
    }
    if (!valid) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    out += code < 0x100 ? static_cast<char>(code) : '?';
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t w) {
  out.push_back(static_cast<std::uint8_t>(w & 0xFF));
  out.push_back(static_cast<std::uint8_t>(w >> 8));
}

void PutDWord(std::vector<std::uint8_t>& out, std::uint32_t d) {
  PutWord(out, static_cast<std::uint16_t>(d & 0xFFFF));
  PutWord(out, static_cast<std::uint16_t>(d >> 16));
}

}  // namespace

CWmfWriter::CWmfWriter(TextMeasure measure, IconProvider icons, int logPixelsY)
    : measure_(std::move(measure)), icons_(std::move(icons)), logPixelsY_(logPixelsY) {}

void CWmfWriter::SetPlaceableHeader(const Rect& bounds, std::uint16_t unitsPerInch) {
  placeableBounds_ = bounds;
  unitsPerInch_ = unitsPerInch;
}

size_t CWmfWriter::BeginRecord(Function function) {
  const size_t start = records_.size();
  records_.push_back(0);
  records_.push_back(0);
  records_.push_back(function);
  return start;
}

void CWmfWriter::EndRecord(size_t start) {
  const auto words = static_cast<std::uint32_t>(records_.size() - start);
  records_[start] = static_cast<std::uint16_t>(words & 0xFFFF);
  records_[start + 1] = static_cast<std::uint16_t>(words >> 16);
  maxRecordWords_ = std::max(maxRecordWords_, words);
}

void CWmfWriter::Word(std::int32_t value) {
  records_.push_back(Clamp16(value));
}

void CWmfWriter::DWord(std::uint32_t value) {
  records_.push_back(static_cast<std::uint16_t>(value & 0xFFFF));
  records_.push_back(static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t CWmfWriter::AllocateObject() {
  // The player puts a new object in the lowest free entry of its object table.
  auto it = std::find(objectUsed_.begin(), objectUsed_.end(), false);
  size_t index = static_cast<size_t>(it - objectUsed_.begin());
  if (it == objectUsed_.end())
    objectUsed_.push_back(true);
  else
    *it = true;
  objectHighWater_ =
      std::max<std::uint16_t>(objectHighWater_, static_cast<std::uint16_t>(objectUsed_.size()));
  return static_cast<std::uint16_t>(index);
}

void CWmfWriter::ReplaceObject(Slot slot, Function createFunction, const std::vector<std::uint16_t>& body) {
  const std::uint16_t index = AllocateObject();
  size_t r = BeginRecord(createFunction);
  records_.insert(records_.end(), body.begin(), body.end());
  EndRecord(r);
  r = BeginRecord(kMetaSelectObject);
  records_.push_back(index);
  EndRecord(r);
  if (selected_[slot]) {
    r = BeginRecord(kMetaDeleteObject);
    records_.push_back(*selected_[slot]);
    EndRecord(r);
    objectUsed_[*selected_[slot]] = false;
  }
  selected_[slot] = index;
}

void CWmfWriter::SyncMapping() {
  const DcState& s = State();
  const bool first = !writtenMapping_;
  const DcState& w = first ? s : *writtenMapping_;
  auto put = [this](Function f, std::int32_t a, std::int32_t b) {
    size_t r = BeginRecord(f);
    Word(b);  // the format stores y (or cy) first
    Word(a);
    EndRecord(r);
  };
  if (first || w.mapMode != s.mapMode) {
    size_t r = BeginRecord(kMetaSetMapMode);
    Word(s.mapMode);
    EndRecord(r);
  }
  if (first || !(w.windowOrg == s.windowOrg)) put(kMetaSetWindowOrg, s.windowOrg.x, s.windowOrg.y);
  if (s.mapMode != kMmText) {
    // Window extent before viewport extent: an isotropic player adjusts the viewport to the window.
    if (first || w.mapMode != s.mapMode || !(w.windowExt == s.windowExt))
      put(kMetaSetWindowExt, s.windowExt.cx, s.windowExt.cy);
    if (first || w.mapMode != s.mapMode || !(w.viewportExt == s.viewportExt))
      put(kMetaSetViewportExt, s.viewportExt.cx, s.viewportExt.cy);
  }
  if (first || !(w.viewportOrg == s.viewportOrg)) put(kMetaSetViewportOrg, s.viewportOrg.x, s.viewportOrg.y);
  writtenMapping_ = s;
}

void CWmfWriter::SyncAttributes(bool objects, bool text) {
  SyncMapping();
  const DcState& s = State();
  if (objects) {
    if (!writtenPen_ || !(*writtenPen_ == s.pen)) {
      const auto color = s.pen.color;
      ReplaceObject(kPenSlot, kMetaCreatePenIndirect,
                    {static_cast<std::uint16_t>(s.pen.style), Clamp16(s.pen.width), 0,
                     static_cast<std::uint16_t>(color & 0xFFFF), static_cast<std::uint16_t>(color >> 16)});
      writtenPen_ = s.pen;
    }
    if (!writtenBrush_ || !(*writtenBrush_ == s.brush)) {
      const auto color = s.brush.color;
      ReplaceObject(kBrushSlot, kMetaCreateBrushIndirect,
                    {static_cast<std::uint16_t>(s.brush.style == BrushStyle::kHollow ? 1 : 0),
                     static_cast<std::uint16_t>(color & 0xFFFF), static_cast<std::uint16_t>(color >> 16), 0});
      writtenBrush_ = s.brush;
    }
  }
  if (text) {
    if (!writtenFont_ || !(*writtenFont_ == s.font)) {
      // A negative height asks for the character height, as a point-size font does.
      std::vector<std::uint16_t> body{Clamp16(-s.font.height), 0, 0, 0, kFontWeightNormal, 0, 0, 0, 0};
      std::string face = ToAnsi(s.font.face).substr(0, kFaceNameBytes - 1);
      face.resize(kFaceNameBytes, '\0');
      for (size_t i = 0; i < kFaceNameBytes; i += 2) {
        body.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(face[i]) |
                                                  (static_cast<unsigned char>(face[i + 1]) << 8)));
      }
      ReplaceObject(kFontSlot, kMetaCreateFontIndirect, body);
      writtenFont_ = s.font;
    }
    if (!writtenTextColor_ || *writtenTextColor_ != s.textColor) {
      size_t r = BeginRecord(kMetaSetTextColor);
      DWord(s.textColor);
      EndRecord(r);
      writtenTextColor_ = s.textColor;
    }
  }
  // The background shows behind text and in the gaps of dashed and dotted lines.
  if (!writtenBkMode_ || *writtenBkMode_ != s.bkMode) {
    size_t r = BeginRecord(kMetaSetBkMode);
    Word(s.bkMode);
    EndRecord(r);
    writtenBkMode_ = s.bkMode;
  }
  if (!writtenBkColor_ || *writtenBkColor_ != s.bkColor) {
    size_t r = BeginRecord(kMetaSetBkColor);
    DWord(s.bkColor);
    EndRecord(r);
    writtenBkColor_ = s.bkColor;
  }
}

void CWmfWriter::DoLine(Point from, Point to) {
  SyncAttributes(true, false);
  if (!writtenPosition_ || !(*writtenPosition_ == from)) {
    size_t r = BeginRecord(kMetaMoveTo);
    Coord(from.y);
    Coord(from.x);
    EndRecord(r);
  }
  size_t r = BeginRecord(kMetaLineTo);
  Coord(to.y);
  Coord(to.x);
  EndRecord(r);
  writtenPosition_ = to;
}

void CWmfWriter::DoEllipse(const Rect& rc) {
  SyncAttributes(true, false);
  size_t r = BeginRecord(kMetaEllipse);
  Coord(rc.bottom);
  Coord(rc.right);
  Coord(rc.top);
  Coord(rc.left);
  EndRecord(r);
}

void CWmfWriter::DoRectangle(const Rect& rc) {
  SyncAttributes(true, false);
  size_t r = BeginRecord(kMetaRectangle);
  Coord(rc.bottom);
  Coord(rc.right);
  Coord(rc.top);
  Coord(rc.left);
  EndRecord(r);
}

void CWmfWriter::DoPolygon(std::span<const Point> points) {
  SyncAttributes(true, false);
  const size_t count = std::min<size_t>(points.size(), 32767);
  size_t r = BeginRecord(kMetaPolygon);
  Word(static_cast<std::int32_t>(count));
  for (size_t i = 0; i < count; ++i) {
    Coord(points[i].x);
    Coord(points[i].y);
  }
  EndRecord(r);
}

// One STRETCHDIB record with a 24-bit bottom-up DIB. Icons are drawn as a mask ANDed onto the
// picture (black where the icon is opaque) followed by the colours ORed on (black where it is
// transparent), so the picture under the icon's transparent corners stays visible.
void CWmfWriter::WriteStretchDib(Point dest, const IconImage& image, bool mask, std::uint32_t rop) {
  const std::int32_t w = image.width, h = image.height;
  const std::int32_t rowBytes = (w * 3 + 3) & ~3;
  std::vector<std::uint8_t> dib;
  dib.reserve(40 + static_cast<size_t>(rowBytes * h));
  PutDWord(dib, 40);
  PutDWord(dib, static_cast<std::uint32_t>(w));
  PutDWord(dib, static_cast<std::uint32_t>(h));
  PutWord(dib, 1);   // planes
  PutWord(dib, 24);  // bits per pixel
  PutDWord(dib, 0);  // uncompressed
  PutDWord(dib, static_cast<std::uint32_t>(rowBytes * h));
  PutDWord(dib, 0);
  PutDWord(dib, 0);
  PutDWord(dib, 0);
  PutDWord(dib, 0);
  for (std::int32_t row = h - 1; row >= 0; --row) {
    for (std::int32_t col = 0; col < w; ++col) {
      const std::uint32_t p = image.argb[static_cast<size_t>(row * w + col)];
      const bool opaque = (p >> 24) >= 128;
      std::uint8_t b = static_cast<std::uint8_t>(p & 0xFF), g = static_cast<std::uint8_t>((p >> 8) & 0xFF),
                   rr = static_cast<std::uint8_t>((p >> 16) & 0xFF);
      if (mask) {
        b = g = rr = opaque ? 0x00 : 0xFF;
      } else if (!opaque) {
        b = g = rr = 0x00;
      }
      dib.push_back(b);
      dib.push_back(g);
      dib.push_back(rr);
    }
    for (std::int32_t pad = w * 3; pad < rowBytes; ++pad) dib.push_back(0);
  }
  if (dib.size() % 2) dib.push_back(0);

  size_t r = BeginRecord(kMetaStretchDib);
  DWord(rop);
  Word(0);  // colours are RGB values
  Word(h);
  Word(w);
  Word(0);
  Word(0);
  Word(kIconSize);
  Word(kIconSize);
  Coord(dest.y);
  Coord(dest.x);
  for (size_t i = 0; i < dib.size(); i += 2) {
    records_.push_back(static_cast<std::uint16_t>(dib[i] | (dib[i + 1] << 8)));
  }
  EndRecord(r);
}

void CWmfWriter::DoDrawIcon(Point topLeft, int iconId) {
  if (!icons_) return;
  IconImage image;
  if (!icons_(iconId, image) || image.width <= 0 || image.height <= 0 ||
      image.argb.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
    return;
  }
  SyncMapping();
  WriteStretchDib(topLeft, image, true, kRopSrcAnd);
  WriteStretchDib(topLeft, image, false, kRopSrcPaint);
}

void CWmfWriter::DoTextOut(Point topLeft, std::string_view text) {
  SyncAttributes(false, true);
  const std::string ansi = ToAnsi(text).substr(0, 32767);
  size_t r = BeginRecord(kMetaTextOut);
  Word(static_cast<std::int32_t>(ansi.size()));
  for (size_t i = 0; i < ansi.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(ansi[i]);
    const auto hi = i + 1 < ansi.size() ? static_cast<unsigned char>(ansi[i + 1]) : 0u;
    records_.push_back(static_cast<std::uint16_t>(lo | (hi << 8)));
  }
  Coord(topLeft.y);
  Coord(topLeft.x);
  EndRecord(r);
}

Size CWmfWriter::DoGetTextExtent(std::string_view text) {
  if (measure_) return measure_(State().font, text);
  // Without a reference context: an average Arial-like metric.
  const std::int32_t h = State().font.height;
  return Size{static_cast<std::int32_t>(text.size()) * (h * 7 / 13), h * 16 / 13};
}

std::vector<std::uint8_t> CWmfWriter::Finish() const {
  std::vector<std::uint8_t> out;
  const std::uint32_t eofWords = 3;
  const auto totalWords = static_cast<std::uint32_t>(kHeaderWords + records_.size() + eofWords);
  out.reserve(22 + totalWords * 2);
  if (placeableBounds_) {
    const std::uint16_t words[10] = {static_cast<std::uint16_t>(kPlaceableKey & 0xFFFF),
                                     static_cast<std::uint16_t>(kPlaceableKey >> 16),
                                     0,
                                     Clamp16(placeableBounds_->left),
                                     Clamp16(placeableBounds_->top),
                                     Clamp16(placeableBounds_->right),
                                     Clamp16(placeableBounds_->bottom),
                                     unitsPerInch_,
                                     0,
                                     0};
    std::uint16_t checksum = 0;
    for (std::uint16_t w : words) {
      PutWord(out, w);
      checksum ^= w;
    }
    PutWord(out, checksum);
  }
  PutWord(out, kMemoryMetafile);
  PutWord(out, kHeaderWords);
  PutWord(out, kMetafileVersion);
  PutDWord(out, totalWords);
  PutWord(out, objectHighWater_);
  PutDWord(out, std::max(maxRecordWords_, eofWords));
  PutWord(out, 0);
  for (std::uint16_t w : records_) PutWord(out, w);
  PutDWord(out, eofWords);
  PutWord(out, kMetaEof);
  return out;
}

bool CWmfWriter::WriteFile(const std::string& path) const {
  const std::vector<std::uint8_t> bytes = Finish();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return std::fflush(file.get()) == 0;
}

}  // namespace varlo
