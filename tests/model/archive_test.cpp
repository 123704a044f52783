#include "model/archive.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "model/model_test_support.h"

namespace varlo {
namespace {

using testing::Bytes;
using testing::ByteSpeller;

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterPersistentClasses(); }
};

// Runs f on a loading archive over bytes and returns the cause it raised.
template <class F>
CArchiveException::Cause CauseOf(Bytes bytes, F&& f) {
  CArchive ar(std::move(bytes), "in.net");
  try {
    f(ar);
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.GetFileName(), "in.net");
    return e.GetCause();
  }
  ADD_FAILURE() << "no archive exception";
  return CArchiveException::kGeneric;
}

TEST_F(ArchiveTest, CountsUseSixteenBitsBelowFFFF) {
  CArchive ar("x");
  ar.WriteCount(0);
  ar.WriteCount(0xFFFE);
  ar.WriteCount(0xFFFF);
  ar.WriteCount(70000);
  const Bytes expected =
      ByteSpeller().U16(0).U16(0xFFFE).U16(0xFFFF).U32(0xFFFF).U16(0xFFFF).U32(70000).bytes;
  EXPECT_EQ(ar.Bytes(), expected);

  CArchive in(ar.Bytes(), "x");
  EXPECT_EQ(in.ReadCount(0), 0u);
  EXPECT_EQ(in.ReadCount(0), 0xFFFEu);
  EXPECT_EQ(in.ReadCount(0), 0xFFFFu);
  EXPECT_EQ(in.ReadCount(0), 70000u);
  EXPECT_EQ(in.Remaining(), 0u);
}

TEST_F(ArchiveTest, StringLengthTakesOneThreeOrSevenBytes) {
  const struct {
    size_t length;
    Bytes prefix;
  } cases[] = {
      {0, {0x00}},
      {254, {0xFE}},
      {255, {0xFF, 0xFF, 0x00}},
      {300, {0xFF, 0x2C, 0x01}},
      {0xFFFD, {0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    const std::string s(c.length, 'a');
    CArchive ar("x");
    ar.WriteString(s);
    ASSERT_EQ(ar.Bytes().size(), c.prefix.size() + c.length) << c.length;
    EXPECT_EQ(Bytes(ar.Bytes().begin(), ar.Bytes().begin() + static_cast<long>(c.prefix.size())), c.prefix)
        << c.length;
    CArchive in(ar.Bytes(), "x");
    EXPECT_EQ(in.ReadString(), s) << c.length;
    EXPECT_EQ(in.Remaining(), 0u);
  }
}

TEST_F(ArchiveTest, SixteenBitStringsAreReadAsEightBit) {
  // Mark 0xFF 0xFFFE, then the length 3 in one byte, then three 16-bit characters.
  CArchive in(ByteSpeller().U8(0xFF).U16(0xFFFE).U8(3).U16('a').U16(0xE9).U16(0x263A).bytes, "x");
  EXPECT_EQ(in.ReadString(), std::string("a\xE9?"));

  // The length after the mark may itself be long.
  ByteSpeller longer;
  longer.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(300);
  for (int i = 0; i < 300; ++i) longer.U16('z');
  CArchive in2(longer.bytes, "x");
  EXPECT_EQ(in2.ReadString(), std::string(300, 'z'));
}

TEST_F(ArchiveTest, ObjectsNumberClassesAndObjectsFromOne) {
  CGraphicNode a(1, "A", 0, 0), b(2, "B", 0, 0), c(3, "C", 0, 0);
  CGraphicLink link1, link2;
  for (CGraphicLink* link : {&link1, &link2}) {
    link->GetForwardQueue()->bufferSize = 1;  // the least a stored queue may hold
    link->GetBackwardQueue()->bufferSize = 1;
  }
  CArchive ar("x");
  ar.WriteObject(&a);      // class CGraphicNode = 1, object = 2
  ar.WriteObject(&b);      // object 3
  ar.WriteObject(&link1);  // class CGraphicLink = 4, object 5
  ar.WriteObject(nullptr);
  ar.WriteObject(&link2);  // object 6
  ar.WriteObject(&c);      // object 7

  const size_t nodeFields = 2 + 2 + 4 * 7;
  const size_t linkFields = 4 * 4 + 2 * 2 + 2 * 26;
  CArchive in(ar.Bytes(), "x");
  auto skip = [&in](size_t n) {
    std::string s(n, ' ');
    in.ReadBytes(s.data(), n);
  };
  EXPECT_EQ(in.ReadU16(), 0xFFFF);
  EXPECT_EQ(in.ReadU16(), 1);
  EXPECT_EQ(in.ReadU16(), 12);
  skip(12);
  skip(nodeFields);
  EXPECT_EQ(in.ReadU16(), 0x8001);
  skip(nodeFields);
  EXPECT_EQ(in.ReadU16(), 0xFFFF);
  EXPECT_EQ(in.ReadU16(), 1);
  EXPECT_EQ(in.ReadU16(), 12);
  skip(12);
  skip(linkFields);
  EXPECT_EQ(in.ReadU16(), 0);
  EXPECT_EQ(in.ReadU16(), 0x8004);
  skip(linkFields);
  EXPECT_EQ(in.ReadU16(), 0x8001);

  CArchive back(ar.Bytes(), "x");
  EXPECT_EQ(back.ReadObjectOf<CGraphicNode>()->GetName(), "A");
  EXPECT_EQ(back.ReadObjectOf<CGraphicNode>()->GetName(), "B");
  EXPECT_NE(back.ReadObjectOf<CGraphicLink>(), nullptr);
  EXPECT_EQ(back.ReadObject(), nullptr);
  EXPECT_NE(back.ReadObjectOf<CGraphicLink>(), nullptr);
  EXPECT_EQ(back.ReadObjectOf<CGraphicNode>()->GetName(), "C");
  EXPECT_EQ(back.Remaining(), 0u);
}

TEST_F(ArchiveTest, BigClassTagCarriesAThirtyTwoBitIndex) {
  // 0x7FFF then 0x80000001: an object of class 1.
  Bytes bytes = ByteSpeller().NewClass("CGraphicNode").NodeFields(1, "A", 0, 0).bytes;
  const Bytes second = ByteSpeller().U16(0x7FFF).U32(0x80000001).NodeFields(2, "B", 0, 0).bytes;
  bytes.insert(bytes.end(), second.begin(), second.end());
  CArchive in(bytes, "x");
  in.ReadObject();
  EXPECT_EQ(in.ReadObjectOf<CGraphicNode>()->GetNumber(), 2);
}

TEST_F(ArchiveTest, MessagesNameTheFile) {
  const struct {
    CArchiveException::Cause cause;
    const char* text;
  } cases[] = {
      {CArchiveException::kGeneric, "An unknown error occurred while accessing a.net."},
      {CArchiveException::kEndOfFile, "An attempt was made to access a.net past its end."},
      {CArchiveException::kBadIndex, "a.net has a bad format."},
      {CArchiveException::kBadClass, "a.net contained an unexpected object."},
      {CArchiveException::kBadSchema, "a.net contains an incorrect schema."},
      {CArchiveException::kReadOnly, "An attempt was made to write to the reading a.net."},
      {CArchiveException::kWriteOnly, "An attempt was made to read from the writing a.net."},
  };
  for (const auto& c : cases) {
    CArchiveException e(c.cause, "x");
    e.SetFileName("a.net");
    EXPECT_EQ(e.Message(), c.text);
    EXPECT_STREQ(e.what(), c.text);
  }
}

TEST_F(ArchiveTest, DirectionIsChecked) {
  CArchive in(Bytes{1, 2}, "in.net");
  try {
    in.WriteU16(1);
    FAIL();
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.GetCause(), CArchiveException::kReadOnly);
  }
  CArchive out("out.net");
  try {
    out.ReadU8();
    FAIL();
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.GetCause(), CArchiveException::kWriteOnly);
    EXPECT_EQ(e.Message(), "An attempt was made to read from the writing out.net.");
  }
}

