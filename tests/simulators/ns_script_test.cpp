#include "simulators/ns_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <vector>

#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/trace_class.h"
#include "model/archive.h"
#include "sim_test_support.h"
#include "simulators/random.h"

namespace varlo {
namespace {

using test::ExampleNetwork;
using test::ScratchFolder;

constexpr const char* kExampleScript =
    "set ns [new Simulator]\n"
    "\n"
    "\n"
    "#\n"
    "# Nodes Definition\n"
    "#\n"
    "\n"
    "set node_A_1 [$ns node]\n"
    "set node_B_2 [$ns node]\n"
    "\n"
    "#\n"
    "# Queues Definition\n"
    "#\n"
    "\n"
    "$ns simplex-link $node_A_1 $node_B_2  8000000.000000bps  0.010000s  DropTail\n"
    "$ns queue-limit $node_A_1 $node_B_2 20.000000kb\n"
    "$ns simplex-link $node_B_2 $node_A_1  4000000.000000bps  0.020000s  DropTail\n"
    "$ns queue-limit $node_B_2 $node_A_1 10.000000kb\n"
    "\n"
    "#\n"
    "# Class Definition\n"
    "#\n"
    "\n"
    "\n"
    "#\n"
    "# Dumping Definition \n"
    "#\n"
    "\n"
    "set file_A_1_B_2 [open net1.net_A_1_B_2.tr w]\n"
    "set qmon_A_1_B_2 [$ns monitor-queue $node_A_1 $node_B_2 $file_A_1_B_2]\n"
    "$qmon_A_1_B_2 trace $file_A_1_B_2\n"
    "\n"
    "$ns at 15.000000 \"finish\"\n"
    "proc finish {} {\n"
    "\tglobal ns \n"
    "\t$ns flush-trace\n"
    "\texit 0\n"
    "}\n"
    "$ns run\n";

TEST(NSScript, WorkedExampleByteForByte) {
  ExampleNetwork net;
  ScratchFolder folder;
  NSScriptOptions options;
  options.title = "net1.net";
  options.scriptPath = folder / DefaultNSScriptName(options.title);
  options.simulationLength = net.doc.totalTime;
  options.monitoredQueues = {net.link->GetForwardQueue()};
  const NSScriptResult result = WriteNSScript(net.doc, options);
  EXPECT_EQ(result.scriptPath, folder / "net1.net.tcl");
  EXPECT_EQ(test::ReadText(result.scriptPath), kExampleScript);
}

// The script's Exponential source is on/off and offers about half the class rate; the option
// makes each UDP Poisson source send single packets at once (a rate far above any link) with
// exponential gaps of mean 1/rate. Without it the script is as first written; other kinds are
// never touched.
TEST(NSScript, PoissonOptionMakesOnlyTheConstantRateSourcesPoisson) {
  ExampleNetwork net;
  auto udp = std::make_unique<CConstPoissonClass>(net.a, net.b, 0.0, 0.0, 400.0);
  CConstPoissonClass* poisson = udp.get();
  net.doc.AddClass(std::move(udp));
  net.doc.AddClass(std::make_unique<CTCPClass>(net.b, net.a, 0.0, 0.0, 0.0));
  NSScriptOptions options;
  options.title = "net1.net";
  options.seed = 1;
  const std::string asWritten = BuildNSScript(net.doc, options);
  options.poissonSources = true;
  const std::string withPoisson = BuildNSScript(net.doc, options);

  const std::string name = poisson->GetScriptName();
  const std::string lines = "$poisson_" + name + " set burst_time_ 0\n$poisson_" + name +
                            " set idle_time_ 0.002500000\n$poisson_" + name + " set rate_ 1000000000000\n";
  EXPECT_EQ(PoissonSourceLines(name, 400.0), lines);
  EXPECT_EQ(asWritten.find("idle_time_"), std::string::npos);
  // The lines follow the class's own piece, and they are the only difference.
  const size_t at = withPoisson.find(lines);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(withPoisson.substr(0, at) + withPoisson.substr(at + lines.size()), asWritten);
  EXPECT_GT(at, withPoisson.find("$ns at 0.000000 \"$agent_" + name + " start\""));
  EXPECT_EQ(withPoisson.find("idle_time_", at + lines.size()), std::string::npos);
}

TEST(NSScript, EmptyNetworkHasHeaderBannersAndFinishOnly) {
  CVarloDoc doc;
  NSScriptOptions options;
  options.title = "Untitled";
  options.simulationLength = 2.5;
  EXPECT_EQ(BuildNSScript(doc, options),
            "set ns [new Simulator]\n\n"
            "\n#\n# Nodes Definition\n#\n\n"
            "\n#\n# Queues Definition\n#\n\n"
            "\n#\n# Class Definition\n#\n\n"
            "\n#\n# Dumping Definition \n#\n"
            "\n$ns at 2.500000 \"finish\"\nproc finish {} {\n\tglobal ns \n\t$ns flush-trace\n\texit "
            "0\n}\n$ns run\n");
}

TEST(NSScript, MonitorsFollowTheGivenListAndUseScriptNames) {
  CVarloDoc doc;
  CGraphicNode* x = test::AddNode(doc, 7, "a b(c)");
  CGraphicNode* y = test::AddNode(doc, 9, "Y");
  CGraphicLink* link = test::AddLink(doc, x, y, 10, 5, 0.1, 10, 5, 0.1);
  NSScriptOptions options;
  options.title = "T";
  options.monitoredQueues = {link->GetBackwardQueue(), link->GetForwardQueue()};
  const std::string script = BuildNSScript(doc, options);
  const size_t backward = script.find("set file_Y_9_a_b_c__7 [open T_Y_9_a_b_c__7.tr w]\n");
  const size_t forward = script.find("set file_a_b_c__7_Y_9 [open T_a_b_c__7_Y_9.tr w]\n");
  ASSERT_NE(backward, std::string::npos);
  ASSERT_NE(forward, std::string::npos);
  EXPECT_LT(backward, forward);
  EXPECT_NE(script.find("$qmon_a_b_c__7_Y_9 trace $file_a_b_c__7_Y_9\n"), std::string::npos);
}

// The start times written for the classes, in script order.
std::vector<double> StartTimes(const std::string& script) {
  static const std::regex start(R"(\$ns at ([0-9.]+) "\$(agent|ftp)_\S+ start")");
  std::vector<double> times;
  for (std::sregex_iterator it(script.begin(), script.end(), start), end; it != end; ++it) {
    times.push_back(std::stod((*it)[1]));
  }
  return times;
}

struct DelayNetwork : ExampleNetwork {
  DelayNetwork() {
    for (int i = 0; i < 5; ++i) {
      doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0.0, 10.0, 100.0));
      doc.AddClass(std::make_unique<CTCPClass>(b, a, 0.0, 10.0, 0.0));
    }
  }
};

