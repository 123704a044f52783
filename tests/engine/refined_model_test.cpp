// The stationary M/M/1/K closed forms, the refined model's runs against them, and the laws both
// models keep on networks where the first-described formulas broke them (NaN, N < 0, N > K, TCP
// classes carrying more than a link). Expected values come from summing the stationary
// distribution pi_n ~ rho^n directly, never from the code under test.
#include "model/mm1k_closed_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <limits>
#include <queue>
#include <random>
#include <utility>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dump_file.h"
#include "engine/refined_model.h"
#include "engine/run.h"
#include "engine/tcp_profile.h"
#include "model/document.h"
#include "model/persistent.h"
#include "run_network.h"

namespace varlo {
namespace {

using test::ForBothRuns;
using test::NetBuilder;
using test::OneLinkWithUdp;
using test::ProfileGuard;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

// N, U, P and Var(n)/rho of M/M/1/K by summing pi_n ~ rho^n, n = 0..K, in long double and in the
// log domain (no overflow for any rho).
struct Oracle {
  double N, U, P, slope;
};
Oracle Summed(double rho, int K) {
  const long double logRho = std::log(static_cast<long double>(rho));
  const long double top = logRho > 0 ? K * logRho : 0;
  long double s0 = 0, s1 = 0, s2 = 0;
  for (int n = 0; n <= K; ++n) {
    const long double w = std::exp(n * logRho - top);
    s0 += w;
    s1 += n * w;
    s2 += static_cast<long double>(n) * n * w;
  }
  const long double mean = s1 / s0;
  const long double variance = s2 / s0 - mean * mean;
  return Oracle{static_cast<double>(mean), static_cast<double>(1 - std::exp(-top) / s0),
                static_cast<double>(std::exp(K * logRho - top) / s0), static_cast<double>(variance / rho)};
}

::testing::AssertionResult Near(const char* what, double got, double want, double relative, double absolute) {
  if (std::fabs(got - want) <= std::max(relative * std::fabs(want), absolute)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " = " << got << ", expected " << want;
}

TEST(MM1KClosedForm, AgreesWithTheSummedDistributionForEveryLoadAndBuffer) {
  const int buffers[] = {1, 2, 10, 77, 99, 100, 150, 1000};
  // Loads on both sides of 1, within a hair of it (where the closed forms cancel), and far beyond
  // it (where rho^(K+1) overflows).
  const double loads[] = {0.01, 0.3, 0.9, 0.999, 1 - 1e-6, 1 - 1e-9, 1.0, 1 + 1e-9, 1 + 1e-6, 1.001, 1.2, 2.0, 20.0, 1e4};
  for (int K : buffers) {
    for (double rho : loads) {
      SCOPED_TRACE("K = " + std::to_string(K) + ", rho = " + std::to_string(rho));
      const Oracle want = Summed(rho, K);
      const MM1KMetrics got = MM1KClosedForm(rho, K);
      EXPECT_TRUE(Near("N", got.N, want.N, 1e-8, 1e-12));
      EXPECT_TRUE(Near("U", got.U, want.U, 1e-8, 1e-14));
      EXPECT_TRUE(Near("P", got.P, want.P, 1e-8, 1e-14));
      EXPECT_TRUE(Near("1 - P", got.acceptedShare, 1 - want.P, 1e-8, 1e-14));
      EXPECT_TRUE(Near("dN/drho", got.slope, want.slope, 1e-7, 1e-14));
    }
  }
  // No load, and a buffer with no room at all.
  const MM1KMetrics idle = MM1KClosedForm(0.0, 10);
  EXPECT_EQ(idle.N, 0.0);
  EXPECT_EQ(idle.U, 0.0);
  EXPECT_EQ(idle.P, 0.0);
  EXPECT_EQ(idle.slope, 1.0);  // N ~ rho at light load
  EXPECT_EQ(MM1KClosedForm(0.5, 0).P, 1.0);
}

// The steady loss a class counts at the queues beside its loop is the blocking probability of the
// queue's law at its load: of the M/M/1/K queue itself, of its bursts' queue (K / burst places) and
// of its paced packets' longer buffer (1 + (K - 1) / share places), at every load and buffer, and
// with no TCP window to lower it.
TEST(MM1KClosedForm, SteadyQueueLossIsTheLawsBlockingProbability) {
  const double loads[] = {0.01, 0.3, 0.9, 0.999, 1 - 1e-6, 1 - 1e-9, 1.0, 1 + 1e-9, 1 + 1e-6, 1.001, 1.2, 2.0, 20.0, 1e4};
  const ClosedLoopLoad none{};
  for (int K : {1, 2, 10, 77, 100, 1000}) {
    for (double rho : loads) {
      SCOPED_TRACE("K = " + std::to_string(K) + ", rho = " + std::to_string(rho));
      const double mu = 1000;
      EXPECT_TRUE(Near("P", SteadyQueueLoss(rho * mu, mu, K, 1.0, none), Summed(rho, K).P, 1e-8, 1e-13));
      EXPECT_TRUE(Near("P in bursts of 2", SteadyQueueLoss(rho * mu, mu, 2.0 * K, 2.0, none), Summed(rho, K).P,
                       1e-8, 1e-13));
      EXPECT_TRUE(Near("P paced", SteadyQueueLoss(rho * mu, mu, K + 1, 0.5, none), Summed(rho, 2 * K + 1).P,
                       1e-8, 1e-13));
    }
  }
  for (double K : {1e80, 1.7e308}) {
    EXPECT_TRUE(Near("P", SteadyQueueLoss(1000, 1000, K, 1.0, none), 1 / K, 1e-9, 0));
    EXPECT_EQ(SteadyQueueLoss(500, 1000, K, 1.0, none), 0.0);
    EXPECT_TRUE(Near("P", SteadyQueueLoss(2000, 1000, K, 1.0, none), 0.5, 1e-12, 0));
  }
  EXPECT_EQ(SteadyQueueLoss(0, 1000, 10, 1.0, none), 0.0);
  EXPECT_EQ(SteadyQueueLoss(500, 1000, 0, 1.0, none), 1.0);
}

// Buffers far beyond any queue's: at rho = 1 the occupancy is uniform over 0..K (N = K/2, P =
// 1/(K + 1)); below 1 the M/M/1 queue (N = rho/(1 - rho), dN/drho = 1/(1 - rho)^2); above 1 its
// mirror (K - N = 1/(rho - 1), Var = rho/(rho - 1)^2, dN/drho = Var/rho). From 10^77 packets on the
// cumulants at rho = 1 were infinite and N, P and U came out NaN; from 10^154 on, M^2 r^K was
// infinity times 0 and dN/drho NaN at every other load, which froze the refined queue's rho.
TEST(MM1KClosedForm, BuffersBeyondAnyQueueKeepTheirNumbers) {
  for (double K : {1e80, 1e160, 1.7e308}) {
    SCOPED_TRACE("K = " + std::to_string(K));
    const MM1KMetrics one = MM1KClosedForm(1.0, K);
    EXPECT_TRUE(Near("N", one.N, K / 2, 1e-12, 0));
    EXPECT_TRUE(Near("P", one.P, 1 / K, 1e-9, 0));
    EXPECT_TRUE(Near("U", one.U, 1, 1e-12, 0));
    EXPECT_GT(one.slope, 0.0);
    const MM1KMetrics half = MM1KClosedForm(0.5, K);
    EXPECT_TRUE(Near("N", half.N, 1, 1e-12, 0));
    EXPECT_TRUE(Near("dN/drho", half.slope, 4, 1e-12, 0));
    const MM1KMetrics twice = MM1KClosedForm(2.0, K);
    EXPECT_TRUE(Near("N", twice.N, K, 1e-12, 0));
    EXPECT_TRUE(Near("P", twice.P, 0.5, 1e-12, 0));
    EXPECT_TRUE(Near("dN/drho", twice.slope, 1, 1e-12, 0));
  }
}

TEST(MM1KClosedForm, LoadForSizeInvertsTheMeanSize) {
  for (int K : {1, 10, 100, 1000}) {
    for (double rho : {0.05, 0.7, 1.0, 1.0001, 1.5, 30.0}) {
      const double N = Summed(rho, K).N;
      if (N >= K) continue;
      SCOPED_TRACE("K = " + std::to_string(K) + ", rho = " + std::to_string(rho));
      EXPECT_TRUE(Near("rho", MM1KLoadForSize(N, K, 1.0), rho, 1e-6, 1e-12));
      EXPECT_TRUE(Near("rho", MM1KLoadForSize(N, K, 0.001), rho, 1e-6, 1e-12));
    }
  }
  EXPECT_EQ(MM1KLoadForSize(0.0, 10, 0.5), 0.0);
  // A buffer so large that it never fills: the M/M/1 queue, N = rho / (1 - rho), from a guess of an
  // overload or of load 1, as a queue's step makes them. (The search took any load holding within
  // 10^-12 K packets of N, and a buffer of 10^15 took no load at all as holding 10 packets; from
  // 10^100 packets on, its first step from an overload went so far below that its halvings ran
  // out before they came back; from load 1 it never left it.)
  for (double K : {1e12, 1e15, 1e20, 1e100, 1.7e308}) {
    for (double N : {0.5, 10.0, 1000.0}) {
      for (double guess : {1.0, 2.0}) {
        SCOPED_TRACE("K = " + std::to_string(K) + ", N = " + std::to_string(N) + ", guess " + std::to_string(guess));
        EXPECT_TRUE(Near("rho", MM1KLoadForSize(N, K, guess), N / (1.0 + N), 1e-9, 0.0));
      }
    }
  }
}

// N and the fraction of packets dropped of a queue of buffer K (mu = 1) fed by Poisson bursts of
// geometric size with mean burst and packet load rho, drop-tail (a burst takes what room is left,
// the rest of it is lost), from its generator's balance equations solved as they stand.
struct BurstOracle {
  double N, P;
};
BurstOracle BurstsSolved(double rho, int K, double burst) {
  const long double q = 1.0L - 1.0L / burst;  // P(size > k | size > k - 1)
  const long double burstRate = rho / burst;
  const int n = K + 1;
  // Rows: balance of each state but the last, then sum pi = 1.
  std::vector<std::vector<long double>> a(n, std::vector<long double>(n + 1, 0.0L));
  for (int j = 0; j < n; ++j) {  // flow out of j and into j from every i
    for (int i = 0; i < n; ++i) {
      long double rate = 0.0L;  // i -> j
      if (j == i - 1) rate = 1.0L;
      if (j > i) rate = burstRate * (j < K ? (1 - q) * std::pow(q, j - i - 1) : std::pow(q, j - i - 1));
      if (i != j && j < K) a[j][i] += rate;
      if (i == j) {
        long double out = i > 0 ? 1.0L : 0.0L;
        if (i < K) out += burstRate;
        if (j < K) a[j][i] -= out;
      }
    }
  }
  for (int i = 0; i < n; ++i) a[K][i] = 1.0L;
  a[K][n] = 1.0L;
  for (int c = 0; c < n; ++c) {  // Gauss-Jordan with partial pivoting
    int pivot = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < n; ++r) {
      if (r == c || a[r][c] == 0.0L) continue;
      const long double f = a[r][c] / a[c][c];
      for (int k = c; k <= n; ++k) a[r][k] -= f * a[c][k];
    }
  }
  long double N = 0.0L, dropped = 0.0L;
  for (int i = 0; i < n; ++i) {
    const long double pi = a[i][n] / a[i][i];
    N += i * pi;
    dropped += pi * std::pow(q, K - i) * burst;  // E[packets beyond the room K - i] per burst
  }
  return BurstOracle{static_cast<double>(N), static_cast<double>(dropped / burst)};
}

// A queue whose packets come in bursts counts K / burst bursts of burst packets each: against the
// exact queue of geometric bursts its N is within 13 %, and its loss within 15 % from a load of 0.8
// on wherever the loss counts (above 1 %; at lighter loads it may be half the exact one), from
// buffers of 20 to 100 and bursts of 1.5 to 3 packets. Bursts of 1 are the
// M/M/1/K queue bit for bit, and a buffer smaller than a burst still gives possible values.
TEST(MM1KClosedForm, BurstsCountAsCustomersOfTheirMeanSize) {
  for (int K : {20, 50, 100}) {
    for (double burst : {1.5, 2.0, 3.0}) {
      for (double rho : {0.5, 0.8, 0.95, 1.2, 2.0}) {
        SCOPED_TRACE("K = " + std::to_string(K) + ", burst = " + std::to_string(burst) + ", rho = " + std::to_string(rho));
        const BurstOracle want = BurstsSolved(rho, K, burst);
        const MM1KMetrics got = BurstyClosedForm(rho, K, burst);
        EXPECT_TRUE(Near("N", got.N, want.N, 0.13, 0.0));
        if (want.P > 0.01 && rho >= 0.8) {
          EXPECT_TRUE(Near("P", got.P, want.P, 0.15, 0.0));
        }
        // Below capacity bursts hold more than single packets; above it their tails are lost.
        if (rho < 1.0) {
          EXPECT_GT(got.N, MM1KClosedForm(rho, K).N);
        } else {
          EXPECT_LT(got.N, MM1KClosedForm(rho, K).N);
        }
      }
    }
  }
  for (double rho : {0.3, 1.0, 7.0}) {
    const MM1KMetrics single = MM1KClosedForm(rho, 40);
    const MM1KMetrics same = BurstyClosedForm(rho, 40, 1.0);
    EXPECT_EQ(same.N, single.N);
    EXPECT_EQ(same.P, single.P);
    EXPECT_EQ(same.U, single.U);
    EXPECT_EQ(same.slope, single.slope);
    const MM1KMetrics tiny = BurstyClosedForm(rho, 1.0, 3.0);
    EXPECT_TRUE(std::isfinite(tiny.N) && tiny.N >= 0.0 && tiny.N <= 1.0) << tiny.N;
    EXPECT_TRUE(tiny.P >= 0.0 && tiny.P <= 1.0 && tiny.U >= 0.0 && tiny.U <= 1.0);
  }
}

// --- runs ------------------------------------------------------------------------------------

std::vector<std::vector<double>> Rows(const std::string& path) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(ReadText(path));
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<double> row;
    std::string word;
    while (words >> word) row.push_back(std::strtod(word.c_str(), nullptr));
    rows.push_back(row);
  }
  return rows;
}