TEST_F(ArchiveTest, DamagedReferencesAreRefused) {
  auto readNode = [](CArchive& ar) { ar.ReadObjectOf<CGraphicNode>(); };
  auto readTwo = [](CArchive& ar) {
    ar.ReadObject();
    ar.ReadObject();
  };
  const Bytes node = ByteSpeller().NewClass("CGraphicNode").NodeFields(1, "A", 0, 0).bytes;
  auto nodeThen = [&](const Bytes& more) {
    Bytes b = node;
    b.insert(b.end(), more.begin(), more.end());
    return b;
  };

  EXPECT_EQ(CauseOf(ByteSpeller().NewClass("CMystery").bytes, readNode), CArchiveException::kBadClass);
  EXPECT_EQ(CauseOf(ByteSpeller().NewClass("CGraphicNode", 2).bytes, readNode),
            CArchiveException::kBadSchema);
  EXPECT_EQ(CauseOf(ByteSpeller().NewClass(std::string(64, 'C')).bytes, readNode),
            CArchiveException::kBadClass);
  // A link where a node belongs.
  EXPECT_EQ(CauseOf(ByteSpeller().NewClass("CGraphicLink").LinkFields(1, 2).bytes, readNode),
            CArchiveException::kBadClass);
  // Class index 0, a class not yet given, the index of an object.
  EXPECT_EQ(CauseOf(ByteSpeller().U16(0x8000).bytes, readNode), CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(ByteSpeller().U16(0x8001).bytes, readNode), CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(nodeThen(ByteSpeller().U16(0x8002).bytes), readTwo), CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(nodeThen(ByteSpeller().U16(0x7FFF).U32(0x80000009).bytes), readTwo),
            CArchiveException::kBadIndex);
  // Back-references to objects, short and long.
  EXPECT_EQ(CauseOf(nodeThen(ByteSpeller().U16(0x0002).bytes), readTwo), CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(nodeThen(ByteSpeller().U16(0x7FFF).U32(2).bytes), readTwo), CArchiveException::kBadIndex);
}

TEST_F(ArchiveTest, AbsurdLengthsFailBeforeAllocating) {
  auto readString = [](CArchive& ar) { ar.ReadString(); };
  EXPECT_EQ(CauseOf(ByteSpeller().U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).bytes, readString),
            CArchiveException::kEndOfFile);
  EXPECT_EQ(
      CauseOf(ByteSpeller().U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).bytes, readString),
      CArchiveException::kEndOfFile);
  EXPECT_EQ(CauseOf(ByteSpeller().U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFE).bytes, readString),
            CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(ByteSpeller().U8(5).Chars("abc").bytes, readString), CArchiveException::kEndOfFile);
  EXPECT_EQ(CauseOf(ByteSpeller().U16(0xFFFF).U32(0xFFFFFFFF).bytes, [](CArchive& ar) { ar.ReadCount(); }),
            CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(ByteSpeller().U16(3).U16(0).bytes, [](CArchive& ar) { ar.ReadCount(2); }),
            CArchiveException::kBadIndex);
  EXPECT_EQ(CauseOf(Bytes{1, 2, 3}, [](CArchive& ar) { ar.ReadDouble(); }), CArchiveException::kEndOfFile);
}

}  // namespace
}  // namespace varlo