TEST(NSScriptStartDelay, ZeroDelayDrawsNothing) {
  DelayNetwork net;
  NSScriptOptions options;
  options.title = "d";
  options.seed = 1234;
  const std::string script = BuildNSScript(net.doc, options);
  EXPECT_EQ(ProcessRandom().GetState(), 1234u);
  for (double t : StartTimes(script)) EXPECT_EQ(t, 0.0);
  EXPECT_EQ(StartTimes(script).size(), 10u);
}

TEST(NSScriptStartDelay, OneDrawPerClassInListOrderWholeSecondsFor16384) {
  DelayNetwork net;
  NSScriptOptions options;
  options.title = "d";
  options.maxStartDelay = 16384;
  options.seed = 99;
  const std::vector<double> times = StartTimes(BuildNSScript(net.doc, options));
  ASSERT_EQ(times.size(), 10u);
  CRandom expected(99);
  for (double t : times) {
    EXPECT_EQ(t, static_cast<double>(expected.Next14()));
    EXPECT_GE(t, 0.0);
    EXPECT_LE(t, 16383.0);
  }
  EXPECT_EQ(ProcessRandom().GetState(), expected.GetState());
}

TEST(NSScriptStartDelay, OffsetIsAFractionOfTheMaximumAddedToTheStart) {
  ExampleNetwork net;
  net.doc.AddClass(std::make_unique<CConstPoissonClass>(net.a, net.b, 2.0, 3.0, 1.0));
  NSScriptOptions options;
  options.title = "d";
  options.maxStartDelay = 1.0;
  options.seed = 1;  // first value 41: offset 41/16384 s
  const std::string script = BuildNSScript(net.doc, options);
  char expected[64];
  std::snprintf(expected, sizeof expected, "$ns at %lf \"$agent_", 2.0 + 41.0 / 16384.0);
  EXPECT_NE(script.find(expected), std::string::npos) << script;
  // The stop time carries no offset.
  EXPECT_NE(script.find("$ns at 3.000000 \"$ns detach-agent"), std::string::npos);
}

