// The "Compute Metrics" run's steps: fixed steps of the fluid backlog model over contiguous
// arrays (one cache line per queue, path entries class by class), resolved once from the set-up
// so that a step allocates nothing and looks nothing up.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/run_setup.h"

namespace varlo {

class CDumpWriter;

class CComputeMetricsStepper {
 public:
  explicit CComputeMetricsStepper(RunSetup& setup) : setup_(setup) {}

  // Copies the queues and path entries into the arrays.
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate.
  void Propagate(double time);
  // One step of h seconds of every queue and of the classes' shares in them.
  void Step(double h);
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const;
  // N (or, for an empty queue, the offered load lambda/mu), U and P of every queue into a dump row.
  void AddQueues(CDumpWriter& writer) const;

 private:
  // A queue's values, kept contiguous and one cache line each for the per-step loops, which reach
  // the queues in the order of the classes' paths.
  struct alignas(64) QueueState {
    double N;          // average size, packets
    double P;          // loss probability
    double U;          // utilisation
    double mu;         // service rate, packets/s
    double lambda;     // arrival rate, packets/s
    double accepted;   // packets admitted in the step
    double served;     // packets sent in the step
    double occupancy;  // sum of the path entries' occupancies, packets
  };
  // A path entry; queue is -1 for the terminal entry.
  struct EntryState {
    double n;
    double x;
    std::int32_t queue;
  };

  RunSetup& setup_;
  std::vector<QueueState> queueState_;
  std::vector<double> bufferSizes_;  // K, packets
  std::vector<double> delays_;       // propagation delay, s
  std::vector<EntryState> entries_;
  std::vector<double> arrivalSums_;  // the arrival rates being summed by a propagation
  std::vector<RoundTripTerms> roundTripTerms_;
  // When some queue's entries are not in class order, its sums are gathered through these lists.
  bool scatterSums_ = true;
  std::vector<std::uint32_t> queueEntryStart_;
  std::vector<std::uint32_t> queueEntries_;
};

}  // namespace varlo
