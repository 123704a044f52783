// The logic of "Create Graphic ...": the dump columns of queues and classes, and the ns companions
// read from the monitor files with their averaging rule. The dialog and the window are tested in
// tests/gui/graph_creation_test.cpp.
#include "engine/graph_creation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "run_network.h"

namespace varlo {
namespace {

using test::NetBuilder;
using test::TempFolder;

// A-B, B-C and three classes: rows of 1 + 12 + 3 numbers.
struct Network {
  NetBuilder b;
  CGraphicNode* a = b.Node("A");
  CGraphicNode* bn = b.Node("B");
  CGraphicNode* c = b.Node("C");
  CGraphicLink* ab = b.Link(a, bn, 100, 10, 0.01);
  CGraphicLink* bc = b.Link(bn, c, 100, 10, 0.01);
  CConstPoissonClass* u1 = b.Udp(a, c, 10);
  CConstPoissonClass* u2 = b.Udp(c, a, 20);
  CConstPoissonClass* u3 = b.Udp(a, bn, 30);
  CVarloDoc& doc = *b.doc;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Row i of a dump: time i/10, then value column j holds 100 i + j.
std::string Dump(int links, int classes, int rows, int written) {
  std::string text = "/tmp/net.net\n" + std::to_string(links) + " " + std::to_string(classes) + " " +
                     std::to_string(rows) + "\n";
  for (int i = 0; i < written; ++i) {
    text += std::to_string(i / 10.0) + "\t";
    for (int j = 1; j <= 6 * links + classes; ++j) text += std::to_string(100.0 * i + j) + " ";
    text += "\t\n";
  }
  return text;
}

TEST(GraphCreation, ColumnsOfQueuesAndClasses) {
  Network n;
  EXPECT_EQ(QueueBaseColumn(n.doc, n.ab->GetForwardQueue()), 1);
  EXPECT_EQ(QueueBaseColumn(n.doc, n.bc->GetBackwardQueue()), 10);
  GraphSeries s = MakeQueueSeries(n.doc, *n.bc->GetBackwardQueue(), 2);
  EXPECT_EQ(s.column, 12);
  EXPECT_EQ(s.label, std::string("C  -> B"));
  EXPECT_EQ(MakeClassSeries(n.doc, *n.u3, 0).column, 15);
  EXPECT_EQ(ClassEntryText(*n.u1).substr(0, 5), std::string("A\t - "));
}

TEST(GraphCreation, CompanionsFromTheMonitorFiles) {
  Network n;
  TempFolder folder;
  n.doc.SetPathName(folder.File("net.net"));
  const std::string dump = folder.File("run.dmp");
  WriteFile(dump, Dump(2, 3, 3, 3));
  ASSERT_EQ(LoadGraphData(n.doc,
                          {MakeQueueSeries(n.doc, *n.ab->GetForwardQueue(), 0),
                           MakeQueueSeries(n.doc, *n.bc->GetForwardQueue(), 0)},
                          dump),
            GraphLoadStatus::kLoaded);
  const std::string monitor = MonitorFileName(n.doc, *n.ab->GetForwardQueue());
  EXPECT_EQ(monitor, folder.File("net.net_A_1_B_2.tr"));
  // ns's own line form and bare numbers, mixed. Times 0, 0.1, 0.2.
  WriteFile(monitor,
            "q -t 0.05 -s 1 -d 2 -l 2000 -p 2\n"
            "q -t 0.1 -s 1 -d 2 -l 4000 -p 4\n"  // exactly at a point: does not close it
            "0.15 1 2 6000\r\n"                  // bare numbers, Windows line end
            "q -t 0.18 -s 1 -d 2 -l 1000 -p 1\n");
  // No monitor file for B -> C: that companion is dropped.
  EXPECT_EQ(AddSimulatedCompanions(n.doc), 1);
  const GraphSeries* sim = n.doc.graph.graphSeries.Find(10);
  ASSERT_NE(sim, nullptr);
  EXPECT_EQ(sim->simulated, 1);
  EXPECT_EQ(sim->label, std::string("Sim of A  -> B"));
  EXPECT_EQ(sim->color, seriesPalette[3]);  // m = 2 series; walk order 7, 1 gives A -> B v = 1
  // 2 packets closes point 0 (0.05 > 0); 4 and 6 packets close point 1 (0.15 > 0.1); the file
  // ends within point 2's interval, with its 1 packet.
  EXPECT_EQ(sim->values, (std::vector<double>{2.0, 5.0, 1.0}));
  EXPECT_EQ(n.doc.graph.graphSeries.Find(70), nullptr);

  // An ns run shorter than the dump: the points after its end have no value, not an empty queue.
  std::vector<double> values;
  WriteFile(folder.File("early.tr"), "q -t 0 -s 1 -d 2 -l 5000 -p 5\n");
  EXPECT_TRUE(ReadMonitorTrace(folder.File("early.tr"), {0.0, 1.0, 2.0}, values));
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0], 5.0);
  EXPECT_TRUE(std::isnan(values[1]) && std::isnan(values[2]));
  EXPECT_FALSE(ReadMonitorTrace(folder.File("none.tr"), {0.0}, values));
}

}  // namespace
}  // namespace varlo
