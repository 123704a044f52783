#include "engine/refined_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace varlo {

namespace {

double RhoRate(const MM1KMetrics& m, double rho, double lambda, double mu) {
  if (!(m.slope > 0.0)) return 0.0;  // a queue without room does not change
  return m.acceptedShare * (lambda - mu * rho) / m.slope;
}

}  // namespace

double RefinedRhoRate(double rho, double lambda, double mu, double K) {
  return RhoRate(MM1KClosedForm(rho, K), rho, lambda, mu);
}

double RefinedRhoRate(const MM1KMetrics& atRho, double rho, double lambda, double mu) {
  return RhoRate(atRho, rho, lambda, mu);
}

namespace {

// B(n, a) for a whole number n >= 1 through 1 / B = sum over k = 0..n of n! / ((n - k)! a^k), whose
// terms grow while n - k + 1 > a and then fall off like a Gaussian of width sqrt(a): summed until
// they no longer count. Far above the load (n beyond a + 8 sqrt(a) + 8) B is about the Poisson
// probability of n, below 1e-14: 0 for every use here.
double ErlangBWhole(double n, double a) {
  if (n >= a + 8.0 * std::sqrt(a) + 8.0) return 0.0;
  const double perLoad = 1.0 / a;
  double term = 1.0;
  double sum = 1.0;
  // Four terms a round, each from the round's first term times a product of the factors, so that
  // each round waits for one product only.
  double k = 1.0;
  for (; k + 3.0 <= n; k += 4.0) {
    const double f1 = (n - k + 1.0) * perLoad;
    const double f12 = f1 * ((n - k) * perLoad);
    const double f34 = ((n - k - 1.0) * perLoad) * ((n - k - 2.0) * perLoad);
    const double t1 = term * f1;
    const double t2 = term * f12;
    const double t3 = t2 * ((n - k - 1.0) * perLoad);
    term *= f12 * f34;
    sum += (t1 + t2) + (t3 + term);
    // Done once the terms no longer count and fall from here on (the next factor is below 1).
    if (term < 1e-12 * sum && n - k - 2.0 < a) return 1.0 / sum;
  }
  for (; k <= n; k += 1.0) {
    term *= (n - k + 1.0) * perLoad;
    sum += term;
  }
  return 1.0 / sum;
}

}  // namespace

double ErlangB(double servers, double load) {
  if (!(servers > 0.0)) return 1.0;
  if (!(load > 0.0)) return 0.0;
  const double whole = std::floor(servers);
  // B(0) = 1; between whole numbers of servers, linearly.
  const double below = whole >= 1.0 ? ErlangBWhole(whole, load) : 1.0;
  if (servers == whole) return below;
  const double above = load * below / (whole + 1.0 + load * below);  // Erlang's recursion, one server on
  return below + (servers - whole) * (above - below);
}

double TcpBurstOverflowEvents(double rate, double room) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return 0.0;
  if (!(room >= 1.0)) return 1.0 / (1.0 + rate * kTcpSendOverhead / 2.0);  // every burst overflows
  // A burst of 1 + M packets overflows for M >= floor(room): P(M >= m) at the mean rate u, averaged
  // over u by the midpoint rule (the tail is smooth in u).
  const double m = std::floor(room);
  constexpr int kPoints = 32;
  double overflow = 0.0;
  for (int k = 0; k < kPoints; ++k) {
    const double mean = rate * kTcpSendOverhead * (k + 0.5) / kPoints;
    // Far beyond the mean the tail is nil (below 1e-20): a large buffer costs nothing here.
    if (m > mean + 12.0 * std::sqrt(mean) + 12.0) continue;
    // A large mean (a fast link), where e^-mean would underflow: the normal tail.
    if (mean > 500.0) {
      overflow += 0.5 * std::erfc((m - 0.5 - mean) / std::sqrt(2.0 * mean));
      continue;
    }
    // P(M < m) by the Poisson terms up to m - 1 (fewer than mean + 12 sqrt(mean) + 12 of them).
    double term = std::exp(-mean);
    double below = 0.0;
    for (double j = 0.0; j < m; j += 1.0) {
      below += term;
      term *= mean / (j + 1.0);
    }
    overflow += std::max(1.0 - below, 0.0);
  }
  return overflow / kPoints / (1.0 + rate * kTcpSendOverhead / 2.0);
}

