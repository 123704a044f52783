// The classic metafile writer: header, record layout, the object table, text, icons, and the
// placeable header, checked by reading the bytes back record by record.
#include "platform/core/wmf_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace varlo {
namespace {

struct Record {
  std::uint16_t function;
  std::vector<std::uint16_t> params;  // the words after the function
};

std::uint16_t WordAt(const std::vector<std::uint8_t>& b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t DWordAt(const std::vector<std::uint8_t>& b, size_t at) {
  return WordAt(b, at) | (static_cast<std::uint32_t>(WordAt(b, at + 2)) << 16);
}

// Splits a file (no placeable header) into records, checking the header's counts on the way.
std::vector<Record> ParseRecords(const std::vector<std::uint8_t>& bytes) {
  std::vector<Record> records;
  EXPECT_GE(bytes.size(), 18u);
  EXPECT_EQ(WordAt(bytes, 0), 1);       // memory metafile
  EXPECT_EQ(WordAt(bytes, 2), 9);       // header words
  EXPECT_EQ(WordAt(bytes, 4), 0x0300);  // version
  EXPECT_EQ(DWordAt(bytes, 6) * 2, bytes.size());
  const std::uint32_t maxRecord = DWordAt(bytes, 12);
  std::uint32_t largest = 0;
  size_t at = 18;
  while (at < bytes.size()) {
    const std::uint32_t words = DWordAt(bytes, at);
    EXPECT_GE(words, 3u);
    largest = std::max(largest, words);
    Record r{WordAt(bytes, at + 4), {}};
    for (size_t i = 3; i < words; ++i) r.params.push_back(WordAt(bytes, at + 2 * i));
    records.push_back(r);
    at += 2 * words;
    if (r.function == CWmfWriter::kMetaEof) break;
  }
  EXPECT_EQ(at, bytes.size());
  EXPECT_EQ(largest, maxRecord);
  return records;
}

std::vector<Record> Only(const std::vector<Record>& records, std::uint16_t function) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.function == function) out.push_back(r);
  return out;
}

CWmfWriter FixedMetricWriter(CWmfWriter::IconProvider icons = {}) {
  return CWmfWriter(
      [](const Font& f, std::string_view t) {
        return Size{static_cast<std::int32_t>(t.size()) * 5, f.height};
      },
      std::move(icons));
}

TEST(WmfWriterTest, EmptyPictureIsHeaderAndEndRecord) {
  CWmfWriter w = FixedMetricWriter();
  const auto bytes = w.Finish();
  ASSERT_EQ(bytes.size(), 18u + 6u);
  const auto records = ParseRecords(bytes);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].function, CWmfWriter::kMetaEof);
  EXPECT_EQ(WordAt(bytes, 10), 0);  // no objects
}

TEST(WmfWriterTest, LineWritesMappingPenBrushMoveAndLine) {
  CWmfWriter w = FixedMetricWriter();
  w.SetMapMode(kMmAnisotropic);
  w.SetWindowExt(1600, 1200);
  w.SetViewportExt(800, 600);
  w.SetViewportOrg(-5, -7);
  w.SelectPen(Pen{PenStyle::kSolid, 6, 0x00FF8040});
  w.MoveTo(10, 20);
  w.LineTo(30, -40);
  const auto records = ParseRecords(w.Finish());

  const auto mapMode = Only(records, CWmfWriter::kMetaSetMapMode);
  ASSERT_EQ(mapMode.size(), 1u);
  EXPECT_EQ(mapMode[0].params, (std::vector<std::uint16_t>{8}));
  // Point-like parameters are stored y first.
  EXPECT_EQ(Only(records, CWmfWriter::kMetaSetWindowExt)[0].params, (std::vector<std::uint16_t>{1200, 1600}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaSetViewportExt)[0].params, (std::vector<std::uint16_t>{600, 800}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaSetViewportOrg)[0].params,
            (std::vector<std::uint16_t>{static_cast<std::uint16_t>(-7), static_cast<std::uint16_t>(-5)}));

  const auto pens = Only(records, CWmfWriter::kMetaCreatePenIndirect);
  ASSERT_EQ(pens.size(), 1u);
  EXPECT_EQ(pens[0].params, (std::vector<std::uint16_t>{0, 6, 0, 0x8040, 0x00FF}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaMoveTo)[0].params, (std::vector<std::uint16_t>{20, 10}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaLineTo)[0].params,
            (std::vector<std::uint16_t>{static_cast<std::uint16_t>(-40), 30}));
  // The mapping comes before the first drawing, so a player draws it mapped.
  size_t firstMapping = 0, firstLine = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].function == CWmfWriter::kMetaSetMapMode) firstMapping = i;
    if (records[i].function == CWmfWriter::kMetaLineTo) firstLine = i;
  }
  EXPECT_LT(firstMapping, firstLine);
}

