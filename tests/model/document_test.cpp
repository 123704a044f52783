#include "model/document.h"

#include <gtest/gtest.h>

#include <string>

#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/model_test_support.h"

namespace varlo {
namespace {

using testing::AddUdp;
using testing::Bytes;
using testing::ByteSpeller;
using testing::Connect;
using testing::LoadNetwork;
using testing::NodeNumbers;
using testing::RecordingView;

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterPersistentClasses(); }
};

// --- the network file, byte for byte ------------------------------------------------------------

TEST_F(DocumentTest, EmptyNetworkIsThirtySixBytes) {
  CVarloDoc doc;
  const Bytes expected = {
      0x01, 0x00, 0x00, 0x00,                          // next node number 1
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              // no nodes, links, classes
      0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x8F, 0x40,  // 1000 packets/s
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // delay 0 s
      0x01, 0x00,                                      // route weight 1
      0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0xB3, 0x40,  // buffer 5000 packets
  };
  EXPECT_EQ(doc.SaveToBytes("a.net"), expected);
}

TEST_F(DocumentTest, TwoNodesShareOneClassRecord) {
  CVarloDoc doc;
  doc.CreateNode(10, 20);
  doc.CreateNode(30, 40);
  // Both in bucket 0, the newer first.
  const Bytes expected = ByteSpeller()
                             .U32(3)
                             .U16(2)
                             .U16(2)
                             .Raw({0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00})
                             .Chars("CGraphicNode")
                             .NodeFields(2, "N2", 30, 40)
                             .U16(1)
                             .Raw({0x01, 0x80})
                             .NodeFields(1, "N1", 10, 20)
                             .U16(0)
                             .U16(0)
                             .Queue(1000, 0, 1, 5000)
                             .bytes;
  EXPECT_EQ(doc.SaveToBytes("a.net"), expected);
}

TEST_F(DocumentTest, LinksAndClassesFollowTheNodes) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  Connect(doc, a, b);
  AddUdp(doc, a, b, 12.5);
  // Indices: CGraphicNode 1, node 2 = 2, node 1 = 3, CGraphicLink 4, link 5, CConstPoissonClass 6.
  const Bytes expected = ByteSpeller()
                             .U32(3)
                             .U16(2)
                             .U16(2)
                             .NewClass("CGraphicNode")
                             .NodeFields(2, "N2", 0, 0)
                             .U16(1)
                             .U16(0x8001)
                             .NodeFields(1, "N1", 0, 0)
                             .U16(1)
                             .NewClass("CGraphicLink")
                             .LinkFields(1, 2)
                             .U16(1)
                             .NewClass("CConstPoissonClass")
                             .UdpFields(1, 2, 0.0, 10.0, 12.5)
                             .Queue(1000, 0, 1, 5000)
                             .bytes;
  EXPECT_EQ(doc.SaveToBytes("a.net"), expected);
}

TEST_F(DocumentTest, LongNameLengthIsFFThenSixteenBits) {
  CVarloDoc doc;
  doc.CreateNode(0, 0)->SetName(std::string(300, 'n'));
  const Bytes bytes = doc.SaveToBytes("a.net");
  // next number, count, key, class record (6 + 12), number, then the name's length.
  const size_t at = 4 + 2 + 2 + 18 + 2;
  ASSERT_GT(bytes.size(), at + 3);
  EXPECT_EQ(Bytes(bytes.begin() + at, bytes.begin() + at + 3), (Bytes{0xFF, 0x2C, 0x01}));
}

TEST_F(DocumentTest, NodesAreWrittenInTableOrderAndReloadReversesTheChain) {
  CVarloDoc doc;
  for (int i = 0; i < 3; ++i) doc.CreateNode(0, 0);
  EXPECT_EQ(NodeNumbers(doc), (std::vector<std::uint16_t>{3, 2, 1}));
  CVarloDoc loaded;
  LoadNetwork(loaded, doc.SaveToBytes("a.net"));
  EXPECT_EQ(NodeNumbers(loaded), (std::vector<std::uint16_t>{1, 2, 3}));
  CVarloDoc again;
  LoadNetwork(again, loaded.SaveToBytes("a.net"));
  EXPECT_EQ(NodeNumbers(again), (std::vector<std::uint16_t>{3, 2, 1}));
  EXPECT_EQ(loaded.nextNodeNumber, 4);
}