ClosedLoopMetrics ClosedLoopQueue(double openLambda, double window, const double* timesAway, std::uint32_t classes,
                                  double mu, double K, double sojournGuess, double cluster) {
  ClosedLoopMetrics m;
  if (!(mu > 0.0) || classes == 0 || !(window > 0.0) || !(openLambda >= 0.0) || !(K > 0.0)) return m;
  const double room = mu - openLambda;
  if (!(room > 0.0)) return m;
  double perAway = 0.0;  // the sum of 1 / time away: the windows would send window times it
  for (std::uint32_t c = 0; c < classes; ++c) {
    if (!(timesAway[c] > 0.0) || !std::isfinite(timesAway[c])) return m;
    perAway += 1.0 / timesAway[c];
  }
  const double population = window * classes;
  const double thinkTime = classes / perAway;
  const double clusters = cluster > 1.0 ? cluster : 1.0;
  const double throughput = room * (1.0 - ErlangB(population / clusters, room * thinkTime / clusters));
  // s from sum window / (away + s) = throughput: decreasing and convex in s, so Newton's steps from
  // below (s = 0, where the sum is at least the throughput) climb to it without overshooting, and
  // a step from a guess above it lands below it.
  double s = sojournGuess > 0.0 && std::isfinite(sojournGuess) ? sojournGuess : 0.0;
  for (int step = 0; step < 100; ++step) {
    double sum = 0.0;
    double slope = 0.0;
    for (std::uint32_t c = 0; c < classes; ++c) {
      const double inverse = 1.0 / (timesAway[c] + s);
      sum += inverse;
      slope += inverse * inverse;
    }
    sum *= window;
    slope *= window;
    const double excess = sum - throughput;
    if (!(slope > 0.0)) break;
    const double next = std::max(s + excess / slope, 0.0);
    // Newton's steps square the error: after a step of 1e-4 of s, s is within about 1e-8 of s of
    // the solution, far below what any number of the run shows.
    if (std::fabs(next - s) <= 1e-4 * next) {
      s = next;
      break;
    }
    s = next;
  }
  const double closedSize = throughput * s;
  const double openLoad = openLambda / mu;
  const double N = closedSize + openLoad * (1.0 + closedSize) / (1.0 - openLoad);
  if (!(N <= 0.9 * K) || !std::isfinite(N)) return m;
  m.applies = true;
  m.N = N;
  m.U = std::min(openLoad + throughput / mu, 1.0);
  m.closedThroughput = throughput;
  m.sojourn = s;
  m.thinkTime = thinkTime;
  return m;
}

