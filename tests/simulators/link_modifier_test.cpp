#include "simulators/link_modifier.h"

#include <gtest/gtest.h>

#include "model/document_edits.h"
#include "sim_test_support.h"

namespace varlo {
namespace {

using test::AddLink;
using test::AddNode;

struct LinkTypes : ::testing::Test {
  CVarloDoc doc;
  CGraphicLink* link;
  void SetUp() override {
    link = AddLink(doc, AddNode(doc, 1, "A"), AddNode(doc, 2, "B"), 1000, 15, 0.01, 500, 7, 0.02);
    doc.SetModifiedFlag(false);
  }
  C_MM1K_Queue& F() { return *link->GetForwardQueue(); }
  C_MM1K_Queue& B() { return *link->GetBackwardQueue(); }
};

TEST_F(LinkTypes, SixModificationsOnBothQueues) {
  ModifyLinks(doc, "", "", kMultiplyCapacity, 2.0);
  EXPECT_EQ(F().serviceRate, 2000);
  EXPECT_EQ(B().serviceRate, 1000);
  ModifyLinks(doc, "", "", kSetCapacity, 300);
  EXPECT_EQ(F().serviceRate, 300);
  EXPECT_EQ(B().serviceRate, 300);
  ModifyLinks(doc, "", "", kMultiplyBuffer, 1.5);
  EXPECT_EQ(F().bufferSize, 22);  // 22.5 truncated
  EXPECT_EQ(B().bufferSize, 10);  // 10.5 truncated
  ModifyLinks(doc, "", "", kSetBuffer, 22.5);
  EXPECT_EQ(F().bufferSize, 22.5);
  EXPECT_EQ(B().bufferSize, 22.5);
  ModifyLinks(doc, "", "", kMultiplyDelay, 3);
  EXPECT_DOUBLE_EQ(F().propagationDelay, 0.03);
  EXPECT_DOUBLE_EQ(B().propagationDelay, 0.06);
  ModifyLinks(doc, "", "", kSetDelay, 0.5);
  EXPECT_EQ(F().propagationDelay, 0.5);
  EXPECT_EQ(B().propagationDelay, 0.5);
  // The command neither marks the document nor touches the other fields.
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(F().serviceRate, 300);
}

TEST_F(LinkTypes, ConfirmingTheDialogDefaultsMultipliesEveryRateByZero) {
  ModifyLinks(doc, "", "", 0, 0.0);
  EXPECT_EQ(F().serviceRate, 0);
  EXPECT_EQ(B().serviceRate, 0);
  EXPECT_EQ(F().bufferSize, 15);
}

TEST_F(LinkTypes, HugeBufferProductsStayWholeNumbers) {
  ModifyLinks(doc, "", "", kMultiplyBuffer, 1e9);
  EXPECT_EQ(F().bufferSize, 15e9);
  ModifyLinks(doc, "", "", 6, 5.0);  // not a modification
  EXPECT_EQ(F().bufferSize, 15e9);
}

// The desktop command is an edit: the default factor 0 wipes every rate, and undo must bring the
// rates back exactly (dividing would not: 0 has no inverse, and 1000 * 0.1 / 0.1 is not 1000).
TEST_F(LinkTypes, TheEditIsUndoneToTheExactValues) {
  struct Stack : IEditRecorder {
    std::unique_ptr<CDocumentEdit> last;
    void Record(std::unique_ptr<CDocumentEdit> edit) override { last = std::move(edit); }
  } stack;
  doc.SetEditRecorder(&stack);
  F().serviceRate = 1000.0 / 3.0;
  ASSERT_TRUE(ModifyLinksEdit(doc, "", "", kMultiplyCapacity, 0.0));
  EXPECT_EQ(F().serviceRate, 0);
  EXPECT_EQ(B().serviceRate, 0);
  EXPECT_TRUE(doc.IsModified());
  ASSERT_TRUE(stack.last);
  stack.last->Undo(doc);
  EXPECT_EQ(F().serviceRate, 1000.0 / 3.0);
  EXPECT_EQ(B().serviceRate, 500);
  stack.last->Redo(doc);
  EXPECT_EQ(F().serviceRate, 0);
  // A filter no link matches changes nothing and records nothing.
  stack.last.reset();
  EXPECT_FALSE(ModifyLinksEdit(doc, "X", "", kSetCapacity, 5.0));
  EXPECT_FALSE(stack.last);
  doc.SetEditRecorder(nullptr);
}

TEST(LinkFilters, EitherEndMayMatchEitherFilter) {
  CVarloDoc doc;
  CGraphicNode* a1 = AddNode(doc, 1, "A1");
  CGraphicNode* a2 = AddNode(doc, 2, "A2");
  CGraphicNode* b1 = AddNode(doc, 3, "B1");
  CGraphicNode* b2 = AddNode(doc, 4, "B2");
  CGraphicLink* b1a2 = AddLink(doc, b1, a2, 10, 1, 1, 10, 1, 1);
  CGraphicLink* a1b2 = AddLink(doc, a1, b2, 10, 1, 1, 10, 1, 1);
  CGraphicLink* a1a2 = AddLink(doc, a1, a2, 10, 1, 1, 10, 1, 1);
  EXPECT_EQ(ModifyLinks(doc, "A", "B", kSetCapacity, 99), 2u);
  EXPECT_EQ(b1a2->GetForwardQueue()->serviceRate, 99);
  EXPECT_EQ(b1a2->GetBackwardQueue()->serviceRate, 99);
  EXPECT_EQ(a1b2->GetForwardQueue()->serviceRate, 99);
  EXPECT_EQ(a1a2->GetForwardQueue()->serviceRate, 10);
  // Empty filters select every link.
  EXPECT_EQ(ModifyLinks(doc, "", "", kSetCapacity, 1), 3u);
  EXPECT_TRUE(LinkMatchesFilters("xAy", "zBz", "B", "A"));
  EXPECT_FALSE(LinkMatchesFilters("A1", "A2", "A", "B"));
  EXPECT_TRUE(LinkMatchesFilters("AB", "A2", "A", "B"));
}

}  // namespace
}  // namespace varlo
