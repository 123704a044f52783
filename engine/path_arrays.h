// The state both steppers step, in flat arrays resolved once from the set-up: one cache line per
// queue, the path entries class by class, and for every queue the list of its entries in the
// order they were added to it. Loops over queues and over classes are cut into fixed parts that
// the run's threads share; every sum runs in the order of the queue's own list, so no number
// depends on the thread count.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/run_setup.h"

namespace varlo {

class CDumpWriter;

class CPathArrays {
 public:
  // A queue's values.
  struct alignas(64) QueueState {
    double N;          // average size, packets
    double P;          // loss probability
    double U;          // utilisation
    double mu;         // service rate, packets/s
    double lambda;     // arrival rate, packets/s
    double accepted;   // packets admitted in the last Compute Metrics step
    double served;     // packets sent in the last Compute Metrics step
    double occupancy;  // sum of the path entries' occupancies, packets
  };
  // A path entry; queue is -1 for the terminal entry.
  struct EntryState {
    double n;  // packets of the class in the queue
    double x;  // packets/s the class offers the queue
    std::int32_t queue;
  };

  explicit CPathArrays(RunSetup& setup) : setup_(setup) {}

  // Copies the queues and path entries into the arrays.
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate.
  void Propagate(double time);
  // Each queue's sum of its entries' occupancies, then every class's shares scaled to the queues' N.
  void SumAndNormalizeOccupancy();
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const;
  // The metrics of queue i after the last step.
  QueueMetrics Metrics(size_t i) const { return {queues[i].N, queues[i].P, queues[i].U}; }

  // body(begin, end) over the queues, or over the classes, in fixed parts shared by the threads.
  template <class Body>
  void ForQueues(Body&& body) const {
    setup_.pool->ForRanges(queues.size(), kQueuesPerPart, body);
  }
  template <class Body>
  void ForClasses(Body&& body) const {
    setup_.pool->ForRanges(setup_.classes.size(), kClassesPerPart, body);
  }
  // The index of the part that holds queue i.
  static size_t QueuePart(size_t i) { return i / kQueuesPerPart; }
  size_t QueueParts() const { return (queues.size() + kQueuesPerPart - 1) / kQueuesPerPart; }
  const std::vector<ClassInfo>& Classes() const { return setup_.classes; }

  std::vector<QueueState> queues;
  std::vector<double> bufferSizes;  // K, packets
  std::vector<EntryState> entries;

 private:
  // Queues per part (a Runge-Kutta pair is some 50 derivative evaluations per queue) and classes
  // per part (a walk of a few path entries).
  static constexpr size_t kQueuesPerPart = 256;
  static constexpr size_t kClassesPerPart = 1024;

  RunSetup& setup_;
  std::vector<double> delays_;  // propagation delay, s
  std::vector<RoundTripTerms> roundTripTerms_;
  std::vector<std::uint32_t> queueEntryStart_;
  std::vector<std::uint32_t> queueEntries_;
  // Classes whose rate comes from the class object (rate files, traces): asked one by one, in
  // class order, before the other classes are carried along their paths in parallel.
  std::vector<std::uint32_t> objectRateClasses_;
  std::vector<double> classRates_;
  // Refined model with TCP classes: the TCP classes' shared rates (RunSetup::ShareTcp) from each
  // queue's arrival rate, service rate and TCP part of the arrivals at the last propagation; the
  // TCP part is summed over the queue's TCP entries, in the order of its list.
  bool shareTcp_ = false;
  std::vector<double> lambda_, mu_, tcpArrival_;
  std::vector<std::uint32_t> queueTcpEntryStart_;
  std::vector<std::uint32_t> queueTcpEntries_;
};

}  // namespace varlo
