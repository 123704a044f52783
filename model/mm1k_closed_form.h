// The stationary M/M/1/K queue as a function of its load rho = lambda/mu, for any buffer K and any
// rho >= 0, computed in a form that neither overflows nor loses precision: above rho = 1 through
// the mirrored queue of load 1/rho (the occupancy of load rho is K minus that of load 1/rho), and
// within a hair of rho = 1 through the cumulants of the near-uniform occupancy.
#pragma once

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

}  // namespace varlo
