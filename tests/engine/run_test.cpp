// The two evaluation runs: set-up, sampling of the dump, end of run, failures, and equality with
// the plain transcription kept in reference_run.cpp.
#include "engine/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "engine/dump_file.h"
#include "engine/tcp_profile.h"
#include "platform/core/thread_pool.h"
#include "reference_run.h"
#include "run_network.h"

namespace varlo {
namespace {

using test::NetBuilder;
using test::OneLinkWithUdp;
using test::ProfileGuard;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> Fields(const std::string& row) {
  std::vector<std::string> fields;
  std::string current;
  for (char c : row) {
    if (c == ' ' || c == '\t') {
      if (!current.empty()) fields.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) fields.push_back(current);
  return fields;
}

RunResult RunTo(CVarloDoc& doc, RunMethod method, const std::string& dump, RunOptions options = {}) {
  doc.dumpFilePath = dump;
  if (!options.documentPath) options.documentPath = "/nets/test.net";
  return Run(doc, method, options);
}

// --- layout and sampling ---------------------------------------------------------------------

TEST(RunDumpLayout, NetworkWithoutLinksOrClassesWritesTheTimeAlone) {
  TempFolder folder;
  NetBuilder net;
  net.Node("A");
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("empty.dmp"));
  ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
  const std::vector<std::string> lines = Lines(ReadText(folder.File("empty.dmp")));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "/nets/test.net");
  EXPECT_EQ(lines[1], "0 0 150");
  EXPECT_EQ(lines[2], "0.000000\t");
  // Ten additions of 0.01 stay just below 0.1, so the second row falls on the eleventh step.
  EXPECT_EQ(lines[3], "0.110000\t");
  EXPECT_EQ(static_cast<std::int64_t>(lines.size() - 2), result.rowsWritten);
}

TEST(RunDumpLayout, TwoLinksAndOneClassGiveFourteenNumbersPerRow) {
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  auto* c = net.Node("C");
  net.Link(a, b, 100, 10, 0.01);
  net.Link(b, c, 100, 10, 0.01);
  net.Udp(a, c, 50);
  net.doc->totalTime = 1;
  net.doc->dumpInterval = 0.1;
  for (RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    ASSERT_EQ(RunTo(*net.doc, method, folder.File("l.dmp")).status, RunStatus::kCompleted);
    const std::vector<std::string> lines = Lines(ReadText(folder.File("l.dmp")));
    EXPECT_EQ(lines[1], "2 1 10");
    for (size_t i = 2; i < lines.size(); ++i) {
      EXPECT_EQ(Fields(lines[i]).size(), 14u) << lines[i];
      EXPECT_EQ(lines[i].substr(lines[i].size() - 1), "\t");
    }
    EXPECT_EQ(Fields(lines[2])[0], "0.000000");
  }
}

// The row times of the defaults, worked out here from the sampling rule: the step times come from
// repeated addition of 0.01, and a row falls on the first step time at or after each threshold.
TEST(RunSampling, DefaultsGiveRowsAtTheFirstStepTimeAfterEachThreshold) {
  TempFolder folder;
  NetBuilder net;
  net.Node("A");
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("d.dmp"));
  ASSERT_EQ(result.status, RunStatus::kCompleted);

  std::vector<std::string> expected;
  double t = 0, threshold = 0;
  int steps = 0;
  do {
    if (t >= threshold) {
      char text[64];
      std::snprintf(text, sizeof text, "%lf", t);
      expected.emplace_back(text);
      threshold += 0.1;
    }
    t += 0.01;
    ++steps;
  } while (t < 15);

  EXPECT_EQ(result.steps, steps);
  EXPECT_NEAR(steps, 1500, 1);
  const std::vector<std::string> lines = Lines(ReadText(folder.File("d.dmp")));
  std::vector<std::string> times;
  for (size_t i = 2; i < lines.size(); ++i) times.push_back(Fields(lines[i])[0]);
  EXPECT_EQ(times, expected);
  EXPECT_NEAR(static_cast<double>(times.size()), 150.0, 1.0);
  EXPECT_EQ(times.front(), "0.000000");
}

TEST(RunSampling, StepLongerThanTheIntervalWritesARowEveryStep) {
  TempFolder folder;
  NetBuilder net;
  net.Node("A");
  net.doc->totalTime = 2;
  net.doc->runningStep = 0.5;
  net.doc->dumpInterval = 0.1;
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("s.dmp"));
  ASSERT_EQ(result.status, RunStatus::kCompleted);
  const std::vector<std::string> lines = Lines(ReadText(folder.File("s.dmp")));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "0 0 20");
  EXPECT_EQ(lines[2], "0.000000\t");
  EXPECT_EQ(lines[3], "0.500000\t");
  EXPECT_EQ(lines[4], "1.000000\t");
  EXPECT_EQ(lines[5], "1.500000\t");
}

