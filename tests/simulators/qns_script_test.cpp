#include "simulators/qns_script.h"

#include <gtest/gtest.h>

#include "model/const_poisson_class.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "sim_test_support.h"

namespace varlo {
namespace {

using test::ExampleNetwork;
using test::ScratchFolder;

TEST(QNSScript, WorkedExampleAndItsCommandLine) {
  ExampleNetwork net;
  net.doc.AddClass(std::make_unique<CTdPoissonClass>(net.a, net.b, 0.0, 0.0, "rates.vlr"));
  ScratchFolder folder;
  QNSScriptOptions options;
  options.title = "net1.net";
  options.scriptPath = folder / DefaultQNSScriptName(options.title);
  options.monitoredQueues = {net.link->GetForwardQueue()};
  const QNSScriptResult result = WriteQNSScript(net.doc, options);
  EXPECT_EQ(result.status, QNSScriptStatus::kComplete);
  EXPECT_EQ(test::ReadText(result.scriptPath),
            "l 1 2 3 1000.000000 0.0 20.000000\n"
            "l 2 1 3 500.000000 0.0 10.000000\n"
            "t 4 rates.vlr 0.0 1 2\n"
            "d 1 2 net1.net_A_1_B_2.tr\n");

  options.scriptPath = DefaultQNSScriptName(options.title);
  options.simulationLength = 15;
  EXPECT_EQ(QNSCommandLine(options), "qns net1.net.qns zero outqns noutqns 0.0 15.000000 0.100000 1 0");
  const SimulatorRequest request = MakeQNSRunRequest(net.doc, options);
  EXPECT_EQ(request.arguments, (std::vector<std::string>{"qns", "net1.net.qns", "zero", "outqns", "noutqns",
                                                         "0.0", "15.000000", "0.100000", "1", "0"}));
  EXPECT_EQ(request.errorFileName, "tmp_out_qns");
  EXPECT_EQ(request.failureMessage, "Error Running qns !");
}

TEST(QNSScript, LinksWithoutClassesGiveQueueThenDumpRecords) {
  ExampleNetwork net;
  QNSScriptOptions options;
  options.title = "T";
  options.linkService = 2;
  options.simulationLength = 99;
  options.dumpResolution = 0.25;
  net.link->GetBackwardQueue()->bufferSize = 0.5;
  options.monitoredQueues = {net.link->GetBackwardQueue()};
  const QNSScriptText script = BuildQNSScript(net.doc, options);
  EXPECT_EQ(script.status, QNSScriptStatus::kComplete);
  // Length and resolution reach qns only through its command line.
  EXPECT_EQ(script.text,
            "l 1 2 2 1000.000000 0.0 20.000000\n"
            "l 2 1 2 500.000000 0.0 0.500000\n"
            "d 2 1 T_B_2_A_1.tr\n");
}

TEST(QNSScript, UnsupportedClassStopsWithAPartialFile) {
  ExampleNetwork net;
  ScratchFolder folder;
  const std::string trace = folder / "a.vlt";
  test::WriteText(trace, "0.1\n0.2\n");
  net.doc.AddClass(std::make_unique<CTraceClass>(net.a, net.b, 0.0, 0.0, trace, 0.1));
  net.doc.AddClass(std::make_unique<CConstPoissonClass>(net.a, net.b, 0.0, 0.0, 10.0));
  net.doc.AddClass(std::make_unique<CTdPoissonClass>(net.b, net.a, 0.0, 0.0, "late.vlr"));
  QNSScriptOptions options;
  options.title = "T";
  options.scriptPath = folder / "partial.qns";
  options.monitoredQueues = {net.link->GetForwardQueue()};
  const QNSScriptResult result = WriteQNSScript(net.doc, options);
  EXPECT_EQ(result.status, QNSScriptStatus::kUnsupportedClass);
  EXPECT_EQ(test::ReadText(result.scriptPath),
            "l 1 2 3 1000.000000 0.0 20.000000\n"
            "l 2 1 3 500.000000 0.0 10.000000\n"
            "t 1 " +
                trace + ".i 0.0 1 2\n");
  EXPECT_STREQ(kQNSUnsupportedClassMessage, "QNS supports only Trace/Time-dependent Poisson classes !!");
}

}  // namespace
}  // namespace varlo
