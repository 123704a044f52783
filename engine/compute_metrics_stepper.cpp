#include "engine/compute_metrics_stepper.h"

#include <algorithm>

#include "engine/dump_file.h"
#include "engine/refined_model.h"

namespace varlo {

void CComputeMetricsStepper::Build() {
  arrays_.Build();
  if (setup_.refined) arrays_.DeferArrivalSums();
  lossThresholds_.resize(setup_.refined ? 0 : arrays_.queues.size());
  for (size_t i = 0; i < lossThresholds_.size(); ++i) lossThresholds_[i] = LossThreshold(arrays_.bufferSizes[i]);
  refinedRho_.assign(setup_.refined ? arrays_.queues.size() : 0, 0.0);
  refinedMetrics_.resize(refinedRho_.size());
  refinedBursts_.assign(refinedRho_.size(), 1.0);
  refinedBuffers_.assign(arrays_.bufferSizes.begin(), arrays_.bufferSizes.begin() + refinedRho_.size());
  for (size_t i = 0; i < refinedRho_.size(); ++i)
    refinedMetrics_[i] = MM1KClosedForm(refinedRho_[i], arrays_.bufferSizes[i]);
}

void CComputeMetricsStepper::Step(double h) {
  std::vector<CPathArrays::QueueState>& queues = arrays_.queues;
  if (setup_.refined) {
    // A queue's step here is a few closed forms and exponentials: shared out in small parts, as
    // the refined Z-iteration's steps are, each queue's arrival rate summed before it and its
    // classes' packets moved by the mixing law of the refined model after it, in the same pass.
    const bool loops = !setup_.closedLoads.empty();
    arrays_.StepQueuesRelaxingShares([&](size_t i) {
      CPathArrays::QueueState& q = queues[i];
      double noLoop = -1.0;
      const RefinedStepResult r = RefinedQueueStep(
          refinedRho_[i], refinedMetrics_[i], q.lambda, q.mu, DataBufferOf(i), h,
          loops ? setup_.closedLoads[i] : ClosedLoopLoad{}, loops ? setup_.closedSojourns[i] : noLoop,
          loops ? setup_.queueBursts[i] : 1.0, &refinedBursts_[i], &refinedBuffers_[i],
          loops ? &setup_.loopWindows[i] : nullptr);
      q.N = r.metrics.N;
      q.P = r.metrics.P;
      q.U = r.metrics.U;
      q.accepted = r.accepted;
      q.served = r.served;
      arrays_.SetRoundTripTerms(i);
      arrays_.SetShareRelaxation(i, h);
      return arrays_.Impossible(i);
    });
    return;
  }
  arrays_.ForQueues([&](size_t begin, size_t end) {
    size_t impossible = CPathArrays::npos;
    for (size_t i = begin; i < end; ++i) {
      if (arrays_.Settled(i)) continue;
      CPathArrays::QueueState& q = queues[i];
      const FluidStepResult r = FluidStep(q.N, q.lambda, q.mu, arrays_.bufferSizes[i], lossThresholds_[i], h);
      q.N = r.N;
      q.P = r.P;
      q.U = r.U;
      q.accepted = r.accepted;
      q.served = r.served;
      arrays_.SetRoundTripTerms(i);
      if (impossible == CPathArrays::npos && arrays_.Impossible(i)) impossible = i;
    }
    arrays_.CheckedPart(begin, end, impossible);
  });
  arrays_.RoundTripTermsSet();
  // The classes' shares of what each queue admitted and sent, then each queue's sum of them where
  // the queue holds packets (an empty queue's shares are scaled to 0 whatever their sum).
  arrays_.UpdateOccupiedShares([](double n, double x, double next, const CPathArrays::QueueState& q) {
    return DiscreteShare(n, x, q.accepted, q.lambda, next, q.served, q.mu);
  });
}

void CComputeMetricsStepper::Store() const {
  arrays_.Store();
  for (size_t i = 0; i < refinedBuffers_.size(); ++i) setup_.queues[i]->N = ShownSize(i);
}

void CComputeMetricsStepper::AddQueues(CDumpWriter& writer) const {
  if (setup_.refined) {
    for (size_t i = 0; i < arrays_.queues.size(); ++i) {
      const CPathArrays::QueueState& q = arrays_.queues[i];
      writer.AddQueue(SizeShownWithin(ShownSize(i), arrays_.bufferSizes[i]), q.U, q.P);
    }
    return;
  }
  // The offered load stands in for an empty queue's size; a load beyond the buffer would read as
  // more packets than it holds, so it shows a full buffer.
  for (size_t i = 0; i < arrays_.queues.size(); ++i) {
    const CPathArrays::QueueState& q = arrays_.queues[i];
    const double K = arrays_.bufferSizes[i];
    writer.AddQueue(SizeShownWithin(q.N == 0 && q.mu != 0 ? std::min(q.lambda / q.mu, K) : q.N, K), q.U, q.P);
  }
}

}  // namespace varlo