TEST(RunSampling, TotalTimeBelowTheFirstStepStillGivesOneRow) {
  TempFolder folder;
  NetBuilder net;
  net.Node("A");
  net.doc->totalTime = 1;
  net.doc->runningStep = 5;
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("o.dmp"));
  EXPECT_EQ(result.steps, 1);
  EXPECT_EQ(result.rowsWritten, 1);
}

// --- hand-computed rows ----------------------------------------------------------------------

// One link A-B (mu 100 packets/s, K 10) and a UDP class of 50 packets/s from A to B.
// At time 0 the forward queue is empty, so Compute Metrics shows lambda/mu = 0.5. One step of
// 0.01 s brings 0.5 packets against a capacity of 1: the queue stays empty, serves 0.5 (U = 0.5)
// and the class's packets pass through, so every later row reads 0.5 0.5 0 for the forward queue.
TEST(RunComputeMetricsRows, FirstRowShowsOfferedLoadThenTheFluidStep) {
  TempFolder folder;
  NetBuilder net;
  OneLinkWithUdp(net);
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("h.dmp")).status, RunStatus::kCompleted);
  const std::vector<std::string> lines = Lines(ReadText(folder.File("h.dmp")));
  EXPECT_EQ(lines[2], "0.000000\t0.500000 0.000000 0.000000\t0.000000 0.000000 0.000000\t50.000000\t");
  EXPECT_EQ(lines[3], "0.110000\t0.500000 0.500000 0.000000\t0.000000 0.000000 0.000000\t50.000000\t");
}

TEST(RunZIterationRows, FirstRowIsAllZerosForTheQueues) {
  TempFolder folder;
  NetBuilder net;
  OneLinkWithUdp(net);
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kZIteration, folder.File("z.dmp")).status, RunStatus::kCompleted);
  const std::vector<std::string> lines = Lines(ReadText(folder.File("z.dmp")));
  EXPECT_EQ(lines[2], "0.000000\t0.000000 0.000000 0.000000\t0.000000 0.000000 0.000000\t50.000000\t");
  // Later the forward queue carries the load: rho near lambda/(2 mu) given U = min(2 rho, 1).
  const std::vector<std::string> last = Fields(lines.back());
  EXPECT_GT(std::stod(last[2]), 0.4);
  EXPECT_LT(std::stod(last[2]), 0.6);
}

// --- equality with the transcription -----------------------------------------------------------

// Node names built without string concatenation, which GCC 12's -Wrestrict misreads at -O3.
std::string Numbered(const char* prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%d", prefix, i);
  return name;
}

using Builder = std::function<void(NetBuilder&, const TempFolder&)>;

void LineNetwork(NetBuilder& net, const TempFolder& folder) {
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  auto* c = net.Node("C");
  net.Link(a, b, 100, 10, 0.01);
  net.Link(b, c, 50, 12, 0.02);
  net.Udp(a, c, 40);
  net.Udp(c, a, 30, 1, 3);
  net.Tcp(a, c, 0.01);
  WriteText(folder.File("line.vlr"), "0 10\n0.5 45\n1.2 5\n2.5 60\n");
  net.RateFile(b, a, folder.File("line.vlr"));
  net.doc->totalTime = 4;
}

void Dumbbell(NetBuilder& net, const TempFolder& folder) {
  auto* r1 = net.Node("R1");
  auto* r2 = net.Node("R2");
  net.Link(r1, r2, 200, 120, 0.01);
  for (int i = 0; i < 4; ++i) {
    auto* s = net.Node(Numbered("S", i));
    auto* d = net.Node(Numbered("D", i));
    net.Link(s, r1, 1000, 50, 0.001);
    net.Link(r2, d, 1000, 50, 0.001);
    if (i < 2) {
      net.Tcp(s, d, 0.005 * (i + 1));
    } else {
      net.Udp(s, d, 60 + 20 * i, i == 3 ? 1.0 : 0.0, i == 3 ? 3.0 : 0.0);
    }
  }
  WriteText(folder.File("bell.vlt"), "0.01\n0.02\n0.05\n0.3\n0.31\n0.32\n0.9\n1.4\n1.45\n2.2\n");
  net.Trace(net.doc->FindNode(3), net.doc->FindNode(4), folder.File("bell.vlt"), 0.1);
  net.doc->totalTime = 3;
}

