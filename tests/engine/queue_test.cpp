#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/fluid_formulas.h"
#include "engine/object_steps.h"
#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/node.h"

namespace varlo {
namespace {

// Exact M/M/1/K from its stationary distribution p(n) ~ rho^n, independent of the closed forms.
struct Exact {
  double P, N, dNdRho;
};
Exact ExactMM1K(double rho, int K) {
  double sum = 0, mean = 0, square = 0;
  for (int n = 0; n <= K; ++n) {
    const double p = std::pow(rho, n);
    sum += p;
    mean += n * p;
    square += n * n * p;
  }
  mean /= sum;
  return {std::pow(rho, K) / sum, mean, (square / sum - mean * mean) / rho};
}

C_MM1K_Queue Queue(double mu, double K) {
  return C_MM1K_Queue(nullptr, nullptr, mu, K, 0.0);
}

TEST(MM1KQueue, SmallBufferClosedFormsAndDerivative) {
  C_MM1K_Queue q = Queue(10.0, 10.0);
  PathEntry load{nullptr, &q, 0.0, 5.0};
  q.AddPathEntry(&load);

  UpdateMetrics(q);  // rho = 0: empty queue, derivative is the arrival rate
  EXPECT_EQ(q.P, 0.0);
  EXPECT_EQ(q.N, 0.0);
  EXPECT_EQ(q.U, 0.0);
  EXPECT_EQ(Derivative(q, 0.0), 5.0);
  EXPECT_EQ(q.arrivalRate, 5.0);

  q.rho = 0.3;
  UpdateMetrics(q);
  const Exact exact = ExactMM1K(0.3, 10);
  EXPECT_EQ(q.U, 0.6);  // twice rho
  EXPECT_NEAR(q.P, exact.P, 1e-15);
  EXPECT_NEAR(q.N, exact.N, 1e-13);
  EXPECT_NEAR(Derivative(q, 0.0), (5.0 - 10.0 * 0.6) / exact.dNdRho, 1e-12);
}

// The Z-iteration's shortcuts to a small buffer's derivative (no powers where they cannot change
// it, powers by squaring where their error cannot) must give the formula's value to the bit, over
// every buffer and across the loads where they apply, fail or stop applying.
TEST(MM1KQueue, SmallBufferDerivativeShortcutsGiveTheFormulasBits) {
  std::uint64_t state = 88172645463325252ull;
  const auto uniform = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state >> 11) * 0x1p-53;
  };
  for (const double K : {1.0, 2.0, 3.0, 7.0, 10.0, 19.0, 20.0, 33.0, 40.0, 50.0, 64.0, 77.0, 98.0, 99.0, 12.5}) {
    const SmallBufferShortcut shortcut = SmallBufferShortcutFor(K);
    for (int i = 0; i < 40000; ++i) {
      // Loads spread over the whole range, and dense just around the edge of the first shortcut.
      const double rho = i % 4 == 0 ? shortcut.negligibleRho * (1.0 + (uniform() - 0.5) * 1e-3)
                                    : (i % 4 == 1 ? 1.2 * uniform() : std::pow(uniform(), 0.1));
      const double mu = 1000.0 * (0.5 + uniform());
      const double lambda = 2000.0 * uniform();
      const double U = ClosedFormUtilisation(rho);
      const double want = SmallBufferDerivative(rho, U, K, mu, lambda);
      const double got = SmallBufferDerivative(rho, U, K, mu, lambda, shortcut);
      ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "K " << K << " rho " << rho << " mu " << mu << " lambda " << lambda << " U " << U << ": " << got
                                                          << " against " << want;
    }
  }
}