TEST(NSScriptName, ExtensionRule) {
  EXPECT_EQ(ApplyScriptExtension("a", ".tcl"), "a.tcl");
  EXPECT_EQ(ApplyScriptExtension("net.TCL", ".tcl"), "net.TCL.tcl");
  EXPECT_EQ(ApplyScriptExtension("net.tcl", ".tcl"), "net.tcl");
  EXPECT_EQ(ApplyScriptExtension(".tcl", ".tcl"), ".tcl");
  EXPECT_EQ(ApplyScriptExtension("tcl", ".tcl"), "tcl.tcl");
  EXPECT_EQ(ApplyScriptExtension("x.qns", ".qns"), "x.qns");
  EXPECT_EQ(ApplyScriptExtension("x.tcl", ".qns"), "x.tcl.qns");
  EXPECT_EQ(DefaultNSScriptName("net1.net"), "net1.net.tcl");
}

TEST(NSScriptFile, RelativeNameGoesToTheDocumentFolder) {
  ExampleNetwork net;
  ScratchFolder folder;
  net.doc.OnSaveDocument(folder / "net1.net");
  NSScriptOptions options;
  options.title = "net1.net";
  options.scriptPath = "net1.net.tcl";
  const NSScriptResult result = WriteNSScript(net.doc, options);
  EXPECT_TRUE(std::filesystem::exists(folder / "net1.net.tcl")) << result.scriptPath;
}

TEST(NSScriptFile, UnwritableScriptThrowsFileError) {
  ExampleNetwork net;
  ScratchFolder folder;
  NSScriptOptions options;
  options.title = "t";
  options.scriptPath = folder / "missing/dir/t.tcl";
  EXPECT_THROW(WriteNSScript(net.doc, options), CFileException);
}

TEST(NSScriptFile, TraceClassBinaryTraceIsPlacedBesideTheScript) {
  ExampleNetwork net;
  ScratchFolder traces("traces");
  ScratchFolder scripts("scripts");
  const std::string trace = traces / "t1.vlt";
  test::WriteText(trace, "0.0\n0.5\n1.25\n");
  net.doc.AddClass(std::make_unique<CTraceClass>(net.a, net.b, 0.0, 0.0, trace, 0.1));
  NSScriptOptions options;
  options.title = "t";
  options.scriptPath = scripts / "t.tcl";
  const NSScriptResult result = WriteNSScript(net.doc, options);
  ASSERT_EQ(result.copiedTraces.size(), 1u);
  EXPECT_EQ(result.copiedTraces[0], scripts / "t1.vlt.nstrace");
  // Two records of 8 bytes: 500000 us and 750000 us, 1000 bytes each.
  const std::string bytes = test::ReadText(scripts / "t1.vlt.nstrace");
  EXPECT_EQ(bytes, std::string("\x00\x07\xA1\x20\x00\x00\x03\xE8\x00\x0B\x71\xB0\x00\x00\x03\xE8", 16));
  EXPECT_NE(test::ReadText(result.scriptPath).find("filename t1.vlt.nstrace\n"), std::string::npos);
}

TEST(NSMonitors, SelectionKeepsListOrderEachOnce) {
  ExampleNetwork net;
  CGraphicNode* c = test::AddNode(net.doc, 3, "C");
  CGraphicLink* second = test::AddLink(net.doc, net.b, c, 1, 1, 1, 1, 1, 1);
  const std::vector<CQueue*> all = MonitorableQueues(net.doc);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0], net.link->GetForwardQueue());
  EXPECT_EQ(all[3], second->GetBackwardQueue());
  EXPECT_EQ(SelectMonitoredQueues(net.doc, {all[3], all[1], all[3]}), (std::vector<CQueue*>{all[1], all[3]}));
  EXPECT_EQ(FindQueue(net.doc, 3, 2), second->GetBackwardQueue());
  EXPECT_EQ(FindQueue(net.doc, 1, 2), net.link->GetForwardQueue());
  EXPECT_EQ(FindQueue(net.doc, 1, 3), nullptr);
}

}  // namespace
}  // namespace varlo