void LargeBuffers(NetBuilder& net, const TempFolder&) {
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  auto* c = net.Node("C");
  net.Link(a, b, 100, 200, 0.01);
  net.Link(b, c, 100, 150, 0.01);
  net.Udp(a, c, 130, 0, 2);
  net.Udp(b, c, 40, 1, 4);
  net.Tcp(c, a, 0.02);
  net.doc->totalTime = 5;
}

void Mesh(NetBuilder& net, const TempFolder&) {
  std::vector<CGraphicNode*> n;
  for (int i = 0; i < 6; ++i) n.push_back(net.Node(Numbered("M", i)));
  auto* island = net.Node("Island");
  for (int i = 0; i < 6; ++i) net.Link(n[i], n[(i + 1) % 6], 80 + 10 * i, i % 2 ? 5000 : 15, 0.005 * i);
  net.Link(n[0], n[3], 150, 30, 0.002);
  net.Udp(n[0], n[4], 70);
  net.Udp(n[5], n[2], 50, 0.5, 2.5);
  net.Udp(n[1], n[1], 20);    // source is destination: loads nothing
  net.Udp(n[2], island, 25);  // unreachable
  net.Tcp(n[4], n[1], 0.001);
  net.Tcp(n[3], n[0], 0.0, 1, 1);
  net.doc->totalTime = 3;
}

struct Topology {
  const char* name;
  Builder build;
};

class RunMatchesTranscription : public ::testing::TestWithParam<std::tuple<Topology, RunMethod, int>> {};

TEST_P(RunMatchesTranscription, SameDumpNumberForNumber) {
  const auto& [topology, method, profile] = GetParam();
  ProfileGuard guard(profile);
  TempFolder folder;
  NetBuilder fast, plain;
  topology.build(fast, folder);
  topology.build(plain, folder);
  const RunResult result = RunTo(*fast.doc, method, folder.File("fast.dmp"));
  const test::ReferenceDump reference = method == RunMethod::kComputeMetrics
                                            ? test::ReferenceComputeMetrics(*plain.doc, "/nets/test.net")
                                            : test::ReferenceZIteration(*plain.doc, "/nets/test.net");
  EXPECT_EQ(result.status == RunStatus::kProfileOutOfTable, reference.outOfTable) << result.message;
  const std::string written = ReadText(folder.File("fast.dmp"));
  if (!reference.outOfTable) {
    EXPECT_GT(Lines(written).size(), 5u);
  }
  EXPECT_EQ(written, reference.text);
  EXPECT_EQ(written.find("nan"), std::string::npos);
  // The run leaves its final state in the objects, as the transcription does.
  for (size_t i = 0; i < fast.doc->GetLinks().size(); ++i) {
    EXPECT_EQ(fast.doc->GetLinks()[i]->GetForwardQueue()->N, plain.doc->GetLinks()[i]->GetForwardQueue()->N);
    EXPECT_EQ(fast.doc->GetLinks()[i]->GetBackwardQueue()->arrivalRate,
              plain.doc->GetLinks()[i]->GetBackwardQueue()->arrivalRate);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Topologies, RunMatchesTranscription,
    ::testing::Combine(::testing::Values(Topology{"Line", LineNetwork}, Topology{"Dumbbell", Dumbbell},
                                         Topology{"LargeBuffers", LargeBuffers}, Topology{"Mesh", Mesh}),
                       ::testing::Values(RunMethod::kComputeMetrics, RunMethod::kZIteration),
                       ::testing::Values(static_cast<int>(kProfileNetBSD), static_cast<int>(kProfileNS))),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == RunMethod::kComputeMetrics ? "_Metrics" : "_MM1K") +
             (std::get<2>(info.param) == kProfileNS ? "_NS" : "_NetBSD");
    });

// A random network of small and large buffers, both class kinds and one class that starts late.
struct ManyQueuesSize {
  int nodes;
  size_t links;
  int classes;
  double totalTime;
  double dumpInterval;
  double runningStep;
};
// Large enough that every loop of a step is cut into enough parts to be shared by the threads: 2,200
// queues, 13,000 classes over paths of several hops (some 70,000 path entries); a short run.
constexpr ManyQueuesSize kShared{500, 1100, 13000, 0.02, 0.003, 0.001};
// Smaller and longer, for the comparison with the object-by-object transcription (which is slow).
constexpr ManyQueuesSize kTranscribed{200, 350, 3000, 0.12, 0.02, 0.01};

