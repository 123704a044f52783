// varlo-cli's simulator and traffic-tool commands, run as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>

#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "model/td_poisson_class.h"
#include "model/persistent.h"
#include "sim_test_support.h"
#include "simulators/ns_script.h"

namespace varlo {
namespace {

using test::ScratchFolder;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct CliResult {
  int exitCode = -1;
  std::string out, err;
};

CliResult RunCli(const std::vector<std::string>& args, const ScratchFolder& folder,
                 const std::string& pathPrefix = "") {
  std::string command = "cd " + Quote(folder.Path().string()) + " && ";
  if (!pathPrefix.empty()) command += "PATH=" + Quote(pathPrefix) + ":\"$PATH\" ";
  command += Quote(VARLO_CLI_PATH);
  for (const auto& a : args) command += " " + Quote(a);
  command += " 2>" + Quote(folder / "cli-stderr");
  CliResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = test::ReadText(folder / "cli-stderr");
  return result;
}

// The worked example saved as net1.net, with a TCP class so that qns refuses it.
std::string SaveExample(const ScratchFolder& folder, bool withTcp) {
  RegisterPersistentClasses();  // the tests read back what the commands wrote
  test::ExampleNetwork net;
  if (withTcp) net.doc.AddClass(std::make_unique<CTCPClass>(net.a, net.b, 0, 0, 0));
  net.doc.AddClass(std::make_unique<CTdPoissonClass>(net.a, net.b, 0, 0, "rates.vlr"));
  const std::string path = folder / "net1.net";
  net.doc.OnSaveDocument(path);
  return path;
}

TEST(CliNSScript, WritesBesideTheNetworkUnderItsTitle) {
  ScratchFolder folder;
  const std::string path = SaveExample(folder, false);
  const CliResult r =
      RunCli({"ns-script", path, "--monitor", "1:2", "--seed", "5", "--max-start-delay", "2"}, folder);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  CVarloDoc doc;
  doc.OnOpenDocument(path);
  NSScriptOptions options;
  options.title = "net1.net";
  options.simulationLength = 15;
  options.maxStartDelay = 2;
  options.seed = 5;
  options.monitoredQueues = {FindQueue(doc, 1, 2)};
  // Class identities are numbered per process, so they differ between the two.
  const std::regex identity("(_Poisson_A_1_B_2_)[0-9a-f]+");
  EXPECT_EQ(std::regex_replace(test::ReadText(folder / "net1.net.tcl"), identity, "$1X"),
            std::regex_replace(BuildNSScript(doc, options), identity, "$1X"));
}

TEST(CliNSScript, BadMonitorsAndRanges) {
  ScratchFolder folder;
  const std::string path = SaveExample(folder, false);
  const CliResult noLink = RunCli({"ns-script", path, "--monitor", "1:9"}, folder);
  EXPECT_EQ(noLink.exitCode, 1);
  EXPECT_NE(noLink.err.find("No link joins 1 to 9 in "), std::string::npos) << noLink.err;
  EXPECT_EQ(RunCli({"ns-script", path, "--monitor", "12"}, folder).exitCode, 2);
  // Node names do as well as numbers, as for plot --queue.
  ASSERT_EQ(RunCli({"ns-script", path, "--monitor", "A:B", "-o", "named.tcl"}, folder).exitCode, 0);
  EXPECT_NE(test::ReadText(folder / "named.tcl").find("monitor-queue $node_A_1 $node_B_2"), std::string::npos);
  // The extension rule of the dialog applies to -o.
  EXPECT_EQ(RunCli({"ns-script", path, "-o", "out.TCL"}, folder).exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(folder / "out.TCL.tcl"));
}

TEST(CliNSScript, RunPrintsTheReportOfAStandIn) {
  ScratchFolder folder;
  ScratchFolder bin("bin");
  const std::string ns = bin / "ns";
  test::WriteText(ns, "#!/bin/sh\necho \"line one\" >&2\necho \"got $1\" >&2\nexit 3\n");
  ::chmod(ns.c_str(), 0755);
  const std::string path = SaveExample(folder, false);
  const CliResult r =
      RunCli({"ns-script", path, "-o", "with blank.tcl", "--run"}, folder, bin.Path().string());
  EXPECT_EQ(r.exitCode, 1);
  const std::string script = folder / "with blank.tcl";
  // The running time counts whole seconds of the clock: a stand-in that exits at once still
  // straddles a second now and then (it did on a loaded machine).
  std::string out = r.out;
  const std::string straddled = "Running Time was (sec) 1\n";
  if (const size_t at = out.find(straddled); at != std::string::npos)
    out.replace(at, straddled.size(), "Running Time was (sec) 0\n");
  EXPECT_EQ(out, "NS Exit with error code 3\nRunning Time was (sec) 0\nNS Output\nline one\ngot " + script + "\n");
  EXPECT_TRUE(std::filesystem::exists(folder / "tmp_out_ns"));
}

TEST(CliQNSScript, CompleteAndRefused) {
  ScratchFolder folder;
  const std::string path = SaveExample(folder, false);
  ASSERT_EQ(RunCli({"qns-script", path, "--monitor", "1:2", "--link-service", "2"}, folder).exitCode, 0);
  EXPECT_EQ(test::ReadText(folder / "net1.net.qns"),
            "l 1 2 2 1000.000000 0.0 20.000000\nl 2 1 2 500.000000 0.0 10.000000\n"
            "t 4 rates.vlr 0.0 1 2\nd 1 2 net1.net_A_1_B_2.tr\n");

  ScratchFolder other;
  const std::string refused = SaveExample(other, true);
  const CliResult r = RunCli({"qns-script", refused, "--monitor", "1:2", "--run"}, other);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("QNS supports only Trace/Time-dependent Poisson classes !!"), std::string::npos);
  EXPECT_EQ(test::ReadText(other / "net1.net.qns"),
            "l 1 2 3 1000.000000 0.0 20.000000\nl 2 1 3 500.000000 0.0 10.000000\n");
  EXPECT_FALSE(std::filesystem::exists(other / "tmp_out_qns"));
}

TEST(CliTrafficTools, GenerateDeleteAndModify) {
  ScratchFolder folder;
  const std::string path = SaveExample(folder, false);
  const CliResult bad = RunCli({"generate-tcp", path, "-o", "g.net", "--min", "3", "--max", "2"}, folder);
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("Use a non-empty interval, please."), std::string::npos);

