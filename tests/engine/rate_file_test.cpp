#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "line_network.h"
#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;

class RateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("varlo_engine_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Rates of a rate-file class asked at increasing times, as a run asks them.
  std::vector<double> Rates(const std::string& text, double start, double stop, std::vector<double> times) {
    CTdPoissonClass c(&net_.a, &net_.c, start, stop, Write("r.vlr", text));
    for (double& t : times) t = c.GetRate(t);
    return times;
  }

  fs::path dir_;
  test::LineNetwork net_;
};

TEST_F(RateFileTest, RateInForceIsThatOfTheLastLineReached) {
  EXPECT_EQ(Rates("0 10\n5 20\n", 0, 10, {0, 2.5, 4.999, 5, 7, 10, 10.5}),
            (std::vector<double>{10, 10, 10, 20, 20, 20, 0}));
  EXPECT_EQ(Rates("2.0 7\n", 0, 10, {0, 1.9, 2.0, 9}), (std::vector<double>{0, 0, 7, 7}));
  EXPECT_EQ(Rates("0 10\n1 20\n3 30\n", 1.5, 10, {1.5, 2.9, 3.0}), (std::vector<double>{20, 20, 30}));
  EXPECT_EQ(Rates("0 10\n1 20\nnoise\n3 30\n", 0, 10, {0, 1, 5}), (std::vector<double>{10, 20, 20}));
  EXPECT_EQ(Rates("", 0, 10, {0, 5}), (std::vector<double>{0, 0}));
}

TEST_F(RateFileTest, MissingRateFileOffersNothing) {
  CTdPoissonClass c(&net_.a, &net_.c, 0, 0, (dir_ / "none.vlr").string());
  EXPECT_EQ(c.GetRate(1.0), 0.0);
  EXPECT_FALSE(c.IsRateFileOpen());
}

TEST_F(RateFileTest, SavingClosesTheFileSoTheNextRunStartsOver) {
  const std::string path = Write("r.vlr", "0 10\n5 20\n");
  CTdPoissonClass c(&net_.a, &net_.c, 0, 10, path);
  c.reserved = 0.5;
  EXPECT_EQ(c.GetRate(7.0), 20.0);
  EXPECT_TRUE(c.IsRateFileOpen());
  CArchive out("d.net");
  c.Serialize(out);
  EXPECT_FALSE(c.IsRateFileOpen());
  EXPECT_EQ(c.GetRate(0.0), 10.0);

  std::vector<std::uint8_t> expected = {1,
                                        0,
                                        3,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0x24,
                                        0x40,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0xE0,
                                        0x3F,
                                        static_cast<std::uint8_t>(path.size())};
  expected.insert(expected.end(), path.begin(), path.end());
  expected.insert(expected.end(), {0, 0, 0, 0});  // open flag, always 0
  EXPECT_EQ(out.Bytes(), expected);

  expected[expected.size() - 4] = 1;  // a set flag is read and ignored
  CArchive in(expected, "d.net");
  CTdPoissonClass read;
  read.Serialize(in);
  EXPECT_EQ(read.rateFileName, path);
  EXPECT_FALSE(read.IsRateFileOpen());
  EXPECT_EQ(in.Remaining(), 0u);
}

TEST_F(RateFileTest, TdPoissonTexts) {
  CTdPoissonClass c(&net_.a, &net_.c, 0, 0, "C:\\rates\\day.vlr");
  EXPECT_EQ(c.GetDescription(), "TDP To C; File: \"day.vlr\"");
  EXPECT_EQ(c.GetQNSScript(), "t 4 C:\\rates\\day.vlr 0.0 1 3\n");
  EXPECT_NE(
      c.GetNSScript(0.0).find(Format("$poisson__Poisson_A_1_C_3_%x set rate_ 0.000000\n", c.GetIdentity())),
      std::string::npos);
  EXPECT_EQ(BaseName("/data/traces/a.vlt"), "a.vlt");
  EXPECT_EQ(BaseName("a.vlt"), "a.vlt");
}

TEST_F(RateFileTest, TraceBecomesRateFileOnce) {
  const std::string trace = Write("a.txt", "0.05\n0.07\n0.25\n0.31\n");
  const std::string rates = trace + "._0.100000_.vlr";
  EXPECT_EQ(CTraceClass::DerivedRateFileName(trace, 0.1), rates);
  CTraceClass c(&net_.a, &net_.c, 0, 0, trace, 0.1);
  c.SetNetworkFolder(dir_.string());  // the trace is in the network's folder
  EXPECT_EQ(c.rateFileName, rates);
  EXPECT_FALSE(fs::exists(rates));  // made when first needed
  EXPECT_EQ(c.GetRate(0.15), 0.0);
  EXPECT_EQ(c.GetRate(0.2), 10.0);
  // The packet at 0.31 is in the last slot, which is still open when the trace ends.
  EXPECT_EQ(Read(rates), "0.000000 20.000000\n0.100000 0.000000\n0.200000 10.000000\n");

  Write("a.txt._0.100000_.vlr", "0 99\n");  // an existing rate file is reused
  fs::last_write_time(rates, fs::last_write_time(trace) + std::chrono::seconds(10));
  CTraceClass again(&net_.a, &net_.c, 0, 0, trace, 0.1);
  again.SetNetworkFolder(dir_.string());
  again.PrepareRateFile(nullptr);
  EXPECT_EQ(Read(rates), "0 99\n");

  fs::last_write_time(trace, fs::last_write_time(rates) + std::chrono::seconds(10));  // trace edited
  CTraceClass rebuilt(&net_.a, &net_.c, 0, 0, trace, 0.1);
  rebuilt.SetNetworkFolder(dir_.string());
  rebuilt.PrepareRateFile(nullptr);
  EXPECT_EQ(Read(rates), "0.000000 20.000000\n0.100000 0.000000\n0.200000 10.000000\n");
}