void ManyQueues(NetBuilder& net, const ManyQueuesSize& size) {
  std::mt19937 random(11);
  std::vector<CGraphicNode*> nodes;
  for (int i = 0; i < size.nodes; ++i) nodes.push_back(net.Node(Numbered("N", i)));
  for (size_t i = 1; i < nodes.size(); ++i) {
    net.Link(nodes[i], nodes[random() % i], 800 + static_cast<double>(random() % 400), i % 3 == 0 ? 60 : 4000, 0.002);
  }
  while (net.doc->GetLinks().size() < size.links) {
    CGraphicNode* a = nodes[random() % nodes.size()];
    CGraphicNode* b = nodes[random() % nodes.size()];
    if (a != b && net.doc->FindLink(a, b) == nullptr) net.Link(a, b, 1000, 5000, 0.001);
  }
  for (int i = 0; i < size.classes; ++i) {
    CGraphicNode* a = nodes[random() % nodes.size()];
    CGraphicNode* b = nodes[random() % nodes.size()];
    if (i % 2 == 0) {
      net.Tcp(a, b, 0.01, i == 10 ? 0.005 : 0.0, i == 10 ? 1.0 : 0.0);
    } else {
      net.Udp(a, b, 1 + static_cast<double>(random() % 5));
    }
  }
  net.doc->totalTime = size.totalTime;
  net.doc->dumpInterval = size.dumpInterval;
  net.doc->runningStep = size.runningStep;
}

// The dump must not depend on how many threads share the parts, and with several threads the classic
// model must still match its transcription number for number.
TEST(RunThreads, DumpIsTheSameForOneAndSeveralThreads) {
  ProfileGuard guard(kProfileNS);
  const int saved = GetWorkerThreads();
  const auto run = [](const ManyQueuesSize& size, EvaluationModel model, RunMethod method, int threads) {
    SetWorkerThreads(threads);
    TempFolder folder;
    NetBuilder net;
    ManyQueues(net, size);
    RunOptions options;
    options.model = model;
    const RunResult result = RunTo(*net.doc, method, folder.File("run.dmp"), options);
    EXPECT_EQ(result.status, RunStatus::kCompleted) << result.message;
    return ReadText(folder.File("run.dmp"));
  };
  for (const EvaluationModel model : {EvaluationModel::kClassic, EvaluationModel::kRefined}) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      SCOPED_TRACE(std::string(EvaluationModelName(model)) +
                   (method == RunMethod::kComputeMetrics ? " Compute Metrics" : " Z-iteration"));
      const std::string one = run(kShared, model, method, 1);
      EXPECT_GT(Lines(one).size(), 5u);
      EXPECT_EQ(one, run(kShared, model, method, 3));
      // The refined model has no transcription; the classic one must match its own number for number.
      if (model == EvaluationModel::kRefined) continue;
      NetBuilder plain;
      ManyQueues(plain, kTranscribed);
      const test::ReferenceDump reference = method == RunMethod::kComputeMetrics
                                                ? test::ReferenceComputeMetrics(*plain.doc, "/nets/test.net")
                                                : test::ReferenceZIteration(*plain.doc, "/nets/test.net");
      EXPECT_EQ(run(kTranscribed, model, method, 3), reference.text);
    }
  }
  SetWorkerThreads(saved);
}

// The desktop program runs the engine on a worker thread; the views are the GUI thread's, so the
// routes a run computes for itself must not reach them (the caller notifies them afterwards).
TEST(RunThreads, RoutesComputedByARunNotifyNoView) {
  struct CountingView : IDocumentView {
    int updates = 0;
    void OnUpdate(IDocumentView*, int, CPersistent*) override { ++updates; }
  } view;
  TempFolder folder;
  NetBuilder net;
  OneLinkWithUdp(net);
  net.doc->routesValid = false;
  net.doc->AddView(&view);
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("run.dmp"));
  net.doc->RemoveView(&view);
  ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
  EXPECT_TRUE(net.doc->routesValid);
  EXPECT_EQ(view.updates, 0);
  // The class found its path: the queue A -> B sends its 50 of 100 packets/s (U, the row's third number).
  const std::vector<std::string> row = Fields(Lines(ReadText(folder.File("run.dmp"))).back());
  ASSERT_GT(row.size(), 2u);
  EXPECT_EQ(row[2], "0.500000");
}

// --- TCP profiles --------------------------------------------------------------------------------

// A UDP class of 300 packets/s fills a 20-packet buffer served at 100 packets/s within a tenth of a
// second, so the loss becomes 1. A TCP class starting at 0.5 s then asks for a loss of 100 %:
// outside both tables. The NS profile has a value there, the NetBSD profile stops the run.
void FillingQueueWithLateTcp(NetBuilder& net) {
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  net.Link(a, b, 100, 20, 0.01);
  net.Udp(a, b, 300);
  net.Tcp(a, b, 0.01, 0.5, 3);
  net.doc->totalTime = 2;
}

