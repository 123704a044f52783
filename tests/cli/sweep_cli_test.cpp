// varlo-cli sweep, sweep-collect and summary as a user runs them: the dumbbell swept over its
// bottleneck capacity and the number of TCP flows, on two workers, resumed, sharded and collected.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace varlo {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::Folder;
using test::Outcome;
using test::Read;
using test::Write;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// summary.csv without its run_seconds column (the one figure that differs between runs).
std::string WithoutRunTime(const std::string& csv) {
  std::string out;
  for (const std::string& line : Lines(csv)) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    const size_t column = 4;  // variant, two axes, status, run_seconds
    if (fields.size() > column) fields.erase(fields.begin() + column);
    for (size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
    out += "\n";
  }
  return out;
}

// Capacity of R1 - R2 x {0.5, 1, 2}, TCP flows per source {0, 1}: six variants of 3 s.
const char* kSweep = R"({
  "network": "NETWORK",
  "run": {"method": "metrics", "total": 3, "step": 0.01, "dump_interval": 0.1, "profile": "ns"},
  "axes": [
    {"vary": "link", "change": "multiply-capacity", "between": ["R1", "R2"], "values": [0.5, 1, 2]},
    {"vary": "tcp", "from": "S", "to": "D", "seed": 3, "values": [0, 1]}
  ],
  "plot": {"figure": "bottleneck_mean_utilisation"}
})";