namespace {

// Whether each of from is within the share near of its last value.
bool AllNear(const double* from, const double* last, int count, double near) {
  for (int k = 0; k < count; ++k) {
    if (!(std::fabs(from[k] - last[k]) <= near * std::fabs(last[k]))) return false;
  }
  return true;
}

// The loop's packets at the queue as the machine-repairman queue at the room 1 - openLoad leaves
// counts them: the log of c's weight relative to c = 0 is lgamma(population + 1) - lgamma(population
// - c + 1) - c log(awayService (1 - openLoad)), for c up to the last place of the population (a
// fractional last place weighs by its fraction). The last c whose weight is within e^-45 of the
// largest (the weights are log-concave in c: found by halving beyond the peak).
double LoopCountWeight(double c, double population, double perPacket) {
  return std::lgamma(population + 1.0) - std::lgamma(population - c + 1.0) - c * perPacket;
}
double LastLoopCountThatCounts(double population, double perPacket) {
  const double last = std::ceil(population);
  // Where the weights stop rising: population - c + 1 ~ e^perPacket (the digamma function near there).
  double mode = std::clamp(std::floor(population + 1.5 - std::exp(perPacket)), 0.0, last);
  const auto weight = [&](double c) { return LoopCountWeight(c, population, perPacket); };
  while (mode < last && weight(mode + 1.0) > weight(mode)) mode += 1.0;
  while (mode > 0.0 && weight(mode - 1.0) > weight(mode)) mode -= 1.0;
  const double floor = weight(mode) - 45.0;
  const auto counts = [&](double c) { return weight(c) >= floor; };
  if (counts(last)) return last;
  double in = mode;  // counts; beyond does not
  double beyond = last;
  while (beyond - in > 1.0) {
    const double middle = std::floor(0.5 * (in + beyond));
    (counts(middle) ? in : beyond) = middle;
  }
  return in;
}

// Whether MixedLoopFullShare is surely below e^-30, from a bound that takes a few steps: summed
// over the Poisson packets, the loop's c packets at the queue are those of the machine-repairman
// queue at the room 1 - openLoad leaves, and given c the Poisson packets there are negative
// binomial, (c + 1) geometric counts of ratio openLoad (whose tail grows with c). Past the c beyond
// which the loop's weights are negligible, c*, the buffer fills only where the Poisson packets
// number K - c* or more, which Chernoff's bound caps.
bool FullShareNegligible(double openLoad, double population, double awayService, double K) {
  if (!(openLoad < 1.0)) return false;
  const double perPacket = std::log(awayService * (1.0 - openLoad));
  const auto negligibleBeyond = [&](double c) {
    if (c >= K) return false;  // the loop alone may fill the buffer
    const double rest = K - c;  // Poisson packets needed beside c of the loop's
    if (!(openLoad > 0.0)) return true;
    const double r = c + 1.0;
    if (rest <= r * openLoad / (1.0 - openLoad)) return false;  // beyond the mean only
    return r * std::log((1.0 - openLoad) * (rest + r) / r) + rest * std::log(openLoad * (rest + r) / rest) < -30.0;
  };
  if (!(population > 0.0)) return negligibleBeyond(0.0);
  // First without a search: the loop's packets away, population - c, are Poisson of mean a =
  // awayService (1 - openLoad) cut off at the population, whose log weights fall below their peak
  // at least as (a - j)^2 / (2 (a + 1)) for j below a (log-concave, with steps of at least
  // 1 / (a + 1) there): more than sqrt(90 (a + 1)) below a, they are negligible.
  const double a = std::exp(perPacket);
  const double fewestAway = std::max(a - std::sqrt(90.0 * (a + 1.0)) - 1.0, 0.0);
  if (negligibleBeyond(std::min(std::ceil(population), population - fewestAway + 1.0))) return true;
  return negligibleBeyond(LastLoopCountThatCounts(population, perPacket) + 1.0);
}

// MixedLoopFullShare at a whole buffer K, in sums over the loop's packets c at the queue only: its
// chance of c loop packets and o Poisson ones goes as r_c C(c + o, c) q^o (q the open load, r_c the
// loop's weight, LoopCountWeight at q = 0), and summed over o up to K - c that is r_c (1 - q)^-(c + 1)
// times the chance that a negative binomial count of c + 1 geometric ones of ratio q is at most K - c,
// which is the chance that a binomial count of K + 1 trials of 1 - q is above c. At n = K the
// weights are r_c C(K, c) q^(K - c). Summed in logs, the binomial tail from its top down.
double FullShareAtWholeBuffer(double openLoad, double population, double awayService, double K) {
  const double last = std::min(K, std::ceil(population));  // the most loop packets the queue holds
  const double logAway = std::log(awayService);
  const auto logWeight = [&](double c) { return LoopCountWeight(c, population, logAway); };
  const auto logAddExp = [](double a, double b) {
    if (a == -HUGE_VAL) return b;
    if (b == -HUGE_VAL) return a;
    return a > b ? a + std::log1p(std::exp(b - a)) : b + std::log1p(std::exp(a - b));
  };
  if (!(openLoad > 0.0)) {
    // The loop alone: the machine-repairman queue cut off at the buffer.
    if (last < K) return 0.0;
    double all = -HUGE_VAL;
    for (double c = 0.0; c <= last; c += 1.0) all = logAddExp(all, logWeight(c));
    return std::exp(logWeight(K) - all);
  }
  const double q = openLoad;
  const double logQ = std::log(q);
  const double logP = std::log1p(-q);
  // The binomial count B of K + 1 trials of 1 - q: log P(B >= j) for j = 0 .. last + 1, summed from
  // the top (where its terms no longer count) down, each term from the one above it, relative to
  // the term at the mode.
  const double trials = K + 1.0;
  const double mode = std::min(std::floor((trials + 1.0) * (1.0 - q)), trials);
  const auto logTerm = [&](double j) {
    return std::lgamma(trials + 1.0) - std::lgamma(j + 1.0) - std::lgamma(trials - j + 1.0) + j * logP +
           (trials - j) * logQ;
  };
  const double atMode = logTerm(mode);
  double top = std::max(mode, last + 1.0);
  while (top < trials && logTerm(top) - atMode > -60.0) {
    top = std::min(trials, top + std::max(8.0, std::floor(0.25 * (top - mode))));  // whole numbers of trials
  }
  thread_local std::vector<double> tail;
  const size_t needed = static_cast<size_t>(last) + 2;
  tail.assign(needed, -HUGE_VAL);
  const double down = q / (1.0 - q);  // term(j - 1) / term(j) = j / (trials - j + 1) * down
  double term = std::exp(logTerm(top) - atMode);
  double above = 0.0;
  for (double j = top; j >= 0.0; j -= 1.0) {
    above += term;
    if (j < static_cast<double>(needed)) tail[static_cast<size_t>(j)] = std::log(above) + atMode;
    term *= j / (trials - j + 1.0) * down;
  }
  double full = -HUGE_VAL;
  double all = -HUGE_VAL;
  double weight = 0.0;  // logWeight(c)
  double choose = 0.0;  // log C(K, c)
  for (double c = 0.0; c <= last; c += 1.0) {
    if (c > 0.0) {
      weight += std::log(population - c + 1.0) - logAway;
      choose += std::log((K - c + 1.0) / c);
    }
    full = logAddExp(full, weight + choose + (K - c) * logQ);
    all = logAddExp(all, weight - (c + 1.0) * logP + tail[static_cast<size_t>(c) + 1]);
  }
  return std::clamp(std::exp(full - all), 0.0, 1.0);
}

}  // namespace

double MixedLoopFullShare(double openLoad, double population, double awayService, double K) {
  if (!(K >= 0.0) || !std::isfinite(K) || !(awayService > 0.0) || !(population >= 0.0)) return 0.0;
  if (!(openLoad >= 0.0)) openLoad = 0.0;
  if (!(openLoad < 1.0)) return 1.0;  // Poisson packets alone at the link's rate or more: as good as full
  if (FullShareNegligible(openLoad, population, awayService, K)) return 0.0;
  const double lower = std::floor(K);
  const double full = FullShareAtWholeBuffer(openLoad, population, awayService, lower);
  const double fraction = K - lower;
  if (!(fraction > 0.0)) return full;
  return full + fraction * (FullShareAtWholeBuffer(openLoad, population, awayService, lower + 1.0) - full);
}

double TcpCappedMeanWindow(double loss, double roundTrip) {
  if (!(loss > 0.0) || !(roundTrip > 0.0)) return kTcpMaximumWindowPackets;
  constexpr double kSegment = 1040.0 / 1000.0;  // packets of 1000 bytes
  constexpr double most = kTcpMaximumWindowPackets / kSegment;  // segments
  const double between = 1.0 / std::min(loss, 1.0);             // packets from one loss to the next
  const double peak = std::sqrt(8.0 * between / 3.0);             // the window at a loss, uncapped
  double rounds;
  double atLoss;
  if (peak <= most) {
    rounds = peak / 2.0 + 1.0;
    atLoss = peak;
  } else {
    rounds = most / 2.0 + (between - 3.0 * most * most / 8.0) / most + 1.0;
    atLoss = most;
  }
  rounds += std::min(1.0, 3.0 / atLoss) * kTcpShortestTimeout / roundTrip;
  return std::min(between / rounds, most) * kSegment;
}

