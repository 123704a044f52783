// The stationary M/M/1/K queue as a function of its load rho = lambda/mu, for any buffer K and any
// rho >= 0, computed in a form that neither overflows nor loses precision: above rho = 1 through
// the mirrored queue of load 1/rho (the occupancy of load rho is K minus that of load 1/rho), and
// within a hair of rho = 1 through the cumulants of the near-uniform occupancy.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace varlo {

struct MM1KMetrics {
  double N = 0.0;               // mean number in system, packets (0 <= N <= K)
  double P = 0.0;               // blocking probability pi_K: the fraction of arrivals dropped
  double U = 0.0;               // utilisation 1 - pi_0
  double acceptedShare = 1.0;   // 1 - P, kept apart so that it does not round to 0 at heavy load
  double slope = 1.0;           // dN/drho = Var(n)/rho, packets per unit of load (> 0 for K > 0)
};

// K of 0 or less holds nothing: everything offered is dropped.
MM1KMetrics MM1KClosedForm(double rho, double K);

// The load rho >= 0 at which the queue holds N packets on average, 0 <= N < K; solved from the
// closed form by bracketed Newton steps, starting from the guess.
double MM1KLoadForSize(double N, double K, double guess);

// The same for any law(rho) -> MM1KMetrics whose N rises smoothly from 0 towards K with the load,
// its slope dN/drho.
template <class Law>
double LoadForSize(double N, double K, double guess, Law&& law) {
  if (!(N > 0.0) || !(K > 0.0)) return 0.0;
  if (N >= K) return std::numeric_limits<double>::infinity();
  // Newton steps on y = ln rho, where dN/dy = rho slope and N is a smooth S-shaped function; a
  // bracket [lo, hi] keeps every step inside the interval known to hold the answer.
  double y = guess > 0.0 && std::isfinite(guess) ? std::log(guess) : std::log(N / (1.0 + N));
  double lo = -std::numeric_limits<double>::infinity();
  double hi = std::numeric_limits<double>::infinity();
  // Relative to the size sought (N's own rounding grows with it, to that of K near a full buffer):
  // relative to K, a buffer of 10^15 packets took any load below 1 as holding 10 packets, down to
  // no load at all, and an overloaded queue there stayed empty.
  const double tolerance = 1e-12 * (N > 1.0 ? N : 1.0);
  for (int i = 0; i < 200; ++i) {
    const double rho = std::exp(y);
    const MM1KMetrics m = law(rho);
    const double error = m.N - N;
    if (std::fabs(error) <= tolerance) return rho;
    if (error < 0.0) {
      lo = y;
    } else {
      hi = y;
    }
    const double dNdy = m.slope * rho;
    double next = dNdy > 0.0 ? y - error / dNdy : y;
    // Below e^-750 rho is 0 and above e^709 past the largest double: a step beyond says no more,
    // and the bracket it left took the halvings below more than their 200 steps (from a guess of
    // an overload, a buffer of 10^100 packets stepped to y = -5e99 and was found empty at every
    // load).
    next = std::clamp(next, -750.0, 709.0);
    // A step that leaves rho as it is makes no progress either: next to rho = 1, where a buffer of
    // 10^16 packets or more goes from some 10^16 packets to K/2 between two doubles, Newton's steps
    // of 10^-150 in y ran out the loop at rho = 1, and a queue filled to K/2 in one step.
    if (!(next > lo && next < hi) || next == y || std::exp(next) == rho) {
      if (std::isfinite(lo) && std::isfinite(hi)) {
        next = 0.5 * (lo + hi);
      } else if (std::isfinite(lo)) {
        next = lo + 1.0 + (lo - y);  // widen upwards
      } else {
        next = hi - 1.0 - (y - hi);  // widen downwards
      }
    }
    if (std::isfinite(lo) && std::isfinite(hi) && hi - lo < 1e-15 * (1.0 + std::fabs(y))) {
      return std::exp(next);
    }
    y = next;
  }
  return std::exp(y);
}

}  // namespace varlo
