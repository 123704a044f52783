// Networks travel between people: names and file names from them must reach the ns and qns
// scripts as inert text. The decisive check runs the real ns (skipped where it is not installed).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "model/const_poisson_class.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "model/archive.h"
#include "platform/core/script_words.h"
#include "sim_test_support.h"
#include "simulators/ns_script.h"
#include "simulators/qns_script.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using test::AddLink;
using test::AddNode;
using test::NsInstalled;
using test::ScratchFolder;

TEST(ScriptWords, FileNamesBecomeInertTclWords) {
  // Ordinary names keep their text, so ordinary scripts do not change.
  EXPECT_EQ(TclFileWord("dumbbell.net_R1_3_R2_4.tr"), "dumbbell.net_R1_3_R2_4.tr");
  EXPECT_EQ(TclFileWord("/data/t-1+2,3:4@5%6=7~.vlt"), "/data/t-1+2,3:4@5%6=7~.vlt");
  // Within braces Tcl substitutes nothing: no command, no variable, no word split.
  EXPECT_EQ(TclFileWord("a [exec touch P].tr"), "{a [exec touch P].tr}");
  EXPECT_EQ(TclFileWord("$env(HOME);x\"y"), "{$env(HOME);x\"y}");
  // open takes a leading '|' for a command pipeline.
  EXPECT_EQ(TclFileWord("|touch P"), "{./|touch P}");
  EXPECT_EQ(TclFileWord("|x"), "{./|x}");
  // What braces cannot hold is refused.
  for (const char* bad : {"a{b", "a}b", "a\\b", "a\nb", "a\tb", "a\rb"}) {
    EXPECT_THROW(TclFileWord(bad), CScriptNameException) << bad;
  }
  EXPECT_EQ(CheckQNSFileField("a b.vlr"), "a b.vlr");
  EXPECT_THROW(CheckQNSFileField("a.vlr 0.0 1 2\nt 4 b.vlr"), CScriptNameException);
}

// Names as an attacker would pick them: a node name with tabs and semicolons, a network file
// and a trace file whose names hold "[exec ...]".
struct HostileNetwork {
  ScratchFolder folder{"hostile ns"};
  CVarloDoc doc;
  CGraphicLink* link;
  std::string networkName = "n [exec touch PWNED_TITLE].net";

  HostileNetwork() {
    CGraphicNode* a = AddNode(doc, 1, "x\t1;exec\ttouch\tPWNED_NODE;set\ty");
    CGraphicNode* b = AddNode(doc, 2, "B$x[exec touch PWNED_B]");
    link = AddLink(doc, a, b, 1000, 20, 0.01, 1000, 20, 0.01);
    const std::string trace = folder / "t [exec touch PWNED_TRACE].vlt";
    test::WriteText(trace, "0.1\n0.2\n0.35\n");
    doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0.0, 0.0, 100.0));
    doc.AddClass(std::make_unique<CTraceClass>(a, b, 0.0, 0.0, trace, 0.1));
    doc.OnSaveDocument(folder / networkName);
  }
  int Pwned() const {
    int found = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
      if (entry.path().filename().string().rfind("PWNED", 0) == 0) ++found;
    }
    return found;
  }
};