TEST(RunTcpProfiles, NetBsdOutOfTableStopsTheRunKeepingEarlierRows) {
  TempFolder folder;
  std::string ns, netbsd;
  {
    ProfileGuard guard(kProfileNS);
    NetBuilder net;
    FillingQueueWithLateTcp(net);
    const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("ns.dmp"));
    ASSERT_EQ(result.status, RunStatus::kCompleted);
    ns = ReadText(folder.File("ns.dmp"));
  }
  {
    ProfileGuard guard(kProfileNetBSD);
    NetBuilder net;
    FillingQueueWithLateTcp(net);
    const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("bsd.dmp"));
    ASSERT_EQ(result.status, RunStatus::kProfileOutOfTable);
    // The message, then the class, the time and the point it asked for.
    EXPECT_EQ(result.message,
              "NS surface computed only for Blocking = 0 \nThe traffic class A -> B asked at time 0.500000 for a "
              "round trip of 0.230000 s and a loss of 1.000000; the NetBSD 1.2 Profile covers losses below 0.39 and "
              "round trips below 49.99 s (the NS Profile and the refined model cover every point).");
    EXPECT_FALSE(net.doc->routesValid);
    netbsd = ReadText(folder.File("bsd.dmp"));
    EXPECT_EQ(result.rowsWritten, 5);
  }
  // The rows before the stop are those of the NS run, where the TCP class was not yet active.
  ASSERT_LT(netbsd.size(), ns.size());
  EXPECT_EQ(ns.substr(0, netbsd.size()), netbsd);
  EXPECT_EQ(Lines(netbsd).size(), 7u);
}

// The refined model reads the NetBSD profile beyond its table: the same network runs to its end in
// both runs, and the TCP class, whose path loses more than 39 % of its packets, still sends.
TEST(RunTcpProfiles, RefinedModelGoesOnBeyondTheNetBsdTable) {
  TempFolder folder;
  ProfileGuard guard(kProfileNetBSD);
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    NetBuilder net;
    FillingQueueWithLateTcp(net);
    RunOptions options;
    options.model = EvaluationModel::kRefined;
    const RunResult result = RunTo(*net.doc, method, folder.File("refined.dmp"), options);
    ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
    EXPECT_GE(result.endTime, 2.0);
    const auto* tcp = dynamic_cast<const CTCPClass*>(net.doc->GetClasses().back().get());
    ASSERT_NE(tcp, nullptr);
    EXPECT_GT(tcp->lastThroughput, 0.0);
    EXPECT_TRUE(std::isfinite(tcp->lastThroughput));
  }
  // A TCP class whose path crosses a link that sends nothing has an infinite round trip: it sends
  // nothing, and the run goes on.
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, 0, 20, 0.01);
    CTCPClass* tcp = net.Tcp(a, b, 0.01);
    net.doc->totalTime = 1;
    RunOptions options;
    options.model = EvaluationModel::kRefined;
    const RunResult result = RunTo(*net.doc, method, folder.File("stopped.dmp"), options);
    ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
    EXPECT_EQ(tcp->lastThroughput, 0.0);
  }
}

TEST(RunTcpProfiles, TcpThroughputComesFromTheProfileInUse) {
  TempFolder folder;
  std::string rates[2];
  for (int profile : {0, 1}) {
    ProfileGuard guard(profile);
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, 1000, 50, 0.05);
    net.Tcp(a, b, 0.0);
    net.doc->totalTime = 1;
    ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("t.dmp")).status,
              RunStatus::kCompleted);
    // Row 0: idle path, round trip 0.1 s (two delays of 0.05), no loss: 1000 T[0][10].
    rates[profile] = Fields(Lines(ReadText(folder.File("t.dmp")))[2]).back();
    const double expected = 1000 * CTcpProfiles::Instance().Lookup(profile, 0.1, 0.0);
    EXPECT_EQ(rates[profile], FormatFixed6(expected));
  }
  EXPECT_NE(rates[0], rates[1]);
}

// --- repeated runs ---------------------------------------------------------------------------------

TEST(RunRepeated, TwoRunsInARowWriteTheSameDump) {
  ProfileGuard guard(kProfileNS);
  TempFolder folder;
  NetBuilder net;
  LineNetwork(net, folder);
  for (RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    ASSERT_EQ(RunTo(*net.doc, method, folder.File("1.dmp")).status, RunStatus::kCompleted);
    ASSERT_EQ(RunTo(*net.doc, method, folder.File("2.dmp")).status, RunStatus::kCompleted);
    EXPECT_EQ(ReadText(folder.File("1.dmp")), ReadText(folder.File("2.dmp")));
  }
}

