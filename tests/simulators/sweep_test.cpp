// Sweeps without processes: variant numbering, shards, the summary of a hand-written dump, the
// changes a variant makes to its network, and the checks made before any variant runs.
#include <gtest/gtest.h>

#include <set>

#include "engine/dump_file.h"
#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/td_poisson_class.h"
#include "model/persistent.h"
#include "sim_test_support.h"
#include "simulators/summary.h"
#include "simulators/sweep.h"

namespace varlo {
namespace {

using test::AddLink;
using test::AddNode;
using test::ScratchFolder;

SweepAxis Axis(SweepAxisKind kind, std::vector<double> values, std::string first = {}, std::string second = {}) {
  SweepAxis axis;
  axis.kind = kind;
  axis.name = "axis";
  axis.values = std::move(values);
  axis.firstFilter = std::move(first);
  axis.secondFilter = std::move(second);
  return axis;
}

// S1, S2 - R - D: two sources behind a router, a UDP class S1 -> D at 100 packets/s and a
// rate-file class S2 -> D reading rates.vlr.
void SaveNetwork(const ScratchFolder& folder) {
  RegisterPersistentClasses();
  CVarloDoc doc;
  CGraphicNode* s1 = AddNode(doc, 1, "S1");
  CGraphicNode* s2 = AddNode(doc, 2, "S2");
  CGraphicNode* r = AddNode(doc, 3, "R");
  CGraphicNode* d = AddNode(doc, 4, "D");
  AddLink(doc, s1, r, 1000, 50, 0.01, 1000, 50, 0.01);
  AddLink(doc, s2, r, 1000, 50, 0.01, 1000, 50, 0.01);
  AddLink(doc, r, d, 300, 20, 0.02, 300, 20, 0.02);
  doc.AddClass(std::make_unique<CConstPoissonClass>(s1, d, 0.0, 0.0, 100.0));
  doc.AddClass(std::make_unique<CTdPoissonClass>(s2, d, 0.0, 0.0, "rates.vlr"));
  test::WriteText(folder / "rates.vlr", "0 10\n1.5 40\n");
  doc.OnSaveDocument(folder / "base.net");
}

std::unique_ptr<CVarloDoc> Open(const std::string& path) {
  auto doc = std::make_unique<CVarloDoc>();
  doc->OnOpenDocument(path);
  return doc;
}

SweepDefinition Sweep(const ScratchFolder& folder, std::vector<SweepAxis> axes) {
  SweepDefinition sweep;
  sweep.sweepFile = "sweep.json";
  sweep.baseNetwork = folder / "base.net";
  sweep.axes = std::move(axes);
  return sweep;
}

TEST(SweepVariants, LastAxisChangesFastestAndShardsCoverEveryVariantOnce) {
  SweepDefinition sweep;
  sweep.axes = {Axis(SweepAxisKind::kRates, {1, 2, 3}), Axis(SweepAxisKind::kRates, {10, 20})};
  ASSERT_EQ(VariantCount(sweep), 6u);
  const std::vector<std::vector<double>> expected = {{1, 10}, {1, 20}, {2, 10}, {2, 20}, {3, 10}, {3, 20}};
  for (size_t v = 0; v < 6; ++v) EXPECT_EQ(VariantAxisValues(sweep, v), expected[v]) << v;
  EXPECT_EQ(VariantFolderName(sweep, 5), "variant-0005");

  // Shards are round-robin: every variant in exactly one shard, for any shard count.
  for (size_t n : {1u, 4u, 6u, 7u}) {
    std::multiset<size_t> seen;
    for (size_t i = 0; i < n; ++i) {
      for (size_t v : ShardVariants(sweep, SweepShard{i, n})) seen.insert(v);
    }
    EXPECT_EQ(seen, (std::multiset<size_t>{0, 1, 2, 3, 4, 5})) << n;
  }
  EXPECT_EQ(ShardVariants(sweep, SweepShard{1, 4}), (std::vector<size_t>{1, 5}));

  sweep.axes = {Axis(SweepAxisKind::kRates, std::vector<double>(200, 1.0)),
                Axis(SweepAxisKind::kRates, std::vector<double>(60, 1.0))};
  EXPECT_EQ(VariantFolderName(sweep, 7), "variant-00007");  // 12000 variants need five digits

  ASSERT_TRUE(ParseShard("3/8"));
  EXPECT_EQ(ParseShard("3/8")->index, 3u);
  EXPECT_EQ(ParseShard("3/8")->count, 8u);
  for (const char* bad : {"8/8", "1/0", "-1/4", "1/-4", "a/b", "1/4x", "1", "", " 1/4"})
    EXPECT_FALSE(ParseShard(bad)) << bad;
}

TEST(DumpSummaryTest, MeansOverTheRowsBusiestQueueFirstAndTheWindow) {
  ScratchFolder folder("sweep");
  RegisterPersistentClasses();
  CVarloDoc doc;
  CGraphicNode* a = AddNode(doc, 1, "A");
  CGraphicNode* b = AddNode(doc, 2, "B");
  AddLink(doc, a, b, 100, 10, 0.01, 100, 10, 0.01);
  doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0.0, 0.0, 50.0));
  doc.AddClass(std::make_unique<CTCPClass>(a, b, 0.0, 0.0, 0.0));
  doc.AddClass(std::make_unique<CConstPoissonClass>(b, a, 0.0, 0.0, 5.0));
  // Rows: time, A->B (N U P), B->A (N U P), the three classes.
  test::WriteText(folder / "run.dmp",
                  "/x/net.net\n1 3 3\n"
                  "0.000000\t2.000000 0.200000 0.000000\t1.000000 0.900000 0.010000\t50.000000\t0.000000\t5.000000\t\n"
                  "0.500000\t4.000000 0.600000 0.100000\t1.000000 0.300000 0.030000\t50.000000\t30.000000\t5.000000\t\n"
                  "1.000000\t6.000000 1.000000 0.200000\t1.000000 0.300000 0.050000\t50.000000\t60.000000\t5.000000\t\n"
                  "1.500000\t6.000000");  // a row cut short by a stopped run: left out

