#include "engine/path_arrays.h"

namespace varlo {

void CPathArrays::Build() {
  const std::vector<C_MM1K_Queue*>& objects = setup_.queues;
  const size_t n = objects.size();
  queues.resize(n);
  bufferSizes.resize(n);
  delays_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const C_MM1K_Queue& q = *objects[i];
    queues[i] = QueueState{q.N, q.P, q.U, q.serviceRate, q.arrivalRate, q.accepted, q.served, q.occupancySum};
    bufferSizes[i] = q.bufferSize;
    delays_[i] = q.propagationDelay;
  }
  roundTripTerms_.resize(n);

  std::unordered_map<const PathEntry*, std::uint32_t> entryIndex;
  entryIndex.reserve(setup_.entryObjects.size());
  entries.resize(setup_.entryObjects.size());
  for (std::uint32_t i = 0; i < setup_.entryObjects.size(); ++i) {
    const PathEntry& e = *setup_.entryObjects[i];
    entries[i] = EntryState{
        e.n, e.x, e.queue != nullptr ? static_cast<std::int32_t>(setup_.queueIndex.at(e.queue)) : -1};
    entryIndex.emplace(&e, i);
  }
  // The queues were emptied before the paths were built, so every entry a queue lists is one of
  // the classes' entries.
  queueEntryStart_.assign(n + 1, 0);
  queueEntries_.clear();
  for (size_t i = 0; i < n; ++i) {
    queueEntryStart_[i] = static_cast<std::uint32_t>(queueEntries_.size());
    for (const PathEntry* e : objects[i]->pathEntries) {
      const auto found = entryIndex.find(e);
      if (found != entryIndex.end()) queueEntries_.push_back(found->second);
    }
  }
  queueEntryStart_[n] = static_cast<std::uint32_t>(queueEntries_.size());

  shareTcp_ = setup_.refined && setup_.hasTcp;
  queueTcpEntryStart_.clear();
  queueTcpEntries_.clear();
  if (shareTcp_) {
    std::vector<std::uint8_t> tcpEntry(entries.size(), 0);
    for (const ClassInfo& info : setup_.classes) {
      if (info.unreachable || info.kind != RateKind::kTcp) continue;
      for (std::uint32_t k = 0; k < info.entryCount; ++k) tcpEntry[info.firstEntry + k] = 1;
    }
    queueTcpEntryStart_.assign(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
      queueTcpEntryStart_[i] = static_cast<std::uint32_t>(queueTcpEntries_.size());
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k) {
        if (tcpEntry[queueEntries_[k]] != 0) queueTcpEntries_.push_back(queueEntries_[k]);
      }
    }
    queueTcpEntryStart_[n] = static_cast<std::uint32_t>(queueTcpEntries_.size());
    lambda_.assign(n, 0.0);
    mu_.resize(n);
    for (size_t i = 0; i < n; ++i) mu_[i] = queues[i].mu;
    tcpArrival_.assign(n, 0.0);
  }

  objectRateClasses_.clear();
  for (std::uint32_t c = 0; c < setup_.classes.size(); ++c) {
    if (!setup_.classes[c].unreachable && setup_.classes[c].kind == RateKind::kFromClass)
      objectRateClasses_.push_back(c);
  }
  classRates_.assign(setup_.classes.size(), 0.0);
}

void CPathArrays::Propagate(double time) {
  ForQueues([this](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const QueueState& q = queues[i];
      roundTripTerms_[i] = RoundTripTerms{setup_.Waiting(q.N, q.U, q.mu), delays_[i], 1 - q.P};
    }
  });
  auto at = [this](std::uint32_t i) -> const RoundTripTerms& { return roundTripTerms_[i]; };
  if (shareTcp_) {
    for (size_t i = 0; i < queues.size(); ++i) lambda_[i] = queues[i].lambda;
    setup_.ShareTcp(time, at, lambda_, mu_, tcpArrival_);
  }
  // Rate files are read as their classes ask, so those ask first, one by one in class order.
  for (const std::uint32_t c : objectRateClasses_) classRates_[c] = setup_.Rate(setup_.classes[c], time, at);
  // The arrival rates are summed once every class has offered its rate, so that a run stopped
  // inside the class loop (profile out of its table) leaves them as they were.
  ForClasses([&](size_t begin, size_t end) {
    for (size_t c = begin; c < end; ++c) {
      ClassInfo& info = setup_.classes[c];
      if (info.unreachable) continue;
      double r = info.kind == RateKind::kFromClass       ? classRates_[c]
                 : shareTcp_ && info.kind == RateKind::kTcp ? info.sharedRate
                                                            : setup_.Rate(info, time, at);
      info.lastRate = r;
      EntryState* e = entries.data() + info.firstEntry;
      EntryState* const end = e + info.entryCount;
      for (; e != end; ++e) {
        const double previous = e->x;
        e->x = r;
        if (e->queue >= 0) {
          const QueueState& q = queues[static_cast<size_t>(e->queue)];
          r = DepartureRate(e->n, q.N, q.U, q.mu, previous);
        }
      }
    }
  });
  ForQueues([this](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      double sum = 0;
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k)
        sum += entries[queueEntries_[k]].x;
      queues[i].lambda = sum;
    }
  });
  if (shareTcp_) {
    ForQueues([this](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        double sum = 0;
        for (std::uint32_t k = queueTcpEntryStart_[i]; k < queueTcpEntryStart_[i + 1]; ++k)
          sum += entries[queueTcpEntries_[k]].x;
        tcpArrival_[i] = sum;
      }
    });
  }
}

void CPathArrays::SumAndNormalizeOccupancy() {
  ForQueues([this](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      double sum = 0;
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k)
        sum += entries[queueEntries_[k]].n;
      queues[i].occupancy = sum;
    }
  });
  ForClasses([this](size_t begin, size_t end) {
    for (size_t c = begin; c < end; ++c) {
      const ClassInfo& info = setup_.classes[c];
      if (info.unreachable || info.entryCount < 2) continue;
      EntryState* e = entries.data() + info.firstEntry;
      EntryState* const last = e + info.entryCount - 1;
      for (; e != last; ++e) {
        if (e->queue < 0) continue;
        const QueueState& q = queues[static_cast<size_t>(e->queue)];
        e->n = NormalizedShare(e->n, q.N, q.occupancy);
      }
    }
  });
}

void CPathArrays::Store() const {
  for (size_t i = 0; i < queues.size(); ++i) {
    C_MM1K_Queue& q = *setup_.queues[i];
    const QueueState& s = queues[i];
    q.N = s.N;
    q.P = s.P;
    q.U = s.U;
    q.arrivalRate = s.lambda;
    q.accepted = s.accepted;
    q.served = s.served;
    q.occupancySum = s.occupancy;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    setup_.entryObjects[i]->n = entries[i].n;
    setup_.entryObjects[i]->x = entries[i].x;
  }
}

}  // namespace varlo
