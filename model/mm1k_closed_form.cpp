#include "model/mm1k_closed_form.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varlo {

namespace {

// Within this distance of rho = 1, measured as |ln rho| (K + 1), the closed forms lose their
// digits to cancellation (their terms grow as 1/(1 - rho)^2 while the result stays near K^2/12);
// there the occupancy is close to uniform over 0..K and four cumulants give every metric to
// better than 1e-8 relative.
constexpr double kNearUniform = 0.05;

// Load r in [0, 1) away from 1: the exact stationary distribution pi_n ~ r^n, n = 0..K.
struct Reduced {
  double pi0;
  double piK;
  double mean;
  double dMeanDr;  // dN/dr
  double rK;       // r^K
  double rM;       // r^(K+1)
};

// Where r^K is below e^-750 (far below the least subnormal number), pow() would return 0 by way of
// its slow underflow path. ln r <= -(d + d^2/2) for d = 1 - r, so r^K is known to be 0 when
// (d + d^2/2) K > 750, without the logarithm (a load within a hair of that leaves it to pow, which
// gives 0 there too).
Reduced ReducedQueue(double r, double K) {
  const double M = K + 1.0;
  const double d = 1.0 - r;
  const double rK = (d + d * d / 2.0) * K > 750.0 ? 0.0 : std::pow(r, K);
  const double rM = rK * r;
  const double a = 1.0 - r;
  const double den = 1.0 - rM;
  Reduced q;
  q.pi0 = a / den;
  q.piK = rK * a / den;
  q.mean = r / a - M * rM / den;
  // (Where r^K is 0 its term is too: for a buffer beyond some 10^154 packets M^2 is infinite, and
  // the product no number.)
  q.dMeanDr = 1.0 / (a * a) - (rK > 0.0 ? M * M * rK / (den * den) : 0.0);
  q.rK = rK;
  q.rM = rM;
  return q;
}

}  // namespace

MM1KMetrics MM1KClosedForm(double rho, double K) {
  MM1KMetrics m;
  if (!(K > 0.0)) {
    m.N = 0.0;
    m.U = 0.0;
    m.P = rho > 0.0 ? 1.0 : 0.0;
    m.acceptedShare = 1.0 - m.P;
    m.slope = 0.0;
    return m;
  }
  if (rho <= 0.0) {
    m.N = 0.0;
    m.P = 0.0;
    m.U = 0.0;
    m.acceptedShare = 1.0;
    m.slope = 1.0;  // N ~ rho for a lightly loaded queue
    return m;
  }
  if (std::isnan(rho)) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return MM1KMetrics{nan, nan, nan, nan, nan};
  }
  const double M = K + 1.0;
  // |ln rho| is at least 1 - rho below 1 and (rho - 1)/rho above it: most loads are known to be
  // away from 1 without the logarithm (a margin of 1 % covers the rounding of the bounds).
  const double apart = rho < 1.0 ? 1.0 - rho : (rho - 1.0) / rho;
  const bool nearOne = !(apart * M >= kNearUniform * 1.01);
  const double x = nearOne ? std::log(rho) : 0.0;
  if (nearOne && std::fabs(x) * M < kNearUniform) {
    // Cumulant expansion of log sum_{n=0..K} e^{xn} about x = 0 (odd cumulants beyond the mean
    // vanish for the uniform occupancy).
    const double variance0 = (M * M - 1.0) / 12.0;
    const double kappa4 = -(M * M - 1.0) * (M * M + 1.0) / 120.0;
    const double x2 = x * x;
    // At rho = 1 exactly the terms in x vanish: they are left out, as for a buffer beyond some 10^77
    // packets the cumulants are infinite and 0 times them no number (the run stopped there).
    const bool atOne = x == 0.0;
    const double logPartition =
        atOne ? std::log(M) : std::log(M) + x * K / 2.0 + x2 * variance0 / 2.0 + x2 * x2 * kappa4 / 24.0;
    m.N = atOne ? K / 2.0 : K / 2.0 + x * variance0 + x2 * x * kappa4 / 6.0;
    m.P = std::exp(x * K - logPartition);
    m.U = 1.0 - std::exp(-logPartition);
    m.acceptedShare = 1.0 - m.P;
    m.slope = (atOne ? variance0 : variance0 + x2 * kappa4 / 2.0) / rho;
    return m;
  }
  if (rho < 1.0) {
    const Reduced q = ReducedQueue(rho, K);
    m.N = q.mean;
    m.P = q.piK;
    m.U = 1.0 - q.pi0;
    m.acceptedShare = 1.0 - q.piK;
    m.slope = q.dMeanDr;
  } else {
    // pi_n(rho) = pi_{K-n}(1/rho): the mirrored queue of load s = 1/rho.
    const double s = 1.0 / rho;
    const Reduced q = ReducedQueue(s, K);
    m.N = K - q.mean;
    m.P = q.pi0;
    m.U = 1.0 - q.piK;
    // 1 - (1 - s)/(1 - s^(K+1)) without the cancellation of a heavy overload.
    m.acceptedShare = s * (1.0 - q.rK) / (1.0 - q.rM);
    // Var(rho) = Var(s) = s dN/ds, and dN/drho = Var/rho.
    m.slope = s * s * q.dMeanDr;
  }
  // Rounding may leave the last digit outside the possible range.
  if (m.N < 0.0) m.N = 0.0;
  if (m.N > K) m.N = K;
  if (m.P < 0.0) m.P = 0.0;
  if (m.P > 1.0) m.P = 1.0;
  if (m.U < 0.0) m.U = 0.0;
  if (m.U > 1.0) m.U = 1.0;
  return m;
}

double MM1KLoadForSize(double N, double K, double guess) {
  return LoadForSize(N, K, guess, [K](double rho) { return MM1KClosedForm(rho, K); });
}

}  // namespace varlo
