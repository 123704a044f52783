// Every user edit, undone and redone: undo gives back the network file byte for byte (node-table
// order, link and class order, the node counter and template queue included) and the tables
// inside the nodes; redo gives the edited file again.
#include "model/document_edits.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "model/tcp_class.h"
#include "model_test_support.h"

namespace varlo {
namespace {

using testing::AddUdp;
using testing::Bytes;
using testing::Connect;
using testing::NodeNumbers;
using testing::RecordingView;

// A minimal undo stack: the edits done, the edits undone; a new edit drops the undone ones.
class EditStack : public IEditRecorder {
 public:
  explicit EditStack(CVarloDoc& doc) : doc_(doc) { doc_.SetEditRecorder(this); }
  ~EditStack() override { doc_.SetEditRecorder(nullptr); }
  void Record(std::unique_ptr<CDocumentEdit> edit) override {
    undone_.clear();
    if (!done_.empty() && done_.back()->MergeWith(*edit)) return;
    done_.push_back(std::move(edit));
  }
  void Undo() {
    ASSERT_FALSE(done_.empty());
    done_.back()->Undo(doc_);
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
  }
  void Redo() {
    ASSERT_FALSE(undone_.empty());
    undone_.back()->Redo(doc_);
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
  }
  size_t Count() const { return done_.size(); }
  std::string TopName() const { return done_.empty() ? std::string() : done_.back()->Name(); }