TEST_F(DocumentTest, TableWalkGoesBucketByBucketNewestFirst) {
  CVarloDoc doc;
  for (std::uint16_t n : {1, 16, 17, 2, 300, 272}) {
    doc.AddNode(std::make_unique<CGraphicNode>(n, "n", 0, 0));
  }
  // Buckets: 1, 2, 272 -> 0; 16, 17, 300 -> 1.
  EXPECT_EQ(NodeNumbers(doc), (std::vector<std::uint16_t>{272, 2, 1, 300, 17, 16}));
}

TEST_F(DocumentTest, ReadingRestoresEveryPersistentField) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(5, 6);
  CGraphicNode* b = doc.CreateNode(7, 8);
  a->shape = kShapeCircle;
  a->highlighted = true;
  CGraphicLink* link = Connect(doc, a, b);
  link->thickness = 9;
  link->highlighted = true;
  link->GetForwardQueue()->routeWeight = 3;
  doc.templateQueue.serviceRate = 250.0;
  doc.templateQueue.bufferSize = 20.0;
  doc.templateQueue.propagationDelay = 0.125;
  doc.templateQueue.routeWeight = 2;
  doc.nextNodeNumber = 40;

  CVarloDoc loaded;
  loaded.routesValid = true;
  LoadNetwork(loaded, doc.SaveToBytes("a.net"));
  EXPECT_FALSE(loaded.routesValid);
  EXPECT_EQ(loaded.nextNodeNumber, 40);
  EXPECT_EQ(loaded.templateQueue.serviceRate, 250.0);
  EXPECT_EQ(loaded.templateQueue.bufferSize, 20.0);
  EXPECT_EQ(loaded.templateQueue.propagationDelay, 0.125);
  EXPECT_EQ(loaded.templateQueue.routeWeight, 2);
  const CGraphicNode* la = loaded.FindNode(1);
  ASSERT_NE(la, nullptr);
  EXPECT_EQ(la->shape, kShapeCircle);
  EXPECT_EQ(la->x, 5);
  EXPECT_FALSE(la->highlighted);
  EXPECT_EQ(la->GetRoute(loaded.FindNode(2)).first, nullptr);
  ASSERT_EQ(loaded.GetLinks().size(), 1u);
  EXPECT_EQ(loaded.GetLinks()[0]->thickness, 9);
  EXPECT_FALSE(loaded.GetLinks()[0]->highlighted);
  EXPECT_EQ(loaded.GetLinks()[0]->GetForwardQueue()->routeWeight, 3);
  // Reading does not raise the extent; the class tree does.
  EXPECT_EQ(loaded.largestX, 0);
  // Each reading reverses the chain of bucket 0, so two readings give the original bytes back.
  CVarloDoc again;
  LoadNetwork(again, loaded.SaveToBytes("a.net"));
  EXPECT_EQ(again.SaveToBytes("a.net"), doc.SaveToBytes("a.net"));
}

TEST_F(DocumentTest, ReadingConnectsLinksAndClassesToBothEnds) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  CGraphicNode* c = doc.CreateNode(0, 0);
  Connect(doc, a, b);
  Connect(doc, b, c);
  AddUdp(doc, a, c);
  AddUdp(doc, c, b);

  CVarloDoc loaded;
  LoadNetwork(loaded, doc.SaveToBytes("a.net"));
  for (const auto& link : loaded.GetLinks()) {
    CGraphicNode* first = link->GetFirstNode();
    CGraphicNode* second = link->GetSecondNode();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->GetOutgoingQueue(second), link->GetForwardQueue());
    EXPECT_EQ(first->GetIncomingQueue(second), link->GetBackwardQueue());
    EXPECT_EQ(second->GetOutgoingQueue(first), link->GetBackwardQueue());
    EXPECT_EQ(second->GetIncomingQueue(first), link->GetForwardQueue());
    EXPECT_EQ(link->GetForwardQueue()->fromNode, first);
    EXPECT_EQ(link->GetForwardQueue()->toNode, second);
    EXPECT_EQ(link->GetBackwardQueue()->fromNode, second);
    EXPECT_EQ(link->GetBackwardQueue()->toNode, first);
    EXPECT_EQ(loaded.FindLink(first, second), link.get());
  }
  ASSERT_EQ(loaded.GetClasses().size(), 2u);
  for (const auto& trafficClass : loaded.GetClasses()) {
    for (CNode* end : {trafficClass->GetSource(), trafficClass->GetDestination()}) {
      ASSERT_NE(end, nullptr);
      const auto& list = end->GetClasses();
      EXPECT_NE(std::find(list.begin(), list.end(), trafficClass.get()), list.end());
    }
  }
  EXPECT_EQ(loaded.FindNode(1)->GetClasses().size(), 1u);
  EXPECT_EQ(loaded.FindNode(3)->GetClasses().size(), 2u);
}

