#include "engine/refined_model.h"

#include <algorithm>

#include <cmath>

namespace varlo {

namespace {

// The state of a queue that cannot keep up at all (no service, or a full buffer that the solver
// puts at an infinite load); far beyond where any metric still changes (its N is K - 1e-9).
constexpr double kHeaviestLoad = 1e9;

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

RefinedStepResult RefinedDiscreteStep(double& rho, MM1KMetrics& atRho, double lambda, double mu, double K,
                                      double h) {
  RefinedStepResult r{};
  if (!(mu > 0.0)) {
    // Nothing is sent: the buffer fills with whatever arrives and drops the rest.
    if (lambda > 0.0 && rho != kHeaviestLoad) {
      rho = kHeaviestLoad;
      atRho = MM1KClosedForm(rho, K);
    }
    r.metrics = atRho;
    r.metrics.U = 0.0;
    r.accepted = 0.0;
    r.served = 0.0;
    return r;
  }
  const double target = lambda / mu;
  const MM1KMetrics now = atRho;
  double next = target;
  MM1KMetrics after;
  if (rho == target) {
    after = now;
  } else {
    const double rate = now.slope > 0.0 ? mu * now.acceptedShare / now.slope : 0.0;
    next = target + (rho - target) * std::exp(-rate * h);
    if (!(next <= kHeaviestLoad)) next = kHeaviestLoad;
    after = MM1KClosedForm(next, K);
    const double inflow = now.acceptedShare * (lambda - mu * rho);  // packets/s
    const double most = std::fabs(inflow) * h;
    if (std::fabs(after.N - now.N) > most) {
      double size = now.N + inflow * h;
      if (size < 0.0) size = 0.0;
      next = size < K ? MM1KLoadForSize(size, K, next) : kHeaviestLoad;
      if (!(next <= kHeaviestLoad)) next = kHeaviestLoad;
      after = MM1KClosedForm(next, K);
    }
  }
  rho = next;
  atRho = after;
  r.metrics = after;
  r.accepted = lambda * after.acceptedShare * h;
  r.served = mu * after.U * h;
  return r;
}

RefinedStepResult RefinedDiscreteStep(double& rho, double lambda, double mu, double K, double h) {
  MM1KMetrics atRho = MM1KClosedForm(rho, K);
  return RefinedDiscreteStep(rho, atRho, lambda, mu, K, h);
}

ShareRelaxation RefinedShareRelaxation(double N, double U, double P, double mu, double h) {
  const double s = N > 0.0 && U > 0.0 && mu > 0.0 ? mu * U / N : 0.0;
  if (!(s * h > 0.0) || !std::isfinite(s)) return {1.0, (1.0 - P) * h};
  return {std::exp(-s * h), (1.0 - P) * -std::expm1(-s * h) / s};
}

double RefinedSojourn(double N, double U, double mu) {
  const double service = 1.0 / mu;
  if (!(U > 0.0)) return service;
  const double sojourn = N / (mu * U);
  return sojourn > service ? sojourn : service;
}

double RefinedTcpShare(double tcpDemand, double otherLoad, double mu) {
  const double room = mu - otherLoad;
  return room > 0.0 ? room / tcpDemand : 0.0;
}

double TcpWindowRate(double roundTrip) {
  return roundTrip > 0.0 ? kTcpMaximumWindowPackets / roundTrip : HUGE_VAL;
}

double TcpSawtoothUtilisation(double buffer, double bandwidthDelay) {
  // No limit where the product is unknown (a queue on the path that sends nothing makes it infinite).
  if (!(bandwidthDelay > buffer) || !(buffer >= 0.0) || !std::isfinite(bandwidthDelay)) return 1.0;
  const double top = bandwidthDelay + buffer;  // the windows when the buffer overflows
  const double bottom = top / 2.0;
  // Packets sent over one tooth: the integral of the rate over the time, in units of the room.
  const double sent = (top * top - bottom * bottom) / 2.0;
  // The tooth's length times the room: bandwidthDelay - bottom round trips of the empty path, then
  // the time the buffer takes to fill while the windows grow one packet per (longer) round trip.
  const double length = bandwidthDelay * (bandwidthDelay - bottom) + (top * top - bandwidthDelay * bandwidthDelay) / 2.0;
  return sent / length;
}

RefinedTcpRates RefinedTcpRatesOf(double profileRate, double share, double raiseShare, double pathSuccess,
                                  double windowRate) {
  if (share >= 1.0) {
    const double factor = std::max(std::min(share, raiseShare), 1.0);
    const double raised = std::min(profileRate * factor, std::max(profileRate, windowRate));
    return {raised, raised * std::min(pathSuccess, 1.0)};
  }
  return {profileRate, profileRate * std::min(pathSuccess, share)};
}

}  // namespace varlo