TEST(RunRepeated, LargeBufferRegimeCarriesOverToTheNextZIterationRun) {
  TempFolder folder;
  NetBuilder net;
  LargeBuffers(net, folder);
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kZIteration, folder.File("1.dmp")).status, RunStatus::kCompleted);
  const std::int32_t regimeAfterFirst = net.doc->GetLinks()[0]->GetForwardQueue()->regime;
  EXPECT_NE(regimeAfterFirst, 0);
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kZIteration, folder.File("2.dmp")).status, RunStatus::kCompleted);
  // Compute Metrics does not look at the regime: its runs repeat exactly even here.
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("3.dmp")).status, RunStatus::kCompleted);
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("4.dmp")).status, RunStatus::kCompleted);
  EXPECT_EQ(ReadText(folder.File("3.dmp")), ReadText(folder.File("4.dmp")));
}

TEST(RunRepeated, RateFileClassOffersTheSameRatesInBothRuns) {
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  net.Link(a, b, 100, 10, 0.01);
  WriteText(folder.File("r.vlr"), "0 10\n0.5 20\n");
  net.RateFile(a, b, folder.File("r.vlr"), 0, 1);
  net.doc->totalTime = 1.5;
  std::vector<std::string> columns[2];
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("r.dmp")).status,
              RunStatus::kCompleted);
    const std::vector<std::string> lines = Lines(ReadText(folder.File("r.dmp")));
    for (size_t i = 2; i < lines.size(); ++i) columns[run].push_back(Fields(lines[i]).back());
  }
  EXPECT_EQ(columns[0], columns[1]);
  ASSERT_EQ(columns[0].size(), 15u);
  EXPECT_EQ(columns[0][0], "10.000000");  // 0.0
  EXPECT_EQ(columns[0][4], "10.000000");  // 0.4
  EXPECT_EQ(columns[0][6], "20.000000");  // 0.6
  EXPECT_EQ(columns[0][14], "0.000000");  // 1.4: no longer active
}

// --- mended faults and failures ------------------------------------------------------------------

// An overloaded buffer of 20 packets: rho grows without bound in finite time while N only nears K,
// so the Z-iteration's step 0.05/|d rho/dt| would shrink forever. A buffer of 150 packets on a link
// that sends nothing: above rho = 1 its rho grows e-fold in 1/lambda seconds until rounding near
// 10^10 refused every step down to 10^-12 s, and the run never ended. Both runs end, with the queue
// full and nothing undefined written (N = K + rho/(1 - rho) of the large buffer nears K - 1).
TEST(RunMendedFaults, OverloadedBufferDoesNotHoldTheZIterationForever) {
  const struct {
    double mu, K, offered, leastN, mostN;
  } cases[] = {{100, 20, 130, 19.9, 20.0}, {0, 150, 1e4, 149.0, 149.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.K);
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, c.mu, c.K, 0.01);
    net.Udp(a, b, c.offered);
    net.doc->totalTime = 2;
    const RunResult result = RunTo(*net.doc, RunMethod::kZIteration, folder.File("f.dmp"));
    ASSERT_EQ(result.status, RunStatus::kCompleted);
    EXPECT_GE(result.endTime, 2.0);
    const std::string text = ReadText(folder.File("f.dmp"));
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    const std::vector<std::string> last = Fields(Lines(text).back());
    EXPECT_GE(std::stod(last[1]), c.leastN);
    EXPECT_LE(std::stod(last[1]), c.mostN);
    EXPECT_EQ(last[c.mu > 0 ? 2 : 3], "1.000000");  // U of the busy link, P of the one that sends nothing
  }
}