// Every queue group of every row: finite, 0 <= N <= K, U and P in [0, 1].
void ExpectPossible(const std::vector<std::vector<double>>& rows, const std::vector<double>& buffers) {
  for (const auto& row : rows) {
    for (size_t q = 0; q < buffers.size(); ++q) {
      const double N = row.at(1 + 3 * q), U = row.at(2 + 3 * q), P = row.at(3 + 3 * q);
      ASSERT_TRUE(N >= 0 && N <= buffers[q] && U >= 0 && U <= 1 && P >= 0 && P <= 1)
          << "t = " << row[0] << ", queue " << q << ": N = " << N << ", U = " << U << ", P = " << P;
    }
  }
}

struct SingleQueue {
  double rho;
  int K;
};

class RefinedSingleQueue : public ::testing::TestWithParam<SingleQueue> {};

// One UDP Poisson class at rho * mu on one link settles, in both runs, at the stationary
// M/M/1/K numbers of its load (within 2 %, or 0.02 packets / 0.002).
TEST_P(RefinedSingleQueue, SettlesAtTheMM1KNumbersInBothRuns) {
  const SingleQueue c = GetParam();
  const double mu = 1000;
  const Oracle want = Summed(c.rho, c.K);
  for (RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    SCOPED_TRACE(method == RunMethod::kComputeMetrics ? "Compute Metrics" : "M/M/1/K Z-iteration");
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, mu, c.K, 0.001);
    net.Udp(a, b, c.rho * mu);
    net.doc->totalTime = 20;
    net.doc->dumpFilePath = folder.File("q.dmp");
    RunOptions options;
    options.model = EvaluationModel::kRefined;
    ASSERT_EQ(varlo::Run(*net.doc, method, options).status, RunStatus::kCompleted);
    const auto rows = Rows(folder.File("q.dmp"));
    ExpectPossible(rows, {static_cast<double>(c.K), static_cast<double>(c.K)});
    const std::vector<double>& last = rows.back();
    EXPECT_TRUE(Near("N", last[1], want.N, 0.02, 0.02));
    EXPECT_TRUE(Near("U", last[2], want.U, 0.02, 0.002));
    EXPECT_TRUE(Near("P", last[3], want.P, 0.02, 0.002));
  }
}

INSTANTIATE_TEST_SUITE_P(LoadsAndBuffers, RefinedSingleQueue,
                         ::testing::Values(SingleQueue{0.05, 1}, SingleQueue{0.5, 10}, SingleQueue{0.9, 100},
                                           SingleQueue{1.0, 20}, SingleQueue{1.2, 50}, SingleQueue{0.8, 150},
                                           SingleQueue{2.0, 1000}, SingleQueue{1.2, 100}));

TEST(RefinedDump, SaysRefinedAfterTheCountsAndClassicDumpsStayAsTheyWere) {
  TempFolder folder;
  NetBuilder net;
  OneLinkWithUdp(net);
  RunOptions options;
  options.documentPath = "/n.net";
  options.model = EvaluationModel::kRefined;
  net.doc->dumpFilePath = folder.File("r.dmp");
  ASSERT_EQ(varlo::Run(*net.doc, RunMethod::kComputeMetrics, options).status, RunStatus::kCompleted);
  options.model = EvaluationModel::kClassic;
  net.doc->dumpFilePath = folder.File("c.dmp");
  ASSERT_EQ(varlo::Run(*net.doc, RunMethod::kComputeMetrics, options).status, RunStatus::kCompleted);

  EXPECT_EQ(ReadText(folder.File("r.dmp")).substr(0, 22), "/n.net\n1 1 10 refined\n");
  EXPECT_EQ(ReadText(folder.File("c.dmp")).substr(0, 14), "/n.net\n1 1 10\n");
  EXPECT_EQ(CDumpReader(folder.File("r.dmp")).GetHeader().model, "refined");
  EXPECT_EQ(CDumpReader(folder.File("c.dmp")).GetHeader().model, "classic");
  EXPECT_TRUE(CDumpReader(folder.File("r.dmp")).Matches(1, 1));
  // A refined Compute Metrics row shows the queue's mean size, not the offered load of an empty
  // queue: the first row is the empty queue at time 0.
  EXPECT_EQ(Rows(folder.File("r.dmp"))[0][1], 0.0);
  EXPECT_EQ(Rows(folder.File("c.dmp"))[0][1], 0.5);
}

// --- the laws, in both models --------------------------------------------------------------

struct ModelAndMethod {
  EvaluationModel model;
  RunMethod method;
};
const ModelAndMethod kAll[] = {{EvaluationModel::kClassic, RunMethod::kComputeMetrics},
                               {EvaluationModel::kClassic, RunMethod::kZIteration},
                               {EvaluationModel::kRefined, RunMethod::kComputeMetrics},
                               {EvaluationModel::kRefined, RunMethod::kZIteration}};

std::string Name(const ModelAndMethod& m) {
  return std::string(EvaluationModelName(m.model)) +
         (m.method == RunMethod::kComputeMetrics ? " Compute Metrics" : " Z-iteration");
}

// Overloads that made the first-described formulas write NaN (a buffer of 77 to 99 packets,
// whose squared rho^(K+1) overflowed), N < 0 (a large buffer reflected far past its junction)
// and N > K (a buffer of exactly 100 packets, which never gets a regime).
TEST(ModelLaws, OverloadedBuffersKeepEveryValuePossible) {
  struct Case {
    double K, load;
  };
  for (const Case c : {Case{80, 3}, Case{99, 20}, Case{150, 20}, Case{100, 1.2}, Case{1000, 20}}) {
    for (const ModelAndMethod& m : kAll) {
      SCOPED_TRACE("K = " + std::to_string(c.K) + ", load " + std::to_string(c.load) + ", " + Name(m));
      TempFolder folder;
      NetBuilder net;
      auto* a = net.Node("A");
      auto* b = net.Node("B");
      net.Link(a, b, 1000, c.K, 0.001);
      net.Udp(a, b, c.load * 1000);
      net.doc->totalTime = 3;
      net.doc->dumpFilePath = folder.File("o.dmp");
      RunOptions options;
      options.model = m.model;
      ASSERT_EQ(varlo::Run(*net.doc, m.method, options).status, RunStatus::kCompleted);
      ExpectPossible(Rows(folder.File("o.dmp")), {c.K, c.K});
    }
  }
}

// Many TCP flows on one bottleneck, whose large-buffer state was driven to N < 0 (a negative round
// trip, then NaN from the profile): nothing impossible appears in either model. The profile gives
// each class a rate from its round trip and loss alone, which summed to 2 - 2.6 times the link;
// with the refined model the classes crossing it never exceed its capacity together.
TEST(ModelLaws, ThousandTcpFlowsNeverCarryMoreThanTheirBottleneck) {
  const int flows = 1000;
  const double mu = 1000;
  for (const ModelAndMethod& m : kAll) {
    SCOPED_TRACE(Name(m));
    const ProfileGuard guard(kProfileNS);
    TempFolder folder;
    NetBuilder net;
    auto* r1 = net.Node("R1");
    auto* r2 = net.Node("R2");
    auto* s = net.Node("S");
    auto* d = net.Node("D");
    net.Link(s, r1, 100 * mu, 1000, 0.001);
    net.Link(r1, r2, mu, 100, 0.01);
    net.Link(r2, d, 100 * mu, 1000, 0.001);
    for (int i = 0; i < flows; ++i) net.Tcp(s, d, 0);
    net.doc->totalTime = 2;
    net.doc->dumpFilePath = folder.File("t.dmp");
    RunOptions options;
    options.model = m.model;
    const RunResult result = varlo::Run(*net.doc, m.method, options);
    ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
    const auto rows = Rows(folder.File("t.dmp"));
    ExpectPossible(rows, {1000, 1000, 100, 100, 1000, 1000});
    for (const auto& row : rows) {
      double sum = 0;
      for (int i = 0; i < flows; ++i) {
        ASSERT_TRUE(std::isfinite(row.at(19 + i)) && row[19 + i] >= 0);
        sum += row[19 + i];
      }
      if (m.model == EvaluationModel::kRefined) {
        ASSERT_LE(sum, mu * (1 + 1e-9)) << "t = " << row[0];
      }
    }
    if (m.model == EvaluationModel::kRefined) {
      // A thousand flows on a round trip of about 24 ms and 100 packets of buffer have a window of
      // a fraction of a packet each: the real network drops a large share and keeps the buffer
      // full, and so must the model rather than hold the queue at half its buffer with little loss.
      const auto& last = rows.back();
      EXPECT_GT(last.at(7), 80.0) << "average size of R1 -> R2";
      EXPECT_GT(last.at(9), 0.1) << "loss of R1 -> R2";
    }
  }
}

// The last dump row of a refined run of `seconds` (empty, with a failure, when it does not complete).
// Every row of a refined run of seconds into dump (none, with a failure, when it does not complete).
std::vector<std::vector<double>> RefinedRows(NetBuilder& net, RunMethod method, double seconds,
                                             const std::string& dump) {
  net.doc->totalTime = seconds;
  net.doc->dumpFilePath = dump;
  RunOptions options;
  options.model = EvaluationModel::kRefined;
  const RunResult result = varlo::Run(*net.doc, method, options);
  if (result.status != RunStatus::kCompleted) {
    ADD_FAILURE() << result.message;
    return {};
  }
  return Rows(dump);
}

std::vector<double> LastRefinedRow(NetBuilder& net, RunMethod method, double seconds, const std::string& dump) {
  const auto rows = RefinedRows(net, method, seconds, dump);
  return rows.empty() ? std::vector<double>{} : rows.back();
}

// S -> R -> D, two links of rate, buffer and delay; S and D. A row of its dump: time, then N, U, P of
// S -> R, R -> S, R -> D, D -> R, then the classes.
std::pair<CGraphicNode*, CGraphicNode*> Chain(NetBuilder& net, double rate, double buffer, double delay) {
  auto* s = net.Node("S");
  auto* r = net.Node("R");
  auto* d = net.Node("D");
  net.Link(s, r, rate, buffer, delay);
  net.Link(r, d, rate, buffer, delay);
  return {s, d};
}

// The last refined row of the chain above carrying one TCP class from S to D that stops at stop
// (0: never); empty, with a failure, when the run does not complete.
std::vector<double> LastRowOfOneTcpChain(RunMethod method, double rate, double buffer, double delay,
                                         double stop, double seconds) {
  const ProfileGuard guard(kProfileNS);
  TempFolder folder;
  NetBuilder net;
  const auto [s, d] = Chain(net, rate, buffer, delay);
  net.Tcp(s, d, 0, 0, stop);
  return LastRefinedRow(net, method, seconds, folder.File("chain.dmp"));
}

// A TCP sender keeps at most its maximum window (20 segments of 1040 bytes on the wire, 20.8 packets
// of 1000 bytes) in flight per round trip: one flow on a fast, long path (round trip at least 0.2 s)
// sends some 100 packets/s, far from filling a link of 10,000 packets/s, however much room that
// link leaves.
TEST(ModelLaws, RefinedTcpClassesStayWithinTheirWindowPerRoundTrip) {
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    const std::vector<double> last = LastRowOfOneTcpChain(method, 10000, 1000, 0.05, 0, 5);
    ASSERT_FALSE(last.empty());
    const double rate = last.at(13);
    EXPECT_GT(rate, 50.0);
    EXPECT_LE(rate, 20.8 / 0.2);
    EXPECT_LT(last.at(2), 0.02) << "utilisation of S -> R";
  }
}

