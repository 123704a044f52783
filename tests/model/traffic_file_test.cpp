#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/model_test_support.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using testing::AddUdp;
using testing::Bytes;
using testing::ByteSpeller;
using testing::RecordingView;

class TrafficFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPersistentClasses();
    std::string pattern = (fs::temp_directory_path() / "varlo-cls-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(TrafficFileTest, NetworkWithoutTrafficIsTwoBytes) {
  CVarloDoc doc;
  doc.CreateNode(0, 0);
  EXPECT_EQ(doc.SaveTrafficToBytes("t.cls"), (Bytes{0x00, 0x00}));
}

TEST_F(TrafficFileTest, TwoUdpClassesShareOneClassRecord) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  AddUdp(doc, a, b, 100.0);
  AddUdp(doc, b, a, 50.0);
  auto tcp = std::make_unique<CTCPClass>(a, b, 1.0, 2.0, 0.5);
  doc.AddClass(std::move(tcp));
  const Bytes expected = ByteSpeller()
                             .U16(3)
                             .Raw({0xFF, 0xFF, 0x01, 0x00, 0x12, 0x00})
                             .Chars("CConstPoissonClass")
                             .UdpFields(1, 2, 0.0, 10.0, 100.0)
                             .Raw({0x01, 0x80})
                             .UdpFields(2, 1, 0.0, 10.0, 50.0)
                             .NewClass("CTCPClass")  // class index 4
                             .U16(1)
                             .U16(2)
                             .Double(1.0)
                             .Double(2.0)
                             .Double(0.5)
                             .bytes;
  EXPECT_EQ(doc.SaveTrafficToBytes("t.cls"), expected);
}

TEST_F(TrafficFileTest, LoadStopsAtTheFirstClassWithAMissingNode) {
  CVarloDoc source;
  CGraphicNode* a = source.CreateNode(0, 0);
  CGraphicNode* b = source.CreateNode(0, 0);
  CGraphicNode* c = source.CreateNode(0, 0);
  AddUdp(source, a, b, 1);
  AddUdp(source, b, a, 2);
  AddUdp(source, a, c, 3);  // node 3 is missing in the target
  AddUdp(source, b, a, 4);
  const std::string path = PathOf("t.cls");
  source.SaveTraffic(path);

  CVarloDoc target;
  target.CreateNode(0, 0);
  target.CreateNode(0, 0);
  target.SetModifiedFlag(false);
  target.routesValid = true;
  RecordingView view;
  target.AddView(&view);
  EXPECT_FALSE(target.LoadTraffic(path));
  ASSERT_EQ(target.GetClasses().size(), 2u);
  EXPECT_EQ(static_cast<CConstPoissonClass*>(target.GetClasses()[0].get())->rate, 1.0);
  EXPECT_EQ(static_cast<CConstPoissonClass*>(target.GetClasses()[1].get())->rate, 2.0);
  EXPECT_EQ(view.Hints(), (std::vector<int>{3, 3}));
  EXPECT_EQ(view.updates[0].object, target.GetClasses()[0].get());
  EXPECT_TRUE(target.IsModified());
  EXPECT_TRUE(target.routesValid);
  EXPECT_EQ(target.GetClasses()[0]->GetSource(), target.FindNode(1));
  EXPECT_EQ(target.FindNode(1)->GetClasses().size(), 2u);
  EXPECT_EQ(target.FindNode(2)->GetClasses().size(), 2u);
}

TEST_F(TrafficFileTest, LoadingTwiceAddsEveryClassTwice) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  AddUdp(doc, a, b);
  auto tcp = std::make_unique<CTCPClass>(b, a, 0.0, 0.0, 0.25);
  doc.AddClass(std::move(tcp));
  const std::string path = PathOf("t.cls");
  doc.SaveTraffic(path);
  EXPECT_TRUE(doc.LoadTraffic(path));
  EXPECT_TRUE(doc.LoadTraffic(path));
  ASSERT_EQ(doc.GetClasses().size(), 6u);
  EXPECT_EQ(doc.GetClasses()[3]->GetType(), kTypeTCP);
  EXPECT_EQ(static_cast<CTCPClass*>(doc.GetClasses()[5].get())->sinkDelay, 0.25);
  EXPECT_EQ(a->GetClasses().size(), 6u);
}

TEST_F(TrafficFileTest, BadTrafficFileAddsNothing) {
  CVarloDoc doc;
  doc.CreateNode(0, 0);
  doc.CreateNode(0, 0);
  const std::string path = PathOf("bad.cls");
  // One good class, then a class of an unknown kind.
  WriteFileAtomically(path, ByteSpeller()
                                .U16(2)
                                .NewClass("CConstPoissonClass")
                                .UdpFields(1, 2, 0, 1, 5)
                                .NewClass("CGraphicNode")
                                .NodeFields(1, "A", 0, 0)
                                .bytes);
  try {
    doc.LoadTraffic(path);
    FAIL();
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.GetCause(), CArchiveException::kBadClass);
    EXPECT_EQ(e.Message(), path + " contained an unexpected object.");
  }
  EXPECT_TRUE(doc.GetClasses().empty());
  EXPECT_THROW(doc.LoadTraffic(PathOf("none.cls")), CFileException);
  // A network file is not a traffic file.
  doc.OnSaveDocument(PathOf("a.net"));
  EXPECT_THROW(doc.LoadTraffic(PathOf("a.net")), CArchiveException);
  EXPECT_TRUE(doc.GetClasses().empty());
}

}  // namespace
}  // namespace varlo