// Refined model: a buffer offered a billion times what it sends has rho growing e-fold in the time
// its arrivals take to fill it once, long after its N, P and U have reached their limits, and a link
// that sends nothing fills at once. Steps of 0.05 in rho took the Z-iteration some 10^8 steps a
// simulated second; the run now reaches its end in some two hundred, at the numbers of a full buffer.
// The same beyond the heaviest load a refined queue is held to (10^9): a link offered 10^13 packets/s
// more than it sends, and one that sends nothing offered as much, sit at that load while their rho
// rates stay near 10^6, which kept the step at its shortest (10^-8 s) for the whole run.
TEST(RunMendedFaults, RefinedZIterationCrossesHugeOverloadsInFewSteps) {
  struct Overload {
    double mu, K, offered, offeredToSilent;
  };
  for (const Overload& o : {Overload{1, 3, 1e9, 10}, Overload{1000, 50, 1e13, 1e13}}) {
    SCOPED_TRACE(o.offered);
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    auto* c = net.Node("C");
    CGraphicLink* overloaded = net.Link(a, b, o.mu, o.K, 0.01);
    CGraphicLink* stopped = net.Link(b, c, 0, 5, 0.01);
    net.Udp(a, b, o.offered);
    net.Udp(b, c, o.offeredToSilent);
    net.doc->totalTime = 2;
    net.doc->ComputeRoutes();
    net.doc->routesValid = true;
    RunOptions options;
    options.model = EvaluationModel::kRefined;
    CZIterationEngine engine(*net.doc, options);
    RunResult prepared;
    ASSERT_TRUE(engine.PrepareForSteps(RunMethod::kZIteration, prepared));
    int steps = 0;
    for (; steps < 5000 && engine.GetTime() < 2.0; ++steps) engine.StepZIteration();
    EXPECT_GE(engine.GetTime(), 2.0) << "after " << steps << " steps";
    engine.StoreState();
    // Both buffers are full: the M/M/1/K queue at a load of 10^9 holds K less about 10^-9 packets.
    const C_MM1K_Queue& full = *overloaded->GetForwardQueue();
    EXPECT_NEAR(full.N, o.K, 1e-6);
    EXPECT_NEAR(full.P, 1.0, 1e-6);
    EXPECT_NEAR(full.U, 1.0, 1e-6);
    const C_MM1K_Queue& silent = *stopped->GetForwardQueue();
    EXPECT_NEAR(silent.N, 5.0, 1e-6);
    EXPECT_NEAR(silent.P, 1.0, 1e-6);
    EXPECT_EQ(silent.U, 0.0);
  }
}

// A buffer whose size has more than six decimals: the full queue of Compute Metrics, N = K =
// 2.9999996, read 3.000000 in the dump's six decimals, more packets than the buffer holds (and
// 150.0000007 read 150.000001). Every row's size, read back, is now at most K.
TEST(RunMendedFaults, FullBufferOfMoreThanSixDecimalsReadsNoMoreThanItHolds) {
  for (const double K : {2.9999996, 150.0000007}) {
    SCOPED_TRACE(K);
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, 1000, K, 0.001);
    net.Udp(a, b, 5000);
    net.doc->totalTime = 2;
    ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("k.dmp")).status, RunStatus::kCompleted);
    const std::vector<std::string> rows = Lines(ReadText(folder.File("k.dmp")));
    ASSERT_GT(rows.size(), 3u);
    double largest = 0;
    for (size_t r = 2; r < rows.size(); ++r) {
      const std::vector<std::string> fields = Fields(rows[r]);
      ASSERT_GE(fields.size(), 2u);
      EXPECT_LE(std::stod(fields[1]), K) << rows[r];
      largest = std::max(largest, std::stod(fields[1]));
    }
    // The queue is shown full: within a millionth of K.
    EXPECT_GT(largest, K - 1e-6);
  }
}

// A class rate of -0, as a network or a rate file may give it ("-0.0", "-0"), is no rate below 0:
// every row wrote it as -0.000000. Both runs now write 0.000000.
TEST(RunMendedFaults, RateOfMinusZeroReadsAsZero) {
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, 100, 10, 0.01);
    net.Udp(a, b, -0.0);
    const std::string rates = folder.File("r.vlr");
    WriteText(rates, "0 -0\n");
    net.RateFile(a, b, rates);
    net.doc->totalTime = 1;
    ASSERT_EQ(RunTo(*net.doc, method, folder.File("z.dmp")).status, RunStatus::kCompleted);
    const std::vector<std::string> rows = Lines(ReadText(folder.File("z.dmp")));
    ASSERT_GT(rows.size(), 3u);
    for (size_t r = 2; r < rows.size(); ++r) {
      const std::vector<std::string> fields = Fields(rows[r]);
      ASSERT_EQ(fields.size(), 9u) << rows[r];
      EXPECT_EQ(fields[7], "0.000000") << rows[r];
      EXPECT_EQ(fields[8], "0.000000") << rows[r];
    }
  }
}