// Four TCP flows into a hub and on over a shared link of 1,000 packets/s (buffer 30) to one sink,
// behind access links of 150, 300, 600 and 900 packets/s (buffers of 20). The first flow's window
// waits at its access link, which sends 150 packets/s and no more, whatever the shared link leaves.
// Its share of the shared link is the larger (its profile rate is small), so a loop of windows there
// must not make it send more than its access link takes: the refined model sent 231 packets/s into
// it, which then dropped 36 % of what it was offered. Nor can an access link drop anything: a
// window of 20 segments fits its buffer of 20 packets beside the one it sends. The first window
// waits there, all of it but what is on the way (150 packets/s for at most 20 ms of links, 10 ms of
// the sender's wait and 30 ms at the shared link: 9 packets). (The model, counting the window as
// 20.8 packets of 1,000 bytes against the buffer, lost 0.7 % there to the sawtooth of a window that
// would overflow it, and held 10 packets, where ns holds 16.7; the second access link, run by the
// open law, lost 0.3 %, where ns loses nothing.)
TEST(ModelLaws, RefinedTcpClassSendsNoMoreThanItsSlowestLinkTakes) {
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    auto* hub = net.Node("H");
    auto* sink = net.Node("D");
    net.Link(hub, sink, 1000, 30, 0.005);
    const double access[] = {150, 300, 600, 900};
    for (int i = 0; i < 4; ++i) {
      auto* s = net.Node("S" + std::to_string(i + 1));
      net.Link(s, hub, access[i], 20, 0.003 + 0.015 * i);
      net.Tcp(s, sink, 0);
    }
    const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("fan.dmp"));
    ASSERT_FALSE(last.empty());
    // time, then N, U, P of H -> D, D -> H, then of each access link both ways (Si -> H first)
    EXPECT_GT(150 * last.at(8), 0.95 * 150) << "sent by S1 -> H";
    EXPECT_GT(last.at(7), 20 - 9) << "size of S1 -> H";
    EXPECT_LT(last.at(7), 20) << "size of S1 -> H";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(last.at(9 + 6 * i), 0.0) << "loss of S" << i + 1 << " -> H";
  });
}

// A sender of a window of W packets that waits before it sends, as the agents of the ns scripts
// do: each acknowledgement that finds no wait running starts one, uniform up to 10 ms, and when it
// ends every packet the window then allows goes out. Its packets cross a first-in first-out link
// of mu packets/s and a fixed delay back to their acknowledgement. Returns the packets sent per
// second and the mean time from a packet's sending to its acknowledgement, over seconds.
struct WaitingSender {
  double rate, roundTrip;
};
WaitingSender SimulatedWaitingSender(int window, double mu, double delay, double seconds) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> wait(0.0, kTcpSendOverhead);
  using Event = std::pair<double, double>;  // (time, when the packet was sent), or (time, -1): the wait ends
  std::priority_queue<Event, std::vector<Event>, std::greater<>> events;
  events.push({0.0, -1.0});
  bool waiting = true;
  int inFlight = 0;
  long sent = 0, acknowledged = 0;
  double linkFree = 0.0, trips = 0.0;
  while (!events.empty() && events.top().first <= seconds) {
    const auto [time, sentAt] = events.top();
    events.pop();
    if (sentAt >= 0.0) {
      --inFlight;
      ++acknowledged;
      trips += time - sentAt;
      if (!waiting) {
        waiting = true;
        events.push({time + wait(random), -1.0});
      }
      continue;
    }
    waiting = false;
    for (; inFlight < window; ++inFlight, ++sent) {
      linkFree = std::max(linkFree, time) + 1.0 / mu;
      events.push({linkFree + delay, time});
    }
  }
  return {sent / seconds, trips / acknowledged};
}

// The refined model's window rate counts that wait: from the mean round trip the simulated sender
// saw, it gives the rate the sender kept, on paths from a link-limited one to a long one. (Without
// the wait it would be 15 to 100 % too high; with the mean wait once per round trip, up to 12 % too
// low where the acknowledgements come spread by a fast link.)
TEST(ModelLaws, WindowRateCountsTheSendersWaitBeforeSending) {
  for (const int window : {20, 21}) {
    for (const double mu : {1000.0, 3000.0}) {
      for (const double delay : {0.005, 0.02, 0.05, 0.1}) {
        const WaitingSender s = SimulatedWaitingSender(window, mu, delay, 300.0);
        EXPECT_NEAR(TcpWindowRate(s.roundTrip, window) / s.rate, 1.0, 0.03)
            << "window " << window << ", link " << mu << "/s, delay " << delay << " s: simulated " << s.rate
            << "/s over a round trip of " << s.roundTrip << " s";
      }
    }
  }
}

// The mean wait in line, before service, of the packets of a stream spaced 1 / paced apart (from a
// random phase) at a first-in first-out server of exponential service times at mu, beside Poisson
// packets at poisson per second.
double SimulatedPacedWait(double paced, double poisson, double mu, double seconds) {
  std::mt19937_64 random(11);
  std::exponential_distribution<double> service(mu);
  std::exponential_distribution<double> gap(poisson > 0.0 ? poisson : 1.0);
  double nextPaced = std::uniform_real_distribution<double>(0.0, 1.0 / paced)(random);
  double nextPoisson = poisson > 0.0 ? gap(random) : HUGE_VAL;
  double free = 0.0, waited = 0.0;
  long count = 0;
  for (;;) {
    const bool isPaced = nextPaced < nextPoisson;
    const double time = isPaced ? nextPaced : nextPoisson;
    if (time > seconds) break;
    const double start = std::max(time, free);
    free = start + service(random);
    if (isPaced) {
      if (time > 0.05 * seconds) {  // past the start from empty
        waited += start - time;
        ++count;
      }
      nextPaced += 1.0 / paced;
    } else {
      nextPoisson += gap(random);
    }
  }
  return waited / static_cast<double>(count);
}

// TCP packets that reach a queue spaced by the links they left wait less there than Poisson
// packets would, which the refined round trips count where no TCP window piles up: the share of
// the M/M/1 wait the model gives them agrees with an event simulation, from paced packets alone to
// half Poisson, at loads from 0.5 to 0.9. (The M/M/1 wait itself would be 1.4 to 4 times too long;
// Kingman's two-moment formula, up to 1.8 times at half load.)
TEST(ModelLaws, PacedPacketsWaitAsTheRoundTripsCount) {
  constexpr double mu = 1000.0;
  for (const double load : {0.5, 0.8, 0.9}) {
    for (const double poissonShare : {0.0, 0.1, 0.25, 0.5}) {
      const double simulated =
          SimulatedPacedWait(load * mu * (1.0 - poissonShare), load * mu * poissonShare, mu, load < 0.9 ? 300.0 : 600.0);
      const double mm1Wait = load / (1.0 - load) / mu;
      const double service = 1.0 / mu;
      const double modelWait = PacedSojourn(mm1Wait + service, mu, load, poissonShare) - service;
      EXPECT_NEAR(simulated / modelWait, 1.0, 0.15)
          << "load " << load << ", Poisson share " << poissonShare << ": simulated " << simulated << " s";
    }
  }
  // Where every packet is Poisson the M/M/1/K sojourn stands as it is.
  EXPECT_EQ(PacedSojourn(0.004, mu, 0.8, 1.0), 0.004);
}

// The time-average number in system and the share of arrivals dropped of a buffer of K packets
// (the one in service included) at a server of exponential service times at mu, fed by a stream
// spaced 1 / paced apart and by Poisson packets at poisson per second, over seconds.
struct SimulatedQueue {
  double N, P;
};
SimulatedQueue SimulatedPacedBuffer(double paced, double poisson, double mu, int K, double seconds) {
  std::mt19937_64 random(13);
  std::exponential_distribution<double> service(mu);
  std::exponential_distribution<double> gap(poisson > 0.0 ? poisson : 1.0);
  double nextPaced = std::uniform_real_distribution<double>(0.0, 1.0 / paced)(random);
  double nextPoisson = poisson > 0.0 ? gap(random) : HUGE_VAL;
  double nextDone = HUGE_VAL, last = 0.0, area = 0.0;
  const double warm = 0.05 * seconds;
  int n = 0;
  long arrived = 0, dropped = 0;
  for (;;) {
    const double time = std::min({nextPaced, nextPoisson, nextDone});
    if (time > seconds) break;
    if (time > warm) area += n * (time - std::max(last, warm));
    last = time;
    if (time == nextDone) {
      --n;
      nextDone = n > 0 ? time + service(random) : HUGE_VAL;
      continue;
    }
    if (time == nextPaced) {
      nextPaced += 1.0 / paced;
    } else {
      nextPoisson += gap(random);
    }
    const bool counted = time > warm;
    arrived += counted;
    if (n >= K) {
      dropped += counted;
      continue;
    }
    if (++n == 1) nextDone = time + service(random);
  }
  return {area / (seconds - warm), static_cast<double>(dropped) / static_cast<double>(arrived)};
}

// The queue law of paced packets (a burst below 1: they keep PacedQueueingScale of the waiting)
// holds what an event simulation of paced and Poisson packets at an exponential server with a
// finite buffer does, and drops it within a quarter where it drops more than 1 %, from small buffers
// to large, at half load up to 0.97, for paced packets alone up to 60 % Poisson. (The M/M/1/K
// queue of the same load holds up to 1.9 times as many and drops 1.5 to 100 times as many.)
// A network runs it: TCP leaving a link of 500 packets/s crosses one of 1000 with a buffer of 5
// beside 300 packets/s of Poisson traffic. At the dump's own load (0.8) the M/M/1/K queue drops 8.9 %,
// 1.8 times what the simulation of its paced and Poisson packets drops.
TEST(ModelLaws, PacedPacketsHoldAndDropWhatASimulatedBufferDoes) {
  constexpr double mu = 1000.0;
  for (const int K : {5, 10, 20, 40}) {
    for (const double load : {0.5, 0.8, 0.9, 0.97}) {
      for (const double poissonShare : {0.0, 0.3, 0.6}) {
        SCOPED_TRACE("K = " + std::to_string(K) + ", load " + std::to_string(load) + ", Poisson share " +
                     std::to_string(poissonShare));
        const SimulatedQueue simulated =
            SimulatedPacedBuffer(load * mu * (1.0 - poissonShare), load * mu * poissonShare, mu, K, 300.0);
        const MM1KMetrics law = BurstyClosedForm(load, K, PacedQueueingScale(poissonShare, load));
        EXPECT_TRUE(Near("N", law.N, simulated.N, 0.06, 0.03));
        if (simulated.P > 0.01) {
          EXPECT_TRUE(Near("P", law.P, simulated.P, 0.25, 0.0));
        }
        EXPECT_NEAR(law.U, load * (1.0 - law.P), 1e-12);
        EXPECT_NEAR(BurstyLoadForSize(law.N, K, PacedQueueingScale(poissonShare, load), 0.3), load, 1e-9);
      }
    }
  }
  // Queue q of a dump row (N, U and P) against the simulation of the paced TCP and the 300 packets/s
  // of Poisson traffic it carries at the load the row gives it, the loss too where asked.
  const auto expectSimulated = [&](const std::vector<double>& row, int q, int K, bool loss) {
    const double N = row.at(1 + 3 * q), U = row.at(2 + 3 * q), P = row.at(3 + 3 * q);
    const double load = U / (1.0 - P);
    const SimulatedQueue simulated = SimulatedPacedBuffer(load * mu - 300.0, 300.0, mu, K, 300.0);
    EXPECT_TRUE(Near("N", N, simulated.N, 0.08, 0.03)) << "queue " << q << ", load " << load;
    if (loss) {
      EXPECT_TRUE(Near("P", P, simulated.P, 0.2, 0.0)) << "queue " << q << ", load " << load;
    }
  };
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    {
      NetBuilder net;
      auto* r1 = net.Node("R1");
      auto* r2 = net.Node("R2");
      auto* r3 = net.Node("R3");
      net.Link(r1, r2, 500, 100, 0.01);
      net.Link(r2, r3, 1000, 5, 0.002);
      for (int i = 0; i < 3; ++i) {
        auto* s = net.Node("S" + std::to_string(i + 1));
        auto* d = net.Node("D" + std::to_string(i + 1));
        net.Link(s, r1, 10000, 1000, 0.002 + 0.01 * i);
        net.Link(r3, d, 10000, 1000, 0.002);
        net.Tcp(s, d, 0);
      }
      auto* u = net.Node("U");
      auto* v = net.Node("V");
      net.Link(u, r2, 10000, 1000, 0.002);
      net.Link(r3, v, 10000, 1000, 0.002);
      net.Udp(u, v, 300);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("paced.dmp"));
      ASSERT_FALSE(last.empty());
      expectSimulated(last, 2, 5, true);  // R2 -> R3 (each link's two ways in turn)
    }
    // A parking lot of three equal links of 1000 packets/s with buffers of 40: two TCP classes end
    // to end and 300 packets/s of Poisson traffic over each link. The windows wait at the first
    // link, whose sending paces them into the next two, which hold what the simulation holds (the
    // M/M/1/K queue at their load holds 1.4 times as many).
    NetBuilder net;
    CGraphicNode* routers[4];
    for (int i = 0; i < 4; ++i) routers[i] = net.Node("R" + std::to_string(i));
    for (int i = 0; i < 3; ++i) net.Link(routers[i], routers[i + 1], 1000, 40, 0.005);
    auto* s = net.Node("S");
    auto* d = net.Node("D");
    net.Link(s, routers[0], 10000, 1000, 0.002);
    net.Link(routers[3], d, 10000, 1000, 0.002);
    for (int i = 0; i < 2; ++i) net.Tcp(s, d, 0);
    for (int i = 0; i < 3; ++i) {
      auto* u = net.Node("U" + std::to_string(i));
      auto* v = net.Node("V" + std::to_string(i));
      net.Link(u, routers[i], 10000, 1000, 0.001 + 0.01 * i);
      net.Link(routers[i + 1], v, 10000, 1000, 0.001);
      net.Udp(u, v, 300);
    }
    const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("lot.dmp"));
    ASSERT_FALSE(last.empty());
    for (const int q : {2, 4}) expectSimulated(last, q, 40, false);  // R1 -> R2, R2 -> R3
  });
}

