#include "engine/run.h"

#include <chrono>
#include <cmath>

#include "engine/compute_metrics_stepper.h"
#include "engine/dump_file.h"
#include "engine/object_steps.h"
#include "engine/run_setup.h"
#include "engine/tcp_profile.h"
#include "engine/z_iteration_stepper.h"
#include "model/document.h"
#include "platform/core/thread_pool.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

std::string ProgressText(double nextDumpTime) {
  return Format("Current Time : %lf", nextDumpTime);
}

struct CZIterationEngine::Impl {
  CVarloDoc& doc;
  RunOptions options;
  RunMethod method = RunMethod::kComputeMetrics;

  RunSetup setup;
  CComputeMetricsStepper computeMetrics{setup};
  CZIterationStepper zIteration{setup};

  double t = 0.0;
  double nextDump = 0.0;
  CDumpWriter* writer = nullptr;
  std::int64_t rowsWritten = 0;
  bool prepared = false;  // the queues and paths have been reset for this run

  Impl(CVarloDoc& d, RunOptions o) : doc(d), options(std::move(o)) {
    setup.refined = options.model.value_or(GetEvaluationModel()) == EvaluationModel::kRefined;
  }

  void StepComputeMetrics() {
    const double h = doc.runningStep;
    if (t >= nextDump) WriteRow(true);
    computeMetrics.Step(h);
    t = t + h;
    computeMetrics.Propagate(t);
  }

  void StepZIteration() {
    const double h = zIteration.StepLength(t, doc.runningStep);
    zIteration.AdaptiveStep(t, t + h);
    if (t >= nextDump) WriteRow(false);
    zIteration.FinishStep(t, h);
    t = t + h;
    zIteration.Propagate(t);
  }

  // --- dump rows -----------------------------------------------------------------------------

  // A class's rate in a dump row: what it offered, or for a TCP class of the refined model what it
  // gets through its path (RunSetup::ShareShownRates).
  double ShownRate(const ClassInfo& info) const {
    return setup.refined && setup.hasTcp && info.kind == RateKind::kTcp ? setup.ShownTcpRate(info) : info.lastRate;
  }

  void WriteRow(bool offeredLoadForEmpty) {
    if (writer != nullptr) {
      writer->BeginRow(t);
      if (offeredLoadForEmpty) {
        computeMetrics.AddQueues(*writer);
      } else {
        zIteration.AddQueues(*writer);
      }
      setup.ShareShownRates();
      for (const ClassInfo& info : setup.classes) {
        const double rate = info.unreachable ? OfferedRate(*info.object, t) : ShownRate(info);
        // A rate of -0 (a class or rate file that gives "-0") is no rate below 0: it reads 0.000000,
        // not -0.000000.
        writer->AddClass(rate == 0.0 ? 0.0 : rate);
      }
      writer->EndRow();
      ++rowsWritten;
    }
    nextDump = nextDump + doc.dumpInterval;
    if (options.progress) options.progress(ProgressText(nextDump), nextDump);
  }

  // The last line of defence of the laws every model keeps: no NaN or infinity, 0 <= N <= K, U and
  // P in [0, 1], no negative rate. The formulas are meant never to break them; should one do so
  // anyway, the run stops before the value reaches a dump row, the canvas or a TCP lookup.
  bool KeepsLaws(RunResult& result) {
    const CPathArrays& arrays = method == RunMethod::kComputeMetrics ? computeMetrics.Arrays() : zIteration.Arrays();
    const size_t queue = arrays.FirstImpossibleQueue();
    if (queue != CPathArrays::npos) {
      const C_MM1K_Queue& q = *setup.queues[queue];
      const QueueMetrics m = arrays.Metrics(queue);
      const char* what = "loss probability";
      double value = m.P;
      if (!((m.N >= 0 && m.N <= q.bufferSize) || m.N == 0)) {
        what = "average size";
        value = m.N;
      } else if (!(m.U >= 0 && m.U <= 1)) {
        what = "utilisation";
        value = m.U;
      }
      result.status = RunStatus::kImpossibleValue;
      result.message = Format("The evaluation stopped at time %lf: the queue %s -> %s has an impossible %s (%s).", t,
                              q.fromNode->GetName().c_str(), q.toNode->GetName().c_str(), what,
                              FormatFixed6(value).c_str());
      return false;
    }
    const size_t c = arrays.FirstImpossibleClass();
    if (c != CPathArrays::npos) {
      const ClassInfo& info = setup.classes[c];
      result.status = RunStatus::kImpossibleValue;
      result.message = Format("The evaluation stopped at time %lf: the traffic class %s has an impossible rate (%s).",
                              t, EndNames(*info.object).c_str(), FormatFixed6(info.lastRate).c_str());
      return false;
    }
    return true;
  }

  bool Prepare(RunMethod m, RunResult& result) {
    method = m;
    if (!RunSetup::OpenRateFiles(doc, result, options.cancel)) return false;
    setup.pool = SharedThreadPool();
    setup.Reset(doc, result, options.notice);
    t = 0;
    nextDump = 0;
    prepared = true;
    if (method == RunMethod::kComputeMetrics) {
      computeMetrics.Build();
      computeMetrics.Propagate(0);
    } else {
      zIteration.Build();
      zIteration.Propagate(0);
      zIteration.StartRegimes();
    }
    return true;
  }