  const DumpSummary all = SummarizeDump(doc, folder / "run.dmp");
  EXPECT_EQ(all.rows, 3);
  ASSERT_EQ(all.queues.size(), 2u);
  // A->B: utilisation (0.2 + 0.6 + 1.0) / 3 = 0.6 beats B->A's 0.5.
  EXPECT_EQ(all.queues[0].name, "A->B");
  EXPECT_NEAR(all.queues[0].meanUtilisation, 0.6, 1e-12);
  EXPECT_NEAR(all.queues[0].maxUtilisation, 1.0, 1e-12);
  EXPECT_NEAR(all.queues[0].averageSize, 4.0, 1e-12);
  EXPECT_NEAR(all.queues[0].loss, 0.1, 1e-12);
  EXPECT_EQ(all.queues[1].name, "B->A");
  EXPECT_NEAR(all.queues[1].meanUtilisation, 0.5, 1e-12);
  EXPECT_NEAR(all.queues[1].maxUtilisation, 0.9, 1e-12);
  ASSERT_EQ(all.kinds.size(), 2u);
  EXPECT_EQ(all.kinds[0].kind, "UDP");
  EXPECT_EQ(all.kinds[0].classes, 2);
  EXPECT_NEAR(all.kinds[0].throughput, 55.0, 1e-12);
  EXPECT_EQ(all.kinds[1].kind, "TCP");
  EXPECT_NEAR(all.kinds[1].throughput, 30.0, 1e-12);
  EXPECT_NEAR(all.totalThroughput, 85.0, 1e-12);
  // Which model wrote the dump: its header says; the refined one's CSV ends by saying so too.
  EXPECT_EQ(all.model, "classic");
  EXPECT_EQ(SummaryCsv(all).find("model,"), std::string::npos);
  std::string refined = test::ReadText(folder / "run.dmp");
  refined.replace(refined.find("1 3 3\n"), 6, "1 3 3 refined\n");
  test::WriteText(folder / "refined.dmp", refined);
  const DumpSummary marked = SummarizeDump(doc, folder / "refined.dmp");
  EXPECT_EQ(marked.model, "refined");
  const std::string csv = SummaryCsv(marked);
  EXPECT_EQ(csv.substr(csv.rfind("model,")), "model,refined,,,,,," + std::string(kTextLineEnd));

  // From 0.5 s on, B->A (0.3) falls behind and A->B's mean is (0.6 + 1.0) / 2.
  const DumpSummary late = SummarizeDump(doc, folder / "run.dmp", 0.5);
  EXPECT_EQ(late.rows, 2);
  EXPECT_NEAR(late.queues[0].meanUtilisation, 0.8, 1e-12);
  EXPECT_NEAR(late.queues[1].maxUtilisation, 0.3, 1e-12);
  EXPECT_NEAR(late.kinds[1].throughput, 45.0, 1e-12);