// A single closed loop of W packets, each away for Z on average once the queue has sent it, is the
// machine-repairman queue: pi_n ~ W! / (W - n)! (mu Z)^-n, n = 0..W. Its N and U summed directly
// must be the loop's, from far below the knee (mu Z = 4 W: the window cannot keep the link busy) to
// far above it (mu Z = W / 4: the window's excess waits at the queue).
TEST(ClosedLoop, OneLoopIsTheMachineRepairmanQueue) {
  constexpr double mu = 1000.0;
  for (const int W : {1, 7, 20, 60}) {
    for (const double ratio : {0.25, 0.8, 1.0, 1.25, 4.0}) {
      const double away = ratio * W / mu;
      long double total = 0, size = 0, weight = 1;
      for (int n = 0; n <= W; ++n) {
        total += weight;
        size += n * weight;
        weight *= static_cast<long double>(W - n) / (mu * away);
      }
      const double N = static_cast<double>(size / total);
      const double U = static_cast<double>(1 - 1 / total);
      const ClosedLoopMetrics loop = ClosedLoopQueue(0.0, W, &away, 1, mu, 10.0 * W + 10.0);
      ASSERT_TRUE(loop.applies) << "W " << W << ", mu Z / W " << ratio;
      EXPECT_NEAR(loop.N, N, 1e-9 * W) << "W " << W << ", mu Z / W " << ratio;
      EXPECT_NEAR(loop.U, U, 1e-12) << "W " << W << ", mu Z / W " << ratio;
      EXPECT_NEAR(loop.closedThroughput, mu * U, 1e-9 * mu);
    }
  }
  // Windows that would fill the buffer are left to the open law (their losses set the rates).
  const double away = 0.001;
  EXPECT_FALSE(ClosedLoopQueue(0.0, 60.0, &away, 1, 1000.0, 40.0).applies);
  // So is a queue whose other traffic leaves no room.
  EXPECT_FALSE(ClosedLoopQueue(1000.0, 20.0, &away, 1, 1000.0, 100.0).applies);
}

// A loop of W packets beside Poisson traffic at one queue of K places: the Markov chain of (c, o),
// the loop's packets and the Poisson ones there, each away packet back after an exponential time
// of mean Z, the queue sending one packet at a time at mu, its class drawn in proportion to what it
// holds, arrivals that find K packets lost. Its stationary distribution by Gauss-Seidel sweeps of
// the balance equations; a packet of the loop that arrives sees the chain of W - 1 of them.
TEST(ClosedLoop, LoopBesidePoissonTrafficFindsItsBufferFullAsItsMarkovChainDoes) {
  constexpr double mu = 1000.0;
  const auto chainFull = [&](int W, double lambda, double Z, int K) {
    std::vector<std::vector<double>> p(W + 1, std::vector<double>(K + 1, 0.0));
    for (int c = 0; c <= W; ++c)
      for (int o = 0; c + o <= K && o <= K; ++o) p[c][o] = 1.0;
    for (int sweep = 0; sweep < 20000; ++sweep) {
      double change = 0.0;
      for (int c = 0; c <= W && c <= K; ++c) {
        for (int o = 0; c + o <= K; ++o) {
          const int n = c + o;
          const double out = (n < K ? (W - c) / Z + lambda : 0.0) + (n > 0 ? mu : 0.0);
          double in = 0.0;
          if (c > 0) in += p[c - 1][o] * (W - c + 1) / Z;
          if (o > 0) in += p[c][o - 1] * lambda;
          if (n < K && c < W) in += p[c + 1][o] * mu * (c + 1) / (n + 1);
          if (n < K) in += p[c][o + 1] * mu * (o + 1) / (n + 1);
          const double next = out > 0.0 ? in / out : p[c][o];
          change = std::max(change, std::fabs(next - p[c][o]));
          p[c][o] = next;
        }
      }
      double total = 0.0;
      for (const auto& row : p)
        for (const double x : row) total += x;
      for (auto& row : p)
        for (double& x : row) x /= total;
      if (change < 1e-15) break;
    }
    double full = 0.0;
    for (int c = 0; c <= W && c <= K; ++c) full += p[c][K - c];
    return full;
  };
  const struct {
    int W;
    double lambda, Z;
    int K;
  } cases[] = {{20, 200, 0.032, 10}, {20, 400, 0.032, 15}, {8, 600, 0.01, 6}, {3, 500, 0.002, 4}, {41, 300, 0.05, 12}};
  for (const auto& c : cases) {
    const double expected = chainFull(c.W - 1, c.lambda, c.Z, c.K);
    const double share = MixedLoopFullShare(c.lambda / mu, c.W - 1.0, mu * c.Z, c.K);
    EXPECT_NEAR(share, expected, 1e-6 * expected + 1e-12) << "W " << c.W << ", lambda " << c.lambda << ", K " << c.K;
  }
  // A long buffer nearly filled by Poisson traffic, against the chance of n packets summed state by
  // state in logs (the chain above would take too long to settle there): C(n, c) q^(n - c) times
  // the loop's weight Gamma(W + 1) / Gamma(W - c + 1) / A^c, a fractional W weighing its last place
  // by its fraction.
  {
    const double q = 0.97, W = 30.5, A = 60.0;
    const int K = 400;
    const auto logState = [&](int n, int c) {
      return std::lgamma(n + 1.0) - std::lgamma(c + 1.0) - std::lgamma(n - c + 1.0) + (n - c) * std::log(q) +
             std::lgamma(W + 1.0) - std::lgamma(W - c + 1.0) - c * std::log(A);
    };
    long double total = 0, atK = 0;
    for (int n = 0; n <= K; ++n) {
      for (int c = 0; c <= n && c <= 31; ++c) {
        const long double x = std::exp(static_cast<long double>(logState(n, c)) - 40.0L);
        total += x;
        if (n == K) atK += x;
      }
    }
    const double expected = static_cast<double>(atK / total);
    EXPECT_NEAR(MixedLoopFullShare(q, W, A, K), expected, 1e-6 * expected);
  }
  // Between whole populations and buffers the share moves without a jump.
  for (const double W : {7.0, 19.0}) {
    const double at = MixedLoopFullShare(0.4, W, 32.0, 12.0);
    EXPECT_NEAR(MixedLoopFullShare(0.4, W - 1e-7, 32.0, 12.0), at, 1e-5 * at);
    EXPECT_NEAR(MixedLoopFullShare(0.4, W + 1e-7, 32.0, 12.0), at, 1e-5 * at);
  }
  EXPECT_NEAR(MixedLoopFullShare(0.4, 19.0, 32.0, 12.0 + 1e-7), MixedLoopFullShare(0.4, 19.0, 32.0, 12.0), 1e-7);
  // A loop that cannot fill the buffer by itself never finds it full; a buffer of thousands far
  // above a small queue is as good as never full.
  EXPECT_EQ(MixedLoopFullShare(0.0, 9.0, 5.0, 10.0), 0.0);
  EXPECT_LT(MixedLoopFullShare(0.5, 40.0, 30.0, 3000.0), 1e-15);
}

// Poisson UDP of rate packets/s from U into `into` and from `outOf` on to V, over links of 10,000
// packets/s and 2 ms.
void PoissonCrossTraffic(NetBuilder& net, CGraphicNode* into, CGraphicNode* outOf, double rate) {
  auto* u = net.Node("U");
  auto* v = net.Node("V");
  net.Link(u, into, 10000, 1000, 0.002);
  net.Link(outOf, v, 10000, 1000, 0.002);
  net.Udp(u, v, rate);
}

// R1 -> R2 (1,000 packets/s, buffer packets, 10 ms) and two TCP classes S0 -> D0 and S1 -> D1 over
// access links of 10,000 packets/s and 2 ms: a round trip of some 28 ms with empty queues.
// (flows TCP classes; the access delay of the i-th grows by spread per class; a bottleneck of another
// rate has access links ten times as fast, at least 10,000 packets/s.)
std::pair<CGraphicNode*, CGraphicNode*> TcpDumbbell(NetBuilder& net, double buffer, int flows = 2,
                                                    double spread = 0.0, double bottleneck = 1000) {
  auto* r1 = net.Node("R1");
  auto* r2 = net.Node("R2");
  net.Link(r1, r2, bottleneck, buffer, 0.01);
  const double access = std::max(10000.0, 10 * bottleneck);
  for (int i = 0; i < flows; ++i) {
    auto* s = net.Node("S" + std::to_string(i));
    auto* d = net.Node("D" + std::to_string(i));
    net.Link(s, r1, access, 1000, 0.002 + spread * i);
    net.Link(r2, d, access, 1000, 0.002);
    net.Tcp(s, d, 0);
  }
  return {r1, r2};
}

// Two TCP flows whose windows (2 x 20.8 packets) exceed the bandwidth-delay product of their link
// (some 30 packets) and fit in its buffer: the excess of the windows waits at the queue, and the
// link sends without a pause, as in a packet simulator, instead of the 92 % at which an open queue
// of the same packets would send.
TEST(ModelLaws, WindowsLargerThanTheirPathKeepTheLinkBusy) {
  const ProfileGuard guard(kProfileNS);
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    TempFolder folder;
    NetBuilder net;
    TcpDumbbell(net, 100);
    const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("w.dmp"));
    ASSERT_FALSE(last.empty());
    EXPECT_GT(last.at(2), 0.97) << "utilisation of R1 -> R2";
    EXPECT_LT(last.at(1), 41.6 - 0.97 * 1000 * 0.028) << "average size of R1 -> R2";
    EXPECT_EQ(last.at(3), 0.0) << "loss of R1 -> R2";
  }
}

