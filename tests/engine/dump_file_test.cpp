// The dump file: the "%lf" formatter against the C library's printf, the writer's layout and the
// shared reader.
#include "engine/dump_file.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "model/archive.h"
#include "run_network.h"

namespace varlo {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

std::string Printf(double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%lf", value);
  return buffer;
}

double FromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// --- formatter -----------------------------------------------------------------------------------

TEST(FormatFixed6, SpecialValuesMatchPrintf) {
  const double values[] = {0.0,
                           -0.0,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::signaling_NaN(),
                           DBL_MAX,
                           -DBL_MAX,
                           DBL_MIN,
                           std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::denorm_min(),
                           1e300,
                           123456789012345678901234.0,
                           0.0000005,
                           -0.0000005,
                           0.0000004999999,
                           0.9999995,
                           9.9999995,
                           999999.9999995,
                           4503599627370496.5,
                           9007199254740993.0,
                           8589934591.9999995,
                           8589934591.999999,
                           8589934592.0,
                           -8589934592.5,
                           7.105427357601002e-15,
                           3.552713678800501e-15,
                           1e-14,
                           0.0000004999999999999999,
                           0.0000005000000000000001,
                           2.0000005,
                           -1.0000015};
  for (double v : values) EXPECT_EQ(FormatFixed6(v), Printf(v)) << Printf(v);
  EXPECT_EQ(FormatFixed6(-std::numeric_limits<double>::quiet_NaN()), "-nan");
  EXPECT_EQ(FormatFixed6(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(FormatFixed6(-0.0), "-0.000000");
}

// Binary values that lie exactly halfway between two six-decimal results: odd multiples of 2^-7
// scaled so that the seventh decimal is a 5 with nothing after it. printf rounds them to even.
TEST(FormatFixed6, ExactTiesRoundAsPrintfDoes) {
  for (int k = 1; k < 4000; k += 2) {
    const double tie = k / 128.0;  // 0.0078125, 0.0234375, ...
    for (double base : {0.0, 1.0, 2.0, 1000.0, -3.0}) {
      const double v = base + tie;
      EXPECT_EQ(FormatFixed6(v), Printf(v)) << Printf(v);
    }
  }
}

TEST(FormatFixed6, RandomDoublesMatchPrintf) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> small(-1000.0, 1000.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_int_distribution<int> binaryExponent(-60, 40);
  int mismatches = 0;
  for (int i = 0; i < 300000; ++i) {
    double v;
    switch (i % 4) {
      case 0:
        v = FromBits(random());  // every kind of double, NaN payloads included
        break;
      case 1:
        v = small(random);
        break;
      case 2:
        v = i % 8 == 2 ? std::ldexp(small(random), binaryExponent(random))
                       : small(random) * std::pow(10.0, exponent(random));
        break;
      default:
        v = std::round(small(random) * 1e6) / 1e6 + (random() % 3) * 5e-7;  // near six-decimal ties
        break;
    }
    if (FormatFixed6(v) != Printf(v) && ++mismatches < 10)
      ADD_FAILURE() << Printf(v) << " vs " << FormatFixed6(v);
  }
  EXPECT_EQ(mismatches, 0);
}

// --- writer --------------------------------------------------------------------------------------

TEST(DumpWriter, WritesHeaderAndRowsInTheFileLayout) {
  TempFolder folder;
  CDumpWriter writer;
  std::string reason;
  ASSERT_TRUE(writer.Create(folder.File("w.dmp"), reason)) << reason;
  writer.WriteHeader("/home/u/net.net", 2, 1, NominalRowCount(1, 0.1));
  writer.BeginRow(0);
  writer.AddQueue(0.5, 0, 0);
  writer.AddQueue(1.25, 0.75, 1.0 / 3);
  writer.AddClass(50);
  writer.EndRow();
  ASSERT_TRUE(writer.Close(reason));
  EXPECT_EQ(ReadText(folder.File("w.dmp")),
            "/home/u/net.net\n2 1 10\n0.000000\t0.500000 0.000000 0.000000\t1.250000 0.750000 "
            "0.333333\t50.000000\t\n");
}

TEST(DumpWriter, NominalRowCountTruncates) {
  EXPECT_EQ(NominalRowCount(15, 0.1), 150);
  EXPECT_EQ(NominalRowCount(1, 0.1), 10);
  EXPECT_EQ(NominalRowCount(1, 0.3), 3);
  EXPECT_EQ(NominalRowCount(10000, 0.001), 10000000);
}

TEST(DumpWriter, RowsLargerThanTheBufferAreWrittenWhole) {
  TempFolder folder;
  CDumpWriter writer;
  std::string reason;
  ASSERT_TRUE(writer.Create(folder.File("big.dmp"), reason));
  writer.WriteHeader("", 0, 300000, 1);
  writer.BeginRow(0);
  for (int i = 0; i < 300000; ++i) writer.AddClass(i == 7 ? DBL_MAX : i);
  writer.EndRow();
  ASSERT_TRUE(writer.Close(reason));
  CDumpReader reader(folder.File("big.dmp"));
  std::vector<double> row;
  ASSERT_TRUE(reader.ReadRow(row));
  EXPECT_EQ(row[299999 + 1], 299999.0);
  EXPECT_EQ(row[8], DBL_MAX);
}

TEST(DumpWriter, CreateFailureGivesTheReason) {
  CDumpWriter writer;
  std::string reason;
  EXPECT_FALSE(writer.Create("/nonexistent-folder-varlo/a.dmp", reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(writer.Create("", reason));
}

TEST(DumpWriter, WriteFailureIsReportedAtClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const bool background : {false, true}) {
    CDumpWriter writer;
    std::string reason;
    ASSERT_TRUE(writer.Create("/dev/full", reason));
    writer.WriteHeader("x", 0, 0, 0);
    if (background) writer.WriteInBackground();
    writer.BeginRow(1);
    writer.EndRow();
    EXPECT_FALSE(writer.Close(reason)) << background;
    EXPECT_EQ(reason, "No space left on device");
  }
}

// Rows handed to the writing thread come out as the same bytes, in order, whatever way the rows'
// numbers fall across the blocks it takes them in (a queue's three numbers at a block's end, rows
// longer than a block, a file reopened while the thread still has rows).
TEST(DumpWriter, BackgroundWritingWritesTheSameBytes) {
  TempFolder folder;
  const auto write = [&](const std::string& name, bool background, int queues, int classes, int rows) {
    CDumpWriter writer;
    std::string reason;
    EXPECT_TRUE(writer.Create(folder.File("first-" + name), reason));
    writer.WriteHeader("first", 1, 0, 1);
    if (background) writer.WriteInBackground();
    writer.BeginRow(0);
    writer.AddClass(1.5);
    writer.EndRow();
    // Reopening waits for the rows of the first file, which stays complete.
    EXPECT_TRUE(writer.Create(folder.File(name), reason));
    writer.WriteHeader("/a/b.net", queues / 2, classes, rows, "refined");
    if (background) writer.WriteInBackground();
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(0, 1000);
    for (int r = 0; r < rows; ++r) {
      writer.BeginRow(r * 0.1);
      for (int q = 0; q < queues; ++q) writer.AddQueue(value(random), value(random) / 1000, -0.0);
      for (int c = 0; c < classes; ++c) writer.AddClass(c == 1 ? std::nan("") : value(random));
      writer.EndRow();
    }
    EXPECT_TRUE(writer.Close(reason)) << reason;
    return ReadText(folder.File("first-" + name)) + ReadText(folder.File(name));
  };
  const int layouts[][3] = {{7, 3, 3000}, {2, 0, 5000}, {6000, 5, 12}, {0, 40000, 2}};
  for (const auto& l : layouts) {
    const std::string direct = write("direct.dmp", false, l[0], l[1], l[2]);
    EXPECT_EQ(write("background.dmp", true, l[0], l[1], l[2]), direct) << l[0] << " queues, " << l[1] << " classes";
    EXPECT_GT(direct.size(), static_cast<size_t>(l[2]) * 8);
  }
}

// --- reader --------------------------------------------------------------------------------------

TEST(DumpReader, ReadsHeaderAndRowsOfEitherLineEnd) {
  TempFolder folder;
  WriteText(
      folder.File("r.dmp"),
      "C:\\nets\\a.net\r\n1 1 2\r\n0.000000\t0.5 0 0\t0 0 0\t50\t\r\n0.100000\tinf 1 -nan\t2 3 4\t5\t\r\n");
  CDumpReader reader(folder.File("r.dmp"));
  EXPECT_EQ(reader.GetHeader().documentPath, "C:\\nets\\a.net");
  EXPECT_TRUE(reader.Matches(1, 1));
  EXPECT_FALSE(reader.Matches(2, 1));
  EXPECT_EQ(reader.ValuesPerRow(), 8u);
  std::vector<double> row;
  ASSERT_TRUE(reader.ReadRow(row));
  EXPECT_EQ(row, (std::vector<double>{0, 0.5, 0, 0, 0, 0, 0, 50}));
  ASSERT_TRUE(reader.ReadRow(row));
  EXPECT_TRUE(std::isinf(row[1]));
  EXPECT_TRUE(std::isnan(row[3]));
  EXPECT_EQ(row[7], 5);
  EXPECT_FALSE(reader.ReadRow(row));
  EXPECT_TRUE(row.empty());
}

TEST(DumpReader, ShortFileEndsWithAPartialRow) {
  TempFolder folder;
  WriteText(folder.File("s.dmp"), "p\n1 0 5\n0.0\t1 2 3\t4 5 6\t\n0.1\t7 8");
  CDumpReader reader(folder.File("s.dmp"));
  std::vector<std::string> words;
  ASSERT_TRUE(reader.ReadRowWords(words));
  EXPECT_EQ(words.front(), "0.0");
  EXPECT_FALSE(reader.ReadRowWords(words));
  EXPECT_EQ(words, (std::vector<std::string>{"0.1", "7", "8"}));
}

TEST(DumpReader, HeaderWithoutCountsMatchesNothing) {
  TempFolder folder;
  WriteText(folder.File("h.dmp"), "only a path\nnot numbers\n");
  CDumpReader reader(folder.File("h.dmp"));
  EXPECT_EQ(reader.GetHeader().links, -1);
  EXPECT_FALSE(reader.Matches(0, 0));
  WriteText(folder.File("e.dmp"), "");
  CDumpReader empty(folder.File("e.dmp"));
  EXPECT_FALSE(empty.Matches(0, 0));
  std::vector<double> row;
  EXPECT_FALSE(empty.ReadRow(row));
}

TEST(DumpReader, WordsAndLinesForTheAnimation) {
  TempFolder folder;
  WriteText(folder.File("a.dmp"), "p\n0 0 3\n0.000000\t\n0.100000\t\n0.200000\t\n");
  CDumpReader reader(folder.File("a.dmp"));
  std::string word;
  ASSERT_TRUE(reader.ReadWord(word));
  EXPECT_EQ(word, "0.000000");
  reader.SkipLine();  // the rest of row 0
  reader.SkipLine();  // row 1
  ASSERT_TRUE(reader.ReadWord(word));
  EXPECT_EQ(word, "0.200000");
  EXPECT_FALSE(reader.ReadWord(word));
  double value = 1;
  EXPECT_FALSE(reader.ReadNumber(value));
}

TEST(DumpReader, MissingFileRaisesAFileError) {
  try {
    CDumpReader reader("/nonexistent-folder-varlo/none.dmp");
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.GetCause(), CFileException::kFileNotFound);
    EXPECT_EQ(e.GetFileName(), "/nonexistent-folder-varlo/none.dmp");
  }
}

}  // namespace
}  // namespace varlo