// --- operations ----------------------------------------------------------------------------------

TEST_F(DocumentTest, DeleteNodeRemovesClassesThenLinksThenTellsTheViews) {
  CVarloDoc doc;
  RecordingView view;
  doc.AddView(&view);
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  CGraphicNode* c = doc.CreateNode(0, 0);
  Connect(doc, a, b);
  Connect(doc, a, c);
  Connect(doc, b, c);
  CTrafficClass* ab = AddUdp(doc, a, b);
  CTrafficClass* ca = AddUdp(doc, c, a);
  AddUdp(doc, b, c);
  doc.SetModifiedFlag(false);
  doc.routesValid = true;

  doc.DeleteNode(a);
  EXPECT_EQ(view.Hints(), (std::vector<int>{4, 4, 0, 0, 2}));
  EXPECT_EQ(view.updates[0].object, ab);
  EXPECT_EQ(view.updates[1].object, ca);
  EXPECT_EQ(view.updates[4].object, a);
  EXPECT_EQ(doc.FindNode(1), nullptr);
  EXPECT_EQ(doc.GetLinks().size(), 1u);
  EXPECT_EQ(doc.GetClasses().size(), 1u);
  EXPECT_EQ(b->GetNeighbours().size(), 1u);
  EXPECT_EQ(c->GetNeighbours().size(), 1u);
  EXPECT_EQ(b->GetClasses().size(), 1u);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_FALSE(doc.routesValid);
}

TEST_F(DocumentTest, NodeNumbersAreNeverReused) {
  CVarloDoc doc;
  doc.CreateNode(0, 0);
  doc.CreateNode(0, 0);
  CGraphicNode* third = doc.CreateNode(0, 0);
  doc.DeleteNode(third);
  CGraphicNode* next = doc.CreateNode(0, 0);
  EXPECT_EQ(next->GetNumber(), 4);
  EXPECT_EQ(next->GetName(), "N4");
  EXPECT_EQ(next->size, 16);
  EXPECT_EQ(doc.nextNodeNumber, 5);
}

TEST_F(DocumentTest, CreateNodeRefusesWhenNumbersRunOut) {
  CVarloDoc doc;
  doc.nextNodeNumber = 65535;
  CGraphicNode* last = doc.CreateNode(0, 0);
  EXPECT_EQ(last->GetNumber(), 65535);
  try {
    doc.CreateNode(0, 0);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "No more node numbers are available in this network.");
  }
  EXPECT_EQ(doc.GetNodeCount(), 1u);
  EXPECT_EQ(doc.FindNode(65535), last);
  EXPECT_EQ(doc.FindNode(0), nullptr);
}

TEST_F(DocumentTest, CreateNodeSkipsNumbersAFileLeftInUse) {
  CVarloDoc doc;
  CGraphicNode* one = doc.CreateNode(0, 0);
  CGraphicNode* two = doc.CreateNode(0, 0);
  Connect(doc, one, two);
  doc.nextNodeNumber = -7;  // as a damaged file may give it
  CGraphicNode* fresh = doc.CreateNode(0, 0);
  EXPECT_EQ(fresh->GetNumber(), 3);
  EXPECT_EQ(doc.FindNode(1), one);
  EXPECT_EQ(doc.GetLinks().size(), 1u);
}

TEST_F(DocumentTest, AddNodeRaisesTheExtentAndReplacesANodeWithItsLinks) {
  CVarloDoc doc;
  RecordingView view;
  doc.AddView(&view);
  CGraphicNode* a = doc.CreateNode(300, 20);
  CGraphicNode* b = doc.CreateNode(10, 400);
  EXPECT_EQ(doc.largestX, 300);
  EXPECT_EQ(doc.largestY, 400);
  Connect(doc, a, b);
  doc.AddNode(std::make_unique<CGraphicNode>(1, "again", 0, 0));
  EXPECT_EQ(doc.FindNode(1)->GetName(), "again");
  EXPECT_TRUE(doc.GetLinks().empty());
  EXPECT_TRUE(b->GetNeighbours().empty());
  EXPECT_EQ(view.Hints(), (std::vector<int>{0, 2}));
}

