// Rate files, traces and dumps from elsewhere: damaged or hostile ones are refused with the
// class, the file and the line named; nothing is written where the user did not ask, and no
// reader can be made to fill the disk, memory or hang.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/dump_file.h"
#include "engine/run.h"
#include "model/archive.h"
#include "model/persistent.h"
#include "run_network.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using test::NetBuilder;
using test::TempFolder;
using test::WriteText;

// Points the rate cache at a folder of the test's own for its lifetime.
struct CacheGuard {
  TempFolder cache;
  std::string saved;
  bool had;
  CacheGuard() {
    const char* old = std::getenv("XDG_CACHE_HOME");
    had = old != nullptr;
    if (had) saved = old;
    ::setenv("XDG_CACHE_HOME", cache.path.c_str(), 1);
  }
  ~CacheGuard() {
    if (had) {
      ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    } else {
      ::unsetenv("XDG_CACHE_HOME");
    }
  }
};

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().string());
  return names;
}

// A - B with one class of the given kind; the network is saved in its own folder.
struct OneClassNetwork {
  TempFolder folder;
  NetBuilder net;
  CGraphicNode* a = net.Node("A");
  CGraphicNode* b = net.Node("B");
  OneClassNetwork() { net.Link(a, b, 1000, 50, 0.01); }
  RunResult Run(const std::atomic<bool>* cancel = nullptr) {
    net.doc->OnSaveDocument(folder.File("n.net"));
    net.doc->dumpFilePath = folder.File("n.dmp");
    net.doc->totalTime = 1;
    RunOptions options;
    options.cancel = cancel;
    return varlo::Run(*net.doc, RunMethod::kComputeMetrics, options);
  }
};

TEST(HostileRateFiles, ValuesThatAreNotFiniteNonNegativeNumbersStopTheRunNamingTheLine) {
  for (const char* text : {"0 10\n0.5 nan\n", "0 10\n0.5 inf\n", "0 10\n0.5 -3\n", "0 10\ninf 3\n"}) {
    OneClassNetwork n;
    WriteText(n.folder.File("r.vlr"), text);
    n.net.RateFile(n.a, n.b, n.folder.File("r.vlr"));
    const RunResult result = n.Run();
    EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened) << text;
    EXPECT_NE(result.message.find("line 2 of"), std::string::npos) << result.message;
    EXPECT_EQ(result.rowsWritten, 0);
  }
  // The data may still end at the first line that is not "time rate", as before.
  OneClassNetwork n;
  WriteText(n.folder.File("r.vlr"), "0 10\nend of data\n0.5 nan\n");
  n.net.RateFile(n.a, n.b, n.folder.File("r.vlr"));
  EXPECT_EQ(n.Run().status, RunStatus::kCompleted);
}

TEST(HostileRateFiles, DevicesPipesAndEndlessLinesAreRefusedWithoutHanging) {
  OneClassNetwork zero;
  zero.net.RateFile(zero.a, zero.b, "/dev/zero");
  RunResult result = zero.Run();
  EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened);
  EXPECT_NE(result.message.find("not a regular file"), std::string::npos) << result.message;

  // A pipe nobody writes to would block the opening for ever.
  OneClassNetwork pipe;
  ASSERT_EQ(::mkfifo(pipe.folder.File("fifo.vlr").c_str(), 0600), 0);
  pipe.net.RateFile(pipe.a, pipe.b, pipe.folder.File("fifo.vlr"));
  EXPECT_EQ(pipe.Run().status, RunStatus::kRateFileNotOpened);

  OneClassNetwork longLine;
  WriteText(longLine.folder.File("r.vlr"), "0 1" + std::string(100000, '0') + "\n");
  longLine.net.RateFile(longLine.a, longLine.b, longLine.folder.File("r.vlr"));
  result = longLine.Run();
  EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened);
  EXPECT_NE(result.message.find("line 1 of"), std::string::npos) << result.message;
}

TEST(HostileTraces, ReadingANetworkWritesNothingAndRunsKeepDerivedFilesInTheirPlace) {
  RegisterPersistentClasses();
  CacheGuard cache;
  TempFolder elsewhere;
  const std::string trace = elsewhere.File("t.vlt");
  WriteText(trace, "0.05\n0.07\n0.25\n0.31\n");
  OneClassNetwork n;
  n.net.Trace(n.a, n.b, trace, 0.1);
  n.net.doc->OnSaveDocument(n.folder.File("n.net"));
  const std::set<std::string> before = Listing(elsewhere.path);

  CVarloDoc read;
  read.OnOpenDocument(n.folder.File("n.net"));
  EXPECT_EQ(Listing(elsewhere.path), before);
  EXPECT_TRUE(Listing(cache.cache.path).empty());

  // A trace outside the network's folder gets its rate file in the cache, not beside it.
  read.dumpFilePath = n.folder.File("n.dmp");
  read.totalTime = 1;
  ASSERT_EQ(varlo::Run(read, RunMethod::kComputeMetrics, {}).status, RunStatus::kCompleted);
  EXPECT_EQ(Listing(elsewhere.path), before);
  const auto& made = dynamic_cast<const CTraceClass&>(*read.GetClasses()[0]).rateFileName;
  EXPECT_EQ(made.rfind(cache.cache.path.string() + "/varlo/rates/t.vlt.", 0), 0u) << made;
  EXPECT_EQ(test::ReadText(made), "0.000000 20.000000\n0.100000 0.000000\n0.200000 10.000000\n");

  // A trace beside the network keeps the described name beside it.
  OneClassNetwork local;
  WriteText(local.folder.File("t.vlt"), "0.05\n0.07\n0.25\n0.31\n");
  local.net.Trace(local.a, local.b, local.folder.File("t.vlt"), 0.1);
  ASSERT_EQ(local.Run().status, RunStatus::kCompleted);
  EXPECT_TRUE(fs::exists(local.folder.File("t.vlt._0.100000_.vlr")));
}