TEST(WmfWriterTest, ContinuedLineNeedsNoSecondMove) {
  CWmfWriter w = FixedMetricWriter();
  w.MoveTo(0, 0);
  w.LineTo(10, 0);
  w.LineTo(10, 10);
  const auto records = ParseRecords(w.Finish());
  EXPECT_EQ(Only(records, CWmfWriter::kMetaMoveTo).size(), 1u);
  EXPECT_EQ(Only(records, CWmfWriter::kMetaLineTo).size(), 2u);
}

TEST(WmfWriterTest, ShapesStoreTheirCornersBottomRightFirst) {
  CWmfWriter w = FixedMetricWriter();
  w.Ellipse(1, 2, 3, 4);
  w.Rectangle(5, 6, 7, 8);
  const std::array<Point, 3> triangle{Point{0, 0}, Point{10, 0}, Point{5, 9}};
  w.Polygon(triangle);
  const auto records = ParseRecords(w.Finish());
  EXPECT_EQ(Only(records, CWmfWriter::kMetaEllipse)[0].params, (std::vector<std::uint16_t>{4, 3, 2, 1}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaRectangle)[0].params, (std::vector<std::uint16_t>{8, 7, 6, 5}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaPolygon)[0].params,
            (std::vector<std::uint16_t>{3, 0, 0, 10, 0, 5, 9}));
}

TEST(WmfWriterTest, HollowBrushAndNullPen) {
  CWmfWriter w = FixedMetricWriter();
  w.SelectBrush(Brush{BrushStyle::kHollow, 0x123456});
  w.SelectPen(Pen{PenStyle::kNull, 1, 0});
  w.Rectangle(0, 0, 1, 1);
  const auto records = ParseRecords(w.Finish());
  EXPECT_EQ(Only(records, CWmfWriter::kMetaCreateBrushIndirect)[0].params,
            (std::vector<std::uint16_t>{1, 0x3456, 0x0012, 0}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaCreatePenIndirect)[0].params[0], 5);
}

// Each new pen takes the lowest free entry of the player's object table and the pen it replaces
// is deleted, so a long drawing never needs more than a handful of entries.
TEST(WmfWriterTest, ReplacedObjectsAreDeletedAndTheirEntriesReused) {
  CWmfWriter w = FixedMetricWriter();
  for (int i = 0; i < 50; ++i) {
    w.SelectPen(Pen{PenStyle::kSolid, 1 + i % 3, static_cast<ColorRef>(i)});
    w.MoveTo(0, i);
    w.LineTo(10, i);
  }
  const auto bytes = w.Finish();
  const auto records = ParseRecords(bytes);
  EXPECT_EQ(Only(records, CWmfWriter::kMetaCreatePenIndirect).size(), 50u);
  EXPECT_EQ(Only(records, CWmfWriter::kMetaDeleteObject).size(), 49u + 0u);
  // Pen (two entries while switching) and brush: at most three entries at a time.
  EXPECT_LE(WordAt(bytes, 10), 3);
  // Selections alternate between the two entries the pens use.
  const auto selects = Only(records, CWmfWriter::kMetaSelectObject);
  std::vector<std::uint16_t> penEntries;
  for (const Record& r : selects) penEntries.push_back(r.params[0]);
  EXPECT_NE(penEntries[penEntries.size() - 1], penEntries[penEntries.size() - 2]);
}

