#include "engine/compute_metrics_stepper.h"

#include <algorithm>

#include "engine/dump_file.h"
#include "engine/refined_model.h"

namespace varlo {

void CComputeMetricsStepper::Build() {
  arrays_.Build();
  refinedRho_.assign(setup_.refined ? arrays_.queues.size() : 0, 0.0);
}

void CComputeMetricsStepper::Step(double h) {
  std::vector<CPathArrays::QueueState>& queues = arrays_.queues;
  if (setup_.refined) {
    arrays_.ForQueues([&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        CPathArrays::QueueState& q = queues[i];
        const RefinedStepResult r = RefinedDiscreteStep(refinedRho_[i], q.lambda, q.mu, arrays_.bufferSizes[i], h);
        q.N = r.metrics.N;
        q.P = r.metrics.P;
        q.U = r.metrics.U;
        q.accepted = r.accepted;
        q.served = r.served;
      }
    });
  } else {
    arrays_.ForQueues([&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        CPathArrays::QueueState& q = queues[i];
        const FluidStepResult r = FluidStep(q.N, q.lambda, q.mu, arrays_.bufferSizes[i], h);
        q.N = r.N;
        q.P = r.P;
        q.U = r.U;
        q.accepted = r.accepted;
        q.served = r.served;
      }
    });
  }
  // The classes' shares of what each queue admitted and sent, then each queue's sum of them.
  const std::vector<ClassInfo>& classes = arrays_.Classes();
  arrays_.ForClasses([&](size_t begin, size_t end) {
    for (size_t c = begin; c < end; ++c) {
      const ClassInfo& info = classes[c];
      if (info.unreachable || info.entryCount < 2) continue;
      CPathArrays::EntryState* e = arrays_.entries.data() + info.firstEntry;
      CPathArrays::EntryState* const last = e + info.entryCount - 1;
      for (; e != last; ++e) {
        if (e->queue < 0) continue;
        const CPathArrays::QueueState& q = queues[static_cast<size_t>(e->queue)];
        e->n = DiscreteShare(e->n, e->x, q.accepted, q.lambda, (e + 1)->x, q.served, q.mu);
      }
    }
  });
  arrays_.SumAndNormalizeOccupancy();
}

void CComputeMetricsStepper::AddQueues(CDumpWriter& writer) const {
  if (setup_.refined) {
    for (const CPathArrays::QueueState& q : arrays_.queues) writer.AddQueue(q.N, q.U, q.P);
    return;
  }
  // The offered load stands in for an empty queue's size; a load beyond the buffer would read as
  // more packets than it holds, so it shows a full buffer.
  for (size_t i = 0; i < arrays_.queues.size(); ++i) {
    const CPathArrays::QueueState& q = arrays_.queues[i];
    writer.AddQueue(q.N == 0 && q.mu != 0 ? std::min(q.lambda / q.mu, arrays_.bufferSizes[i]) : q.N, q.U, q.P);
  }
}

}  // namespace varlo
