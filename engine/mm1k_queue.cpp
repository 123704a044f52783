#include "engine/mm1k_queue.h"

#include <algorithm>
#include <cmath>

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

// Buffers of this many packets or more follow the two-branch fluid approximation.
constexpr double kLargeBuffer = 100.0;

}  // namespace

C_MM1K_Queue::C_MM1K_Queue(CNode* from, CNode* to, double serviceRate, double bufferSize,
                           double propagationDelay)
    : CQueue(from, to, serviceRate, propagationDelay), bufferSize(bufferSize) {}

void C_MM1K_Queue::Serialize(CArchive& ar) {
  CQueue::Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteDouble(bufferSize);
  } else {
    // Packets; a queue needs room for at least the packet in service.
    bufferSize = ar.ReadQuantity(kLeastBufferSize);
  }
}

void C_MM1K_Queue::UpdateMetrics() {
  const double K = bufferSize;
  if (K < kLargeBuffer) {
    if (rho == 1.0) {
      // The closed forms are 0/0 here; their limits are those of a uniform occupancy over 0..K.
      P = 1.0 / (K + 1.0);
      N = K / 2.0;
      U = 1.0;
      return;
    }
    const double rhoK1 = std::pow(rho, K + 1.0);
    P = std::pow(rho, K) * (1.0 - rho) / (1.0 - rhoK1);
    N = rho / (1.0 - rho) - (K + 1.0) * rhoK1 / (1.0 - rhoK1);
    U = std::min(2.0 * rho, 1.0);
    return;
  }
  if (rho <= 1.0) {
    P = 0.0;
    // At rho = 1 the lower branch is infinite; the branches meet at K/2 - 1, so use that.
    N = rho == 1.0 ? K / 2.0 - 1.0 : rho / (1.0 - rho);
    U = std::min(2.0 * rho, 1.0);
  } else {
    P = (rho - 1.0) / rho;
    N = K + rho / (1.0 - rho);
    U = 1.0;
  }
}

double C_MM1K_Queue::Derivative(double t) {
  const double K = bufferSize;
  const double mu = serviceRate;
  if (K < kLargeBuffer) {
    const double lambda = ComputeArrivalRate(t);
    if (rho == 1.0) {
      // dN/drho of the exact M/M/1/K is the occupancy variance over rho; at rho = 1 the occupancy
      // is uniform over 0..K, whose variance is K(K+2)/12.
      derivative = (lambda - mu * U) / (K * (K + 2.0) / 12.0);
      return derivative;
    }
    const double a = 1.0 - rho;
    const double b = 1.0 - std::pow(rho, K + 1.0);
    derivative = (lambda - mu * U) * (a * a) * (b * b) /
                 ((b * b) - (K + 1.0) * (K + 1.0) * std::pow(rho, K) * (a * a));
    return derivative;
  }
  const double lambda = arrivalRate;
  const double a = 1.0 - rho;
  double d = rho < 1.0 ? (lambda - mu * U) * (a * a) : (lambda - mu * rho) * (a * a) / rho;
  if (d < 0.0 && regime == 1) d = 0.0;
  if (d > 0.0 && regime == 2) d = 0.0;
  derivative = d;
  return derivative;
}

void C_MM1K_Queue::UpdateRegime(double /*t*/) {
  if (!(bufferSize > kLargeBuffer)) return;
  const double lambda = arrivalRate;
  const double mu = serviceRate;
  const double a = 1.0 - rho;
  const double d = rho < 1.0 ? (lambda - mu * U) * (a * a) : (lambda - mu * rho) * (a * a) / rho;
  const double previous = previousArrivalRate;
  previousArrivalRate = lambda;
  if (regime == 0) {
    regime = lambda - mu * rho > 0.0 ? 1 : 2;
  } else if (regime == 1 && d < 0.0 && lambda < previous) {
    regime = 2;
  } else if (regime == 2 && d > 0.0 && lambda > previous) {
    regime = 1;
  }
}

void C_MM1K_Queue::CheckReflection() {
  const double K = bufferSize;
  const double middle = K / 2.0 - 1.0;
  if (rho < 1.0 && rho / (1.0 - rho) > middle && regime == 1) {
    rho = 2.0 - rho;
  } else if (rho > 1.0 && K + rho / (1.0 - rho) < middle && regime == 2) {
    rho = 2.0 - rho;
  }
}

void C_MM1K_Queue::DiscreteStep(double /*t*/, double h) {
  const double K = bufferSize;
  const double lambda = arrivalRate;
  const double mu = serviceRate;
  const double arriving = lambda * h;  // packets
  const double capacity = mu * h;      // packets
  double next;
  if (N + arriving > capacity) {
    next = std::min(N + (lambda - mu) * h, K);
    served = capacity;
  } else {
    next = 0.0;
    served = N + arriving;
  }
  accepted = std::min(arriving, K - N + capacity);
  if (next < std::ceil(K / 2.0)) {
    P = 0.0;
  } else if (next >= K - 1.0) {
    P = 1.0;
  } else {
    const double r = (next - K) / (next - K + 1.0);
    P = (r - 1.0) / r;
  }
  U = served / capacity;
  N = next;
}

std::string C_MM1K_Queue::GetNSScript() const {
  const std::string from = fromNode->GetScriptName();
  const std::string to = toNode->GetScriptName();
  return Format(
      "$ns simplex-link $node_%s $node_%s  %lfbps  %lfs  DropTail\n$ns queue-limit $node_%s $node_%s "
      "%lfkb\n",
      from.c_str(), to.c_str(), serviceRate * 8000.0, propagationDelay, from.c_str(), to.c_str(), bufferSize);
}

std::string C_MM1K_Queue::GetQNSScript(int linkService) const {
  return Format("l %d %d %d %lf 0.0 %lf\n", static_cast<int>(fromNode->GetNumber()),
                static_cast<int>(toNode->GetNumber()), linkService, serviceRate, bufferSize);
}

}  // namespace varlo