TEST(MM1KQueue, SmallBufferPoleTakesTheLimits) {
  C_MM1K_Queue q = Queue(10.0, 10.0);
  PathEntry load{nullptr, &q, 0.0, 4.0};
  q.AddPathEntry(&load);
  q.rho = 1.0;
  UpdateMetrics(q);
  EXPECT_DOUBLE_EQ(q.P, 1.0 / 11.0);
  EXPECT_EQ(q.N, 5.0);
  EXPECT_EQ(q.U, 1.0);
  const double atPole = Derivative(q, 0.0);
  EXPECT_DOUBLE_EQ(atPole, (4.0 - 10.0) / (10.0 * 12.0 / 12.0));
  // The pole values continue the formulas on both sides.
  for (double rho : {1.0 - 1e-4, 1.0 + 1e-4}) {
    q.rho = rho;
    UpdateMetrics(q);
    EXPECT_NEAR(q.N, 5.0, 1e-2);
    EXPECT_NEAR(q.P, 1.0 / 11.0, 1e-3);
    EXPECT_NEAR(Derivative(q, 0.0), atPole, 1e-2);
  }
}

TEST(MM1KQueue, LargeBufferBranches) {
  C_MM1K_Queue q = Queue(10.0, 100.0);
  q.rho = 0.5;
  UpdateMetrics(q);
  EXPECT_EQ(q.P, 0.0);
  EXPECT_EQ(q.N, 1.0);
  EXPECT_EQ(q.U, 1.0);
  q.rho = 1.5;
  UpdateMetrics(q);
  EXPECT_DOUBLE_EQ(q.P, 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(q.N, 97.0);
  EXPECT_EQ(q.U, 1.0);
  q.rho = 1.0;  // the lower branch is infinite here; the junction value is used
  UpdateMetrics(q);
  EXPECT_EQ(q.N, 49.0);
  EXPECT_EQ(q.P, 0.0);

  // The stored lambda is used, not the path entries.
  q.arrivalRate = 2.0;
  q.rho = 0.5;
  q.U = 1.0;
  EXPECT_DOUBLE_EQ(Derivative(q, 0.0), (2.0 - 10.0) * 0.25);
  q.rho = 2.0;
  EXPECT_DOUBLE_EQ(Derivative(q, 0.0), (2.0 - 20.0) * 1.0 / 2.0);
}

TEST(MM1KQueue, HundredPacketBufferNeverLeavesRegimeZero) {
  C_MM1K_Queue q = Queue(10.0, 100.0);
  q.rho = 0.98;  // at the middle of the buffer
  UpdateMetrics(q);
  q.arrivalRate = 1.0;
  UpdateRegime(q, 0.0);
  EXPECT_EQ(q.regime, 0);
  EXPECT_LT(Derivative(q, 0.0), 0.0);  // not clipped
  CheckReflection(q);
  EXPECT_EQ(q.rho, 0.98);
}

TEST(MM1KQueue, RegimeClipsAndSwitches) {
  C_MM1K_Queue q = Queue(10.0, 200.0);
  q.rho = 0.5;
  q.arrivalRate = 8.0;
  UpdateRegime(q, 0.0);
  EXPECT_EQ(q.regime, 1);  // lambda > mu rho: filling
  EXPECT_EQ(q.previousArrivalRate, 8.0);
  q.U = 1.0;
  EXPECT_EQ(Derivative(q, 0.0), 0.0);  // a filling queue does not shrink
  q.arrivalRate = 9.0;                // d < 0 but lambda rose: still filling
  UpdateRegime(q, 0.0);
  EXPECT_EQ(q.regime, 1);
  q.arrivalRate = 7.0;
  UpdateRegime(q, 0.0);
  EXPECT_EQ(q.regime, 2);
  q.arrivalRate = 12.0;
  EXPECT_EQ(Derivative(q, 0.0), 0.0);  // a draining queue does not grow
  UpdateRegime(q, 0.0);
  EXPECT_EQ(q.regime, 1);
}

TEST(MM1KQueue, ReflectionKeepsTheSizeAtTheMiddle) {
  C_MM1K_Queue q = Queue(10.0, 200.0);
  q.regime = 1;
  q.rho = 1.0 - 2.0 / 200.0 + 1e-9;  // N just above K/2 - 1 = 99
  UpdateMetrics(q);
  const double before = q.N;
  const double rho = q.rho;
  CheckReflection(q);
  EXPECT_EQ(q.rho, 2.0 - rho);
  UpdateMetrics(q);
  EXPECT_NEAR(q.N, before, 1e-4);

  q.rho = 1.0 + 2.0 / 200.0 - 1e-9;  // upper branch just below the middle, filling: stays
  CheckReflection(q);
  EXPECT_GT(q.rho, 1.0);
  q.regime = 2;
  CheckReflection(q);
  EXPECT_LT(q.rho, 1.0);
}

TEST(MM1KQueue, DiscreteStep) {
  C_MM1K_Queue q = Queue(10.0, 10.0);
  q.arrivalRate = 5.0;
  DiscreteStep(q, 0.0, 0.1);  // light load drains completely
  EXPECT_EQ(q.N, 0.0);
  EXPECT_DOUBLE_EQ(q.served, 0.5);
  EXPECT_DOUBLE_EQ(q.accepted, 0.5);
  EXPECT_DOUBLE_EQ(q.U, 0.5);
  EXPECT_EQ(q.P, 0.0);

  q.arrivalRate = 20.0;
  q.N = 8.0;
  DiscreteStep(q, 0.0, 0.1);
  EXPECT_DOUBLE_EQ(q.N, 9.0);
  EXPECT_EQ(q.P, 1.0);  // N' >= K - 1
  EXPECT_DOUBLE_EQ(q.accepted, 2.0);
  EXPECT_EQ(q.U, 1.0);

  q.N = 6.0;
  DiscreteStep(q, 0.0, 0.1);
  EXPECT_DOUBLE_EQ(q.N, 7.0);
  EXPECT_DOUBLE_EQ(q.P, 1.0 / 3.0);

  q.arrivalRate = 100.0;  // overflow: the buffer caps N and admission
  q.N = 9.5;
  DiscreteStep(q, 0.0, 0.1);
  EXPECT_EQ(q.N, 10.0);
  EXPECT_DOUBLE_EQ(q.accepted, 1.5);
}

TEST(MM1KQueue, ScriptPieces) {
  CNode a(1, "A"), b(2, "B");
  C_MM1K_Queue q(&a, &b, 125.0, 20.0, 0.01);
  EXPECT_EQ(q.GetNSScript(),
            "$ns simplex-link $node_A_1 $node_B_2  1000000.000000bps  0.010000s  DropTail\n"
            "$ns queue-limit $node_A_1 $node_B_2 20.000000kb\n");
  EXPECT_EQ(q.GetQNSScript(3), "l 1 2 3 125.000000 0.0 20.000000\n");
}

TEST(MM1KQueue, SerializesRateDelayWeightThenBuffer) {
  C_MM1K_Queue q(nullptr, nullptr, 125.0, 20.0, 0.5);
  q.routeWeight = 3;
  CArchive out("q.net");
  q.Serialize(out);
  const std::vector<std::uint8_t> expected = {
      0, 0, 0, 0, 0, 0x40, 0x5F, 0x40,  // 125.0
      0, 0, 0, 0, 0, 0,    0xE0, 0x3F,  // 0.5
      3, 0,                             // route weight
      0, 0, 0, 0, 0, 0,    0x34, 0x40,  // 20.0
  };
  EXPECT_EQ(out.Bytes(), expected);
  CArchive in(expected, "q.net");
  C_MM1K_Queue read;
  read.Serialize(in);
  EXPECT_EQ(read.serviceRate, 125.0);
  EXPECT_EQ(read.propagationDelay, 0.5);
  EXPECT_EQ(read.routeWeight, 3);
  EXPECT_EQ(read.bufferSize, 20.0);
}

}  // namespace
}  // namespace varlo