double TcpTrainPiece(double window, double roundTrip, double trainRate) {
  if (!(window > 1.0) || !(roundTrip > 0.0) || !std::isfinite(window) || !std::isfinite(roundTrip)) {
    return 1.0;
  }
  if (!(trainRate > 0.0)) return 1.0;
  // (merging less splitting, falling as the pieces grow)
  const auto balance = [&](double piece) {
    const double x = kTcpSendOverhead * window / (piece * roundTrip);
    const double merge = x > 1e-6 ? 1.0 - (1.0 - std::exp(-x)) / x : x / 2.0;
    const double split = std::isfinite(trainRate) ? piece / (trainRate * kTcpSendOverhead) : 0.0;
    return merge - std::min(split, 1.0);
  };
  if (balance(window) >= 0.0) return window;
  if (balance(1.0) <= 0.0) return 1.0;
  double low = 1.0;
  double high = window;
  for (int k = 0; k < 40; ++k) {
    const double mid = 0.5 * (low + high);
    (balance(mid) > 0.0 ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

TrainCollisions TcpTrainCollisions(double window, double piece, double othersWindow, double othersPiece,
                                   double reach, double room, double othersRate, double mu) {
  if (!(window >= 1.0) || !(reach > 0.0) || !(mu > 0.0) || !(piece >= 1.0) || !std::isfinite(window) ||
      !std::isfinite(piece) || !(room > 0.0) || !std::isfinite(room) || !(othersWindow >= 1.0) ||
      !(othersPiece >= 1.0) || !std::isfinite(othersWindow) || !std::isfinite(othersPiece))
    return {};
  constexpr int kWindows = 4;
  constexpr int kWaits = 6;
  constexpr int kSizes = kWindows * kWaits;
  // B of each burst of a sender of that mean window and piece, all alike likely, and their mean
  const auto burstsOf = [](double meanWindow, double meanPiece, std::array<double, kSizes>& sizes) {
    const double mean = std::min(meanWindow, kTcpMaximumWindowPackets);
    double sum = 0.0;
    for (int w = 0; w < kWindows; ++w) {
      const double W = std::min(mean * (2.0 + 2.0 * (w + 0.5) / kWindows) / 3.0, kTcpMaximumWindowPackets);
      for (int k = 0; k < kWaits; ++k) {
        const double burst = std::max(std::min(W, 1.0 + 2.0 * (meanPiece - 1.0) * (k + 0.5) / kWaits), 1.0);
        sizes[w * kWaits + k] = burst;
        sum += burst;
      }
    }
    return sum / kSizes;
  };
  std::array<double, kSizes> sizes{};
  std::array<double, kSizes> others{};
  const double meanBurst = burstsOf(window, piece, sizes);
  const double othersBurst = burstsOf(othersWindow, othersPiece, others);
  // What a burst finds of the others' (Q, packets): the workload of their bursts, each B packets of
  // work, coming at random at arrivals per packet time and sent one a packet time. Its density
  // below the room on a grid of kStep packets, from the level-crossing equation of the M/G/1 queue:
  //     f(x) = arrivals (p0 P(B > x) + integral over y < x of P(B > x - y) f(y) dy),  p0 = 1 - load.
  const double arrivals = othersRate > 0.0 && std::isfinite(othersRate) ? othersRate / othersBurst / mu : 0.0;
  const double load = arrivals * reach * othersBurst;
  constexpr double kStep = 0.25;
  const int points = static_cast<int>(std::ceil(room / kStep)) + 1;
  // above[n] = P(Q > n kStep), by the trapezoid rule over the density
  std::vector<double> above(points, 0.0);
  if (arrivals > 0.0 && load < 1.0) {
    // P(reach B' > n kStep), each size spread over the step around it: a size that crosses a point
    // of the grid moves the tail by a little, not by a whole 1/kSizes.
    std::vector<double> longer(points);
    for (int n = 0; n < points; ++n) {
      double count = 0.0;
      for (const double b : others) count += std::clamp((reach * b - n * kStep) / kStep + 0.5, 0.0, 1.0);
      longer[n] = count / kSizes;
    }
    std::vector<double> density(points);
    const double p0 = 1.0 - load;
    double mass = 0.0;
    for (int n = 0; n < points; ++n) {
      double sum = 0.0;
      for (int m = 1; m < n; ++m) sum += longer[n - m] * density[m];
      if (n > 0) sum += 0.5 * longer[n] * density[0];
      const double rhs = arrivals * (p0 * longer[n] + kStep * sum);
      density[n] = n > 0 ? rhs / (1.0 - arrivals * 0.5 * kStep * longer[0]) : rhs;
      if (n > 0) mass += 0.5 * kStep * (density[n - 1] + density[n]);
      above[n] = std::max(load - mass, 0.0);
    }
  }
  // P(Q > x) and the integral of it from x to the room, between the grid's points. A burst's
  // packets come over (1 - reach) B packet times, while the queue already sends them, before it
  // leaves reach B: it holds more than x for (reach B - x) / reach packet times, where the queue of
  // bursts that arrive at once would for reach B - x, and keeps the queue busy for B of them (the
  // share of time the others' bursts keep it busy is arrivals E[B], not load).
  const auto tail = [&](double x) {
    if (!(x > 0.0)) return std::min(load / reach, 1.0);
    const double at = x / kStep;
    const int n = std::min(static_cast<int>(at), points - 2);
    const double part = std::min(at - n, 1.0);
    return std::min((above[n] + (above[n + 1] - above[n]) * part) / reach, 1.0);
  };
  const auto tailArea = [&](double from) {
    double area = 0.0;
    constexpr int kParts = 16;
    const double width = (room - from) / kParts;
    for (int k = 0; k < kParts; ++k) area += tail(from + (k + 0.5) * width) * width;
    return area;
  };
  // A burst of B packets arrives faster than the queue sends and leaves reach B of it on top of
  // what it found: it loses the excess over the room, one loss event where there is any.
  double overflowing = 0.0;
  double lost = 0.0;
  for (const double b : sizes) {
    const double own = reach * b;
    if (own >= room) {
      overflowing += 1.0;
      lost += own - room + tailArea(0.0);
      continue;
    }
    overflowing += tail(room - own);
    lost += tailArea(room - own);
  }
  const double packets = kSizes * meanBurst;
  return {std::min(overflowing / packets, 1.0), std::min(lost / packets, 1.0)};
}

double TcpTimeoutMeanWindow(double events, double roundTrip, double timeouts) {
  if (!(events > 0.0) || !(roundTrip > 0.0)) return kTcpMaximumWindowPackets;
  constexpr double kSegment = 1040.0 / 1000.0;  // packets of 1000 bytes
  constexpr double most = kTcpMaximumWindowPackets / kSegment;  // segments
  const double t = std::clamp(timeouts, 0.0, 1.0);
  const double between = 1.0 / std::min(events, 1.0);  // packets from one loss event to the next
  // A cycle that ends at a window of W: its packets and rounds up to the next event.
  const auto packets = [&](double W) {
    return (1.0 - t) * 3.0 * W * W / 8.0 + t * (W / 2.0 + 15.0 * W * W / 32.0);
  };
  const auto rounds = [&](double W) {
    return (1.0 - t) * W / 2.0 +
           t * (kTcpShortestTimeout / roundTrip + std::log2(std::max(W / 4.0, 1.0)) + 3.0 * W / 4.0) + 1.0;
  };
  double cycle;
  if (packets(most) <= between) {
    cycle = rounds(most) + (between - packets(most)) / most;
  } else {
    double low = 0.0;
    double high = most;
    for (int k = 0; k < 50; ++k) {
      const double mid = 0.5 * (low + high);
      (packets(mid) < between ? low : high) = mid;
    }
    cycle = rounds(0.5 * (low + high));
  }
  return std::min(between / cycle, most) * kSegment;
}

double DataBuffer(double K, double acknowledgementRate, double mu) {
  if (!(acknowledgementRate > 0.0) || !(mu > 0.0) || !std::isfinite(acknowledgementRate)) return K;
  return std::max(K / (1.0 + acknowledgementRate / mu), std::min(K, 1.0));
}

// Where the senders' trains lose more of the queue's arrivals than its law does, the queue shows
// their loss: what they lose is never admitted, and so never sent.
void ShowTrainDrops(RefinedStepResult& r, double trainDrops, double lambda, double mu, double h) {
  if (!(trainDrops > 0.0) || !(lambda > 0.0) || !(mu > 0.0)) return;
  const double share = std::min(trainDrops / lambda, 1.0);
  if (!(share > r.metrics.P)) return;
  const double more = share - r.metrics.P;
  r.metrics.P = share;
  r.metrics.acceptedShare = std::max(r.metrics.acceptedShare - more, 0.0);
  r.metrics.U = std::max(r.metrics.U - more * lambda / mu, 0.0);
  r.accepted = lambda * r.metrics.acceptedShare * h;
  r.served = mu * r.metrics.U * h;
}

RefinedStepResult RefinedQueueStep(double& rho, MM1KMetrics& atRho, double lambda, double mu, double K, double h,
                                   const ClosedLoopLoad& closed, double& closedSojourn, double burst,
                                   double* burstUsed, double* bufferUsed, LoopWindow* loopWindow) {
  const double lastBurst = burstUsed != nullptr ? *burstUsed : burst;
  if (burstUsed != nullptr) *burstUsed = burst;
  const bool bufferChanged = bufferUsed != nullptr && *bufferUsed != K;
  if (bufferUsed != nullptr) *bufferUsed = K;
  const double lastSojourn = closedSojourn;
  closedSojourn = -1.0;
  if (closed.classes > 0) {
    const double window = loopWindow != nullptr ? loopWindow->window : kTcpMaximumWindowPackets;
    ClosedLoopMetrics c = ClosedLoopQueue(std::max(lambda - closed.offered, 0.0), window,
                                                closed.timesAway, closed.classes, mu, K, std::max(lastSojourn, 0.0),
                                                closed.cluster);
    // A loop forms only where its windows fit with a margin and then holds for as long as they fit
    // (ClosedLoopQueue): with one bound for both, loops near the end of a buffer formed and broke
    // step after step, and on random meshes queues swung by a third of their size for whole runs.
    // Where the windows together would more than fill the buffer, the loop holds them short of its
    // end only as long as they leave room for their bursts too: the bounds count the buffer in
    // bursts (K / burst). (Where they fit, nothing can overflow, bursts or not. Counted in packets,
    // a single flow beside Poisson traffic on a buffer of 15 held its loop and dropped nothing,
    // sending 70 % more than in ns, which loses 0.7 % there; and loops that broke at the bound of
    // the open law in bursts formed again at once, so that queues on random meshes swung by 16 %.)
    // (Forming at 0.85 of it, loops whose windows grew to the bound and broke formed again at once
    // on meshes of 60 and 100 routers, whose queues swung by up to 43 % in the Z-iteration.)
    constexpr double kLoopFormsBelow = 0.8;  // of the buffer
    constexpr double kLoopHoldsBelow = 0.9;   // (ClosedLoopQueue's own bound)
    const double room =
        kTcpMaximumWindowPackets * closed.classes > kLoopHoldsBelow * K ? K / std::max(burst, 1.0) : K;
    // A loop of TCP alone (its windows bring all but a twentieth of the arrivals) is bounded by the
    // buffer in packets: its packets arrive clocked by their own acknowledgements, and they overflow
    // it only where a sender's burst (TcpBurstOverflowEvents, each class at its loop's rate) finds
    // less room than it brings beside the packets the loop holds. It forms, and holds, only where
    // that happens in no more loss events per packet than keep Reno's windows at their maximum of
    // 20 segments, 3 / (2 20^2). (Without it, two flows of 30 and 75 ms round trips held a loop with
    // 2.9 packets on average in a buffer of 10 and were given 817 packets/s, where ns's flows lose
    // 1 % to their bursts and send 428. With the bursts spread as those of an open queue of the
    // loop's size, and the buffer counted in bursts, three and four flows of 30 to 120 and 170 ms on
    // a buffer of 20 got no loop and 710 and 739 packets/s, where ns's windows wait whole at the
    // queue and send 948 and 984. Checked only as a loop forms, a loop whose queue then grew kept
    // its windows whole while their bursts overflowed what was left: on a random mesh of 50
    // routers with buffers of 20 the TCP classes' rates were a median 28 % from ns's, 18 % with
    // the loop checked while it holds; and two flows against one on a buffer of 20 sent 759
    // packets/s one way, where ns's lose 0.24 % and send 577. Beside Poisson traffic the bounds in
    // bursts above keep the loops that ns's queues show: checked there too, loops broke on
    // dumbbells and meshes whose queues ns keeps busy, and sizes fell by half.)
    // Where the acknowledgements come back bunched (closed.cluster, AcknowledgementBunch) a
    // sender's bursts come in clusters of that many packets: counted in clusters, a burst of 1 + M
    // of them overflows the room left in clusters, one loss event for all its packets.
    // A sender's acknowledgements come back spaced as the queue sent its packets: while it is busy
    // the queue sends a class's packets at rate / U on average (at most mu), and a sender's wait
    // collects that many per second, not rate. A burst is never more than a window, which a room
    // of a window or more takes whole. (At the mean rate, two flows of 30 and 120 ms on a buffer
    // of 12 held a loop and were given 817 packets/s, where ns's flows lose 0.4 % and send 580.)
    constexpr double kLoopBurstLoss = 1.5 / (20.0 * 20.0);
    // (Where the windows of all its TCP classes fit, those outside the loop cannot overflow it
    // either: it is a loop of TCP alone.)
    const bool tcpAlone = closed.windowsFit || TcpAloneAt(lambda - closed.offered, lambda);
    const auto burstsOverflow = [&]() {
      if (!(c.N < K)) return true;
      if (K - c.N >= kTcpMaximumWindowPackets) return false;
      const double cluster = std::max(closed.cluster, 1.0);
      double events = 0.0;
      double sent = 0.0;
      for (std::uint32_t k = 0; k < closed.classes; ++k) {
        const double rate = kTcpMaximumWindowPackets / (closed.timesAway[k] + c.sojourn);
        const double acknowledged = c.U > 0.0 ? std::max(rate, std::min(mu, rate / c.U)) : rate;
        events += rate * TcpBurstOverflowEvents(acknowledged / cluster, (K - c.N) / cluster) / cluster;
        sent += rate;
      }
      return sent > 0.0 && events / sent > kLoopBurstLoss;
    };
    const bool held = lastSojourn >= 0.0;
    const double bound = tcpAlone ? K : room;
    // Windows of TCP alone that fit in the buffer whole can never overflow it, bursts or not: the
    // loop holds however near the end of the buffer they keep the queue. (ns's flow alone behind
    // an access link of 150 packets/s with a buffer of 20 keeps 16.7 packets there and loses
    // nothing; without this, its loop never formed and the open law lost 0.7 % at 10 packets.)
    const bool windowsFit = closed.windowsFit || (tcpAlone && TcpWindowsFit(closed.classes, K));
    bool holds = c.applies && (windowsFit || (c.N <= kLoopHoldsBelow * bound &&
                                              (held || c.N <= kLoopFormsBelow * bound) &&
                                              !(tcpAlone && burstsOverflow())));
    // Beside Poisson traffic the queue's packets now and then reach the end of the buffer
    // (MixedLoopFullShare): the windows lose that share of their packets and shrink to the mean
    // window Reno keeps at that loss (TcpCappedMeanWindow), which holds fewer packets in the loop
    // and so loses less. The loop settles where the two agree; a held loop's windows move there
    // over kLoopWindowTrips round trips, and a loop forms at that window. It forms only where
    // the windows keep at least kLoopFormsWindow of their maximum there, and holds while they keep
    // kLoopHoldsWindow: where they lose more, the losses and not the windows set the flows' rates,
    // and TCP's own bursts (which the loop does not count) lose more still. (Against ns, a flow
    // beside 200 and 400 packets/s of Poisson traffic on buffers of 10 and 15, which loses 0.2 %
    // in ns, kept 84 and 79 % of its window and its rate came within 1 and 6 %, where the whole
    // window gave 17 and 13 % more; beside 400 on 10 and 600 on 25, which lose 0.7 %, the loop's
    // windows fell to 61 and 71 % of their maximum, and held there they gave 25 and 28 % more.
    // Forming at 0.78, a loop on a random mesh of 60 routers that the rule kept out left its queue
    // to the open law, which swung by 5 % in the Z-iteration.) A loop of TCP alone keeps its
    // windows whole (its bursts decide above whether it forms at all).
    constexpr double kLoopWindowTrips = 4.0;
    constexpr double kLoopFormsWindow = 0.75;
    constexpr double kLoopHoldsWindow = 0.71;
    double loss = 0.0;
    if (holds && loopWindow != nullptr && !tcpAlone) {
      const double openLoad = std::max(lambda - closed.offered, 0.0) / mu;
      const double trip = c.thinkTime + c.sojourn;
      const double away = mu * c.thinkTime;
      const auto lossAt = [&](double w) {
        return MixedLoopFullShare(openLoad, std::max(w * closed.classes - 1.0, 0.0), away, K);
      };
      LoopWindow& state = *loopWindow;
      const auto cachedLossAt = [&](double w) {
        // (A loss found negligible, below e^-30, stays so over a hundredth.)
        const double from[4] = {openLoad, w, away, K};
        if (!AllNear(from, state.lossFrom, 4, state.loss > 0.0 ? 1e-3 : 1e-2)) {
          std::copy(from, from + 4, state.lossFrom);
          state.loss = lossAt(w);
        }
        return state.loss;
      };
      if (held) {
        loss = cachedLossAt(window);
        state.window = window + (TcpCappedMeanWindow(loss, trip) - window) * (h / (h + kLoopWindowTrips * trip));
        holds = state.window >= kLoopHoldsWindow * kTcpMaximumWindowPackets;
      } else {
        const double from[5] = {openLoad, static_cast<double>(closed.classes), away, K, trip};
        if (!AllNear(from, state.formFrom, 5, 1e-3)) {
          std::copy(from, from + 5, state.formFrom);
          // The window where the two agree, by halving: the mean window at a window's loss falls
          // as the window grows.
          const auto above = [&](double w) { return TcpCappedMeanWindow(lossAt(w), trip) >= w; };
          double low = kLoopFormsWindow * kTcpMaximumWindowPackets;
          double high = kTcpMaximumWindowPackets;
          if (!above(low)) {
            state.formed = 0.0;
          } else {
            if (!above(high)) {
              for (int step = 0; step < 7; ++step) {
                const double middle = 0.5 * (low + high);
                (above(middle) ? low : high) = middle;
              }
              high = low;
            }
            state.formed = high;
          }
        }
        holds = state.formed > 0.0;
        if (holds) {
          state.window = state.formed;
          if (state.formed != window) {
            c = ClosedLoopQueue(std::max(lambda - closed.offered, 0.0), state.formed, closed.timesAway,
                                closed.classes, mu, K, std::max(lastSojourn, 0.0), closed.cluster);
            holds = c.applies;
          }
          loss = cachedLossAt(state.formed);
        }
      }
    }
    if (holds) {
      // The windows stay short of the end of the buffer. rho is left as it was until the open law
      // takes over again. The queue moves towards the loop's state over about the time its
      // packets are away, by h / (h + that time): the loops of a network follow one another's
      // round trips, and queues that jumped to their loops' states at once would chase one
      // another round.
      const double follow = h / (h + c.thinkTime);
      atRho.N += (c.N - atRho.N) * follow;
      atRho.P = loss;
      atRho.U += (c.U - atRho.U) * follow;
      atRho.acceptedShare = 1.0 - loss;
      closedSojourn = c.sojourn;
      RefinedStepResult r{};
      r.metrics = atRho;
      r.accepted = lambda * (1.0 - loss) * h;
      r.served = mu * c.U * h;
      if (loopWindow != nullptr) loopWindow->lawLoss = r.metrics.P;
      ShowTrainDrops(r, closed.trainDrops, lambda, mu, h);
      return r;
    }
  }
  if (loopWindow != nullptr) loopWindow->window = kTcpMaximumWindowPackets;  // whole again when a loop forms
  if (lastSojourn >= 0.0) {
    // The loop held until now: the open law goes on from the packets it left, at the load at which
    // it holds them.
    rho = atRho.N < K ? BurstyLoadForSize(atRho.N, K, burst, rho) : kHeaviestLoad;
    atRho = BurstyClosedForm(rho, K, burst);
  } else if (burst != lastBurst || bufferChanged) {
    atRho = BurstyClosedForm(rho, K, burst);
  }
  RefinedStepResult r = RefinedDiscreteStep(rho, atRho, lambda, mu, K, h, burst);
  // Where TCP fills the queue, its P comes down towards its windows' sawtooth's (ClosedLoopLoad),
  // as far as the link has the time to send what it then admits: a queue offered more than it can
  // send drops the excess whatever the windows do. atRho keeps the open law's numbers, which the next
  // step goes on from. Where the windows fit in the buffer whole, nothing overflows but that excess.
  // (The queue admits a share `lower` more of its arrivals and sends them: its utilisation rises.)
  const auto admitMore = [&](double lower) {
    r.metrics.P -= lower;
    r.metrics.acceptedShare += lower;
    r.metrics.U = std::min(1.0, r.metrics.U + lower * lambda / mu);
    r.accepted = lambda * r.metrics.acceptedShare * h;
    r.served = mu * r.metrics.U * h;
  };
  if (closed.windowsFit && r.metrics.P > 0.0 && mu > 0.0 && lambda > 0.0) {
    admitMore(std::min(r.metrics.P, std::max(1.0 - r.metrics.U, 0.0) * mu / lambda));
  } else if (closed.sawtoothWeight > 0.0 && r.metrics.P > closed.sawtoothLoss && mu > 0.0 && lambda > 0.0) {
    const double lower = std::min((r.metrics.P - closed.sawtoothLoss) * closed.sawtoothWeight,
                                  std::max(1.0 - r.metrics.U, 0.0) * mu / lambda);
    const double overflow = TcpSawtoothOverflow(closed.sawtoothFlows, closed.sawtoothBuffer, closed.sawtoothProduct);
    const double sawtoothSize = TcpSawtoothSize(closed.sawtoothBuffer, closed.sawtoothProduct);
    if (overflow > 0.0 && sawtoothSize >= 0.0 && closed.sawtoothLoss > 0.0) {
      const double above = std::clamp((r.metrics.P - closed.sawtoothLoss) / closed.sawtoothLoss, 0.0, 1.0);
      const double size = std::min(sawtoothSize, K);
      r.metrics.N += closed.sawtoothWeight * overflow * above * (size - r.metrics.N);
    }
    admitMore(lower);
  }
  if (loopWindow != nullptr) loopWindow->lawLoss = r.metrics.P;
  ShowTrainDrops(r, closed.trainDrops, lambda, mu, h);
  return r;
}

namespace {

// The blocking probability pi_K of the M/M/1/K queue at load rho alone, as MM1KClosedForm gives it,
// for a buffer K > 0: pi_K = rho^K (1 - rho) / (1 - rho^(K + 1)), through the mirrored queue of load
// 1 / rho above rho = 1 (pi_K = (1 - r) / (1 - r^(K + 1)), r = 1 / rho) so that it cannot overflow,
// and with L = ln rho within a hair of rho = 1, where 1 - rho cancels (one pow() elsewhere).
double MM1KBlocking(double rho, double K) {
  if (!(rho > 0.0)) return 0.0;
  if (!std::isfinite(rho)) return 1.0;
  const bool mirrored = rho > 1.0;
  const double r = mirrored ? 1.0 / rho : rho;
  const double d = 1.0 - r;
  if (d * (K + 1.0) < 0.05) {
    const double L = std::log(r);
    if (L == 0.0) return 1.0 / (K + 1.0);
    const double ratio = std::expm1(L) / std::expm1((K + 1.0) * L);  // (1 - r) / (1 - r^(K + 1))
    return mirrored ? ratio : std::exp(K * L) * ratio;
  }
  // (r^K counts for nothing where it is below e^-30: ln r <= -(d + d^2/2). A queue's loss of less
  // than that is none, and 1 - r^(K + 1) is 1 to the last digit.)
  const double rK = (d + d * d / 2.0) * K > 30.0 ? 0.0 : std::pow(r, K);
  const double ratio = d / (1.0 - rK * r);
  return mirrored ? ratio : rK * ratio;
}

}  // namespace

double SteadyQueueLoss(double lambda, double mu, double K, double burst, const ClosedLoopLoad& closed) {
  if (!(lambda > 0.0) || !(mu > 0.0)) return 0.0;
  const double rho = lambda / mu;
  // The law of BurstyClosedForm: the bursts' queue, or the paced packets' longer buffer.
  const double places = burst < 1.0 ? PacedBuffer(K, burst) : K / burst;
  const double P = places > 0.0 ? MM1KBlocking(rho, places) : 1.0;
  // (The queue sends rho (1 - P) of the time; what the link has the time to send beyond that, as a
  // share of the arrivals.)
  const double room = std::max(1.0 - rho * (1.0 - P), 0.0) / rho;
  if (closed.windowsFit) return P - std::min(P, room);
  if (closed.sawtoothWeight > 0.0 && P > closed.sawtoothLoss)
    return P - std::min((P - closed.sawtoothLoss) * closed.sawtoothWeight, room);
  return P;
}

RefinedStepResult RefinedDiscreteStep(double& rho, double lambda, double mu, double K, double h) {
  MM1KMetrics atRho = MM1KClosedForm(rho, K);
  return RefinedDiscreteStep(rho, atRho, lambda, mu, K, h);
}

}  // namespace varlo
