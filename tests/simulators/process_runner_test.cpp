#include "platform/core/process_runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "sim_test_support.h"
#include "simulators/ns_script.h"

namespace varlo {
namespace {

using test::ScratchFolder;

// Writes an executable stand-in for a simulator: a /bin/sh script with the given body.
std::string StandIn(const ScratchFolder& folder, const std::string& name, const std::string& body) {
  const std::string path = folder / name;
  test::WriteText(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

SimulatorRequest Request(const std::vector<std::string>& arguments, const std::string& scriptPath,
                         const std::string& errorFile) {
  SimulatorRequest request;
  request.arguments = arguments;
  request.scriptPath = scriptPath;
  request.errorFileName = errorFile;
  request.failureMessage = "Error Running ns !";
  return request;
}

TEST(SimulatorPaths, WorkingDirectoryRule) {
  EXPECT_EQ(SimulatorWorkingDirectory("C:\\sim\\a.tcl", "", "/home/u"), "C:\\sim");
  EXPECT_EQ(SimulatorWorkingDirectory("/sim/a.tcl", "/nets/n.net", "/nets"), "/sim");
  EXPECT_EQ(SimulatorWorkingDirectory("a.tcl", "D:\\nets\\net1.net", "D:\\nets"), "D:\\nets");
  EXPECT_EQ(SimulatorWorkingDirectory("a.tcl", "/nets/net1.net", "/nets"), "/nets");
  // A network named relative to the current folder: its folder, not that folder twice.
  EXPECT_EQ(SimulatorWorkingDirectory("a.tcl", "build/nets/n.net", "build/nets"), "build/nets");
  // Never saved: the current directory, which is our working directory.
  EXPECT_EQ(SimulatorWorkingDirectory("a.tcl", "", ""), ".");
  EXPECT_EQ(SimulatorWorkingDirectory("a.tcl", "", "/work/here"), "/work/here");
  // A relative directory is taken from the document's folder, where the script was written.
  EXPECT_EQ(SimulatorWorkingDirectory("sub/a.tcl", "/nets/n.net", "/nets"), "/nets/sub");
  EXPECT_EQ(SimulatorWorkingDirectory("/a.tcl", "", ""), "/");
}

TEST(SimulatorPaths, ScriptArgumentAndSplits) {
  EXPECT_EQ(SimulatorScriptArgument("a.tcl"), "a.tcl");
  EXPECT_EQ(SimulatorScriptArgument("/my nets/a b.tcl"), "/my nets/a b.tcl");
  EXPECT_EQ(SimulatorScriptArgument("sub\\a.tcl"), "a.tcl");
  EXPECT_EQ(DirectoryPart("x/y\\z.tcl"), "x/y");
  EXPECT_EQ(FileNamePart("x/y\\z.tcl"), "z.tcl");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "/b"), "/b");
  EXPECT_EQ(SplitCommandLine("  qns  a\tb "), (std::vector<std::string>{"qns", "a", "b"}));
  EXPECT_EQ(SplitCommandLine("ns \"my a.tcl\" \"\""), (std::vector<std::string>{"ns", "my a.tcl", ""}));
  EXPECT_EQ(CommandArguments("qns %s zero 1", "a b.qns"),
            (std::vector<std::string>{"qns", "a b.qns", "zero", "1"}));
}

TEST(SimulatorExitCode, SignedAndSignals) {
  EXPECT_EQ(ToSignedExitCode(4294967295u), -1);
  EXPECT_EQ(ToSignedExitCode(3u), 3);
  EXPECT_EQ(ToSignedExitCode(0x80000000u), -2147483647 - 1);
}

TEST(SimulatorRun, CapturesErrorOutputExitCodeAndWorkingDirectory) {
  ScratchFolder folder;
  std::filesystem::create_directories(folder.Path() / "my sims");
  const std::string program = StandIn(folder, "fake-ns",
                                      "echo \"argc=$#\" >&2\n"
                                      "printf 'arg=%s\\r\\n' \"$1\" >&2\n"
                                      "echo \"cwd=$(pwd)\" >&2\n"
                                      "echo to-stdout\n"
                                      "cat\n"  // standard input is the null device: ends at once
                                      "exit 3");
  const std::string script = folder / "my sims/a b.tcl";
  test::WriteText(folder / "err", "stale text that must go\n");
  const SimulatorReport report = RunSimulator(Request({program, script}, script, folder / "err"));
  EXPECT_TRUE(report.started);
  EXPECT_EQ(report.exitCode, 3);
  const std::string cwd = "cwd=" + std::filesystem::canonical(folder.Path() / "my sims").string();
  EXPECT_EQ(report.output, "argc=1arg=" + script + cwd);
  EXPECT_EQ(report.outputLines, "argc=1\narg=" + script + "\n" + cwd + "\n");
  EXPECT_EQ(report.workingDirectory, folder / "my sims");
  EXPECT_GE(report.runningTime, 0);
  EXPECT_LE(report.runningTime, 1);
}

TEST(SimulatorRun, CrashIsReportedAs128PlusSignal) {
  ScratchFolder folder;
  const std::string program = StandIn(folder, "crash", "kill -SEGV $$");
  const SimulatorReport report = RunSimulator(Request({program}, folder / "x.tcl", folder / "err"));
  EXPECT_EQ(report.exitCode, 139);
}

TEST(SimulatorRun, ProgramThatCannotStart) {
  ScratchFolder folder;
  test::WriteText(folder / "err", "old");
  const SimulatorReport report =
      RunSimulator(Request({folder / "no-such-ns", "a.tcl"}, folder / "a.tcl", folder / "err"));
  EXPECT_FALSE(report.started);
  EXPECT_EQ(report.failureMessage, "Error Running ns !");
  EXPECT_EQ(report.exitCode, 0);
  EXPECT_EQ(report.output, "");
  // The error file is made anew before the start is tried.
  EXPECT_EQ(test::ReadText(folder / "err"), "");

  const std::string notExecutable = folder / "plain";
  test::WriteText(notExecutable, "echo hi\n");
  EXPECT_FALSE(RunSimulator(Request({notExecutable}, folder / "a.tcl", folder / "err")).started);
  // A working directory that does not exist cannot be entered.
  const std::string program = StandIn(folder, "ok", "exit 0");
  EXPECT_FALSE(RunSimulator(Request({program}, folder / "gone/a.tcl", folder / "err")).started);
}

TEST(SimulatorRun, ErrorFileIsInOurWorkingDirectoryAndNsIsFoundOnThePath) {
  ScratchFolder folder;
  ScratchFolder bin("bin");
  StandIn(bin, "ns", "echo \"ran $1 in $(pwd)\" >&2");
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  const auto oldCwd = std::filesystem::current_path();
  ::setenv("PATH", (bin.Path().string() + ":" + oldPath).c_str(), 1);
  std::filesystem::current_path(folder.Path());

  std::filesystem::create_directories(folder.Path() / "nets");
  CVarloDoc doc;
  doc.SetPathName(folder / "nets/n.net");
  const SimulatorReport report = RunSimulator(MakeNSRunRequest(doc, "n.net.tcl"));

  std::filesystem::current_path(oldCwd);
  ::setenv("PATH", oldPath.c_str(), 1);
  EXPECT_TRUE(report.started);
  EXPECT_EQ(report.exitCode, 0);
  EXPECT_EQ(report.output, "ran n.net.tcl in " + std::filesystem::canonical(folder.Path() / "nets").string());
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "tmp_out_ns"));
}

TEST(SimulatorRun, RunningTimeInWholeSeconds) {
  ScratchFolder folder;
  const std::string program = StandIn(folder, "slow", "sleep 1.2");
  const SimulatorReport report = RunSimulator(Request({program}, folder / "a.tcl", folder / "err"));
  EXPECT_GE(report.runningTime, 1);
  EXPECT_LE(report.runningTime, 2);
}

TEST(SimulatorRun, AsynchronousRunCanBePolledAndCancelled) {
  ScratchFolder folder;
  const std::string program = StandIn(folder, "forever", "echo started >&2\nsleep 30");
  const auto before = std::chrono::steady_clock::now();
  auto run = CSimulatorRun::Start(Request({program}, folder / "a.tcl", folder / "err"));
  EXPECT_FALSE(run->Poll());
  const SimulatorReport report = run->Cancel();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(report.exitCode, 128 + 9);

  auto quick =
      CSimulatorRun::Start(Request({StandIn(folder, "quick", "exit 5")}, folder / "a.tcl", folder / "e2"));
  while (!quick->Poll()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(quick->Wait().exitCode, 5);
}

}  // namespace
}  // namespace varlo
