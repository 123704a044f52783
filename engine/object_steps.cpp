#include "engine/object_steps.h"

#include <vector>

#include "engine/fluid_formulas.h"
#include "engine/tcp_profile.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"

namespace varlo {

void UpdateMetrics(C_MM1K_Queue& q) {
  const QueueMetrics m = ClosedFormMetrics(q.rho, q.bufferSize);
  q.N = m.N;
  q.P = m.P;
  q.U = m.U;
}

double Derivative(C_MM1K_Queue& q, double t) {
  const double K = q.bufferSize;
  if (!IsLargeBuffer(K)) {
    q.derivative = SmallBufferDerivative(q.rho, q.U, K, q.serviceRate, q.ComputeArrivalRate(t));
  } else {
    q.derivative = ClipToRegime(LargeBufferSlope(q.rho, q.U, q.serviceRate, q.arrivalRate), q.regime);
  }
  return q.derivative;
}

void UpdateRegime(C_MM1K_Queue& q, double /*t*/) {
  if (!HasRegimes(q.bufferSize)) return;
  const double lambda = q.arrivalRate;
  const double slope = LargeBufferSlope(q.rho, q.U, q.serviceRate, lambda);
  const double previous = q.previousArrivalRate;
  q.previousArrivalRate = lambda;
  q.regime = NextRegime(q.regime, slope, q.rho, q.serviceRate, lambda, previous);
}

void CheckReflection(C_MM1K_Queue& q) {
  q.rho = ReflectedRho(q.rho, q.bufferSize, q.regime);
}

void DiscreteStep(C_MM1K_Queue& q, double /*t*/, double h) {
  const FluidStepResult r = FluidStep(q.N, q.arrivalRate, q.serviceRate, q.bufferSize, h);
  q.N = r.N;
  q.P = r.P;
  q.U = r.U;
  q.accepted = r.accepted;
  q.served = r.served;
}

namespace {

double TcpOfferedRate(CTCPClass& c, double t) {
  if (t == 0.0) c.lastEvaluationTime = 0.0;  // every run evaluates its classes first at time 0
  if (!c.IsActive(t)) return 0.0;
  if (t < c.lastEvaluationTime) return c.lastThroughput;

  // One buffer per thread, so that the steps of a run allocate nothing once it has grown.
  thread_local std::vector<CQueue*> walk;
  walk.clear();
  const bool reachable = c.GetPathQueues(walk) && c.GetReversePathQueues(walk);
  double v = 0.0;  // packets per millisecond
  if (reachable) {
    RoundTrip trip{c.sinkDelay};
    for (const CQueue* q : walk) trip.AddHop(q->N / q->serviceRate, q->propagationDelay, 1.0 - q->P);
    v = CTcpProfiles::Instance().Lookup(GetTcpProfile(), trip.seconds, trip.Loss());
  }
  c.lastEvaluationTime = t;
  c.lastThroughput = TcpRateFromProfile(v);
  return c.lastThroughput;
}

}  // namespace

double OfferedRate(CTrafficClass& c, double t) {
  if (auto* tcp = dynamic_cast<CTCPClass*>(&c)) return TcpOfferedRate(*tcp, t);
  return c.GetRate(t);
}

void PropagateRates(CTrafficClass& c, double t) {
  double r = OfferedRate(c, t);
  for (const auto& entry : c.GetPath()) {
    const double previous = entry->x;
    entry->x = r;
    if (const CQueue* q = entry->queue) r = DepartureRate(entry->n, q->N, q->U, q->serviceRate, previous);
  }
}

void AdvanceOccupancy(CTrafficClass& c, double h) {
  const auto& path = c.GetPath();
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    PathEntry& entry = *path[i];
    if (entry.queue == nullptr) continue;  // its queue was deleted; the next BuildPath drops it
    entry.n = FluidShare(entry.n, h, entry.queue->P, entry.x, path[i + 1]->x);
  }
}

void AdvanceOccupancyDiscrete(CTrafficClass& c, double /*h*/) {
  const auto& path = c.GetPath();
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    PathEntry& entry = *path[i];
    if (entry.queue == nullptr) continue;
    const CQueue& q = *entry.queue;
    entry.n =
        DiscreteShare(entry.n, entry.x, q.accepted, q.arrivalRate, path[i + 1]->x, q.served, q.serviceRate);
  }
}

void NormalizeOccupancy(CTrafficClass& c) {
  for (const auto& entry : c.GetPath()) {
    if (entry->queue == nullptr) continue;
    entry->n = NormalizedShare(entry->n, entry->queue->N, entry->queue->occupancySum);
  }
}

}  // namespace varlo