// kSweep on network, with each edit's first text replaced by its second, in order.
std::string SweepText(const std::string& network,
                      const std::vector<std::pair<std::string, std::string>>& edits = {}) {
  std::string text = kSweep;
  text.replace(text.find("NETWORK"), 7, network);
  for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(CliSweep, RunsResumesShardsAndCollectsTheSameSummary) {
  Folder folder("sweep");
  Write(folder / "sweep.json", SweepText(std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.json"));
  const Outcome run = Cli(folder, "sweep sweep.json -o local --jobs 2");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.err.find("6/6 done, 0 failed"), std::string::npos) << run.err;
  const std::string summary = Read(folder / "local/summary.csv");
  const std::vector<std::string> rows = Lines(summary);
  ASSERT_EQ(rows.size(), 7u) << summary;
  EXPECT_EQ(rows[0].rfind("variant,multiply-capacity R1-R2,tcp per source S-D,status", 0), 0u) << rows[0];
  // Documented order: the last axis changes fastest.
  EXPECT_EQ(rows[1].rfind("0,0.5,0,ok,", 0), 0u) << rows[1];
  EXPECT_EQ(rows[4].rfind("3,1,1,ok,", 0), 0u) << rows[4];
  EXPECT_EQ(rows[6].rfind("5,2,1,ok,", 0), 0u) << rows[6];
  EXPECT_NE(Read(folder / "local/summary.svg").find("<svg"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder / "local/variants/variant-0004/network.net"));
  EXPECT_TRUE(fs::exists(folder / "local/variants/variant-0004/run.dmp"));

  // A variant alone gives the summary's figures: the summary command on its dump.
  const Outcome alone = Cli(folder, "summary local/variants/variant-0000/run.dmp --net "
                                    "local/variants/variant-0000/network.net --json --top 1");
  ASSERT_EQ(alone.code, 0) << alone.err;
  EXPECT_NE(alone.out.find("\"queue\": \"R1->R2\""), std::string::npos) << alone.out;
  EXPECT_NE(alone.out.find("\"model\": \"classic\""), std::string::npos) << alone.out;

  // Resume: complete variants are kept as they are, a lost or failed result is run again.
  const std::string kept = folder / "local/variants/variant-0001/result.txt";
  const std::string keptText = Read(kept);
  fs::remove(folder / "local/variants/variant-0002/result.txt");
  std::string failed = Read(folder / "local/variants/variant-0003/result.txt");
  failed.replace(failed.find("status=ok"), 9, "status=failed");
  Write(folder / "local/variants/variant-0003/result.txt", failed);
  const auto before = fs::last_write_time(kept);
  const Outcome resumed = Cli(folder, "sweep sweep.json -o local --jobs 2");
  ASSERT_EQ(resumed.code, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("(4 complete before)"), std::string::npos) << resumed.err;
  EXPECT_EQ(fs::last_write_time(kept), before);
  EXPECT_EQ(Read(kept), keptText);
  EXPECT_EQ(WithoutRunTime(Read(folder / "local/summary.csv")), WithoutRunTime(summary));

  // Shards into another folder: one missing is reported, one run twice too; the whole gives the
  // local summary.
  ASSERT_EQ(Cli(folder, "sweep sweep.json -o sharded --shard 0/3").code, 0);
  ASSERT_EQ(Cli(folder, "sweep sweep.json -o sharded --shard 2/3").code, 0);
  Outcome collect = Cli(folder, "sweep-collect sharded");
  EXPECT_EQ(collect.code, 1);
  EXPECT_NE(collect.err.find("shard 1/3 is missing: it never ran."), std::string::npos) << collect.err;
  EXPECT_NE(collect.err.find("missing variants: 1, 4"), std::string::npos) << collect.err;
  EXPECT_NE(Read(folder / "sharded/summary.csv").find("\n1,0.5,1,missing,"), std::string::npos);
  ASSERT_EQ(Cli(folder, "sweep sweep.json -o sharded --shard 1/3").code, 0);
  ASSERT_EQ(Cli(folder, "sweep sweep.json -o sharded --shard 1/3").code, 0);
  collect = Cli(folder, "sweep-collect sharded");
  EXPECT_EQ(collect.code, 0) << collect.err;
  EXPECT_NE(collect.err.find("shard 1/3 ran 2 times"), std::string::npos) << collect.err;
  EXPECT_EQ(WithoutRunTime(Read(folder / "sharded/summary.csv")), WithoutRunTime(summary));
}

TEST(CliSweep, AFailedVariantIsRecordedAndTheOthersGoOn) {
  Folder folder("sweep");
  // The NetBSD profile has no entry for 10 TCP flows per source on the dumbbell: that run stops.
  Write(folder / "sweep.json", SweepText(std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.net",
                                         {{"\"ns\"}", "\"netbsd\"}"}, {"[0, 1]", "[0, 10]"}, {"[0.5, 1, 2]", "[1]"}}));
  const Outcome run = Cli(folder, "sweep sweep.json -o out");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("1 of 2 variants failed (see summary.csv)"), std::string::npos) << run.err;
  const std::vector<std::string> rows = Lines(Read(folder / "out/summary.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].rfind("0,1,0,ok,", 0), 0u) << rows[1];
  EXPECT_EQ(rows[2].rfind("1,1,10,failed", 0), 0u) << rows[2];
  EXPECT_NE(rows[2].find("NS surface computed only for Blocking = 0"), std::string::npos) << rows[2];
}

TEST(CliSweep, ARefinedSweepRunsEachVariantAsRunDoes) {
  Folder folder("sweep");
  Write(folder / "sweep.json",
        SweepText(std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.json",
                  {{"\"ns\"}", "\"ns\", \"model\": \"refined\"}"}, {"[0.5, 1, 2]", "[1]"}, {"[0, 1]", "[1]"}}));
  const Outcome run = Cli(folder, "sweep sweep.json -o out");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Lines(Read(folder / "out/summary.csv"))[1].rfind("0,1,1,ok,", 0), 0u);
  EXPECT_NE(Read(folder / "out/summary.svg").find(">bottleneck_mean_utilisation  (refined model)<"), std::string::npos);
  // The variant's dump is the one varlo-cli run writes for its network with the same settings.
  const std::string variant = "out/variants/variant-0000/";
  ASSERT_EQ(Cli(folder, "run " + variant + "network.net --dump again.dmp --model refined --total 3 --step 0.01 "
                        "--dump-interval 0.1 --profile ns --quiet")
                .code,
            0);
  const std::string dump = Read(folder / (variant + "run.dmp"));
  EXPECT_NE(Lines(dump).at(1).find("refined"), std::string::npos) << Lines(dump).at(1);
  EXPECT_EQ(dump, Read(folder / "again.dmp"));
  // Its summary says which model wrote it.
  const std::string net = " --net " + variant + "network.net";
  EXPECT_NE(Cli(folder, "summary " + variant + "run.dmp" + net + " --json").out.find("\"model\": \"refined\""),
            std::string::npos);
  const std::string first = Lines(Cli(folder, "summary " + variant + "run.dmp" + net).out).at(0);
  EXPECT_EQ(first.rfind("30 rows from 0.000000 s to "), 0u) << first;
  EXPECT_EQ(first.substr(first.size() - 18), " s (refined model)") << first;
}

TEST(CliSweep, NsBesideTheVariantsRunsTheScriptTheSweepFileAsksFor) {
  if (std::system("command -v ns > /dev/null 2>&1") != 0) GTEST_SKIP() << "ns is not installed";
  Folder folder("sweep");
  const std::string ns = R"("ns": {"seeds": [1], "queues": ["R1:R2"], "poisson": true, "varlo_routes": true},)";
  const std::string dumbbell = std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.json";
  const std::vector<std::pair<std::string, std::string>> edits = {
      {"[0.5, 1, 2]", "[1, 2]"}, {"[0, 1]", "[0]"}, {"\"axes\"", ns + "\n  \"axes\""},
      {"bottleneck_mean_utilisation", "bottleneck_average_size"}};
  Write(folder / "sweep.json", SweepText(dumbbell, edits));
  const Outcome run = Cli(folder, "sweep sweep.json -o out");
  ASSERT_EQ(run.code, 0) << run.err;
  // True Poisson sources, routed along Varlo's routes, as ns-script --poisson --varlo-routes writes.
  const std::string script = Read(folder / "out/variants/variant-0000/ns-1.tcl");
  EXPECT_NE(script.find("set burst_time_ 0\n"), std::string::npos);
  EXPECT_NE(script.find("$ns rtproto Manual"), std::string::npos);
  const std::vector<std::string> rows = Lines(Read(folder / "out/summary.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].rfind("0,1,0,ok,", 0), 0u) << rows[1];
  // The chart of the bottleneck's size has ns's beside it, dashed.
  const std::string chart = Read(folder / "out/summary.svg");
  EXPECT_NE(chart.find(">ns: tcp per source S-D = 0<"), std::string::npos);
  EXPECT_NE(chart.find("stroke-dasharray=\"6 2\""), std::string::npos);
  // The graphs of the variant find ns's queue beside its network.
  const std::string variant = "out/variants/variant-0000/";
  const Outcome plot = Cli(folder, "plot " + variant + "run.dmp --net " + variant +
                                       "network.net --queue R1:R2 --metric size --simulated -o sim.svg");
  ASSERT_EQ(plot.code, 0) << plot.err;
  EXPECT_NE(Read(folder / "sim.svg").find("Sim of R1"), std::string::npos);
  // A value that is not true or false is refused, naming the entry.
  std::vector<std::pair<std::string, std::string>> bad = edits;
  bad.push_back({"\"poisson\": true", "\"poisson\": \"yes\""});
  Write(folder / "bad.json", SweepText(dumbbell, bad));
  const Outcome refused = Cli(folder, "sweep bad.json -o bad");
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("bad.json: ns: \"poisson\" must be true or false."), std::string::npos) << refused.err;
}

TEST(CliSweep, BadSweepFilesAreRefusedBeforeAnyVariantRuns) {
  Folder folder("sweep");
  const std::string dumbbell = std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.net";
  struct Case {
    std::string from, to, message;
  };
  const std::vector<Case> cases = {
      {"\"vary\": \"tcp\"", "\"vary\": \"buffers\"", "sweep.json: axis 2: unknown variation \"buffers\""},
      {"[0, 1]", "[]", "sweep.json: axis 2: the list of values is empty."},
      {"[\"R1\", \"R2\"]", "[\"R1\", \"R9\"]",
       "axis 1 (multiply-capacity R1-R9): no link lies between nodes matching \"R1\" and \"R9\"."},
      {dumbbell, folder / "missing.net", "the base network " + folder / "missing.net" + " does not open"},
  };
  for (const Case& c : cases) {
    std::string text = SweepText(dumbbell);
    text.replace(text.find(c.from), c.from.size(), c.to);
    Write(folder / "sweep.json", text);
    const Outcome run = Cli(folder, "sweep sweep.json -o out");
    EXPECT_EQ(run.code, 1) << c.to;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(folder / "out")) << c.to;
  }
}

}  // namespace
}  // namespace varlo