TEST(WmfWriterTest, UnchangedObjectsAreWrittenOnce) {
  CWmfWriter w = FixedMetricWriter();
  const Pen pen{PenStyle::kSolid, 2, 0xFF};
  for (int i = 0; i < 10; ++i) {
    const Pen old = w.SelectPen(pen);
    w.Ellipse(i, i, i + 5, i + 5);
    w.SelectPen(old);
  }
  const auto records = ParseRecords(w.Finish());
  // The old pen is restored after each ellipse but never drawn with, so it is never written.
  EXPECT_EQ(Only(records, CWmfWriter::kMetaCreatePenIndirect).size(), 1u);
}

TEST(WmfWriterTest, TextOutWritesFontColourAndPaddedAnsiText) {
  CWmfWriter w = FixedMetricWriter();
  w.SelectFont(w.CreatePointFont(10, "Arial"));
  w.SetTextColor(0x800000);
  w.SetBkMode(kTransparent);
  w.TextOut(7, 9, "N1\xC3\xA9");  // "N1" and e acute in UTF-8
  const auto records = ParseRecords(w.Finish());

  const auto fonts = Only(records, CWmfWriter::kMetaCreateFontIndirect);
  ASSERT_EQ(fonts.size(), 1u);
  ASSERT_EQ(fonts[0].params.size(), 9u + 16u);
  EXPECT_EQ(static_cast<std::int16_t>(fonts[0].params[0]), -13);  // character height
  EXPECT_EQ(fonts[0].params[4], 400);                             // normal weight
  EXPECT_EQ(fonts[0].params[9], 'A' | ('r' << 8));
  EXPECT_EQ(fonts[0].params[10], 'i' | ('a' << 8));
  EXPECT_EQ(fonts[0].params[11], 'l');

  EXPECT_EQ(Only(records, CWmfWriter::kMetaSetTextColor)[0].params,
            (std::vector<std::uint16_t>{0x0000, 0x0080}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaSetBkMode)[0].params, (std::vector<std::uint16_t>{1}));

  const auto texts = Only(records, CWmfWriter::kMetaTextOut);
  ASSERT_EQ(texts.size(), 1u);
  // Length 3, "N1" then 0xE9 padded with a zero byte, then y and x.
  EXPECT_EQ(texts[0].params, (std::vector<std::uint16_t>{3, 'N' | ('1' << 8), 0x00E9, 9, 7}));
}

TEST(WmfWriterTest, TextIsMeasuredThroughTheReferenceCallback) {
  CWmfWriter w = FixedMetricWriter();
  w.SelectFont(Font{"Arial", 20});
  EXPECT_EQ(w.GetTextExtent("abcd"), (Size{20, 20}));
  // DrawText places with that metric and writes an ordinary text record.
  w.DrawText(Rect{0, 0, 100, 50}, "abcd", kDtRight | kDtBottom | kDtSingleLine);
  const auto texts = Only(ParseRecords(w.Finish()), CWmfWriter::kMetaTextOut);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].params[3], 30);  // y = 50 - 20
  EXPECT_EQ(texts[0].params[4], 80);  // x = 100 - 20
}

TEST(WmfWriterTest, CoordinatesBeyondSixteenBitsAreClamped) {
  CWmfWriter w = FixedMetricWriter();
  w.MoveTo(-50000, 0);
  w.LineTo(60000, 40000);
  const auto records = ParseRecords(w.Finish());
  EXPECT_EQ(Only(records, CWmfWriter::kMetaMoveTo)[0].params,
            (std::vector<std::uint16_t>{0, static_cast<std::uint16_t>(-32768)}));
  EXPECT_EQ(Only(records, CWmfWriter::kMetaLineTo)[0].params, (std::vector<std::uint16_t>{32767, 32767}));
}