  void Store() {
    if (method == RunMethod::kComputeMetrics) {
      computeMetrics.Store();
    } else {
      zIteration.Store();
    }
  }

  bool Cancelled() const {
    return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
  }

  RunResult Execute(RunMethod m) {
    RunResult result;
    const Clock::time_point routeStart = Clock::now();
    // On a worker thread in the desktop program: the caller notifies the views once the run returns.
    if (!doc.routesValid) {
      doc.ComputeRoutes(false);
      result.routeSeconds = SecondsSince(routeStart);
    }
    const Clock::time_point runStart = Clock::now();

    CDumpWriter dump;
    std::string reason;
    if (!dump.Create(doc.dumpFilePath, reason)) {
      result.status = RunStatus::kDumpNotCreated;
      result.message =
          Format("The dump file \"%s\" cannot be created: %s", doc.dumpFilePath.c_str(), reason.c_str());
      result.runSeconds = SecondsSince(runStart);
      return result;
    }
    // Classic dumps keep the header as first described; a refined dump says so after the counts,
    // where a reader of three integers does not look.
    dump.WriteHeader(options.documentPath ? *options.documentPath : doc.GetPathName(),
                     static_cast<int>(doc.GetLinks().size()), static_cast<int>(doc.GetClasses().size()),
                     NominalRowCount(doc.totalTime, doc.dumpInterval),
                     setup.refined ? EvaluationModelName(EvaluationModel::kRefined) : "");
    writer = &dump;
    rowsWritten = 0;

    try {
      if (Prepare(m, result)) {
        // Where the steps keep to one thread, the rows' text is made on another core beside them.
        // Only the Z-iteration has loops worth sharing from two parts on.
        const bool costlyLoops = method == RunMethod::kZIteration;
        const CPathArrays& arrays =
            method == RunMethod::kComputeMetrics ? computeMetrics.Arrays() : zIteration.Arrays();
        if (setup.pool->GetThreadCount() > 1 && arrays.LoopsStayOnCaller(costlyLoops))
          dump.WriteInBackground();
        do {
          if (Cancelled()) {
            result.status = RunStatus::kCancelled;
            result.message = "The evaluation was cancelled.";
            break;
          }
          if (method == RunMethod::kComputeMetrics) {
            StepComputeMetrics();
          } else {
            StepZIteration();
          }
          ++result.steps;
          if (!KeepsLaws(result)) break;
        } while (t < doc.totalTime);
      }
    } catch (const CProfileOutOfTableException& e) {
      result.status = RunStatus::kProfileOutOfTable;
      result.message = e.what();
      if (!e.Where().empty()) result.message += "\n" + e.Where();
    }
    writer = nullptr;
    if (prepared) Store();
    if (!dump.Close(reason) && result.status == RunStatus::kCompleted) {
      result.status = RunStatus::kDumpWriteFailed;
      result.message = Format("The dump file \"%s\" could not be written completely: %s",
                              doc.dumpFilePath.c_str(), reason.c_str());
    }
    result.rowsWritten = rowsWritten;
    result.endTime = t;
    if (result.status == RunStatus::kCompleted) doc.routesValid = true;
    result.runSeconds = SecondsSince(runStart);
    return result;
  }
};

CZIterationEngine::CZIterationEngine(CVarloDoc& doc, RunOptions options)
    : impl_(std::make_unique<Impl>(doc, std::move(options))) {}

CZIterationEngine::~CZIterationEngine() = default;

RunResult CZIterationEngine::RunZIteration() {
  return impl_->Execute(RunMethod::kZIteration);
}
RunResult CZIterationEngine::RunComputeMetrics() {
  return impl_->Execute(RunMethod::kComputeMetrics);
}

bool CZIterationEngine::PrepareForSteps(RunMethod method, RunResult& result) {
  if (!impl_->doc.routesValid) {
    impl_->doc.ComputeRoutes(false);
    impl_->doc.routesValid = true;
  }
  impl_->writer = nullptr;
  return impl_->Prepare(method, result);
}

void CZIterationEngine::StepZIteration() {
  impl_->StepZIteration();
}
void CZIterationEngine::StepComputeMetrics() {
  impl_->StepComputeMetrics();
}
void CZIterationEngine::StoreState() {
  impl_->Store();
}
double CZIterationEngine::GetTime() const {
  return impl_->t;
}

void CZIterationEngine::AdaptiveStep(double t0, double tEnd) {
  impl_->zIteration.AdaptiveStep(t0, tEnd);
}
void CZIterationEngine::RungeKuttaStep(double t, const double* y, double h, double* out) {
  impl_->zIteration.RungeKuttaStep(t, y, h, out);
}

RunResult Run(CVarloDoc& doc, RunMethod method, const RunOptions& options) {
  CZIterationEngine engine(doc, options);
  return method == RunMethod::kComputeMetrics ? engine.RunComputeMetrics() : engine.RunZIteration();
}

}  // namespace varlo