// TCP both ways over R1 - R2 (1,000 packets/s, 10 ms): what ns's flows carry each way
// (bench/compare-ns, dumbbells of one to eight flows each way and two against one, of round trips
// from 28 to 168 ms, three seeds), within 10 %.
// - On 100 packets, each way's acknowledgements wait behind the other way's data and come back
//   bunched, so the windows reach their queue in clusters and it idles more often: taken as
//   single packets, the refined model gave them 11 % to 14 % more.
// - On 10 and 20 packets, the other way's acknowledgements take up to two fifths of the places of
//   the buffer, which counts packets: without them the refined model gave the flows 31 % to 64 %
//   more (416 for one flow each way on 10 packets, 753 and 912 for two and four on 20).
// - Two flows against one on 20 packets: the loop the two flows' windows form at their queue
//   holds only while their bursts, in clusters of bunched acknowledgements, leave room for
//   themselves; held regardless, it kept their windows whole and gave them 759 (ns: 577).
// Where ns counts the acknowledgements in its queue's size, so does the dump: four flows each way
// on 100 packets, within the 25 % of the accuracy target (ns: 17.4 and 20.1; 8.7 without them).
TEST(ModelLaws, TcpBothWaysSendsTheWindowsOfBunchedAcknowledgements) {
  const struct {
    double buffer;
    int forward, backward;
    double nsForward, nsBackward;
    double nsSizeForward = 0, nsSizeBackward = 0;  // 0: not checked
  } cases[] = {{100, 1, 1, 516, 516},
               {100, 2, 2, 697, 696},
               {100, 2, 1, 737, 484},
               {100, 4, 4, 867, 866, 17.4, 20.1},
               {10, 1, 1, 318, 321},
               {20, 2, 2, 565, 543},
               {20, 4, 4, 556, 541},
               {20, 2, 1, 577, 506}};
  for (const auto& c : cases) {
    ForBothRuns([&](const RunMethod method, TempFolder& folder) {
      NetBuilder net;
      auto* r1 = net.Node("R1");
      auto* r2 = net.Node("R2");
      net.Link(r1, r2, 1000, c.buffer, 0.01);
      for (int i = 0; i < std::max(c.forward, c.backward); ++i) {
        auto* a = net.Node("A" + std::to_string(i));
        auto* b = net.Node("B" + std::to_string(i));
        net.Link(a, r1, 10000, 1000, 0.002 + 0.02 * i);
        net.Link(r2, b, 10000, 1000, 0.002);
        if (i < c.forward) net.Tcp(a, b, 0);
        if (i < c.backward) net.Tcp(b, a, 0);
      }
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("two.dmp"));
      ASSERT_FALSE(last.empty());
      // time, then N, U, P of R1 -> R2 and R2 -> R1, which carry the TCP classes alone
      const double forward = 1000 * last.at(2);
      const double backward = 1000 * last.at(5);
      const std::string name = std::to_string(c.forward) + " and " + std::to_string(c.backward) + " flows on " +
                               std::to_string(static_cast<int>(c.buffer)) + " packets";
      EXPECT_NEAR(forward, c.nsForward, 0.1 * c.nsForward) << name;
      EXPECT_NEAR(backward, c.nsBackward, 0.1 * c.nsBackward) << name;
      if (c.nsSizeForward > 0) {
        EXPECT_NEAR(last.at(1), c.nsSizeForward, 0.25 * c.nsSizeForward) << name;
        EXPECT_NEAR(last.at(4), c.nsSizeBackward, 0.25 * c.nsSizeBackward) << name;
      }
      EXPECT_LE(last.at(1), c.buffer) << name;
      EXPECT_LE(last.at(4), c.buffer) << name;
    });
  }
}

// TCP flows whose bottleneck is a link of 500 packets/s go on over a link of 1,000 with a small
// buffer that Poisson traffic shares. There the refined queue loses as M/M/1/K's does (2.7 % to
// 8.9 %), where ns, whose packets are of fixed size and whose TCP packets come paced by the
// bottleneck, loses 0.1 % to 0.7 %; its flows together carry 438, 443 and 498 packets/s (one flow
// beside 400 packets/s on 10 packets, two beside 450 on 10, three beside 300 on 5). Their windows
// wait at their bottleneck's loop, and the flows keep within 15 % of ns's. (Letting a window held
// there yield to those losses, as a random mesh's flows behind bursty first links seemed to ask for,
// took them to 32 % to 87 % below ns.)
TEST(ModelLaws, TcpWindowsAtTheirBottleneckCarryOnThroughASmallBufferWithPoissonTraffic) {
  const struct {
    int flows;
    double udp, buffer, nsTcp;
  } cases[] = {{1, 400, 10, 438}, {2, 450, 10, 443}, {3, 300, 5, 498}};
  for (const auto& c : cases) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      const std::string name = std::to_string(c.flows) + " flows beside " + std::to_string(static_cast<int>(c.udp)) +
                               " packets/s on " + std::to_string(static_cast<int>(c.buffer)) + " packets";
      SCOPED_TRACE(name + (method == RunMethod::kComputeMetrics ? ", Compute Metrics" : ", Z-iteration"));
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      auto* r1 = net.Node("R1");
      auto* r2 = net.Node("R2");
      auto* r3 = net.Node("R3");
      net.Link(r1, r2, 500, 100, 0.01);
      net.Link(r2, r3, 1000, c.buffer, 0.002);
      for (int i = 0; i < c.flows; ++i) {
        auto* s = net.Node("S" + std::to_string(i));
        auto* d = net.Node("D" + std::to_string(i));
        net.Link(s, r1, 10000, 1000, 0.002 + 0.01 * i);
        net.Link(r3, d, 10000, 1000, 0.002);
        net.Tcp(s, d, 0);
      }
      PoissonCrossTraffic(net, r2, r3, c.udp);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("after.dmp"));
      ASSERT_FALSE(last.empty());
      // time, N U P of both ways of each link (2 + 2 per flow + 2 of them), then the TCP classes
      const size_t firstClass = 1 + 6 * (4 + 2 * static_cast<size_t>(c.flows));
      double tcp = 0;
      for (int i = 0; i < c.flows; ++i) tcp += last.at(firstClass + i);
      EXPECT_NEAR(tcp, c.nsTcp, 0.15 * c.nsTcp);
    }
  }
}

// The window loops of a network follow one another's round trips. Three random meshes settle in
// both runs: over the last third of a 15 s run no queue's size and no class's rate moves by more than 5 %
// about its mean.
// - 30 routers with 75 TCP and 75 UDP classes (bench/gen-network 30 --classes-per-node 5 --seed 3,
//   imported with varlo-cli), NetBSD profile. (Queues that took their loops' states at once chased
//   one another round: sizes swung by 60 to 90 % there.)
// - 60 routers with buffers of 5 to 5,000 packets and 300 classes (bench/gen-network 60
//   --classes-per-node 5 --mixed-buffers --seed 3), NS profile. (Classes whose loop stopped holding
//   fell to a fifth of their rate in one step and formed the loop again from there: in Compute
//   Metrics a queue swung between 27 and 66 packets, and two classes between 28 and 174 packets/s.)
// - 50 routers, the same way with --seed 11, NS profile. (Loops that formed and broke at the same
//   bound near the end of a buffer did so step after step: sizes and rates swung by up to 35 % in
//   Compute Metrics and 14 % in the Z-iteration.)
TEST(ModelLaws, WindowLoopsOfAMeshSettle) {
  struct Mesh {
    const char* file;
    int profile;
  };
  RegisterPersistentClasses();
  const Mesh meshes[] = {{"mesh-30-tcp-loops.net", kProfileNetBSD},
                         {"mesh-60-mixed-buffers.net", kProfileNS},
                         {"mesh-50-mixed-buffers.net", kProfileNS}};
  for (const Mesh& mesh : meshes) {
    const ProfileGuard guard(mesh.profile);
    const std::string file = std::string(VARLO_SOURCE_DIR) + "/tests/corpus/networks/" + mesh.file;
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      SCOPED_TRACE(std::string(mesh.file) +
                   (method == RunMethod::kComputeMetrics ? ", Compute Metrics" : ", Z-iteration"));
      auto doc = std::make_unique<CVarloDoc>();
      doc->OnOpenDocument(file);  // throws, naming the file, where it cannot be read
      TempFolder folder;
      doc->totalTime = 15;
      doc->dumpFilePath = folder.File("m.dmp");
      RunOptions options;
      options.model = EvaluationModel::kRefined;
      const RunResult result = varlo::Run(*doc, method, options);
      ASSERT_EQ(result.status, RunStatus::kCompleted) << result.message;
      const auto rows = Rows(folder.File("m.dmp"));
      ASSERT_GT(rows.size(), 100u);
      std::vector<const std::vector<double>*> late;
      for (const auto& row : rows) {
        if (row.at(0) >= 10.0) late.push_back(&row);
      }
      size_t watched = 0;
      for (size_t column = 1; column < rows[0].size(); ++column) {
        double sum = 0, squares = 0;
        for (const auto* row : late) sum += row->at(column);
        const double mean = sum / late.size();
        if (!(mean > 0.5)) continue;
        for (const auto* row : late) squares += (row->at(column) - mean) * (row->at(column) - mean);
        ++watched;
        EXPECT_LT(std::sqrt(squares / late.size()), 0.05 * mean) << "column " << column << ", mean " << mean;
      }
      EXPECT_GT(watched, 100u);
    }
  }
}

// A flow whose window waits whole at its bottleneck (S -> R0 -> R1 -> R2, R1 -> R2 of 300 packets/s
// with a buffer of 100) still loses what an earlier queue drops: R0 -> R1 of 1,000 packets/s and 5
// packets of buffer, where 650 packets/s of Poisson traffic join it. A Reno flow sends no more than
// it keeps up against that loss (the formula of Padhye, Firoiu, Towsley and Kurose, at the
// shortest round trip the path allows), and no less than half of it; held whole at its bottleneck
// instead, it sent 233 packets/s through a loss of 18 %.
TEST(ModelLaws, RefinedWindowHeldAtALoopYieldsToLossesBeforeIt) {
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    auto* s = net.Node("S");
    auto* r0 = net.Node("R0");
    auto* r1 = net.Node("R1");
    auto* r2 = net.Node("R2");
    auto* u = net.Node("U");
    net.Link(s, r0, 10000, 1000, 0.001);
    net.Link(r0, r1, 1000, 5, 0.01);
    net.Link(r1, r2, 300, 100, 0.01);
    net.Link(u, r0, 10000, 1000, 0.001);
    net.Tcp(s, r2, 0);
    net.Udp(u, r1, 650);
    const std::vector<double> last = LastRefinedRow(net, method, 30, folder.File("lossy.dmp"));
    ASSERT_EQ(last.size(), 1u + 4 * 6 + 2);
    const double loss = last.at(9);  // R0 -> R1
    const double rate = last.at(25);
    ASSERT_GT(loss, 0.01);
    // Propagation both ways and one packet's sending at each queue of the way there, s.
    const double shortestTrip = 2 * (0.001 + 0.01 + 0.01) + 1.0 / 10000 + 1.0 / 1000 + 1.0 / 300;
    const double segments =
        1.0 / (shortestTrip * std::sqrt(2 * loss / 3) +
               0.2 * std::min(1.0, 3 * std::sqrt(3 * loss / 8)) * loss * (1 + 32 * loss * loss));
    const double reno = segments * 1040 / 1000;  // packets of 1000 bytes per second
    EXPECT_LE(rate, 1.1 * reno) << "loss " << loss;
    EXPECT_GE(rate, 0.5 * reno) << "loss " << loss;
  });
}

// A TCP class that stops sending leaves its path empty: nothing of what it sent before goes on
// being carried, in either run.
TEST(ModelLaws, RefinedTcpClassCarriesNothingAfterItStops) {
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    const std::vector<double> last = LastRowOfOneTcpChain(method, 1000, 50, 0.01, 2, 5);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.at(13), 0.0) << "rate of the class";
    EXPECT_LT(last.at(2), 1e-3) << "utilisation of S -> R";
    EXPECT_LT(last.at(8), 1e-3) << "utilisation of R -> D";
  }
}

// TCP classes decide their rates about once per round trip: when a second class starts and later
// stops on the same path, the first gives it room and takes it back within a few tenths of a
// second, in either run, and together they never get more than the link sends.
TEST(ModelLaws, RefinedTcpClassesMakeRoomForOneThatStartsAndTakeItBack) {
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    const auto [s, d] = Chain(net, 1000, 50, 0.001);
    net.Tcp(s, d, 0);
    net.Tcp(s, d, 0, 2, 4);
    const auto rows = RefinedRows(net, method, 6, folder.File("two.dmp"));
    ASSERT_FALSE(rows.empty());
    const auto at = [&](double t) -> const std::vector<double>& {
      for (const auto& row : rows) {
        if (row.at(0) >= t) return row;
      }
      return rows.back();
    };
    const double alone = at(1.9).at(13);
    EXPECT_GT(alone, 800.0);
    EXPECT_EQ(at(1.9).at(14), 0.0);
    for (const auto& row : rows) EXPECT_LE(row.at(13) + row.at(14), 1000.0 + 1e-6) << "t = " << row[0];
    EXPECT_GT(at(2.3).at(14), 200.0);
    EXPECT_LT(at(2.3).at(13), 0.75 * alone);
    EXPECT_EQ(at(4.3).at(14), 0.0);
    EXPECT_GT(at(4.3).at(13), 0.9 * alone);
  });
}

// Utilisation of a link by flows whose windows (W packets in all, path round trip T with an empty
// buffer, capacity C) grow by a packet per round trip and halve together when the buffer
// overflows, by stepping the windows through many teeth: the link sends min(W/T, C), the round
// trip is T plus the queue W - CT, if any.
double SteppedSawtooth(double buffer, double bandwidthDelay) {
  const double C = 1000.0, T = bandwidthDelay / C, top = bandwidthDelay + buffer;
  double W = top / 2, sent = 0, elapsed = 0;
  const double dt = T / 2000;
  for (int teeth = 0; teeth < 3;) {
    const double roundTrip = std::max(T, W / C);
    sent += std::min(W / T, C) * dt;
    elapsed += dt;
    W += dt / roundTrip;
    if (W >= top) {
      W /= 2;
      ++teeth;
    }
  }
  return sent / (C * elapsed);
}

