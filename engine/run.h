// The two evaluation runs of a network over simulated time ("M/M/1/K Z-iteration" and "Compute
// Metrics"): set-up, the step loops, the sampling of the dump file and the end of a run. A run is a
// core operation: the desktop command handlers and varlo-cli call Run() and show its progress and
// outcome their own way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/evaluation_model.h"

namespace varlo {

class CVarloDoc;
class CTrafficClass;

enum class RunMethod {
  kZIteration,      // "M/M/1/K Z-iteration": adaptive Runge-Kutta on every queue's rho
  kComputeMetrics,  // "Compute Metrics": fixed steps of the fluid backlog model
};

enum class RunStatus {
  kCompleted,
  kCancelled,          // the cancel flag was raised; the rows written so far stay
  kProfileOutOfTable,  // the NetBSD profile was asked outside its table; earlier rows stay
  kDumpNotCreated,     // nothing was run
  kDumpWriteFailed,    // the run went on to its end but the dump file is incomplete
  kRateFileNotOpened,  // a rate-file or trace class cannot read its rate file; only the header is written
  kImpossibleValue,    // a queue or class left the possible range (NaN, N outside 0..K, ...); earlier rows stay
};

struct RunOptions {
  // Line 1 of the dump; when unset, the document's path name.
  std::optional<std::string> documentPath;
  // After each dump row: "Current Time : %lf" of the next dump time, and that time.
  std::function<void(const std::string& text, double nextDumpTime)> progress;
  // Messages to the user before the run starts (the unreachable classes).
  std::function<void(const std::string& message)> notice;
  // Checked between steps; a raised flag ends the run as cancelled.
  const std::atomic<bool>* cancel = nullptr;
  // The model of the run; when unset, the program-wide setting.
  std::optional<EvaluationModel> model;
};

struct RunResult {
  RunStatus status = RunStatus::kCompleted;
  std::string message;  // for every status but kCompleted
  // Classes whose destination (or, for TCP, whose source on the way back) cannot be reached, and
  // the one message naming them; they were left out of the load.
  std::vector<const CTrafficClass*> unreachableClasses;
  std::string unreachableMessage;
  std::int64_t steps = 0;
  std::int64_t rowsWritten = 0;
  double endTime = 0.0;       // simulated seconds reached
  double routeSeconds = 0.0;  // wall time of the route computation (0 when routes were valid)
  double runSeconds = 0.0;    // wall time of the rest
};

// "Current Time : %lf".
std::string ProgressText(double nextDumpTime);

// Runs the evaluation on the document's parameters (totalTime, runningStep, dumpInterval,
// dumpFilePath) and the program-wide TCP profile. Computes routes first when they are not valid
// and sets the routes-valid flag when the run completes. The run reports only through the
// options' callbacks and its result: it notifies no view, so that it may run on any thread; the
// caller tells the views (hint 0) on their own thread once the run has returned.
RunResult Run(CVarloDoc& doc, RunMethod method, const RunOptions& options = {});

// The engine behind Run(), for callers that step its parts (tests, benchmarks). One engine serves
// one run; set-up resolves every per-run array so that a step allocates nothing.
class CZIterationEngine {
 public:
  CZIterationEngine(CVarloDoc& doc, RunOptions options);
  ~CZIterationEngine();
  CZIterationEngine(const CZIterationEngine&) = delete;
  CZIterationEngine& operator=(const CZIterationEngine&) = delete;

  RunResult RunZIteration();
  RunResult RunComputeMetrics();

  // Parts of a run, public for benchmarks: set-up without a dump file, and single steps.
  // PrepareForSteps returns false (with the result filled) when a rate file cannot be opened.
  bool PrepareForSteps(RunMethod method, RunResult& result);
  void StepZIteration();
  void StepComputeMetrics();
  // Copies the run's state back into the queues and path entries (what the canvas shows).
  void StoreState();
  double GetTime() const;

  // Advances rho of every queue from t0 to tEnd with the queues' arrival rates held.
  void AdaptiveStep(double t0, double tEnd);
  // One classical fourth-order Runge-Kutta step of length h from y at time t into out (both of
  // two entries per link, forward then backward, in link order).
  void RungeKuttaStep(double t, const double* y, double h, double* out);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace varlo