TEST(HostileScripts, NsRunsTheScriptOfAHostileNetworkWithoutRunningItsNames) {
  HostileNetwork net;
  NSScriptOptions options;
  options.title = net.networkName;
  options.scriptPath = DefaultNSScriptName(options.title);
  options.simulationLength = 1.0;
  options.monitoredQueues = {net.link->GetForwardQueue()};
  WriteNSScript(net.doc, options);
  const std::string script = test::ReadText(net.folder / (net.networkName + ".tcl"));
  EXPECT_NE(script.find("set node_x_1_exec_touch_PWNED_NODE_set_y_1 [$ns node]\n"), std::string::npos);
  EXPECT_NE(script.find("[open {n [exec touch PWNED_TITLE].net_x_1_exec_touch_PWNED_NODE_set_y_1_B_x_exec_touch_"
                        "PWNED_B__2.tr} w]"),
            std::string::npos);
  EXPECT_NE(script.find("filename {t [exec touch PWNED_TRACE].vlt.nstrace}\n"), std::string::npos);

  if (!NsInstalled()) GTEST_SKIP() << "ns is not installed";
  const SimulatorReport report = RunSimulator(MakeNSRunRequest(net.doc, options.scriptPath));
  ASSERT_TRUE(report.started) << report.startError;
  EXPECT_EQ(report.exitCode, 0) << report.outputLines;
  EXPECT_EQ(net.Pwned(), 0);
  // The monitor was written under its odd name, beside the script.
  EXPECT_TRUE(fs::exists(net.folder / "n [exec touch PWNED_TITLE].net_x_1_exec_touch_PWNED_NODE_set_y_1_B_x_exec_"
                                      "touch_PWNED_B__2.tr"));
}

TEST(HostileScripts, NamesThatCannotBeMadeInertWriteNothing) {
  ScratchFolder folder("hostile refused");
  test::ExampleNetwork net;
  const std::string trace = folder / "t}{.vlt";
  test::WriteText(trace, "0.1\n0.2\n");
  net.doc.AddClass(std::make_unique<CTraceClass>(net.a, net.b, 0.0, 0.0, trace, 0.1));
  NSScriptOptions options;
  options.title = "t";
  options.scriptPath = folder / "t.tcl";
  EXPECT_THROW(WriteNSScript(net.doc, options), CScriptNameException);
  EXPECT_FALSE(fs::exists(folder / "t.tcl"));
  EXPECT_FALSE(fs::exists(trace + ".nstrace"));

  // A line break in a file name would start a qns record of its own.
  test::ExampleNetwork second;
  second.doc.AddClass(
      std::make_unique<CTdPoissonClass>(second.a, second.b, 0.0, 0.0, "r.vlr 0.0 1 2\nt 4 /etc/passwd"));
  QNSScriptOptions qns;
  qns.title = "t";
  qns.scriptPath = folder / "t.qns";
  EXPECT_THROW(WriteQNSScript(second.doc, qns), CScriptNameException);
  EXPECT_FALSE(fs::exists(folder / "t.qns"));
  test::ExampleNetwork third;
  qns.title = "t\nd 1 2 x";
  qns.monitoredQueues = {third.link->GetForwardQueue()};
  EXPECT_THROW(WriteQNSScript(third.doc, qns), CScriptNameException);
}

TEST(HostileScripts, AScriptThatCannotBeWrittenWholeLeavesThePreviousOne) {
  ScratchFolder folder("script full");
  test::ExampleNetwork net;
  for (int i = 0; i < 200; ++i) net.doc.AddClass(std::make_unique<CConstPoissonClass>(net.a, net.b, 0, 0, 1.0));
  const std::string path = folder / "t.tcl";
  test::WriteText(path, "previous\n");
  NSScriptOptions options;
  options.title = "t";
  options.scriptPath = path;
  // A file-size limit makes the write fail part-way, as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit tight = old;
  tight.rlim_cur = 512;
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool thrown = false;
  try {
    WriteNSScript(net.doc, options);
  } catch (const CFileException&) {
    thrown = true;
  }
  test::ExampleNetwork rates;
  for (int i = 0; i < 200; ++i) rates.doc.AddClass(std::make_unique<CTdPoissonClass>(rates.a, rates.b, 0, 0, "r.vlr"));
  QNSScriptOptions qns;
  qns.title = "t";
  qns.scriptPath = folder / "t.qns";
  test::WriteText(qns.scriptPath, "previous\n");
  bool qnsThrown = false;
  try {
    WriteQNSScript(rates.doc, qns);
  } catch (const CFileException&) {
    qnsThrown = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(thrown);
  EXPECT_TRUE(qnsThrown);
  EXPECT_EQ(test::ReadText(path), "previous\n");
  EXPECT_EQ(test::ReadText(qns.scriptPath), "previous\n");
}

}  // namespace
}  // namespace varlo