TEST(ModelLaws, TcpFlowsLosingTogetherKeepASmallBufferBusyAsTheirSawtoothDoes) {
  for (const double bdp : {20.0, 123.0}) {
    for (const double ratio : {0.0, 0.1, 0.25, 0.5, 0.9}) {
      EXPECT_NEAR(TcpSawtoothUtilisation(ratio * bdp, bdp), SteppedSawtooth(ratio * bdp, bdp), 2e-3)
          << "buffer " << ratio * bdp << ", bandwidth-delay " << bdp;
    }
    EXPECT_EQ(TcpSawtoothUtilisation(bdp, bdp), 1.0);
    EXPECT_EQ(TcpSawtoothUtilisation(3 * bdp, bdp), 1.0);
  }
  EXPECT_NEAR(TcpSawtoothUtilisation(0.0, 50.0), 0.75, 1e-12);
  EXPECT_EQ(TcpSawtoothUtilisation(10.0, HUGE_VAL), 1.0);  // not NaN

  // Ten flows of the same round trip (some 0.1 s: 100 packets in flight at 1,000 packets/s) on a
  // bottleneck of 10 packets: the refined model offers the bottleneck no more than their sawtooth
  // keeps busy, where it used to fill the link with a queue at half the buffer (the losses their
  // bursts cause at random on so small a buffer may hold them a little below it).
  const double mu = 1000, delay = 0.016, access = 0.017;
  const double idle = 2 * (2 * access + delay) + 4 / (100 * mu) + 2 / mu;
  const double expected = SteppedSawtooth(10, mu * idle);
  ASSERT_LT(expected, 0.9);
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    auto* s = net.Node("S");
    auto* r1 = net.Node("R1");
    auto* r2 = net.Node("R2");
    auto* d = net.Node("D");
    net.Link(s, r1, 100 * mu, 1000, access);
    net.Link(r1, r2, mu, 10, delay);
    net.Link(r2, d, 100 * mu, 1000, access);
    for (int i = 0; i < 10; ++i) net.Tcp(s, d, 0);
    const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("s.dmp"));
    ASSERT_FALSE(last.empty());
    const double load = last.at(8) / (1 - last.at(9));  // R1 -> R2: U = rho (1 - P)
    EXPECT_LT(load, expected + 0.01) << "offered load of R1 -> R2";
    EXPECT_GT(load, expected - 0.1) << "offered load of R1 -> R2";
  });
}

// TCP alone on buffers far below the bandwidth-delay product, round trips of 30 to 210 ms: the
// windows' bursts overflow the buffer at random long before the windows together could fill it,
// and the flows keep up against those losses only. What ns's flows carry together on these
// dumbbells (bench/compare-ns):
// - held4-2tcp-K10, grid-2tcp-K12 and held4-4tcp-K15, within 20 %; the refined model gave them 817,
//   817 and 814 packets/s, with the windows of the first two held in a loop that dropped nothing.
//   On 12 packets the loop held while the senders' bursts were counted at the flows' mean rates,
//   not at the rates at which the queue, idle a fifth of the time, sends them;
// - grid-4tcp-K12, grid-8tcp-K12 and grid-5tcp-K16, within 10 %, and their loss within a factor of
//   2: three or more windows come back to the queue as trains that meet at random, so the queue
//   counts more of their bursts, and each packet it drops costs a Reno sender a loss event. With a
//   loss event per burst and the senders' bursts alone, the refined model gave them 20 %, 16 % and
//   12 % more.
TEST(ModelLaws, TcpOnABufferItsBurstsOverflowKeepsUpWithTheirLosses) {
  const struct {
    int flows;
    double buffer, nsTcp, tolerance, nsLoss;  // nsLoss 0: only some loss is checked
  } cases[] = {{2, 10, 428, 0.2, 0.0},    {2, 12, 580, 0.2, 0.0},    {4, 15, 615, 0.2, 0.0},
               {4, 12, 516, 0.1, 0.0130}, {8, 12, 643, 0.1, 0.0274}, {5, 16, 633, 0.1, 0.0103}};
  for (const auto& c : cases) {
    ForBothRuns([&](const RunMethod method, TempFolder& folder) {
      NetBuilder net;
      TcpDumbbell(net, c.buffer, c.flows, 0.023);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("b.dmp"));
      ASSERT_FALSE(last.empty());
      const double sent = 1000 * last.at(2);  // R1 -> R2 carries the TCP classes alone
      EXPECT_GT(sent, (1 - c.tolerance) * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_LT(sent, (1 + c.tolerance) * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_GT(last.at(3), c.nsLoss / 2) << "loss of R1 -> R2, " << c.flows << " flows";
      if (c.nsLoss > 0.0) {
        EXPECT_LT(last.at(3), c.nsLoss * 2) << "loss of R1 -> R2, " << c.flows << " flows";
      }
    });
  }
}

// TCP alone on buffers of 20 packets, round trips of 30 to 120 ms (three flows) and to 170 ms (four):
// the senders' bursts, of 2 to 4 packets, rarely find less room than they need beside the windows
// the queue holds, the windows stay whole and wait at the queue, and the link sends without a pause.
// What ns's flows carry together (bench/compare-ns dumbbells of 3 and 4 flows, buffer 20, two
// seeds), within 10 %; checked as an open queue of bursts, the refined model broke their loops and
// gave them 710 and 739 packets/s.
TEST(ModelLaws, TcpWindowsWhoseBurstsFitTheBufferKeepTheLinkBusy) {
  const struct {
    int flows;
    double nsTcp;
  } cases[] = {{3, 948}, {4, 984}};
  for (const auto& c : cases) {
    ForBothRuns([&](const RunMethod method, TempFolder& folder) {
      NetBuilder net;
      TcpDumbbell(net, 20, c.flows, 0.023);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("f.dmp"));
      ASSERT_FALSE(last.empty());
      const double sent = 1000 * last.at(2);  // R1 -> R2 carries the TCP classes alone
      EXPECT_GT(sent, 0.9 * c.nsTcp) << c.flows << " flows";
      EXPECT_LT(sent, 1.1 * c.nsTcp) << c.flows << " flows";
    });
  }
}

// TCP alone, every round trip some 30 ms, on buffers of 10 and 12 packets: the flows' packets
// come back at the spacing at which the queue sent them, and ns's queue sits near half its buffer
// with single, spread drops. What ns's flows carry together and lose there (bench/compare-ns,
// grid-3tcp-K10-same-rtt and grid-4tcp-K12-same-rtt), within 10 % and a factor of 2; with the
// senders' bursts counted as for flows of spread round trips, the refined model gave them 619 and
// 718 packets/s at 2.6 and 2.3 times ns's loss. A single flow on 8 packets, whose own bursts
// overflow them in ns (245 packets/s at 1.1 % loss), keeps its bursts: without them it carried 550.
TEST(ModelLaws, TcpFlowsOfOneRoundTripLoseAsFewPacketsAsTheirSawtoothSpreadsTheirDrops) {
  const struct {
    int flows;
    double buffer;
    double nsTcp;
    double nsLoss;
  } cases[] = {{3, 10, 744, 0.0120}, {4, 12, 810, 0.0152}};
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    for (const auto& c : cases) {
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      TcpDumbbell(net, c.buffer, c.flows);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("o.dmp"));
      ASSERT_FALSE(last.empty());
      const double sent = 1000 * last.at(2);  // R1 -> R2 carries the TCP classes alone
      EXPECT_GT(sent, 0.9 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_LT(sent, 1.1 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_GT(last.at(3), c.nsLoss / 2) << "loss of R1 -> R2, " << c.flows << " flows";
      EXPECT_LT(last.at(3), c.nsLoss * 2) << "loss of R1 -> R2, " << c.flows << " flows";
    }
    const ProfileGuard guard(kProfileNS);
    TempFolder folder;
    NetBuilder net;
    TcpDumbbell(net, 8, 1);
    const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("1.dmp"));
    ASSERT_FALSE(last.empty());
    EXPECT_LT(1000 * last.at(2), 1.5 * 245) << "one flow, buffer 8";
  }
}

// TCP alone filling its bottleneck with a buffer of half the windows' bandwidth-delay product or
// more: the windows grow until the buffer overflows and halve, and lose about a packet per flow and
// tooth. What ns's flows carry together, lose and keep queued (bench/compare-ns,
// held5-mu250-3tcp-K20: three flows of 30 to 120 ms at 250 packets/s on a buffer of 20;
// grid-5tcp-K25-same-rtt: five of 30 ms at 1,000 on 25; held5-mu250-5tcp-K50: five of 30 to 210 ms
// at 250 on 50), within 10 %, a factor of 2 (where ns loses more than 1 %) and 25 %. Left at the
// open law, the refined model's queues settled at rho = 1, where the first two lost 6.5 % and 5.1 %
// to their bursts and the third held 25 packets.
TEST(ModelLaws, TcpFillingItsBottleneckAloneLosesWhatItsSawtoothDrops) {
  const struct {
    int flows;
    double buffer, spread, bottleneck, nsTcp, nsLoss, nsN;
  } cases[] = {{3, 20, 0.023, 250, 234, 0.0148, 10.6},
               {5, 25, 0.0, 1000, 943, 0.0135, 12.1},
               {5, 50, 0.023, 250, 249, 0.0077, 34.1}};
  for (const auto& c : cases) {
    ForBothRuns([&](const RunMethod method, TempFolder& folder) {
      NetBuilder net;
      TcpDumbbell(net, c.buffer, c.flows, c.spread, c.bottleneck);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("s.dmp"));
      ASSERT_FALSE(last.empty());
      const double sent = c.bottleneck * last.at(2);  // R1 -> R2 carries the TCP classes alone
      EXPECT_GT(sent, 0.9 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_LT(sent, 1.1 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      if (c.nsLoss > 0.01) {
        EXPECT_GT(last.at(3), c.nsLoss / 2) << "loss of R1 -> R2, " << c.flows << " flows";
        EXPECT_LT(last.at(3), c.nsLoss * 2) << "loss of R1 -> R2, " << c.flows << " flows";
      }
      EXPECT_GT(last.at(1), 0.75 * c.nsN) << "average size of R1 -> R2, " << c.flows << " flows";
      EXPECT_LT(last.at(1), 1.25 * c.nsN) << "average size of R1 -> R2, " << c.flows << " flows";
    });
  }
}

// TCP flows beside Poisson traffic on a bottleneck of 1,000 packets/s, against what ns's flows
// carry together (bench/compare-ns, Poisson sources):
// - two flows of one round trip beside 500 packets/s on a buffer of 20 (dumbbell-2tcp-udp500-K20):
//   ns's carry 355 packets/s, their packets meeting 2.2 % loss where the Poisson ones meet 0.9 %,
//   and Reno keeps up no more against that. Counted at the mean load, the refined model's flows
//   carried 429;
// - three flows of round trips from 30 to 120 ms beside 350 packets/s on a buffer of 40
//   (held-3tcp-udp350-K40): ns's carry 597, their packets meeting 0.21 % loss, no more than the
//   Poisson ones; a buffer that large does not settle at the blocking of their sawtooth's top
//   within the top. Counted at the top in full, the refined model's flows carried 518.
// - four flows of one round trip beside 200 packets/s on buffers of 25 and 40
//   (mixgrid-4tcp-udp200-K25-same-rtt and -K40-): ns's carry 711 and 753 and lose 1.6 % and 1.0 %,
//   as their windows' sawtooth keeps them, which the Poisson traffic's fifth of the arrivals hardly
//   changes. Taken as the open law's loss at that load, the model's queue lost 5.9 % and 3.8 %.
TEST(ModelLaws, TcpBesidePoissonTrafficKeepsUpWithTheLossesAtItsSawtoothTop) {
  const struct {
    int flows;
    double buffer, spread, udp, nsTcp, nsLoss;
  } cases[] = {{2, 20, 0.0, 500, 355, 0.0}, {3, 40, 0.023, 350, 597, 0.0},
               {4, 25, 0.0, 200, 711, 0.0157}, {4, 40, 0.0, 200, 753, 0.0104}};
  for (const auto& c : cases) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      const auto [r1, r2] = TcpDumbbell(net, c.buffer, c.flows, c.spread);
      PoissonCrossTraffic(net, r1, r2, c.udp);
      // Rows: time, N U P of the links both ways, then the TCP classes and the UDP one.
      const size_t links = 3 + 2 * c.flows;
      double tcp = 0.0;
      double loss = 0.0;
      int rows = 0;
      for (const std::vector<double>& row : RefinedRows(net, method, 20, folder.File("mixed.dmp"))) {
        if (row.at(0) < 10.0) continue;
        ASSERT_EQ(row.size(), 1 + links * 6 + c.flows + 1);
        for (int k = 0; k < c.flows; ++k) tcp += row.at(1 + links * 6 + k);
        loss += row.at(3);  // R1 -> R2
        ++rows;
      }
      ASSERT_GT(rows, 0);
      tcp /= rows;
      loss /= rows;
      EXPECT_GT(tcp, 0.9 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      EXPECT_LT(tcp, 1.15 * c.nsTcp) << c.flows << " flows, buffer " << c.buffer;
      if (c.nsLoss > 0.0) {
        // (still somewhat above ns's: 3.4 % and 2.3 %)
        EXPECT_GT(loss, c.nsLoss / 2) << "loss of R1 -> R2, " << c.flows << " flows, buffer " << c.buffer;
        EXPECT_LT(loss, 2.5 * c.nsLoss) << "loss of R1 -> R2, " << c.flows << " flows, buffer " << c.buffer;
      }
    }
  }
}