TEST_F(DocumentTest, LinkOperationsKeepBothEndsInStep) {
  CVarloDoc doc;
  RecordingView view;
  doc.AddView(&view);
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(100, 40);
  doc.routesValid = true;
  CGraphicLink* link = Connect(doc, a, b);
  EXPECT_FALSE(doc.routesValid);
  EXPECT_EQ(doc.FindLink(a, b), link);
  EXPECT_EQ(doc.FindLink(b, a), link);
  EXPECT_EQ(doc.LinkAt(50, 20), link);
  EXPECT_EQ(doc.LinkAt(53, 20), nullptr);
  EXPECT_EQ(doc.NodeAt(99, 30), b);
  EXPECT_EQ(doc.NodeAt(116, 40), nullptr);
  EXPECT_TRUE(view.updates.empty());  // callers send the add hints
  doc.routesValid = true;
  doc.DeleteLink(link);
  EXPECT_EQ(view.Hints(), (std::vector<int>{0}));
  EXPECT_EQ(doc.FindLink(a, b), nullptr);
  EXPECT_TRUE(a->GetNeighbours().empty());
  EXPECT_TRUE(b->GetNeighbours().empty());
  EXPECT_FALSE(doc.routesValid);
}

TEST_F(DocumentTest, DeletingALinkDropsThePathsAndRoutesThatUsedIt) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  CGraphicNode* c = doc.CreateNode(0, 0);
  CGraphicLink* ab = Connect(doc, a, b);
  CGraphicLink* bc = Connect(doc, b, c);
  CTrafficClass* across = AddUdp(doc, a, c);
  CTrafficClass* local = AddUdp(doc, a, b);
  doc.ComputeRoutes();
  ASSERT_EQ(across->GetPath().size(), 3u);
  ASSERT_EQ(ab->GetForwardQueue()->pathEntries.size(), 2u);

  doc.DeleteLink(bc);
  EXPECT_TRUE(across->GetPath().empty());
  // Only the class that stays on a->b keeps its entry there.
  ASSERT_EQ(ab->GetForwardQueue()->pathEntries.size(), 1u);
  EXPECT_EQ(ab->GetForwardQueue()->pathEntries[0]->trafficClass, local);
  EXPECT_EQ(a->GetRoute(c).first, nullptr);
  EXPECT_EQ(a->GetRoute(b).first, nullptr);

  doc.DeleteClass(local);
  EXPECT_TRUE(ab->GetForwardQueue()->pathEntries.empty());
}

TEST_F(DocumentTest, ClassOperationsUseBothEndLists) {
  CVarloDoc doc;
  RecordingView view;
  doc.AddView(&view);
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  doc.routesValid = true;
  doc.SetModifiedFlag(false);
  CTrafficClass* c = AddUdp(doc, a, b);
  EXPECT_TRUE(doc.routesValid);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(a->GetClasses(), (std::vector<CTrafficClass*>{c}));
  EXPECT_EQ(b->GetClasses(), (std::vector<CTrafficClass*>{c}));
  doc.DeleteClass(c);
  EXPECT_TRUE(a->GetClasses().empty());
  EXPECT_TRUE(b->GetClasses().empty());
  EXPECT_TRUE(doc.GetClasses().empty());
  ASSERT_EQ(view.updates.size(), 1u);
  EXPECT_EQ(view.updates[0].hint, 4);
  EXPECT_EQ(view.updates[0].object, c);
}

TEST_F(DocumentTest, ClassFromANodeToItselfIsDeletedOnce) {
  CVarloDoc doc;
  RecordingView view;
  doc.AddView(&view);
  CGraphicNode* a = doc.CreateNode(0, 0);
  AddUdp(doc, a, a);
  EXPECT_EQ(a->GetClasses().size(), 2u);
  doc.DeleteNode(a);
  EXPECT_TRUE(doc.GetClasses().empty());
  EXPECT_EQ(view.Hints(), (std::vector<int>{4, 2}));
}

TEST_F(DocumentTest, TitleAndFolderComeFromThePath) {
  CVarloDoc doc;
  EXPECT_EQ(doc.GetTitle(), "Untitled");
  EXPECT_FALSE(doc.GetFolder().empty());
  doc.SetPathName("/home/u/nets/ring.net");
  EXPECT_EQ(doc.GetTitle(), "ring.net");
  EXPECT_EQ(doc.GetFolder(), "/home/u/nets");
  doc.SetPathName("C:\\nets\\star.net");
  EXPECT_EQ(doc.GetTitle(), "star.net");
  EXPECT_EQ(doc.GetFolder(), "C:\\nets");
  doc.SetPathName("/top.net");
  EXPECT_EQ(doc.GetFolder(), "/");
  doc.SetTitle("Given");
  EXPECT_EQ(doc.GetTitle(), "Given");
}

}  // namespace
}  // namespace varlo
