// varlo-cli run and dump2csv, run as a separate process on networks saved by the tests.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/document.h"
#include "model/persistent.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::Folder;
using test::Outcome;
using test::Read;
using test::Write;

// A - B - C: a UDP class A -> C and, when asked, a TCP class that meets a full queue at 0.5 s.
void SaveChain(const std::string& path, bool lateTcp) {
  RegisterPersistentClasses();
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(10, 10);
  CGraphicNode* b = doc.CreateNode(50, 10);
  CGraphicNode* c = doc.CreateNode(90, 10);
  a->SetName("Src, one");
  b->SetName("B");
  c->SetName("C");
  auto link = [&](CGraphicNode* x, CGraphicNode* y, double mu, double k) {
    doc.AddLink(std::make_unique<CGraphicLink>(x, y, std::make_unique<C_MM1K_Queue>(x, y, mu, k, 0.01),
                                               std::make_unique<C_MM1K_Queue>(y, x, mu, k, 0.01)));
  };
  link(a, b, 1000, 50);
  link(b, c, 100, 20);
  doc.AddClass(std::make_unique<CConstPoissonClass>(a, c, 0, 0, lateTcp ? 300 : 40));
  if (lateTcp) doc.AddClass(std::make_unique<CTCPClass>(a, c, 0.5, 3, 0.01));
  doc.OnSaveDocument(path);
}

TEST(CliRun, WritesTheDumpWithTheNetworkPathAndTheDmpRule) {
  Folder folder("run");
  SaveChain(folder / "chain.net", false);
  const Outcome o = Cli(folder, "run chain.net --dump result --total 2 --quiet");
  ASSERT_EQ(o.code, 0) << o.err;
  const std::string dump = Read(folder / "result.dmp");
  EXPECT_EQ(dump.substr(0, dump.find('\n')), fs::canonical(folder / "chain.net").string());
  EXPECT_NE(dump.find("\n2 1 20\n0.000000\t"), std::string::npos);
  EXPECT_EQ(o.err.find("Current Time"), std::string::npos);
  EXPECT_NE(o.err.find("Running time(sec) : "), std::string::npos);
}

TEST(CliRun, ProgressGoesToStandardErrorUnlessQuiet) {
  Folder folder("run");
  SaveChain(folder / "chain.net", false);
  const Outcome o = Cli(folder, "run chain.net --dump r.dmp --total 1 --method mm1k --profile ns");
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_NE(o.err.find("Current Time : 0.100000\n"), std::string::npos) << o.err;
}

TEST(CliRun, ValuesOutOfRangeAreUsageErrorsWithTheRangeMessage) {
  Folder folder("run");
  SaveChain(folder / "chain.net", false);
  Outcome o = Cli(folder, "run chain.net --dump r --total 0.5");
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find("Please enter a number between 1 and 10000."), std::string::npos) << o.err;
  o = Cli(folder, "run chain.net --dump r --step 5.5");
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find("Please enter a number between 0.0001 and 5."), std::string::npos);
  o = Cli(folder, "run chain.net --dump r --dump-interval x");
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find("Please enter a number."), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "r.dmp"));
  o = Cli(folder, "run chain.net --dump r --method fast");
  EXPECT_EQ(o.code, 2);
}

TEST(CliRun, RunThatDoesNotCompleteExitsWithItsMessage) {
  Folder folder("run");
  SaveChain(folder / "late.net", true);
  Outcome o = Cli(folder, "run late.net --dump r --total 2 --quiet");
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("NS surface computed only for Blocking = 0 "), std::string::npos) << o.err;
  EXPECT_NE(Read(folder / "r.dmp").find("0.000000\t"), std::string::npos);
  o = Cli(folder, "run late.net --dump r --total 2 --quiet --profile ns");
  EXPECT_EQ(o.code, 0) << o.err;
  o = Cli(folder, "run late.net --dump /nonexistent-folder-varlo/r --quiet");
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("/nonexistent-folder-varlo/r.dmp"), std::string::npos) << o.err;
}

TEST(CliDumpToCsv, NamesEveryColumnAndKeepsTheNumbers) {
  Folder folder("run");
  SaveChain(folder / "chain.net", false);
  ASSERT_EQ(Cli(folder, "run chain.net --dump r --total 1 --quiet").code, 0);
  const Outcome o = Cli(folder, "dump2csv r.dmp --net chain.net");
  ASSERT_EQ(o.code, 0) << o.err;
  std::istringstream lines(o.out);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  EXPECT_EQ(header,
            "time,\"Src, one->B avg size\",\"Src, one->B utilisation\",\"Src, one->B loss\","
            "\"B->Src, one avg size\",\"B->Src, one utilisation\",\"B->Src, one loss\","
            "B->C avg size,B->C utilisation,B->C loss,C->B avg size,C->B utilisation,C->B loss,"
            "\"Src, one - To C (  0.0 : 10000.0 ); Rate: 40.000000.\"");
  EXPECT_EQ(first,
            "0.000000,0.040000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
            "0.000000,0.000000,0.000000,0.000000,40.000000");
  ASSERT_EQ(Cli(folder, "dump2csv r.dmp --net chain.net -o r.csv").code, 0);
  EXPECT_EQ(Read(folder / "r.csv"), o.out);
}

TEST(CliDumpToCsv, DumpOfAnotherNetworkIsRefused) {
  Folder folder("run");
  SaveChain(folder / "chain.net", false);
  SaveChain(folder / "late.net", true);
  ASSERT_EQ(Cli(folder, "run chain.net --dump r --total 1 --quiet").code, 0);
  const Outcome o = Cli(folder, "dump2csv r.dmp --net late.net");
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("Bad Dump File - try to reconfigure"), std::string::npos) << o.err;
}

// PNG and PDF come from the picture module, loaded only for them; a varlo-cli whose module is
// missing says which file it needs and where it looked, and writes nothing.
TEST(CliPlot, PngAndPdfComeFromThePictureModuleBesideVarloCli) {
  Folder folder("plot");
  SaveChain(folder / "chain.net", false);
  ASSERT_EQ(Cli(folder, "run chain.net --dump r --total 1 --quiet").code, 0);
#ifdef VARLO_CLI_HAS_PICTURES
  for (const std::string name : {"q.png", "q.pdf"}) {
    const Outcome o = Cli(folder, "plot r.dmp --net chain.net --queue B:C -o " + name);
    ASSERT_EQ(o.code, 0) << name << ": " << o.err;
    EXPECT_EQ(Read(folder / name).substr(0, 4), name.ends_with(".png") ? "\x89PNG" : "%PDF") << name;
  }
  // The same program without its module.
  const std::string alone = folder / "alone";
  fs::create_directories(alone);
  fs::copy_file(VARLO_CLI_PATH, alone + "/varlo-cli");
  const Outcome o = test::RunIn(folder, "'" + alone + "/varlo-cli' plot r.dmp --net chain.net -o lonely.png");
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("varlo-cli-pictures.so"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(alone), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(folder / "lonely.png"));
#else
  const Outcome o = Cli(folder, "plot r.dmp --net chain.net --queue B:C -o q.png");
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("built without Qt"), std::string::npos) << o.err;
#endif
  EXPECT_EQ(Cli(folder, "plot r.dmp --net chain.net --queue B:C -o q.svg").code, 0);
  EXPECT_NE(Read(folder / "q.svg").find("<svg"), std::string::npos);
}

}  // namespace
}  // namespace varlo