// One TCP flow whose window the bottleneck's loop holds, beside Poisson traffic (bench/compare-ns,
// mixgrid-1tcp-udpR-KK): the Poisson packets now and then fill the buffer, and what the flow loses
// there brings its window down. ns's flow carries 487 packets/s and loses 0.20 % beside 200 packets/s
// on 10 packets, 459 and 0.21 % beside 400 on 15, and 576 without a loss beside 200 on 25. (Held
// whole, the window gave 568, 519 and 568: 17 % and 13 % more where ns loses.)
TEST(ModelLaws, WindowLoopBesidePoissonTrafficLosesWhatFillsItsBuffer) {
  const struct {
    double udp, buffer, nsTcp, nsLoss;
  } cases[] = {{200, 10, 487, 0.00203}, {400, 15, 459, 0.00212}, {200, 25, 576, 0.0}};
  for (const auto& c : cases) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      SCOPED_TRACE("beside " + std::to_string(static_cast<int>(c.udp)) + " on " +
                   std::to_string(static_cast<int>(c.buffer)) +
                   (method == RunMethod::kComputeMetrics ? ", Compute Metrics" : ", Z-iteration"));
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      const auto [r1, r2] = TcpDumbbell(net, c.buffer, 1);
      PoissonCrossTraffic(net, r1, r2, c.udp);
      const std::vector<double> last = LastRefinedRow(net, method, 20, folder.File("loop.dmp"));
      ASSERT_EQ(last.size(), 1 + 5 * 6 + 2);  // time, N U P of 5 links both ways, TCP, UDP
      EXPECT_NEAR(last.at(1 + 5 * 6), c.nsTcp, 0.1 * c.nsTcp);
      const double loss = last.at(3);  // R1 -> R2
      if (c.nsLoss > 0.0) {
        EXPECT_GT(loss, c.nsLoss / 2);
        EXPECT_LT(loss, 2 * c.nsLoss);
      } else {
        EXPECT_LT(loss, 1e-4);
      }
    }
  }
}

// Senders whose first link (1,000 packets/s) has a buffer smaller than their bursts, then a shared
// link R1 -> R2 of 1,000 packets/s with a buffer of 100 (bench/compare-ns, held7-small-access-):
// each sender sends the acknowledgements that came back while it waited in one burst, and a
// window's acknowledgements come back as a train, so a burst that brings more than the first
// buffer holds loses its tail. With buffers of 5, ns's two flows of about 37 and 77 ms carry 128
// and 80 packets/s and lose 3.0 % and 2.4 % at their first links; with buffers of 8, four flows of
// 37 to 157 ms keep their windows and carry 429, 246, 168 and 127. (With the windows of 20 that
// the shared link's loop holds, the flows on buffers of 5 were given 425 and 256.) A flow alone on
// a buffer of 3 carries 79 and loses 6.4 % there: held back by its own last bursts, it finds no
// other packets there. (Where its room was taken whole, the buffer and the packet it sends, it was
// given 88, 11 % more.)
TEST(ModelLaws, BurstsThatOverflowTheFirstBufferHoldTheWindowThere) {
  const struct {
    double buffer;
    std::vector<double> nsTcp;
    double nsFirstLoss;  // of the first flow's first link; 0: not checked
  } cases[] = {{5, {128, 80}, 0.0303}, {8, {429, 246, 168, 127}, 0.0}, {3, {79}, 0.0642}};
  for (const auto& c : cases) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      SCOPED_TRACE("first buffers of " + std::to_string(static_cast<int>(c.buffer)) +
                   (method == RunMethod::kComputeMetrics ? ", Compute Metrics" : ", Z-iteration"));
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      auto* r1 = net.Node("R1");
      auto* r2 = net.Node("R2");
      net.Link(r1, r2, 1000, 100, 0.01);
      const size_t flows = c.nsTcp.size();
      for (size_t i = 0; i < flows; ++i) {
        auto* s = net.Node("S" + std::to_string(i + 1));
        auto* d = net.Node("D" + std::to_string(i + 1));
        net.Link(s, r1, 1000, c.buffer, 0.002 + 0.02 * static_cast<double>(i));
        net.Link(r2, d, 10000, 1000, 0.002);
        net.Tcp(s, d, 0);
      }
      // Rows: time, N U P of each link both ways (R1 -> R2, then each sender's two links), the
      // TCP classes.
      const size_t links = 1 + 2 * flows;
      std::vector<double> tcp(flows, 0.0);
      double firstLoss = 0.0;
      int rows = 0;
      for (const std::vector<double>& row : RefinedRows(net, method, 30, folder.File("access.dmp"))) {
        if (row.at(0) < 15.0) continue;
        ASSERT_EQ(row.size(), 1 + links * 6 + flows);
        for (size_t k = 0; k < flows; ++k) tcp[k] += row.at(1 + links * 6 + k);
        firstLoss += row.at(1 + 6 + 2);  // S1 -> R1
        ++rows;
      }
      ASSERT_GT(rows, 0);
      double total = 0.0;
      double nsTotal = 0.0;
      for (size_t k = 0; k < flows; ++k) {
        total += tcp[k] / rows;
        nsTotal += c.nsTcp[k];
      }
      EXPECT_NEAR(total, nsTotal, 0.08 * nsTotal) << "the flows together";
      for (size_t k = 0; k < flows; ++k) {
        const double rate = tcp[k] / rows;
        if (c.nsFirstLoss > 0.0) {
          // (Flows of longer round trips come out below ns's: 58 where ns's carries 80.)
          EXPECT_GT(rate, 0.65 * c.nsTcp[k]) << "flow " << k + 1;
          EXPECT_LT(rate, 1.2 * c.nsTcp[k]) << "flow " << k + 1;
        } else {
          EXPECT_NEAR(rate, c.nsTcp[k], 0.1 * c.nsTcp[k]) << "flow " << k + 1;
        }
      }
      if (c.nsFirstLoss > 0.0) {
        EXPECT_GT(firstLoss / rows, c.nsFirstLoss / 2);
        EXPECT_LT(firstLoss / rows, 2 * c.nsFirstLoss);
      }
    }
  }
}

// Bursts that meet at a queue, simulated packet by packet: sources alike send bursts at random
// (bursts a second each; a source's next burst comes after the queue has sent its last one, as a
// window's next burst does), each of B = min(W, 1 + 2 (piece - 1) v) packets, W uniform over Reno's
// sawtooth (2/3 to 4/3 of the mean window, at most the maximum) and v uniform up to 1, its packets
// back to back at mu / (1 - reach); the queue sends one every 1/mu and holds room packets, the one
// it sends among them. Of the first source: the bursts that lose a packet, and the packets lost,
// per packet it sends.
struct SimulatedMeeting {
  double events, drops;
};
double DrawnBurst(std::mt19937_64& random, double window, double piece) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double W = std::min(window * (2.0 / 3.0 + 2.0 / 3.0 * unit(random)), kTcpMaximumWindowPackets);
  return std::max(std::min(W, 1.0 + 2.0 * (piece - 1.0) * unit(random)), 1.0);
}
struct BurstSource {
  double bursts, window, piece;  // bursts a second, mean window and piece
};
SimulatedMeeting SimulatedTrainsMeeting(const std::vector<BurstSource>& sources, double reach, int room,
                                        double mu, double seconds) {
  std::mt19937_64 random(29);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  struct Packet {
    double time;
    int source;
    long burst;
  };
  std::vector<Packet> packets;
  long count = 0;
  for (int s = 0; s < static_cast<int>(sources.size()); ++s) {
    const double bursts = sources[s].bursts;
    // (the gaps beyond a burst's sending: their mean and a burst's make 1 / bursts)
    double t = 0.0;
    double sending = 0.0;
    double sendingSum = 0.0;
    for (long k = 0;; ++k) {
      const double idle = k == 0 ? 1.0 / bursts : std::max(1.0 / bursts - sendingSum / k, 0.0);
      t += sending + std::exponential_distribution<double>(1.0 / idle)(random);
      if (t >= seconds) break;
      const double B = DrawnBurst(random, sources[s].window, sources[s].piece);
      // (a burst of B packets on average: the whole part, and one more with the fraction's chance)
      const int whole = static_cast<int>(B) + (unit(random) < B - std::floor(B) ? 1 : 0);
      for (int j = 0; j < whole; ++j) packets.push_back({t + j * (1.0 - reach) / mu, s, count});
      ++count;
      sending = whole / mu;
      sendingSum += sending;
    }
  }
  std::sort(packets.begin(), packets.end(), [](const Packet& a, const Packet& b) { return a.time < b.time; });
  double free = 0.0;  // when the queue has sent all it holds
  long sent = 0, dropped = 0, events = 0, lastLosing = -1;
  for (const Packet& p : packets) {
    const double held = free > p.time ? std::ceil((free - p.time) * mu - 1e-9) : 0.0;
    const bool own = p.source == 0;
    sent += own;
    if (held >= room) {
      dropped += own;
      if (own && p.burst != lastLosing) {
        ++events;
        lastLosing = p.burst;
      }
      continue;
    }
    free = std::max(free, p.time) + 1.0 / mu;
  }
  return {static_cast<double>(events) / sent, static_cast<double>(dropped) / sent};
}

// The bursts of window-held TCP classes that meet at a queue their links reach faster than it sends
// lose what a simulation of them loses there, in loss events and in packets: bursts of up to whole
// windows of 20 at a link of 4,000 packets/s (reach 0.9) on a buffer of 20, on a buffer of 11 that
// one burst alone overflows, and smaller bursts and windows at 2,000 and 1,000 packets/s. Without
// the others' bursts there would be no loss at all in the first, third and fourth cases: one burst
// fits. (Taking only the last of the others' bursts, the losses came out up to 6 times too few.)
// On a network, flows whose bursts meet carry and lose near what ns's do.
// The bursts' mean size, where the acknowledgements come back in pieces, is near what ns's senders
// send together: three flows window-held at 4,000 packets/s send 7.2, 6.4 and 4.7 packets at once
// on average with windows of about 17, 13 and 16 packets over 33, 79 and 125 ms.
TEST(ModelLaws, TrainsThatMeetLoseWhatASimulationOfTheirBurstsLoses) {
  const struct {
    double window, roundTrip, nsBurst;
  } measured[] = {{17.0, 0.033, 7.2}, {13.0, 0.079, 6.4}, {16.0, 0.125, 4.7}};
  for (const auto& m : measured) {
    const double piece = TcpTrainPiece(m.window, m.roundTrip, 4000.0);
    EXPECT_GT(piece, 0.75 * m.nsBurst) << m.roundTrip;
    EXPECT_LT(piece, 1.35 * m.nsBurst) << m.roundTrip;
  }
  // (the mean burst of a sender, for its bursts a second)
  const auto meanBurst = [](double window, double piece) {
    double mean = 0.0;
    constexpr int kDraws = 200000;
    std::mt19937_64 random(5);
    for (int k = 0; k < kDraws; ++k) mean += DrawnBurst(random, window, piece) / kDraws;
    return mean;
  };
  const struct {
    double mu, piece, reach, window;
    int room, sources;
    double rate;            // packets/s of each source
    double othersPiece;     // 0: the others' bursts are alike the first's
  } cases[] = {{4000, 15.0, 0.9, 20.8, 21, 3, 300, 0.0}, {4000, 9.0, 0.9, 20.8, 12, 3, 300, 0.0},
               {2000, 8.0, 0.9, 15.0, 21, 4, 200, 0.0}, {1000, 6.0, 0.9, 20.8, 13, 2, 250, 0.0},
               {4000, 5.0, 0.9, 20.8, 21, 3, 300, 12.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("mu " + std::to_string(static_cast<int>(c.mu)) + ", room " + std::to_string(c.room) +
                 (c.othersPiece > 0.0 ? ", the others' bursts larger" : ""));
    const double othersPiece = c.othersPiece > 0.0 ? c.othersPiece : c.piece;
    std::vector<BurstSource> sources(c.sources,
                                     {c.rate / meanBurst(c.window, othersPiece), c.window, othersPiece});
    sources[0] = {c.rate / meanBurst(c.window, c.piece), c.window, c.piece};
    const SimulatedMeeting sim = SimulatedTrainsMeeting(sources, c.reach, c.room, c.mu, 400.0);
    const TrainCollisions law = TcpTrainCollisions(c.window, c.piece, c.window, othersPiece, c.reach, c.room,
                                                   (c.sources - 1) * c.rate, c.mu);
    ASSERT_GT(sim.events, 1e-4);
    EXPECT_NEAR(law.events, sim.events, 0.3 * sim.events);
    EXPECT_NEAR(law.drops, sim.drops, 0.3 * sim.drops);
  }
  // A network runs it: three flows of 30 to 125 ms window-held at a link of 4,000 packets/s with a
  // buffer of 20, behind access links ten times as fast. ns's carry 797 packets/s together and lose
  // 0.44 % there; their whole windows would carry 1,053, and the queue's own law loses 0.03 %.
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    auto* r1 = net.Node("R1");
    auto* r2 = net.Node("R2");
    net.Link(r1, r2, 4000, 20, 0.01);
    constexpr size_t kFlows = 3;
    for (size_t i = 0; i < kFlows; ++i) {
      auto* src = net.Node("S" + std::to_string(i + 1));
      auto* dst = net.Node("D" + std::to_string(i + 1));
      net.Link(src, r1, 40000, 1000, 0.002 + 0.023 * static_cast<double>(i));
      net.Link(r2, dst, 40000, 1000, 0.002);
      net.Tcp(src, dst, 0);
    }
    // Rows: time, N U P of each link both ways (R1 -> R2 first), the TCP classes.
    constexpr size_t kLinks = 1 + 2 * kFlows;
    double tcp = 0.0;
    double loss = 0.0;
    int rows = 0;
    for (const std::vector<double>& row : RefinedRows(net, method, 30, folder.File("meet.dmp"))) {
      if (row.at(0) < 15.0) continue;
      ASSERT_EQ(row.size(), 1 + kLinks * 6 + kFlows);
      for (size_t k = 0; k < kFlows; ++k) tcp += row.at(1 + kLinks * 6 + k);
      loss += row.at(3);
      ++rows;
    }
    ASSERT_GT(rows, 0);
    EXPECT_LT(tcp / rows, 1.2 * 797.0);
    EXPECT_GT(tcp / rows, 0.9 * 797.0);
    EXPECT_GT(loss / rows, 0.0044 / 4.0);
    EXPECT_LT(loss / rows, 2.0 * 0.0044);
  });
}

