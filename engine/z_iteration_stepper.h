// The "M/M/1/K Z-iteration" run's steps: every queue's rho advanced by adaptive fourth-order
// Runge-Kutta under a step that changes no rho by more than 0.05, then the classes' shares moved
// on. It works on the model's queues and classes through object_steps.h.
#pragma once

#include <vector>

#include "engine/run_setup.h"

namespace varlo {

class CZIterationStepper {
 public:
  explicit CZIterationStepper(RunSetup& setup) : setup_(setup) {}

  // Sizes the integration buffers (two entries per link).
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate.
  void Propagate(double time);
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

 private:
  RunSetup& setup_;
  std::vector<double> y_, big_, half_, two_, stage_, slope_;
};

}  // namespace varlo
