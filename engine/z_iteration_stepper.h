// The "M/M/1/K Z-iteration" run's steps: every queue's rho advanced by adaptive fourth-order
// Runge-Kutta (the refined model: by its stable step, refined_model.h) under a step that changes
// no rho by more than 0.05, then the classes' shares moved on. It works on the run's path arrays
// (path_arrays.h) plus each queue's rho and regime.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/path_arrays.h"

namespace varlo {

class CDumpWriter;

class CZIterationStepper {
 public:
  explicit CZIterationStepper(RunSetup& setup) : setup_(setup), arrays_(setup) {}

  // Copies the queues, their rho and regimes and the path entries into the arrays.
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate.
  void Propagate(double time) { arrays_.Propagate(time); }
  // The first regimes of the large buffers.
  void StartRegimes();
  // The step length at time: 0.05 over the largest |d rho/dt|, at most the running step and at
  // least its smallest fraction.
  double StepLength(double time, double runningStep);
  // Advances rho of every queue from t0 to tEnd with the queues' arrival rates held.
  void AdaptiveStep(double t0, double tEnd);
  // Reflection, metrics and regimes of every link's two queues, then the classes' shares after h.
  void FinishStep(double time, double h);
  // One classical fourth-order Runge-Kutta step of length h from y at time t into out (both of
  // two entries per link, forward then backward, in link order).
  void RungeKuttaStep(double time, const double* y, double h, double* out);
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const;
  // N, U and P of every queue into a dump row; the refined model, as Store does, shows the
  // acknowledgements waiting among a queue's packets with them (SizeWithAcknowledgements).
  void AddQueues(CDumpWriter& writer) const;
  // The queues and classes after the last step.
  const CPathArrays& Arrays() const { return arrays_; }

 private:
  // RungeKuttaStep for queue i alone: a queue's derivative depends on its own rho only, so the
  // stages of all queues may run queue by queue.
  double RungeKuttaEntry(size_t i, double in, double h) const;
  // Calls body(rk) with rk.slope(rho) the derivative of queue i and rk.step(in, h, rk.slope(in))
  // its Runge-Kutta step, its constants loaded once.
  // The derivative is held at 0 while a full small buffer fills (the refined model's own
  // derivative when refined); the arrival rate stays what it was at the start of the step, as
  // the paths' rates do not move inside it.
  template <class Body>
  void WithRungeKutta(size_t i, Body&& body) const;
  // big := one step of 2H (when fresh; otherwise it holds the last half step), half and two := two
  // steps of H; true when some queue's two results differ by more than the tolerance. When
  // rejectionHalves (a rejected pair is tried again at H/2, which starts from the half steps alone),
  // the second single steps stop as soon as some queue has rejected the pair: two then holds
  // nothing that is read.
  bool TryPair(double H, bool fresh, bool rejectionHalves);
  // Cuts the queues, in their order, into parts of about the same work for this step's pairs
  // (pairCuts_): a small buffer that moves costs some 20 pow() calls a pair, a large one that moves
  // a few dozen operations in a vector lane, a queue at rest three copies. One part when the pairs
  // are too little work to share out.
  void CutPairs();
  // Refined model: every queue moved over h seconds by the stable step of refined_model.h, at the
  // arrival rates of the step's start.
  void RefinedAdvance(double h);

  RunSetup& setup_;
  CPathArrays arrays_;
  std::vector<double> rho_;
  std::vector<std::int32_t> regime_;
  std::vector<double> previousLambda_;  // the arrival rate the regime last saw
  std::vector<SmallBufferShortcut> shortcuts_;  // SmallBufferShortcutFor each queue's K
  std::vector<MM1KMetrics> refinedMetrics_;  // refined model: the closed forms at each queue's rho
  std::vector<MM1KMetrics> refinedShown_;    // and what the queues show (a sawtooth's loss, say)
  std::vector<double> refinedBursts_;         // and the bursts they were found with
  std::vector<double> refinedBuffers_;        // and the places of the buffer left to data packets
  double DataBufferOf(size_t i) const {
    return setup_.dataBuffers.empty() ? arrays_.bufferSizes[i] : setup_.dataBuffers[i];
  }
  // N of queue i as shown: the refined model's with its acknowledgements (SizeWithAcknowledgements).
  double ShownSize(size_t i) const {
    const double N = arrays_.queues[i].N;
    return i < refinedBuffers_.size() ? SizeWithAcknowledgements(N, arrays_.bufferSizes[i], refinedBuffers_[i]) : N;
  }
  std::vector<double> y_, big_, half_, two_;
  // Each queue's derivative at y_, where firstKnown_ says it is known: StepLength finds it at the
  // step's start, and a rejected pair leaves y_ as it was (but for the queues it reflects).
  std::vector<double> first_;
  std::vector<std::uint8_t> firstKnown_;
  bool stepLengthSlopes_ = false;  // StepLength has run since the last AdaptiveStep
  std::vector<double> partMaximum_;
  std::vector<size_t> pairCuts_;  // part p of the pairs is queues [pairCuts_[p], pairCuts_[p + 1])
};

}  // namespace varlo