TEST_F(RateFileTest, MissingTraceIsAFileError) {
  const std::string trace = (dir_ / "gone.vlt").string();
  CTraceClass c(&net_.a, &net_.c, 0, 0, trace, 0.1);
  c.SetNetworkFolder(dir_.string());
  try {
    c.PrepareRateFile(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.GetCause(), CFileException::kFileNotFound);
    EXPECT_EQ(e.GetFileName(), trace);
  }
  EXPECT_FALSE(fs::exists(CTraceClass::DerivedRateFileName(trace, 0.1)));
}

TEST_F(RateFileTest, DegenerateTracesTerminate) {
  const std::string trace = Write("z.vlt", "0.5\ninf\n1.5\n");
  CTraceClass zero(&net_.a, &net_.c, 0, 0, trace, 0.0);  // would never leave the first slot
  zero.SetNetworkFolder(dir_.string());
  EXPECT_THROW(zero.PrepareRateFile(nullptr), CTraceRateException);
  EXPECT_FALSE(fs::exists(zero.rateFileName));
  EXPECT_EQ(zero.GetRate(1.0), 0.0);
  CTraceClass infinite(&net_.a, &net_.c, 0, 0, trace, 0.1);  // "inf" ends the trace
  infinite.SetNetworkFolder(dir_.string());
  infinite.PrepareRateFile(nullptr);
  EXPECT_EQ(Read(infinite.rateFileName),
            "0.000000 0.000000\n0.100000 0.000000\n0.200000 0.000000\n0.300000 0.000000\n");
}

TEST_F(RateFileTest, NsTraceRecords) {
  const std::string trace = Write("b.vlt", "1.0\n1.5 2.25\n0.25\nend 9\n");
  CTraceClass::BuildNSTrace(trace, trace + ".nstrace");
  const std::string expected(
      "\x00\x07\xA1\x20\x00\x00\x03\xE8"   // 500000 us
      "\x00\x0B\x71\xB0\x00\x00\x03\xE8"   // 750000 us
      "\xFF\xE1\x7B\x80\x00\x00\x03\xE8",  // -2000000 us, low 32 bits
      24);
  EXPECT_EQ(Read(trace + ".nstrace"), expected);
}

TEST_F(RateFileTest, TraceTextsAndReading) {
  const std::string trace = Write("c.vlt", "1.0\n1.5\n2.25\n");
  CTraceClass c(&net_.a, &net_.c, 1, 2, trace, 0.5);
  EXPECT_EQ(c.GetDescription(), "Trace To C; File: \" c.vlt\"; Slot: 0.500000");
  EXPECT_EQ(c.GetQNSScript(), "t 1 " + trace + ".i 0.0 1 3\n");
  EXPECT_EQ(
      c.GetNSScript(0.0),
      test::Fill("\nset tfile_@ [new Tracefile]\n$tfile_@ filename c.vlt.nstrace\n\nset application_@ [new "
                 "Application/Traffic/Trace]\n$application_@ attach-tracefile $tfile_@\n\nset agent_@ [new "
                 "Agent/CBR/UDP]\n$ns attach-agent $node_A_1 $agent_@\nset null_@ [new Agent/Null]\n$ns "
                 "attach-agent $node_C_3 $null_@\n$ns connect $agent_@ $null_@\n$agent_@ attach-traffic "
                 "$application_@\n\n$ns at 1.000000 \"$agent_@ start\"\n$ns at 2.000000 \"$ns detach-agent "
                 "$node_A_1 $agent_@ ; $ns detach-agent $node_C_3 $null_@\"\n",
                 Format("_Trace_A_1_C_3_%x", c.GetIdentity())));
  EXPECT_EQ(Read(trace + ".nstrace").size(), 16u);

  // Reading replaces the stored rate file name by the derived one and builds nothing; the file is
  // made when a run (or a rate lookup) first needs it.
  CArchive out("d.net");
  c.rateFileName = "stale.vlr";
  c.Serialize(out);
  fs::remove(CTraceClass::DerivedRateFileName(trace, 0.5));
  CArchive in(out.Bytes(), "d.net");
  CTraceClass read;
  read.Serialize(in);
  EXPECT_EQ(read.traceFileName, trace);
  EXPECT_EQ(read.slotSize, 0.5);
  EXPECT_FALSE(fs::exists(CTraceClass::DerivedRateFileName(trace, 0.5)));
  read.SetNetworkFolder(dir_.string());
  EXPECT_EQ(read.rateFileName, CTraceClass::DerivedRateFileName(trace, 0.5));
  read.PrepareRateFile(nullptr);
  EXPECT_EQ(Read(read.rateFileName),
            "0.000000 0.000000\n0.500000 2.000000\n1.000000 2.000000\n1.500000 0.000000\n");
}

}  // namespace
}  // namespace varlo