// Two TCP flows over one bottleneck (R1 -> R2, 1,000 packets/s, buffer 20), alike but for the way
// back of the first: its acknowledgements cross D0 -> R2, which 1,300 packets/s of Poisson traffic
// keep full and which drops almost a quarter of them. Each acknowledgement covers everything before
// it, so those losses cost the first flow no window: it only waits longer for its acknowledgements,
// and Reno's rates go as one over the round trip. (Counting the lost acknowledgements as lost
// packets, Compute Metrics gave the first flow 80 packets/s where the second got 523.)
TEST(ModelLaws, TcpLosingAcknowledgementsKeepsItsWindow) {
  ForBothRuns([&](const RunMethod method, TempFolder& folder) {
    NetBuilder net;
    auto* r1 = net.Node("R1");
    auto* r2 = net.Node("R2");
    auto* s0 = net.Node("S0");
    auto* d0 = net.Node("D0");
    auto* s1 = net.Node("S1");
    auto* d1 = net.Node("D1");
    net.Link(r1, r2, 1000, 20, 0.01);
    net.Link(s0, r1, 10000, 1000, 0.002);
    net.Link(r2, d0, 1000, 20, 0.002);
    net.Link(s1, r1, 10000, 1000, 0.002);
    net.Link(r2, d1, 10000, 1000, 0.002);
    net.Tcp(s0, d0, 0);
    net.Tcp(s1, d1, 0);
    net.Udp(d0, r2, 1300);
    // Rows: time, N U P of each link both ways (R1 -> R2 first, D0 -> R2 the third link's way
    // back), then the two TCP classes and the UDP one.
    double first = 0.0, second = 0.0, bottleneck = 0.0, back = 0.0;
    int rows = 0;
    for (const std::vector<double>& row : RefinedRows(net, method, 20, folder.File("ack.dmp"))) {
      if (row.at(0) < 10.0) continue;
      ASSERT_EQ(row.size(), 1 + 5 * 6 + 3);
      bottleneck += row.at(1);
      back += row.at(16);
      first += row.at(31);
      second += row.at(32);
      ++rows;
    }
    ASSERT_GT(rows, 0);
    EXPECT_GT(back / rows, 10.0) << "D0 -> R2 is kept full";
    // Round trips: 28 ms of propagation, the bottleneck's waiting, and D0 -> R2's for the first.
    const double secondTrip = 0.028 + bottleneck / rows / 1000;
    const double firstTrip = secondTrip + back / rows / 1000;
    const double ratio = first / second;
    EXPECT_GT(ratio, 0.8 * secondTrip / firstTrip);
    EXPECT_LT(ratio, 1.2 * secondTrip / firstTrip);
  });
}

// A queue passes on each class's part of what it sends. Classes share a fast first link (a packet
// stays there well under a millisecond, far less than a step) and part after it; the queues after
// it must receive what the classes offer less what the first queue dropped, in every row once the
// queues have filled, in both runs. UDP classes alone offer the same rates in every step; TCP
// classes change theirs a little from step to step, which the shares must follow without swinging.
// A class's packets in a queue over one step, against dn/dt = (1 - P) x - s n integrated in fine
// Runge-Kutta steps: from steps far shorter than a packet's stay (where 1 - e^{-sh} must not lose
// its digits) to steps that let the packets settle many times over.
TEST(ModelLaws, ClassPacketsFollowTheirMixingLawOverShortAndLongSteps) {
  const double N = 4.0, U = 0.8, P = 0.1, mu = 1000.0;  // each packet leaves at s = 200 per second
  const long double s = mu * U / N;
  for (const double n0 : {0.0, 3.0}) {
    for (const double x : {0.0, 150.0}) {
      for (const double h : {1e-13, 3e-11, 2e-9, 4.9e-7, 5.1e-7, 1e-5, 1e-3, 0.02, 0.1}) {
        long double n = n0;
        const int steps = 20000;
        const long double dt = static_cast<long double>(h) / steps;
        const auto f = [&](long double v) { return (1 - static_cast<long double>(P)) * x - s * v; };
        for (int k = 0; k < steps; ++k) {
          const long double k1 = f(n), k2 = f(n + dt / 2 * k1), k3 = f(n + dt / 2 * k2), k4 = f(n + dt * k3);
          n += dt / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
        }
        const double got = RefinedShare(n0, x, RefinedShareRelaxation(N, U, P, mu, h));
        EXPECT_TRUE(Near("n", got, static_cast<double>(n), 1e-11, 1e-300)) << "n0 " << n0 << " x " << x << " h " << h;
      }
    }
  }
}

TEST(ModelLaws, QueuesPassOnEachClassItsPartOfWhatTheySend) {
  struct Case {
    const char* name;
    bool tcp;
  };
  for (const Case& test : {Case{"UDP", false}, Case{"TCP and UDP", true}}) {
    for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
      SCOPED_TRACE(std::string(test.name) + (method == RunMethod::kComputeMetrics ? ", Compute Metrics" : ", Z-iteration"));
      const ProfileGuard guard(kProfileNS);
      TempFolder folder;
      NetBuilder net;
      auto* a = net.Node("A");
      auto* b = net.Node("B");
      auto* c = net.Node("C");
      auto* d = net.Node("D");
      net.Link(a, b, 10000, 100, 0.001);
      if (test.tcp) {
        // A -> B carries a UDP class and two TCP classes, which part at B.
        net.Link(b, c, 10000, 100, 0.001);
        net.Link(b, d, 10000, 100, 0.001);
        net.Udp(a, c, 5000);
        net.Tcp(a, c, 0);
        net.Tcp(a, d, 0);
      } else {
        // Two UDP classes share A -> B and part after the bottleneck B -> C; the one that goes on
        // meets a third at C -> D.
        net.Link(b, c, 1000, 50, 0.001);
        net.Link(c, d, 10000, 100, 0.001);
        net.Udp(a, d, 300);
        net.Udp(a, c, 500);
        net.Udp(b, d, 100);
      }
      const auto rows = RefinedRows(net, method, 5, folder.File("p.dmp"));
      ASSERT_FALSE(rows.empty());
      for (const std::vector<double>& row : rows) {
        if (row.at(0) < 2) continue;
        SCOPED_TRACE("at " + std::to_string(row.at(0)) + " s");
        // time, then N, U and P of A -> B, B -> A, and so on for each link, then the classes' rates.
        if (test.tcp) {
          const double passed = 1 - row.at(3);
          const double toC = (5000 + row.at(20)) * passed / 10000, toD = row.at(21) * passed / 10000;
          ASSERT_TRUE(Near("utilisation of B -> C", row.at(8), Summed(toC, 100).U, 0.01, 0));
          ASSERT_TRUE(Near("utilisation of B -> D", row.at(14), Summed(toD, 100).U, 0.01, 0));
        } else {
          const double lost1 = Summed(800.0 / 10000, 100).P;
          const double lost2 = Summed((800 * (1 - lost1) + 100) / 1000, 50).P;
          const double rho3 = (300 * (1 - lost1) * (1 - lost2) + 100) / 10000;
          ASSERT_TRUE(Near("utilisation of C -> D", row.at(14), Summed(rho3, 100).U, 0.005, 0));
        }
      }
    }
  }
}

// The last line of defence: a value no formula can mend (here a class asking for a negative rate
// from 0.5 s, which no file reader lets through any more, so it is made in code) stops the run with
// a message naming the class and the time; it never completes. A rate file asking for the same is
// refused before the run, naming its class.
TEST(ModelLaws, ImpossibleInputStopsTheRunNamingTheClassAndTheTime) {
  for (const ModelAndMethod& m : kAll) {
    SCOPED_TRACE(Name(m));
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    net.Link(a, b, 100, 10, 0.01);
    net.Udp(a, b, 10);
    net.Udp(a, b, -40, 0.5, 2);
    net.doc->totalTime = 2;
    net.doc->dumpFilePath = folder.File("neg.dmp");
    RunOptions options;
    options.model = m.model;
    const RunResult result = varlo::Run(*net.doc, m.method, options);
    EXPECT_EQ(result.status, RunStatus::kImpossibleValue);
    EXPECT_NE(result.message.find("A -> B"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("stopped at time 0.5"), std::string::npos) << result.message;
    EXPECT_LT(result.endTime, 0.6);

    WriteText(folder.File("neg.vlr"), "0 10\n0.5 -40\n");
    NetBuilder fromFile;
    auto* c = fromFile.Node("C");
    auto* d = fromFile.Node("D");
    fromFile.Link(c, d, 100, 10, 0.01);
    fromFile.RateFile(c, d, folder.File("neg.vlr"));
    fromFile.doc->totalTime = 2;
    fromFile.doc->dumpFilePath = folder.File("file.dmp");
    const RunResult refused = varlo::Run(*fromFile.doc, m.method, options);
    EXPECT_EQ(refused.status, RunStatus::kRateFileNotOpened);
    EXPECT_NE(refused.message.find("C -> D"), std::string::npos) << refused.message;
  }
}

// The same defence for a queue: a buffer of NaN packets (made in code; no dialog or file lets one
// through) leaves the classic formulas no possible size once the queue holds anything, and both
// classic runs stop at the first step that fills it, naming that queue and not the sound one
// before it. (The refined closed forms take a buffer that is not positive as no buffer at all.)
TEST(ModelLaws, ImpossibleQueueStopsTheRunNamingTheQueue) {
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    TempFolder folder;
    NetBuilder net;
    auto* a = net.Node("A");
    auto* b = net.Node("B");
    auto* c = net.Node("C");
    net.Link(a, b, 1000, 50, 0.01);
    net.Link(b, c, 100, std::numeric_limits<double>::quiet_NaN(), 0.01);
    net.Udp(a, c, 300);
    net.doc->totalTime = 2;
    net.doc->dumpFilePath = folder.File("nan.dmp");
    RunOptions options;
    options.model = EvaluationModel::kClassic;
    const RunResult result = varlo::Run(*net.doc, method, options);
    EXPECT_EQ(result.status, RunStatus::kImpossibleValue);
    EXPECT_NE(result.message.find("the queue B -> C has an impossible"), std::string::npos) << result.message;
    EXPECT_LT(result.endTime, 0.1);
  }
}

}  // namespace
}  // namespace varlo
