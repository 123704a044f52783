// The "Compute Metrics" run's steps: fixed steps of the fluid backlog model over the run's path
// arrays (path_arrays.h), resolved once from the set-up so that a step allocates nothing and looks
// nothing up.
#pragma once

#include "engine/path_arrays.h"

namespace varlo {

class CDumpWriter;

class CComputeMetricsStepper {
 public:
  explicit CComputeMetricsStepper(RunSetup& setup) : arrays_(setup) {}

  // Copies the queues and path entries into the arrays.
  void Build() { arrays_.Build(); }
  // The classes' rates at time carried along their paths, then each queue's arrival rate.
  void Propagate(double time) { arrays_.Propagate(time); }
  // One step of h seconds of every queue and of the classes' shares in them.
  void Step(double h);
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const { arrays_.Store(); }
  // N (or, for an empty queue, the offered load lambda/mu), U and P of every queue into a dump row.
  void AddQueues(CDumpWriter& writer) const;

 private:
  CPathArrays arrays_;
};

}  // namespace varlo