  EXPECT_THROW(SummarizeDump(doc, folder / "run.dmp", 2.0), std::runtime_error);
  test::WriteText(folder / "other.dmp", "x\n2 3 3\n");
  try {
    SummarizeDump(doc, folder / "other.dmp");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Bad Dump File - try to reconfigure"), std::string::npos);
  }
  EXPECT_THROW(SummarizeDump(doc, folder / "missing.dmp"), std::runtime_error);
}

TEST(SweepVariants, EachAxisChangesItsPartOfTheNetwork) {
  ScratchFolder folder("sweep");
  SaveNetwork(folder);
  SweepAxis capacity = Axis(SweepAxisKind::kLink, {0.5, 2.0}, "R", "D");
  capacity.linkModification = 0;  // multiply capacity
  SweepAxis tcp = Axis(SweepAxisKind::kTcp, {0, 3}, "S", "D");
  tcp.seed = 7;
  const SweepDefinition sweep =
      Sweep(folder, {capacity, Axis(SweepAxisKind::kRates, {1.0, 1.5}), tcp});
  ASSERT_EQ(VariantCount(sweep), 8u);

  // Variant 7: capacity x2, rates x1.5, 3 TCP classes per source.
  std::filesystem::create_directories(folder / "v7");
  const auto doc = BuildVariant(sweep, 7, folder / "v7", Open);
  EXPECT_EQ(doc->GetLinks()[2]->GetForwardQueue()->serviceRate, 600.0);
  EXPECT_EQ(doc->GetLinks()[2]->GetBackwardQueue()->serviceRate, 600.0);
  EXPECT_EQ(doc->GetLinks()[0]->GetForwardQueue()->serviceRate, 1000.0);  // S1 - R is not between R and D
  ASSERT_EQ(doc->GetClasses().size(), 2u + 6u);
  EXPECT_EQ(static_cast<CConstPoissonClass&>(*doc->GetClasses()[0]).rate, 150.0);
  const auto& rateClass = static_cast<CTdPoissonClass&>(*doc->GetClasses()[1]);
  EXPECT_EQ(test::ReadText(rateClass.rateFileName), "0.000000 15.000000\n1.500000 60.000000\n");
  EXPECT_EQ(test::ReadText(folder / "rates.vlr"), "0 10\n1.5 40\n");  // the base's file is untouched
  for (size_t i = 2; i < doc->GetClasses().size(); ++i) EXPECT_EQ(doc->GetClasses()[i]->GetType(), kTypeTCP);

  // The same variant built again draws the same classes (the seed is the axis's, not the clock's).
  std::filesystem::create_directories(folder / "again");
  const auto again = BuildVariant(sweep, 7, folder / "again", Open);
  for (size_t i = 2; i < doc->GetClasses().size(); ++i)
    EXPECT_EQ(doc->GetClasses()[i]->GetDestinationNumber(), again->GetClasses()[i]->GetDestinationNumber());
}

TEST(SweepVariants, BadSweepsAreRefusedNamingTheElement) {
  ScratchFolder folder("sweep");
  SaveNetwork(folder);
  auto message = [&](std::vector<SweepAxis> axes) {
    return ValidateSweep(Sweep(folder, std::move(axes)), Open).value_or("");
  };
  EXPECT_EQ(message({Axis(SweepAxisKind::kRates, {1.0})}), "");
  EXPECT_EQ(message({Axis(SweepAxisKind::kRates, {})}), "sweep.json: axis 1 (axis): the list of values is empty.");
  EXPECT_EQ(message({Axis(SweepAxisKind::kRates, {1.0}), Axis(SweepAxisKind::kLink, {2.0}, "S1", "D")}),
            "sweep.json: axis 2 (axis): no link lies between nodes matching \"S1\" and \"D\".");
  EXPECT_EQ(message({Axis(SweepAxisKind::kTcp, {1}, "X", "")}),
            "sweep.json: axis 1 (axis): no node matches the source filter \"X\".");
  EXPECT_NE(message({Axis(SweepAxisKind::kTcp, {1.5}, "S", "D")}).find("whole number"), std::string::npos);

  SweepDefinition missing = Sweep(folder, {Axis(SweepAxisKind::kRates, {1.0})});
  missing.baseNetwork = folder / "none.net";
  const std::string text = ValidateSweep(missing, Open).value_or("");
  EXPECT_NE(text.find("the base network " + (folder / "none.net") + " does not open"), std::string::npos) << text;
}

}  // namespace
}  // namespace varlo
