#include "engine/compute_metrics_stepper.h"

#include "engine/dump_file.h"

namespace varlo {

void CComputeMetricsStepper::Build() {
  const std::vector<C_MM1K_Queue*>& queues = setup_.queues;
  queueState_.resize(queues.size());
  bufferSizes_.resize(queues.size());
  delays_.resize(queues.size());
  for (size_t i = 0; i < queues.size(); ++i) {
    const C_MM1K_Queue& q = *queues[i];
    queueState_[i] = QueueState{q.N, q.P, q.U, q.serviceRate, q.arrivalRate, q.accepted, q.served, q.occupancySum};
    bufferSizes_[i] = q.bufferSize;
    delays_[i] = q.propagationDelay;
  }
  std::unordered_map<const PathEntry*, std::uint32_t> entryIndex;
  entryIndex.reserve(setup_.entryObjects.size());
  entries_.resize(setup_.entryObjects.size());
  for (std::uint32_t i = 0; i < setup_.entryObjects.size(); ++i) {
    const PathEntry& e = *setup_.entryObjects[i];
    entries_[i] =
        EntryState{e.n, e.x, e.queue != nullptr ? static_cast<std::int32_t>(setup_.queueIndex.at(e.queue)) : -1};
    entryIndex.emplace(&e, i);
  }
  // A queue's sums run over its entries in the order they were added. Path building adds them
  // class by class, so a walk over the classes adds them in the same order; check it, and keep
  // explicit lists for the queues where it does not hold.
  scatterSums_ = true;
  queueEntryStart_.assign(queues.size() + 1, 0);
  queueEntries_.clear();
  for (size_t i = 0; i < queues.size(); ++i) {
    queueEntryStart_[i] = static_cast<std::uint32_t>(queueEntries_.size());
    std::int64_t previous = -1;
    for (const PathEntry* e : queues[i]->pathEntries) {
      const auto found = entryIndex.find(e);
      if (found == entryIndex.end()) {
        scatterSums_ = false;  // an entry the classes do not own: sum through the objects' order
        continue;
      }
      if (static_cast<std::int64_t>(found->second) <= previous) scatterSums_ = false;
      previous = found->second;
      queueEntries_.push_back(found->second);
    }
  }
  queueEntryStart_[queues.size()] = static_cast<std::uint32_t>(queueEntries_.size());
  if (scatterSums_) {
    std::vector<std::uint32_t> perQueue(queues.size(), 0);
    for (const EntryState& e : entries_) {
      if (e.queue >= 0) ++perQueue[static_cast<size_t>(e.queue)];
    }
    for (size_t i = 0; i < queues.size(); ++i) {
      if (perQueue[i] != queueEntryStart_[i + 1] - queueEntryStart_[i]) scatterSums_ = false;
    }
  }
}

void CComputeMetricsStepper::Propagate(double time) {
  roundTripTerms_.resize(queueState_.size());
  for (size_t i = 0; i < queueState_.size(); ++i) {
    const QueueState& q = queueState_[i];
    roundTripTerms_[i] = RoundTripTerms{q.N / q.mu, delays_[i], 1 - q.P};
  }
  auto at = [this](std::uint32_t i) -> const RoundTripTerms& { return roundTripTerms_[i]; };
  // The sums go to a side array so that a run stopped inside the class loop (profile out of
  // its table) leaves every queue's arrival rate as it was, like the queue-by-queue form.
  arrivalSums_.assign(queueState_.size(), 0.0);
  for (ClassInfo& info : setup_.classes) {
    if (info.unreachable) continue;
    double r = setup_.Rate(info, time, at);
    info.lastRate = r;
    EntryState* e = entries_.data() + info.firstEntry;
    EntryState* const end = e + info.entryCount;
    for (; e != end; ++e) {
      const double previous = e->x;
      e->x = r;
      if (e->queue >= 0) {
        const QueueState& q = queueState_[static_cast<size_t>(e->queue)];
        if (scatterSums_) arrivalSums_[static_cast<size_t>(e->queue)] += r;
        r = DepartureRate(e->n, q.N, q.U, q.mu, previous);
      }
    }
  }
  if (scatterSums_) {
    for (size_t i = 0; i < queueState_.size(); ++i) queueState_[i].lambda = arrivalSums_[i];
  } else {
    for (size_t i = 0; i < queueState_.size(); ++i) {
      double sum = 0;
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k) sum += entries_[queueEntries_[k]].x;
      queueState_[i].lambda = sum;
    }
  }
}

void CComputeMetricsStepper::Step(double h) {
  for (size_t i = 0; i < queueState_.size(); ++i) {
    QueueState& q = queueState_[i];
    const FluidStepResult r = FluidStep(q.N, q.lambda, q.mu, bufferSizes_[i], h);
    q.N = r.N;
    q.P = r.P;
    q.U = r.U;
    q.accepted = r.accepted;
    q.served = r.served;
  }

  // The classes' shares of what each queue admitted and sent, then each queue's sum of them.
  if (scatterSums_) {
    for (QueueState& q : queueState_) q.occupancy = 0;
  }
  for (const ClassInfo& info : setup_.classes) {
    if (info.unreachable || info.entryCount < 2) continue;
    EntryState* e = entries_.data() + info.firstEntry;
    EntryState* const last = e + info.entryCount - 1;
    for (; e != last; ++e) {
      QueueState& q = queueState_[static_cast<size_t>(e->queue)];
      e->n = DiscreteShare(e->n, e->x, q.accepted, q.lambda, (e + 1)->x, q.served, q.mu);
      if (scatterSums_) q.occupancy += e->n;
    }
  }
  if (!scatterSums_) {
    for (size_t i = 0; i < queueState_.size(); ++i) {
      double sum = 0;
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k) sum += entries_[queueEntries_[k]].n;
      queueState_[i].occupancy = sum;
    }
  }
  for (const ClassInfo& info : setup_.classes) {
    if (info.unreachable || info.entryCount < 2) continue;
    EntryState* e = entries_.data() + info.firstEntry;
    EntryState* const last = e + info.entryCount - 1;
    for (; e != last; ++e) {
      const QueueState& q = queueState_[static_cast<size_t>(e->queue)];
      e->n = NormalizedShare(e->n, q.N, q.occupancy);
    }
  }
}

void CComputeMetricsStepper::Store() const {
  for (size_t i = 0; i < queueState_.size(); ++i) {
    C_MM1K_Queue& q = *setup_.queues[i];
    const QueueState& s = queueState_[i];
    q.N = s.N;
    q.P = s.P;
    q.U = s.U;
    q.arrivalRate = s.lambda;
    q.accepted = s.accepted;
    q.served = s.served;
    q.occupancySum = s.occupancy;
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    setup_.entryObjects[i]->n = entries_[i].n;
    setup_.entryObjects[i]->x = entries_[i].x;
  }
}

void CComputeMetricsStepper::AddQueues(CDumpWriter& writer) const {
  for (const QueueState& q : queueState_) writer.AddQueue(q.N == 0 ? q.lambda / q.mu : q.N, q.U, q.P);
}

}  // namespace varlo