 private:
  CVarloDoc& doc_;
  std::vector<std::unique_ptr<CDocumentEdit>> done_, undone_;
};

// What the file does not show: each node's neighbours and classes, in their order.
std::string Tables(const CVarloDoc& doc) {
  std::string s;
  for (const CGraphicNode* node : doc.NodesInTableOrder()) {
    s += std::to_string(node->GetNumber()) + ":";
    for (const auto& n : node->GetNeighbours()) s += " n" + std::to_string(n.node->GetNumber());
    for (const CTrafficClass* c : node->GetClasses()) {
      s += " c" + std::to_string(c->GetSourceNumber()) + ">" + std::to_string(c->GetDestinationNumber());
    }
    s += ";";
  }
  return s;
}

struct State {
  Bytes bytes;
  std::string tables;
  bool operator==(const State&) const = default;
};

State Capture(const CVarloDoc& doc) {
  return State{doc.SaveToBytes("t.net"), Tables(doc)};
}

// Nodes 1, 2, 3 in one bucket (walked 3, 2, 1) and node 20 in the next; links 1-2, 2-3, 3-1,
// 20-2; classes 1>3, 2>1 (TCP), 3>2, 20>2.
struct Network {
  CVarloDoc doc;
  CGraphicNode* n[4] = {};
  CGraphicLink* link[4] = {};
  CTrafficClass* cls[4] = {};
  Network() {
    for (int i = 0; i < 3; ++i) n[i] = doc.CreateNode(100 * (i + 1), 50);
    doc.nextNodeNumber = 20;
    n[3] = doc.CreateNode(400, 300);
    link[0] = Connect(doc, n[0], n[1]);
    link[1] = Connect(doc, n[1], n[2]);
    link[2] = Connect(doc, n[2], n[0]);
    link[3] = Connect(doc, n[3], n[1]);
    cls[0] = AddUdp(doc, n[0], n[2], 100.0);
    auto tcp = std::make_unique<CTCPClass>(n[1], n[0], 0.0, 5.0, 0.01);
    cls[1] = tcp.get();
    doc.AddClass(std::move(tcp));
    cls[2] = AddUdp(doc, n[2], n[1], 1.0 / 3.0);
    cls[3] = AddUdp(doc, n[3], n[1], 7.0);
    doc.SetModifiedFlag(false);
  }
};

TEST(DocumentEditsTest, EveryEditUndoesToTheSameFileAndRedoesToTheEditedOne) {
  RegisterPersistentClasses();
  const std::vector<std::pair<std::string, std::function<void(Network&)>>> cases = {
      {"Add Node", [](Network& w) { edits::AddNode(w.doc, 30, 40); }},
      {"Move Node", [](Network& w) { edits::MoveNode(w.doc, w.n[1], 7, 9); }},
      {"Delete Node", [](Network& w) { edits::DeleteNode(w.doc, w.n[1]); }},
      {"Add Link",
       [](Network& w) {
         // The template queue is in the file: it must come back as well.
         auto link = std::make_unique<CGraphicLink>(
             w.n[3], w.n[0], std::make_unique<C_MM1K_Queue>(w.n[3], w.n[0], 2000.0, 70.0, 0.25),
             std::make_unique<C_MM1K_Queue>(w.n[0], w.n[3], 2000.0, 70.0, 0.25));
         edits::AddLink(w.doc, std::move(link));
       }},
      {"Delete Link", [](Network& w) { edits::DeleteLink(w.doc, w.link[1]); }},
      {"Link Properties",
       [](Network& w) {
         LinkProperties values = PropertiesOf(*w.link[2]);
         values.style.thickness = 9;
         values.forward.serviceRate = 0.1;
         values.backward.bufferSize = 7.0;
         CChangeSet changes;
         changes.SetLink(w.link[2], values);
         ASSERT_TRUE(edits::ChangeProperties(w.doc, "Link Properties", std::move(changes)));
       }},
      {"Properties",
       [](Network& w) {
         NodeProperties values = PropertiesOf(*w.n[0]);
         values.name = "renamed";
         values.shape = kShapeDiamond;
         values.size = 5;
         CChangeSet changes;
         changes.SetNode(w.n[0], values);
         LinkProperties link = PropertiesOf(*w.link[0]);
         link.style.lineColor = 0x123456;
         changes.SetLink(w.link[0], link);
         ASSERT_TRUE(edits::ChangeProperties(w.doc, "Properties", std::move(changes)));
       }},
      {"Class Times",
       [](Network& w) {
         CChangeSet changes;
         changes.SetClassTimes(w.cls[2], 1.5, 2.5);
         ASSERT_TRUE(edits::ChangeProperties(w.doc, "Class Times", std::move(changes)));
       }},
      {"Add Traffic Class",
       [](Network& w) {
         edits::AddClass(w.doc, std::make_unique<CConstPoissonClass>(w.n[1], w.n[3], 0.0, 1.0, 3.0));
       }},
      {"Delete Traffic Entry", [](Network& w) { edits::DeleteClass(w.doc, w.cls[1]); }},
      {"Delete All Traffic", [](Network& w) { edits::DeleteAllTraffic(w.doc); }},
      {"Load Traffic",
       [](Network& w) {
         // Two classes from a traffic file, the second naming a node the network lacks: the
         // first stays and is the edit.
         testing::ByteSpeller file;
         file.U16(2).NewClass("CConstPoissonClass").UdpFields(20, 3, 0.0, 4.0, 9.0);
         file.U16(0x8001).UdpFields(99, 3, 0.0, 4.0, 9.0);
         CArchive ar(file.bytes, "t.cls");
         edits::AppendClasses(w.doc, "Load Traffic", [&] { EXPECT_FALSE(w.doc.LoadTraffic(ar)); });
       }},
  };
  for (const auto& [name, edit] : cases) {
    SCOPED_TRACE(name);
    Network w;
    EditStack stack(w.doc);
    const State before = Capture(w.doc);
    edit(w);
    ASSERT_EQ(stack.Count(), 1u);
    EXPECT_EQ(stack.TopName(), name);
    EXPECT_TRUE(w.doc.IsModified());
    const State after = Capture(w.doc);
    ASSERT_NE(after, before);
    // Twice round, so that a record that loses what it holds on the first trip shows.
    for (int round = 0; round < 2; ++round) {
      stack.Undo();
      EXPECT_EQ(Capture(w.doc), before);
      stack.Redo();
      EXPECT_EQ(Capture(w.doc), after);
    }
  }
}

TEST(DocumentEditsTest, UndoingADeletedNodeAnnouncesItBeforeItsLinksAndClasses) {
  Network w;
  EditStack stack(w.doc);
  RecordingView view;
  w.doc.AddView(&view);
  edits::DeleteNode(w.doc, w.n[1]);
  // Its classes 2>1, 3>2, 20>2 (hint 4 each), its links (hint 0 each), then the node (hint 2).
  EXPECT_EQ(view.Hints(), (std::vector<int>{4, 4, 4, 0, 0, 0, 2}));
  view.updates.clear();
  stack.Undo();
  // The class tree needs the node's entry before the entries of the classes under it.
  EXPECT_EQ(view.Hints(), (std::vector<int>{1, 0, 3, 3, 3}));
  EXPECT_EQ(view.updates[0].object, w.n[1]);
  EXPECT_EQ(view.updates[2].object, w.cls[1]);
  EXPECT_EQ(NodeNumbers(w.doc), (std::vector<std::uint16_t>{3, 2, 1, 20}));
  w.doc.RemoveView(&view);
}

TEST(DocumentEditsTest, TheMovesOfOneDragAreOneEditAndStayInsideTheCanvas) {
  Network w;
  EditStack stack(w.doc);
  RecordingView view;
  w.doc.AddView(&view);
  CGraphicNode* node = w.n[0];  // at (100, 50)
  edits::MoveNode(w.doc, node, 90, 40, 1, &view);
  edits::MoveNode(w.doc, node, -225, 30, 1, &view);
  EXPECT_EQ(node->x, 0);
  EXPECT_EQ(node->y, 30);
  edits::MoveNode(w.doc, node, 60, -1, 1, &view);
  EXPECT_EQ(node->y, 0);
  EXPECT_EQ(stack.Count(), 1u);
  // Hint 5 with the node, from the view that drags.
  ASSERT_EQ(view.updates.size(), 3u);
  EXPECT_EQ(view.updates[0].hint, kHintNodeChanged);
  EXPECT_EQ(view.updates[0].sender, &view);
  EXPECT_EQ(view.updates[0].object, node);
  // A second drag is an edit of its own.
  edits::MoveNode(w.doc, node, 300, 310, 2);
  EXPECT_EQ(stack.Count(), 2u);
  EXPECT_EQ(w.doc.largestY, 310);
  stack.Undo();
  EXPECT_EQ(node->x, 60);
  EXPECT_EQ(node->y, 0);
  stack.Undo();
  EXPECT_EQ(node->x, 100);
  EXPECT_EQ(node->y, 50);
  w.doc.RemoveView(&view);
}

TEST(DocumentEditsTest, EditsThatChangeNothingAreNotRecorded) {
  Network w;
  EditStack stack(w.doc);
  CChangeSet same;
  same.SetNode(w.n[0], PropertiesOf(*w.n[0]));
  same.SetLink(w.link[0], PropertiesOf(*w.link[0]));
  same.SetClassTimes(w.cls[0], w.cls[0]->startTime, w.cls[0]->stopTime);
  EXPECT_FALSE(edits::ChangeProperties(w.doc, "Properties", std::move(same)));
  edits::MoveNode(w.doc, w.n[0], 100, 50, 1);
  edits::AppendClasses(w.doc, "Generate TCP Traffic", [] {});
  EXPECT_EQ(stack.Count(), 0u);
  EXPECT_FALSE(w.doc.IsModified());
}

TEST(DocumentEditsTest, ClassTimesTellTheViewsAndAFailedBulkAddKeepsWhatItAdded) {
  Network w;
  EditStack stack(w.doc);
  RecordingView view;
  w.doc.AddView(&view);
  CChangeSet changes;
  changes.SetClassTimes(w.cls[0], 3.0, 4.0);
  edits::ChangeProperties(w.doc, "Class Times", std::move(changes));
  ASSERT_EQ(view.updates.size(), 1u);
  EXPECT_EQ(view.updates[0].hint, kHintClassChanged);
  EXPECT_EQ(view.updates[0].object, w.cls[0]);

  // A generator that fails half way: the class it made is one edit, and undo takes it away.
  EXPECT_THROW(edits::AppendClasses(w.doc, "Generate Trace Classes",
                                    [&] {
                                      AddUdp(w.doc, w.n[0], w.n[1]);
                                      throw std::runtime_error("trace file missing");
                                    }),
               std::runtime_error);
  EXPECT_EQ(stack.TopName(), "Generate Trace Classes");
  EXPECT_EQ(w.doc.GetClasses().size(), 5u);
  stack.Undo();
  EXPECT_EQ(w.doc.GetClasses().size(), 4u);
  EXPECT_TRUE(w.n[0]->GetClasses().size() == 2u);
  w.doc.RemoveView(&view);
}

}  // namespace
}  // namespace varlo