TEST(HostileTraces, SlotsAndTimeStampsThatWouldGiveEndlessRateFilesAreRefusedNamingTheClass) {
  CacheGuard cache;
  for (const auto& [times, slot] : std::vector<std::pair<std::string, double>>{
           {"0.5\n1.5\n", 1e-300}, {"0.5\n1.7e9\n", 0.1}, {"0.5\n1e300\n", 1.0}}) {
    OneClassNetwork n;
    WriteText(n.folder.File("t.vlt"), times);
    n.net.Trace(n.a, n.b, n.folder.File("t.vlt"), slot);
    const RunResult result = n.Run();
    EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened) << slot;
    EXPECT_NE(result.message.find("A -> B"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("more than 10000000 rows"), std::string::npos) << result.message;
    // Nothing is left behind, not even the temporary file.
    for (const auto& entry : fs::directory_iterator(n.folder.path)) {
      EXPECT_EQ(entry.path().string().find(".vlr"), std::string::npos) << entry.path();
    }
  }
}

TEST(HostileTraces, SlotsThatPrintAlikeGetRateFilesOfTheirOwn) {
  // "%lf" prints both as 0.000000; each must count its own slots.
  const std::string a = CTraceClass::ExactRateFileName("/t/x.vlt", 1e-7);
  const std::string b = CTraceClass::ExactRateFileName("/t/x.vlt", 3e-7);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, "/t/x.vlt._9.9999999999999995e-08_.vlr");
  // Where the six decimals are exact the described name stays.
  EXPECT_EQ(CTraceClass::ExactRateFileName("/t/x.vlt", 0.25), "/t/x.vlt._0.250000_.vlr");
  EXPECT_EQ(CTraceClass::ExactRateFileName("/t/x.vlt", 0.1), "/t/x.vlt._0.100000_.vlr");
}

TEST(HostileTraces, ANulLineIsNoPacketTime) {
  OneClassNetwork n;
  WriteText(n.folder.File("t.vlt"), std::string("0.05\n\0\n0.25\n0.31\n", 17));
  n.net.Trace(n.a, n.b, n.folder.File("t.vlt"), 0.1);
  // The line holding a NUL ends the trace, as any line without a number does.
  EXPECT_EQ(n.Run().status, RunStatus::kCompleted);
  EXPECT_EQ(test::ReadText(n.folder.File("t.vlt._0.100000_.vlr")), "");
}

TEST(HostileDumps, ADamagedRowIsNamedAndTheRowsBeforeItAreRead) {
  TempFolder folder;
  // One link (6 values) and one class: 8 values a row.
  const std::string header = "/n.net\n1 1 3\n";
  const std::string good = "0 1 2 3 4 5 6 7\n";
  struct Case {
    std::string rows;
    size_t readable;
    std::string damage;  // empty: no damage
  };
  const std::vector<Case> cases = {
      {good + good + "0 1 2 x 4 5 6 7\n" + good, 2, "row 3 is damaged (value 4, \"x\", is not a number)"},
      {good + "0 1 2 3 4 5 6\n" + good, 1, "row 2 is damaged (7 values where the header announces 8)"},
      {good + "0 1 2 3 4 5 6 7 8\n", 1, "row 2 is damaged (9 values where the header announces 8)"},
      {good + "0 1 2 3 " + std::string(5000, '9') + " 5 6 7\n", 1, "row 2 is damaged (the line is longer"},
      // A run stopped while writing leaves a last row without its line break: not damage.
      {good + good + "0 1 2 3 4", 2, ""},
      {good + "\r\n" + good, 2, ""},
  };
  for (const Case& c : cases) {
    WriteText(folder.File("d.dmp"), header + c.rows);
    CDumpReader reader(folder.File("d.dmp"));
    std::vector<double> row;
    size_t read = 0;
    while (reader.ReadRow(row)) ++read;
    EXPECT_EQ(read, c.readable) << c.rows.substr(0, 60);
    if (c.damage.empty()) {
      EXPECT_EQ(reader.Damage(), "");
    } else {
      EXPECT_EQ(reader.Damage().rfind(folder.File("d.dmp") + ": " + c.damage, 0), 0u) << reader.Damage();
      EXPECT_TRUE(row.empty());
    }
  }
}

std::vector<fs::path> Corpus(const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(VARLO_SOURCE_DIR) / "tests/corpus/hostile")) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  return files;
}

TEST(HostileCorpus, EveryDamagedRateFileStopsTheRunAndEveryDamagedDumpNamesRowTwo) {
  const auto rates = Corpus(".vlr");
  ASSERT_GE(rates.size(), 4u);
  for (const fs::path& file : rates) {
    OneClassNetwork n;
    n.net.RateFile(n.a, n.b, file.string());
    const RunResult result = n.Run();
    EXPECT_EQ(result.status, RunStatus::kRateFileNotOpened) << file;
    EXPECT_EQ(result.rowsWritten, 0) << file;
  }
  const auto dumps = Corpus(".dmp");
  ASSERT_GE(dumps.size(), 4u);
  for (const fs::path& file : dumps) {
    CDumpReader reader(file.string());
    std::vector<std::string> words;
    int rows = 0;
    while (reader.ReadRowWords(words)) ++rows;
    EXPECT_EQ(rows, 1) << file;
    EXPECT_EQ(reader.Damage().rfind(file.string() + ": row 2 is damaged", 0), 0u) << reader.Damage();
  }
}

}  // namespace
}  // namespace varlo
