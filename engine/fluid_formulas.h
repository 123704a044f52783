// The formulas of both evaluation runs, each in one place: the closed forms of the M/M/1/K queue
// and the Z-iteration derivative of its rho, the fixed-step fluid backlog model of Compute Metrics,
// the class shares carried along a path, and the TCP round trip. The steppers (over arrays) and the
// object-by-object operations of object_steps.h call these, so the two can never drift apart.
// Rates are packets per second, sizes packets, times seconds; a packet is 1000 bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

#include "model/mm1k_closed_form.h"

namespace varlo {

// Buffers of this many packets or more follow the two-branch fluid approximation of rho in the
// Z-iteration run; smaller ones use the exact M/M/1/K closed forms. The regime bookkeeping
// (filling/draining) applies strictly above it, so a buffer of exactly 100 packets keeps regime 0.
constexpr double kLargeBufferPackets = 100.0;

inline bool IsLargeBuffer(double K) {
  return !(K < kLargeBufferPackets);
}
inline bool HasRegimes(double K) {
  return K > kLargeBufferPackets;
}

struct QueueMetrics {
  double N;  // average size, packets
  double P;  // loss probability
  double U;  // utilisation
};

// The metrics of a queue of K packets at rho.
inline QueueMetrics ClosedFormMetrics(double rho, double K) {
  if (K < kLargeBufferPackets) {
    if (rho == 1.0) {
      // The closed forms are 0/0 here; their limits are those of a uniform occupancy over 0..K.
      return {K / 2.0, 1.0 / (K + 1.0), 1.0};
    }
    const double rhoK1 = std::pow(rho, K + 1.0);
    const double P = std::pow(rho, K) * (1.0 - rho) / (1.0 - rhoK1);
    const double N = rho / (1.0 - rho) - (K + 1.0) * rhoK1 / (1.0 - rhoK1);
    if (!std::isfinite(N) || !std::isfinite(P)) {
      // rho^(K+1) overflowed (a heavily overloaded buffer): the same M/M/1/K numbers through the
      // mirrored queue of load 1/rho.
      const MM1KMetrics m = MM1KClosedForm(rho, K);
      return {m.N, m.P, std::min(2.0 * rho, 1.0)};
    }
    return {N, P, std::min(2.0 * rho, 1.0)};
  }
  // Each branch is only meant for its own half of the buffer; a state driven past the far end (a
  // buffer of exactly K = 100, which never gets a regime, or a step that overshoots before the
  // reflection) would read as fewer than 0 or more than K packets. It holds 0 or K.
  const auto held = [K](double N) { return N < 0.0 ? 0.0 : (N > K ? K : N); };
  if (rho <= 1.0) {
    // At rho = 1 the lower branch is infinite; the branches meet at K/2 - 1, so use that.
    return {held(rho == 1.0 ? K / 2.0 - 1.0 : rho / (1.0 - rho)), 0.0, std::min(2.0 * rho, 1.0)};
  }
  return {held(K + rho / (1.0 - rho)), (rho - 1.0) / rho, 1.0};
}

// The utilisation of ClosedFormMetrics(rho, K) alone: every branch gives min(2 rho, 1) (at rho = 1
// that is 1), so the Runge-Kutta stages, which need only U, skip the powers of N and P.
inline double ClosedFormUtilisation(double rho) {
  return std::min(2.0 * rho, 1.0);
}

// d(rho)/dt of a small buffer (K below the large-buffer threshold): lambda - mu U over dN/drho.
[[gnu::noinline]] inline double SmallBufferDerivative(double rho, double U, double K, double mu, double lambda) {
  if (rho == 1.0) {
    // dN/drho of the exact M/M/1/K is the occupancy variance over rho; at rho = 1 the occupancy
    // is uniform over 0..K, whose variance is K(K+2)/12.
    return (lambda - mu * U) / (K * (K + 2.0) / 12.0);
  }
  const double a = 1.0 - rho;
  const double b = 1.0 - std::pow(rho, K + 1.0);
  const double denominator = (b * b) - (K + 1.0) * (K + 1.0) * std::pow(rho, K) * (a * a);
  const double d = (lambda - mu * U) * (a * a) * (b * b) / denominator;
  if (std::isfinite(d) && denominator > 0.0) return d;
  // The squares of rho^(K+1) overflow for a full buffer of more than about 75 packets (inf/inf),
  // or the difference is lost to rounding next to rho = 1: dN/drho computed without either.
  const double slope = MM1KClosedForm(rho, K).slope;
  return slope > 0.0 ? (lambda - mu * U) / slope : 0.0;
}

// Shortcuts to SmallBufferDerivative's exact value for a buffer of K packets, computed once per
// queue. The derivative depends on rho^(K+1) and rho^K only through 1 - rho^(K+1) and the
// denominator, each rounded to a double near 1; where that rounding comes out the same for every
// value pow could return, the powers need not come from pow.
struct SmallBufferShortcut {
  // Up to this rho, (K + 1)^2 rho^K is at most 2^-60, so rho^(K+1) and (K + 1)^2 rho^K (a^2) are
  // below 2^-54 even with pow's rounding and 1 minus either rounds to exactly 1: the derivative is
  // (lambda - mu U) a^2 to the bit. -1 where no rho qualifies.
  double negligibleRho = -1.0;
  // K where it is a whole number of packets (1 to 99), else 0: its powers are then found by
  // repeated squaring, with a known bound on their error, for rho between negligibleRho and
  // squaringRho, below which that bound mostly decides 1 - rho^(K+1) (see SquaringWorthRho).
  int exponent = 0;
  double squaringRho = -1.0;
};

// For a buffer of K packets (1 to 99): the largest rho, on a grid of 1/1024, up to which the
// squared powers' error interval crosses a rounding boundary of 1 - rho^(K+1) with a chance of at
// most about a quarter (the interval's width over the spacing of the doubles there,
// 2 (K + 7) rho^(K+1)). Beyond it the squaring would mostly be wasted before both powers come from
// pow anyway.
inline double SquaringWorthRho(int K) {
  static const std::array<double, 100> table = [] {
    std::array<double, 100> t{};
    for (int k = 1; k < 100; ++k) {
      for (int i = 1; i < 1024; ++i) {
        const double r = i / 1024.0;
        const double p = std::pow(r, k);
        if (2.0 * (k + 7) * p * r > 0.25) break;
        t[k] = r;
      }
    }
    return t;
  }();
  return K > 0 && K < 100 ? table[K] : -1.0;
}

inline SmallBufferShortcut SmallBufferShortcutFor(double K) {
  SmallBufferShortcut s;
  if (!(K > 0.0) || !(K < kLargeBufferPackets)) return s;
  s.negligibleRho = std::exp((-60.0 * std::log(2.0) - 2.0 * std::log(K + 1.0)) / K);
  if (K >= 1.0 && K == static_cast<double>(static_cast<int>(K))) {
    s.exponent = static_cast<int>(K);
    s.squaringRho = SquaringWorthRho(s.exponent);
  }
  return s;
}

// x^n for n >= 1 by repeated squaring. Each rounding multiplies by at most 1 + 2^-53, and the
// squarings and products compound to n - 1 of them, so with every partial product a normal number
// the relative error is at most (1 + 2^-53)^(n - 1) - 1, about (n - 1) 2^-53.
inline double PowerBySquaring(double x, int n) {
  double result = 1.0;
  for (;;) {
    if ((n & 1) != 0) result *= x;
    n >>= 1;
    if (n == 0) return result;
    x *= x;
  }
}

// SmallBufferDerivative's value, bit for bit, without pow where the shortcut allows it (lightly
// and moderately loaded buffers, where the Z-iteration spends most of its derivatives).
[[gnu::always_inline]] inline double SmallBufferDerivative(double rho, double U, double K, double mu,
                                                           double lambda, const SmallBufferShortcut& shortcut) {
#if !defined(__FP_FAST_FMA)  // the argument below counts each rounding of the expressions as written
  if (rho >= 0.0 && rho <= shortcut.negligibleRho) {
    const double a = 1.0 - rho;
    const double d = (lambda - mu * U) * (a * a);
    if (std::isfinite(d)) return d;
  } else if (shortcut.exponent > 0 && rho > shortcut.negligibleRho && rho < shortcut.squaringRho) {
    // pow's result lies within 1 ulp (2^-52 relative) of the exact power, and the squared powers
    // here within (K - 1) 2^-53 of it, rho^(K+1) within K 2^-53 (all far above the smallest normal
    // number: rho^K > 2^-74 here). So pow would return a value in [p (1 - m), p (1 + m)], with two
    // ulps more in m for the rounding of p (1 +- m) itself. 1 - x, (K + 1)^2 x (a^2) and b^2 minus
    // that are monotone in x after rounding; where both ends of the interval round to the same b,
    // that is pow's, and so for the denominator. Where they do not, that power comes from pow as
    // in the formula, and the derivative is computed from them as there.
    constexpr double u = 0x1p-53;
    const double p0 = PowerBySquaring(rho, shortcut.exponent);
    const double p1 = p0 * rho;
    const double m0 = (K + 6.0) * u;
    const double m1 = (K + 7.0) * u;
    const double a = 1.0 - rho;
    double b = 1.0 - p1 * (1.0 + m1);
    if (b != 1.0 - p1 * (1.0 - m1)) b = 1.0 - std::pow(rho, K + 1.0);
    const double t = (K + 1.0) * (K + 1.0);
    double denominator = (b * b) - t * (p0 * (1.0 + m0)) * (a * a);
    if (denominator != (b * b) - t * (p0 * (1.0 - m0)) * (a * a))
      denominator = (b * b) - (K + 1.0) * (K + 1.0) * std::pow(rho, K) * (a * a);
    const double d = (lambda - mu * U) * (a * a) * (b * b) / denominator;
    if (std::isfinite(d) && denominator > 0.0) return d;
  }
#endif
  return SmallBufferDerivative(rho, U, K, mu, lambda);
}

// d(rho)/dt of a large buffer on its two branches, before the regime clips it.
inline double LargeBufferSlope(double rho, double U, double mu, double lambda) {
  const double a = 1.0 - rho;
  return rho < 1.0 ? (lambda - mu * U) * (a * a) : (lambda - mu * rho) * (a * a) / rho;
}

// The slope of a large buffer held by its regime: a filling queue (1) does not drain and a
// draining one (2) does not fill.
inline double ClipToRegime(double d, int regime) {
  if (d < 0.0 && regime == 1) return 0.0;
  if (d > 0.0 && regime == 2) return 0.0;
  return d;
}

// The regime after a step: set at the first step from lambda against mu rho, then switched when
// the slope turns and the arrivals move the same way.
inline int NextRegime(int regime, double slope, double rho, double mu, double lambda, double previousLambda) {
  if (regime == 0) return lambda - mu * rho > 0.0 ? 1 : 2;
  if (regime == 1 && slope < 0.0 && lambda < previousLambda) return 2;
  if (regime == 2 && slope > 0.0 && lambda > previousLambda) return 1;
  return regime;
}

// A large buffer that crosses the middle of the buffer on its branch jumps to the other branch.
// rho -> 2 - rho keeps N only near the junctions 1 -/+ 2/K; a state far past the junction would
// land outside the other branch (N < 0 above, N > K below), so it lands on the junction instead.
inline double ReflectedRho(double rho, double K, int regime) {
  const double middle = K / 2.0 - 1.0;
  if (rho < 1.0 && rho / (1.0 - rho) > middle && regime == 1) {
    const double upper = 2.0 - rho;
    return K + upper / (1.0 - upper) < 0.0 ? 1.0 + 2.0 / K : upper;
  }
  if (rho > 1.0 && K + rho / (1.0 - rho) < middle && regime == 2) {
    const double lower = 2.0 - rho;
    return lower / (1.0 - lower) > K ? 1.0 - 2.0 / K : lower;
  }
  return rho;
}

struct FluidStepResult {
  double N;
  double P;
  double U;
  double accepted;  // packets admitted in the step
  double served;    // packets sent in the step
};

// The size from which the fluid backlog model's queue of K packets loses: half its buffer, rounded
// up (a run keeps it per queue).
inline double LossThreshold(double K) {
  return std::ceil(K / 2.0);
}

// h seconds of the fluid backlog model of a queue holding N packets of K, with lambda arriving
// and mu served per second; threshold = LossThreshold(K).
inline FluidStepResult FluidStep(double N, double lambda, double mu, double K, double threshold, double h) {
  const double arriving = lambda * h;  // packets
  const double capacity = mu * h;      // packets
  FluidStepResult r{};
  double next;
  if (N + arriving > capacity) {
    next = std::min(N + (lambda - mu) * h, K);
    r.served = capacity;
  } else {
    next = 0.0;
    r.served = N + arriving;
  }
  r.accepted = std::min(arriving, K - N + capacity);
  if (next < threshold) {
    r.P = 0.0;
  } else if (next >= K - 1.0) {
    r.P = 1.0;
  } else {
    const double q = (next - K) / (next - K + 1.0);
    r.P = (q - 1.0) / q;
  }
  r.U = capacity > 0.0 ? r.served / capacity : 0.0;  // a link that sends nothing is never busy
  r.N = next;
  return r;
}
inline FluidStepResult FluidStep(double N, double lambda, double mu, double K, double h) {
  return FluidStep(N, lambda, mu, K, LossThreshold(K), h);
}

// The rate a class passes on from a queue: its fraction n/N of the packets served at U mu. An
// empty queue passes on what the class offered it before (previous).
inline double DepartureRate(double n, double N, double U, double mu, double previous) {
  return N != 0.0 ? n * U * mu / N : previous;
}

// A class's packets in a queue after h seconds of the Z-iteration run: it loses P of what it
// offers (x) and sends on what the next hop receives (next).
inline double FluidShare(double n, double h, double P, double x, double next) {
  const double v = n + h * ((1.0 - P) * x - next);
  return v < 0.0 ? 0.0 : v;
}

// A class's packets in a queue after a Compute Metrics step: its share of the packets admitted and
// sent. An idle queue (lambda = 0) admitted nothing of this class and a queue without service
// (mu = 0) sent nothing; the shares would otherwise be 0/0.
inline double DiscreteShare(double n, double x, double accepted, double lambda, double next, double served,
                            double mu) {
  const double in = lambda != 0.0 ? x * accepted / lambda : 0.0;
  const double out = mu != 0.0 ? next * served / mu : 0.0;
  const double v = n + in - out;
  return v < 0.0 ? 0.0 : v;
}

// A class's share scaled so that the shares of a queue add up to its N.
inline double NormalizedShare(double n, double N, double sum) {
  return sum != 0.0 ? N * n / sum : 0.0;
}

// The TCP round trip, one queue of either direction at a time: each adds its waiting time N/mu
// and its delay, and multiplies the chance of getting through by 1 - P.
struct RoundTrip {
  double seconds;  // starts at the sink's delay
  double success = 1.0;
  void AddHop(double waiting, double delay, double passing) {
    seconds = seconds + waiting + delay;
    success = success * passing;
  }
  double Loss() const { return 1.0 - success; }
};

// A TCP class's offered rate in packets/s from the profile's packets per millisecond.
inline double TcpRateFromProfile(double packetsPerMillisecond) {
  return 1000.0 * packetsPerMillisecond;
}

}  // namespace varlo