// At the start of a run only the first queue of a path receives the class's rate; the second has
// lambda = 0, and its share x * accepted / lambda must not become 0/0.
TEST(RunMendedFaults, IdleDownstreamQueueDoesNotTurnOccupancyIntoNaN) {
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  auto* c = net.Node("C");
  auto* d = net.Node("D");
  net.Link(a, b, 100, 10, 0.01);
  net.Link(b, c, 60, 10, 0.01);
  net.Link(c, d, 40, 10, 0.01);
  net.Udp(a, d, 90);
  net.doc->totalTime = 2;
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("n.dmp")).status, RunStatus::kCompleted);
  const std::string text = ReadText(folder.File("n.dmp"));
  EXPECT_EQ(text.find("nan"), std::string::npos);
  for (const auto& entry : net.doc->GetClasses()[0]->GetPath()) EXPECT_TRUE(std::isfinite(entry->n));
  // The last queue (C->D, 40 packets/s) saturates and drops.
  const std::vector<std::string> last = Fields(Lines(text).back());
  EXPECT_EQ(last[14], "1.000000");  // utilisation of C->D
  EXPECT_GT(std::stod(last[15]), 0.0);
}

TEST(RunFailures, DumpFileThatCannotBeCreatedIsReportedWithNameAndReason) {
  NetBuilder net;
  net.Node("A");
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, "/nonexistent-folder-varlo/x.dmp");
  EXPECT_EQ(result.status, RunStatus::kDumpNotCreated);
  EXPECT_NE(result.message.find("/nonexistent-folder-varlo/x.dmp"), std::string::npos);
  EXPECT_NE(result.message.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(result.rowsWritten, 0);
  EXPECT_FALSE(net.doc->routesValid);
}

TEST(RunFailures, MissingRateFileStopsBeforeTheFirstStepLeavingTheHeader) {
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  net.Link(a, b, 100, 10, 0.01);
  net.Udp(a, b, 10);
  net.RateFile(b, a, folder.File("missing.vlr"));
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("m.dmp"));
  EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened);
  EXPECT_NE(result.message.find("B -> A"), std::string::npos) << result.message;
  EXPECT_NE(result.message.find(folder.File("missing.vlr")), std::string::npos);
  EXPECT_EQ(ReadText(folder.File("m.dmp")), "/nets/test.net\n1 2 150\n");
  EXPECT_EQ(result.steps, 0);
}

TEST(RunFailures, UnreachableClassIsReportedBeforeTheRunAndLoadsNothing) {
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  auto* island = net.Node("Island");
  net.Link(a, b, 100, 10, 0.01);
  net.Udp(a, island, 70);
  std::vector<std::string> events;
  RunOptions options;
  options.notice = [&](const std::string& message) { events.push_back("notice: " + message); };
  options.progress = [&](const std::string& text, double) { events.push_back(text); };
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("u.dmp"), options);
  ASSERT_EQ(result.status, RunStatus::kCompleted);
  ASSERT_EQ(result.unreachableClasses.size(), 1u);
  EXPECT_EQ(result.unreachableClasses[0], net.doc->GetClasses()[0].get());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0], "notice: " + result.unreachableMessage);
  EXPECT_NE(result.unreachableMessage.find("A -> Island"), std::string::npos);
  EXPECT_EQ(events[1], "Current Time : 0.100000");
  const std::vector<std::string> lines = Lines(ReadText(folder.File("u.dmp")));
  for (size_t i = 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(lines[i].find('\t')),
              "\t0.000000 0.000000 0.000000\t0.000000 0.000000 0.000000\t70.000000\t");
  }
}

TEST(RunControl, CancelFlagEndsTheRunBetweenSteps) {
  TempFolder folder;
  NetBuilder net;
  net.Node("A");
  std::atomic<bool> cancel{false};
  RunOptions options;
  options.cancel = &cancel;
  options.progress = [&](const std::string&, double next) {
    if (next > 0.25) cancel = true;
  };
  const RunResult result = RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("c.dmp"), options);
  EXPECT_EQ(result.status, RunStatus::kCancelled);
  EXPECT_EQ(result.rowsWritten, 3);
  EXPECT_EQ(Lines(ReadText(folder.File("c.dmp"))).size(), 5u);
  EXPECT_FALSE(net.doc->routesValid);
}

TEST(RunControl, CompletedRunSetsRoutesValidAndLeavesTheViewsToTheCaller) {
  struct CountingView : IDocumentView {
    int general = 0;
    void OnUpdate(IDocumentView*, int hint, CPersistent*) override { general += hint == kHintGeneral; }
  } view;
  TempFolder folder;
  NetBuilder net;
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  net.Link(a, b, 100, 10, 0.01);
  net.doc->AddView(&view);
  net.doc->totalTime = 1;
  ASSERT_EQ(RunTo(*net.doc, RunMethod::kComputeMetrics, folder.File("v.dmp")).status, RunStatus::kCompleted);
  EXPECT_TRUE(net.doc->routesValid);
  // The run may be on a worker thread: it must not call into views, which belong to the caller's.
  EXPECT_EQ(view.general, 0);
  net.doc->RemoveView(&view);
}

}  // namespace
}  // namespace varlo