  const CliResult self = RunCli(
      {"generate-tcp", path, "-o", "g.net", "--to", "B", "--min", "2", "--max", "2", "--seed", "3"}, folder);
  ASSERT_EQ(self.exitCode, 0) << self.err;
  EXPECT_NE(self.err.find("B gets no classes"), std::string::npos) << self.err;
  CVarloDoc generated;
  generated.OnOpenDocument(folder / "g.net");
  EXPECT_EQ(generated.GetClasses().size(), 3u);  // the saved rate-file class and A's two

  EXPECT_EQ(
      RunCli({"generate-trace", path, "-o", "t.net", "--min", "1", "--max", "1", "--slot", "0.1"}, folder)
          .exitCode,
      2);

  ASSERT_EQ(RunCli({"delete-traffic", folder / "g.net", "-o", "empty.net"}, folder).exitCode, 0);
  CVarloDoc empty;
  empty.OnOpenDocument(folder / "empty.net");
  EXPECT_TRUE(empty.GetClasses().empty());

  ASSERT_EQ(RunCli({"modify-links", path, "-o", "m.net", "--between", "A", "--and", "B", "--type", "2",
                    "--parameter", "1.5"},
                   folder)
                .exitCode,
            0);
  CVarloDoc modified;
  modified.OnOpenDocument(folder / "m.net");
  EXPECT_EQ(FindQueue(modified, 1, 2)->serviceRate, 1000);
  EXPECT_EQ(static_cast<C_MM1K_Queue*>(FindQueue(modified, 1, 2))->bufferSize, 30);
  EXPECT_EQ(static_cast<C_MM1K_Queue*>(FindQueue(modified, 2, 1))->bufferSize, 15);
  EXPECT_EQ(RunCli({"modify-links", path, "-o", "m.net", "--type", "6", "--parameter", "1"}, folder).exitCode,
            2);
}

}  // namespace
}  // namespace varlo
