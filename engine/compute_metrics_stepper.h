// The "Compute Metrics" run's steps: fixed steps of the fluid backlog model (or of the refined
// model's queues, refined_model.h) over the run's path arrays (path_arrays.h), resolved once from
// the set-up so that a step allocates nothing and looks nothing up.
#pragma once

#include <vector>

#include "engine/path_arrays.h"

namespace varlo {

class CDumpWriter;

class CComputeMetricsStepper {
 public:
  explicit CComputeMetricsStepper(RunSetup& setup) : setup_(setup), arrays_(setup) {}

  // Copies the queues and path entries into the arrays.
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate (which
  // the refined model's next step sums itself).
  void Propagate(double time) { arrays_.Propagate(time); }
  // One step of h seconds of every queue and of the classes' shares in them.
  void Step(double h);
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const;
  // N, U and P of every queue into a dump row. The classic model shows an empty queue's offered
  // load lambda/mu (at most its buffer) in place of N; the refined model, as Store does, the
  // acknowledgements waiting among a queue's packets with them (SizeWithAcknowledgements).
  void AddQueues(CDumpWriter& writer) const;
  // The queues and classes after the last step.
  const CPathArrays& Arrays() const { return arrays_; }

 private:
  RunSetup& setup_;
  CPathArrays arrays_;
  std::vector<double> lossThresholds_;  // classic model: each queue's LossThreshold
  std::vector<double> refinedRho_;  // refined model: each queue's equivalent load
  std::vector<MM1KMetrics> refinedMetrics_;  // and the closed forms at that load
  std::vector<double> refinedBursts_;         // and the bursts they were found with
  std::vector<double> refinedBuffers_;        // and the places of the buffer left to data packets
  double DataBufferOf(size_t i) const {
    return setup_.dataBuffers.empty() ? arrays_.bufferSizes[i] : setup_.dataBuffers[i];
  }
  // The refined model's N of queue i with its acknowledgements (SizeWithAcknowledgements).
  double ShownSize(size_t i) const {
    return SizeWithAcknowledgements(arrays_.queues[i].N, arrays_.bufferSizes[i], refinedBuffers_[i]);
  }
};

}  // namespace varlo
