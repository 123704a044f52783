#include "engine/z_iteration_stepper.h"

#include <cmath>

#include "engine/object_steps.h"

namespace varlo {

namespace {

// Largest change of rho per step of the Z-iteration run at the current rates.
constexpr double kRhoChangePerStep = 0.05;
// Absolute tolerance per rho between one double step and two single steps.
constexpr double kAdaptiveTolerance = 0.00001;
// Below this half step (seconds) the adaptive integrator stops halving and takes the step, so
// that a queue whose rho cannot be followed does not hold the run forever.
constexpr double kSmallestHalfStep = 1e-12;
// A buffer of fewer than 100 packets that keeps receiving more than it serves has rho growing
// without bound in finite time (its N only approaches K), so the step 0.05/|d rho/dt| would shrink
// forever. At this rho the queue holds K - 1/rho packets or more: it counts as full, and a full
// queue does not fill further (its rho stays here while its derivative is positive). Kept low
// enough that rho^(K+1) stays finite for every K below 100.
constexpr double kFullSmallBufferRho = 100.0;
// The shortest step of the Z-iteration run, as a fraction of the running step: the last guard
// that every run reaches its total time.
constexpr double kSmallestStepFraction = 1e-6;

bool IsSmallBuffer(const C_MM1K_Queue& q) { return !IsLargeBuffer(q.bufferSize); }
double ClampRho(const C_MM1K_Queue& q, double rho) {
  return rho > kFullSmallBufferRho && IsSmallBuffer(q) ? kFullSmallBufferRho : rho;
}
// The derivative of the queue at its current rho, held at 0 while a full small buffer fills.
double FullQueueDerivative(const C_MM1K_Queue& q, double d) {
  return d > 0 && q.rho >= kFullSmallBufferRho && IsSmallBuffer(q) ? 0 : d;
}

}  // namespace

void CZIterationStepper::Build() {
  const size_t n = setup_.queues.size();
  for (auto* v : {&y_, &big_, &half_, &two_, &stage_, &slope_}) v->assign(n, 0.0);
}

void CZIterationStepper::Propagate(double time) {
  auto at = [this](std::uint32_t i) {
    const CQueue& q = *setup_.queues[i];
    return RoundTripTerms{q.N / q.serviceRate, q.propagationDelay, 1 - q.P};
  };
  for (ClassInfo& info : setup_.classes) {
    if (info.unreachable) continue;
    double r = setup_.Rate(info, time, at);
    info.lastRate = r;
    PathEntry* const* e = setup_.entryObjects.data() + info.firstEntry;
    PathEntry* const* const end = e + info.entryCount;
    for (; e != end; ++e) {
      PathEntry& entry = **e;
      const double previous = entry.x;
      entry.x = r;
      if (entry.queue != nullptr) {
        const CQueue& q = *entry.queue;
        r = DepartureRate(entry.n, q.N, q.U, q.serviceRate, previous);
      }
    }
  }
  for (C_MM1K_Queue* q : setup_.queues) q->ComputeArrivalRate(time);
}

void CZIterationStepper::StartRegimes() {
  for (C_MM1K_Queue* q : setup_.queues) UpdateRegime(*q, 0);
}

double CZIterationStepper::StepLength(double time, double runningStep) {
  double m = 0;
  for (C_MM1K_Queue* q : setup_.queues) {
    const double d = std::fabs(FullQueueDerivative(*q, Derivative(*q, time)));
    if (m < d) m = d;
  }
  double h = kRhoChangePerStep / m;
  if (h >= runningStep) h = runningStep;
  const double smallest = runningStep * kSmallestStepFraction;
  if (!(h >= smallest) || time + h == time) h = smallest;
  return h;
}

void CZIterationStepper::RungeKuttaStep(double time, const double* in, double h, double* out) {
  const std::vector<C_MM1K_Queue*>& queues = setup_.queues;
  const double w[5] = {h / 2, h / 2, h, h, h / 2};
  const size_t n = queues.size();
  for (size_t i = 0; i < n; ++i) {
    out[i] = in[i];
    stage_[i] = in[i];
  }
  double tau = time;
  for (int k = 0; k < 4; ++k) {
    for (size_t i = 0; i < n; ++i) {
      C_MM1K_Queue& q = *queues[i];
      // The metrics are a function of rho alone and describe the saved rho on entry (they are
      // updated whenever rho is set outside this step), so putting them back is the same as
      // recomputing them from the restored rho.
      const double savedRho = q.rho, savedN = q.N, savedP = q.P, savedU = q.U;
      q.rho = stage_[i];
      UpdateMetrics(q);
      slope_[i] = FullQueueDerivative(q, Derivative(q, tau));
      q.rho = savedRho;
      q.N = savedN;
      q.P = savedP;
      q.U = savedU;
    }
    tau = time + w[k];
    for (size_t i = 0; i < n; ++i) {
      double s = in[i] + w[k] * slope_[i];
      stage_[i] = ClampRho(*queues[i], s < 0 ? 0 : s);
      double o = out[i] + w[k + 1] * slope_[i] / 3;
      out[i] = ClampRho(*queues[i], o < 0 ? 0 : o);
    }
  }
}

void CZIterationStepper::AdaptiveStep(double t0, double tEnd) {
  const std::vector<C_MM1K_Queue*>& queues = setup_.queues;
  const size_t n = queues.size();
  for (size_t i = 0; i < n; ++i) y_[i] = queues[i]->rho;
  double H = tEnd - t0;
  int count = 0;
  bool final = false;
  for (;;) {
    const double overshoot = t0 + 2.01 * H - tEnd;
    if ((overshoot > 0 && H > 0) || (overshoot < 0 && H < 0)) {
      final = true;
      H = (tEnd - t0) / 2;
    }
    RungeKuttaStep(t0, y_.data(), 2 * H, big_.data());
    for (;;) {
      RungeKuttaStep(t0, y_.data(), H, half_.data());
      RungeKuttaStep(t0 + H, half_.data(), H, two_.data());
      bool rejected = false;
      for (size_t i = 0; i < n; ++i) {
        if (std::fabs(big_[i] - two_[i]) > kAdaptiveTolerance) {
          rejected = true;
          break;
        }
      }
      if (!rejected || H <= kSmallestHalfStep || t0 + H == t0) break;
      H = H / 2;
      final = false;
      big_.swap(half_);
      for (size_t i = 0; i < n; ++i) {
        const double v = big_[i];
        const double K = queues[i]->bufferSize;
        if ((0.99 < v && v < 1 && v / (1 - v) >= K / 2) || (1 < v && v < 1.01 && K + v / (1 - v) <= K / 2)) {
          y_[i] = 2 - v;
          big_[i] = 2 - v;
        }
      }
    }
    t0 = t0 + 2 * H;
    if (final) {
      for (size_t i = 0; i < n; ++i) queues[i]->rho = two_[i] < 0 ? 0 : two_[i];
      return;
    }
    y_.swap(two_);
    if (count == 5) {
      H = 2 * H;
      count = 0;
    }
    count = count + 1;
  }
}

void CZIterationStepper::FinishStep(double time, double h) {
  const std::vector<C_MM1K_Queue*>& queues = setup_.queues;
  for (size_t i = 0; i < queues.size(); i += 2) {
    C_MM1K_Queue& forward = *queues[i];
    C_MM1K_Queue& backward = *queues[i + 1];
    CheckReflection(forward);
    CheckReflection(backward);
    UpdateMetrics(forward);
    UpdateMetrics(backward);
    UpdateRegime(forward, time);
    UpdateRegime(backward, time);
  }
  for (const ClassInfo& info : setup_.classes) {
    if (!info.unreachable) AdvanceOccupancy(*info.object, h);
  }
  for (C_MM1K_Queue* q : queues) q->SumOccupancy();
  for (const ClassInfo& info : setup_.classes) {
    if (!info.unreachable) NormalizeOccupancy(*info.object);
  }
}

}  // namespace varlo