TEST(WmfWriterTest, IconIsAMaskThenItsColoursAsBottomUpDibs) {
  CWmfWriter w = FixedMetricWriter([](int id, IconImage& image) {
    if (id != 2) return false;
    image.width = 2;
    image.height = 2;
    image.argb = {0xFFFF0000, 0x00000000,   // top row: opaque red, transparent
                  0xFF00FF00, 0xFF0000FF};  // bottom row: green, blue
    return true;
  });
  w.DrawIcon(100, 200, 1);  // no such icon: nothing is written
  w.DrawIcon(100, 200, 2);
  const auto dibs = Only(ParseRecords(w.Finish()), CWmfWriter::kMetaStretchDib);
  ASSERT_EQ(dibs.size(), 2u);
  for (const Record& r : dibs) {
    // Source 2x2 drawn at (100, 200) over 32x32 logical units.
    EXPECT_EQ((std::vector<std::uint16_t>(r.params.begin() + 3, r.params.begin() + 11)),
              (std::vector<std::uint16_t>{2, 2, 0, 0, 32, 32, 200, 100}));
    EXPECT_EQ(r.params[11], 40);  // BITMAPINFOHEADER size
    EXPECT_EQ(r.params[18], 24);  // bits per pixel
  }
  EXPECT_EQ(dibs[0].params[0] | (dibs[0].params[1] << 16), 0x008800C6u);  // AND the mask
  EXPECT_EQ(dibs[1].params[0] | (dibs[1].params[1] << 16), 0x00EE0086u);  // OR the colours
  // Pixel rows start after 40 header bytes (20 words, from parameter 11); bottom row first, BGR,
  // each row padded to 8 bytes.
  auto pixelBytes = [](const Record& r) {
    std::vector<std::uint8_t> out;
    for (size_t i = 11 + 20; i < r.params.size(); ++i) {
      out.push_back(static_cast<std::uint8_t>(r.params[i] & 0xFF));
      out.push_back(static_cast<std::uint8_t>(r.params[i] >> 8));
    }
    return out;
  };
  EXPECT_EQ(pixelBytes(dibs[0]), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0,  //
                                                            0, 0, 0, 255, 255, 255, 0, 0}));
  EXPECT_EQ(pixelBytes(dibs[1]), (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0, 0, 0,  //
                                                            0, 0, 255, 0, 0, 0, 0, 0}));
}

TEST(WmfWriterTest, PlaceableHeaderCarriesBoundsAndChecksum) {
  CWmfWriter w = FixedMetricWriter();
  w.SetPlaceableHeader(Rect{0, 0, 800, 600}, 96);
  const auto bytes = w.Finish();
  ASSERT_EQ(bytes.size(), 22u + 18u + 6u);
  EXPECT_EQ(DWordAt(bytes, 0), 0x9AC6CDD7u);
  EXPECT_EQ(WordAt(bytes, 10), 800);
  EXPECT_EQ(WordAt(bytes, 12), 600);
  EXPECT_EQ(WordAt(bytes, 14), 96);
  std::uint16_t checksum = 0;
  for (size_t i = 0; i < 20; i += 2) checksum ^= WordAt(bytes, i);
  EXPECT_EQ(WordAt(bytes, 20), checksum);
  ParseRecords(std::vector<std::uint8_t>(bytes.begin() + 22, bytes.end()));
}

TEST(WmfWriterTest, WriteFileWritesTheBytesAndReportsFailure) {
  CWmfWriter w = FixedMetricWriter();
  w.Rectangle(0, 0, 5, 5);
  const auto path = std::filesystem::temp_directory_path() / "varlo_wmf_writer_test.wmf";
  ASSERT_TRUE(w.WriteFile(path.string()));
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> read((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  EXPECT_EQ(read, w.Finish());
  std::filesystem::remove(path);
  EXPECT_FALSE(w.WriteFile("/nonexistent-folder/x.wmf"));
}

}  // namespace
}  // namespace varlo
