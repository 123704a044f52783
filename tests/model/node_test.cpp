#include "model/node.h"

#include <gtest/gtest.h>

#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"

namespace varlo {
namespace {

TEST(NodeTest, ScriptNameKeepsOnlyLettersDigitsAndUnderscores) {
  EXPECT_EQ(CNode(5, "a b(c)").GetScriptName(), "a_b_c__5");
  EXPECT_EQ(CNode(7, " -+=\\[]{}()#$").GetScriptName(), "______________7");  // 13 and the separator
  EXPECT_EQ(CNode(12, "ok.name!*~").GetScriptName(), "ok_name____12");
  // Tcl word and command separators and substitutions, and bytes of other encodings.
  EXPECT_EQ(CNode(4, "x\t1;exec\ttouch\tP;set\ty").GetScriptName(), "x_1_exec_touch_P_set_y_4");
  EXPECT_EQ(CNode(9, "a\nb\r\"c\"'").GetScriptName(), "a_b__c___9");
  EXPECT_EQ(CNode(2, "R\xE9seau\xC3\xA9").GetScriptName(), "R_seau___2");
  EXPECT_EQ(CNode(65535, "").GetScriptName(), "_65535");
  EXPECT_EQ(CNode(3, "x y").GetNSScript(), "set node_x_y_3 [$ns node]\n");
}

TEST(NodeTest, RoutesAreAddressedByTheDestinationsRouteIndex) {
  CNode a(1, "A"), b(2, "B"), unindexed(3, "C");
  C_MM1K_Queue q;
  // No index, no table: no route, cost 65535.
  EXPECT_EQ(a.GetRoute(&b), std::make_pair(static_cast<CQueue*>(nullptr), std::uint16_t{65535}));
  b.SetRouteIndex(1);
  a.ResetRoutes(2);
  EXPECT_EQ(a.GetRoute(&b).first, nullptr);
  EXPECT_EQ(a.GetRoute(&b).second, 65535);
  a.SetRoute(&b, &q, 7);
  EXPECT_EQ(a.GetRoute(&b).first, &q);
  EXPECT_EQ(a.GetRoute(&b).second, 7);
  a.SetRoute(&unindexed, &q, 1);
  EXPECT_EQ(a.GetRoute(&unindexed).first, nullptr);
  unindexed.SetRouteIndex(40);  // beyond the table
  EXPECT_EQ(a.GetRoute(&unindexed).second, 65535);
  a.ClearRoutes();
  EXPECT_EQ(a.GetRoute(&b).first, nullptr);
}

TEST(NodeTest, RemoveClassTakesTheFirstOccurrenceOnly) {
  CNode a(1, "A"), b(2, "B");
  CConstPoissonClass c1(&a, &b, 0, 1, 10), c2(&a, &b, 0, 1, 10);
  a.AddClass(&c1);
  a.AddClass(&c2);
  a.AddClass(&c1);
  a.RemoveClass(&c1);
  EXPECT_EQ(a.GetClasses(), (std::vector<CTrafficClass*>{&c2, &c1}));
}

TEST(GraphicNodeTest, HitSquareExcludesRightAndBottomEdges) {
  CGraphicNode n(1, "N1", 100, 50);
  n.size = 10;
  EXPECT_TRUE(n.HitTest(90, 40));
  EXPECT_TRUE(n.HitTest(109, 59));
  EXPECT_FALSE(n.HitTest(110, 50));
  EXPECT_FALSE(n.HitTest(100, 60));
  CGraphicNode far(2, "N2", 0x7FFFFFF0, -0x7FFFFFF0);
  far.size = 0x7FFFFFFF;
  EXPECT_TRUE(far.HitTest(0x7FFFFFFF, 0));
}

TEST(GraphicLinkTest, OwnsItsQueuesAndOrientsThem) {
  CGraphicNode a(1, "A", 0, 0), b(2, "B", 10, 21);
  LinkStyle style;
  style.thickness = 5;
  CGraphicLink link(&a, &b, std::make_unique<C_MM1K_Queue>(), std::make_unique<C_MM1K_Queue>(), style);
  EXPECT_EQ(link.GetForwardQueue()->owningLink, &link);
  EXPECT_EQ(link.GetBackwardQueue()->owningLink, &link);
  EXPECT_EQ(link.GetForwardQueue()->fromNode, &a);
  EXPECT_EQ(link.GetForwardQueue()->toNode, &b);
  EXPECT_EQ(link.GetBackwardQueue()->fromNode, &b);
  EXPECT_EQ(link.GetBackwardQueue()->toNode, &a);
  EXPECT_EQ(link.GetFirstNumber(), 1);
  EXPECT_EQ(link.GetSecondNumber(), 2);
  EXPECT_EQ(link.thickness, 5);
  EXPECT_EQ(link.lineColor, 0x000080u);

  std::int32_t mx, my;
  link.GetMidpoint(mx, my);
  EXPECT_EQ(mx, 5);
  EXPECT_EQ(my, 10);
  EXPECT_TRUE(link.HitTest(2, 7));
  EXPECT_FALSE(link.HitTest(8, 10));

  CGraphicLink empty;
  EXPECT_EQ(empty.GetForwardQueue()->owningLink, &empty);
  EXPECT_EQ(empty.GetStyle().thickness, 2);
  EXPECT_EQ(empty.GetStyle().bufferColor2, 0xC00000u);
}

}  // namespace
}  // namespace varlo
