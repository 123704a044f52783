#include "engine/path_arrays.h"

#include <algorithm>

namespace varlo {

void CPathArrays::Build() {
  const std::vector<C_MM1K_Queue*>& objects = setup_.queues;
  const size_t count = objects.size();
  queues.resize(count);
  bufferSizes.resize(count);
  delays_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const C_MM1K_Queue& q = *objects[i];
    queues[i] = QueueState{q.N, q.P, q.U, q.serviceRate, q.arrivalRate, q.accepted, q.served, q.occupancySum};
    bufferSizes[i] = q.bufferSize;
    delays_[i] = q.propagationDelay;
  }
  roundTripTerms_.resize(count);
  shareRelaxation_.assign(setup_.refined ? count : 0, ShareRelaxation{1.0, 0.0});

  // The classes are walked in the order of their paths (sorted by the queues they cross, in turn),
  // and their entries laid out in that order, so that classes that share the first queues of their
  // paths follow one another and find those queues' values still in the processor's cache. Each
  // class's computation depends on its own path alone, so the order changes no number.
  const std::vector<ClassInfo>& classes = setup_.classes;
  const size_t entryCount = setup_.entryObjects.size();
  std::vector<std::int32_t> queueOfObject(entryCount);
  for (size_t k = 0; k < entryCount; ++k) {
    const CQueue* q = setup_.entryObjects[k]->queue;
    queueOfObject[k] = q != nullptr ? static_cast<std::int32_t>(setup_.queueIndex.at(q)) : -1;
  }
  const auto pathLength = [&](std::uint32_t c) { return classes[c].unreachable ? 0u : classes[c].entryCount; };
  walkClass_.resize(classes.size());
  for (std::uint32_t c = 0; c < classes.size(); ++c) walkClass_[c] = c;
  std::stable_sort(walkClass_.begin(), walkClass_.end(), [&](std::uint32_t a, std::uint32_t b) {
    const std::int32_t* pa = queueOfObject.data() + classes[a].firstEntry;
    const std::int32_t* pb = queueOfObject.data() + classes[b].firstEntry;
    return std::lexicographical_compare(pa, pa + pathLength(a), pb, pb + pathLength(b));
  });
  entryObjects_.clear();
  entryObjects_.reserve(entryCount);
  walkStart_.resize(classes.size());
  walkEnd_.resize(classes.size());
  for (size_t p = 0; p < walkClass_.size(); ++p) {
    const ClassInfo& info = classes[walkClass_[p]];
    walkStart_[p] = static_cast<std::uint32_t>(entryObjects_.size());
    for (std::uint32_t k = 0; k < info.entryCount; ++k) entryObjects_.push_back(setup_.entryObjects[info.firstEntry + k]);
    walkEnd_[p] = info.unreachable ? walkStart_[p] : static_cast<std::uint32_t>(entryObjects_.size());
  }

  std::unordered_map<const PathEntry*, std::uint32_t> entryIndex;
  entryIndex.reserve(entryCount);
  n.resize(entryCount);
  x.resize(entryCount);
  queueOf.resize(entryCount);
  for (std::uint32_t i = 0; i < entryCount; ++i) {
    const PathEntry& e = *entryObjects_[i];
    n[i] = e.n;
    x[i] = e.x;
    queueOf[i] = e.queue != nullptr ? static_cast<std::int32_t>(setup_.queueIndex.at(e.queue)) : -1;
    entryIndex.emplace(&e, i);
  }
  // The queues were emptied before the paths were built, so every entry a queue lists is one of
  // the classes' entries.
  queueEntryStart_.assign(count + 1, 0);
  queueEntries_.clear();
  for (size_t i = 0; i < count; ++i) {
    queueEntryStart_[i] = static_cast<std::uint32_t>(queueEntries_.size());
    for (const PathEntry* e : objects[i]->pathEntries) {
      const auto found = entryIndex.find(e);
      if (found != entryIndex.end()) queueEntries_.push_back(found->second);
    }
  }
  queueEntryStart_[count] = static_cast<std::uint32_t>(queueEntries_.size());
  std::vector<std::uint8_t> listed(entryCount, 0);
  listsHoldEveryEntry_ = true;
  for (size_t i = 0; i < count && listsHoldEveryEntry_; ++i) {
    for (std::uint32_t j = queueEntryStart_[i]; j < queueEntryStart_[i + 1]; ++j) {
      const std::uint32_t k = queueEntries_[j];
      if (listed[k] != 0 || queueOf[k] != static_cast<std::int32_t>(i)) listsHoldEveryEntry_ = false;
      listed[k] = 1;
    }
  }
  for (size_t k = 0; k < entryCount && listsHoldEveryEntry_; ++k) {
    if (queueOf[k] >= 0 && listed[k] == 0) listsHoldEveryEntry_ = false;
  }
  scalePending_ = false;
  deferSums_ = false;
  sumsPending_ = false;
  uncrossed_.assign(count, 0);
  for (size_t i = 0; i < count; ++i) {
    const bool crossed = queueEntryStart_[i + 1] != queueEntryStart_[i];
    uncrossed_[i] = !crossed && queues[i].N == 0 && queues[i].lambda == 0 && objects[i]->rho == 0 ? 1 : 0;
  }
  settled_.assign(count, 0);
  steps_ = 0;
  termsCurrent_ = false;
  // The values a run starts from are checked here; the steps check the values they set.
  firstImpossible_.assign((count + kCostlyQueuesPerPart - 1) / kCostlyQueuesPerPart, npos);
  for (size_t i = count; i-- > 0;) {
    if (Impossible(i)) firstImpossible_[i / kCostlyQueuesPerPart] = i;
  }

  shareTcp_ = setup_.refined && setup_.hasTcp;
  queueTcpEnd_.clear();
  if (shareTcp_) {
    std::vector<std::uint8_t> tcpEntry(entryCount, 0);
    for (size_t p = 0; p < walkClass_.size(); ++p) {
      if (classes[walkClass_[p]].kind != RateKind::kTcp) continue;
      for (std::uint32_t k = walkStart_[p]; k < walkEnd_[p]; ++k) tcpEntry[k] = 1;
    }
    // Each queue lists its TCP entries first, so that one pass sums both its arrival rate and the
    // TCP part of it.
    queueTcpEnd_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const auto first = queueEntries_.begin() + queueEntryStart_[i];
      const auto tcpEnd = std::stable_partition(first, queueEntries_.begin() + queueEntryStart_[i + 1],
                                                [&](std::uint32_t k) { return tcpEntry[k] != 0; });
      queueTcpEnd_[i] = static_cast<std::uint32_t>(tcpEnd - queueEntries_.begin());
    }
    lambda_.resize(count);
    mu_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      lambda_[i] = queues[i].lambda;
      mu_[i] = queues[i].mu;
    }
    tcpArrival_.assign(count, 0.0);
  }

  objectRateClasses_.clear();
  for (std::uint32_t c = 0; c < classes.size(); ++c) {
    if (classes[c].unreachable) continue;
    if (classes[c].kind == RateKind::kFromClass) objectRateClasses_.push_back(c);
  }
  classRates_.assign(classes.size(), 0.0);
}

void CPathArrays::Propagate(double time) {
  if (!termsCurrent_) {
    ForQueues([this](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) SetRoundTripTerms(i);
    });
  }
  termsCurrent_ = false;
  auto at = [this](std::uint32_t i) -> const RoundTripTerms& { return roundTripTerms_[i]; };
  if (shareTcp_) {
    setup_.ShareTcp(
        time, at, lambda_, mu_, bufferSizes, tcpArrival_, classRates_,
        [this](auto&& body) { ForClassesCostly(body); }, [this](auto&& body) { ForQueues(body); });
  }
  // Every rate first, so that a run stopped by a rate (a profile out of its table) leaves the
  // paths and the arrival rates as they were. Rate files are read as their classes ask, so those
  // ask first, one by one in class order.
  std::vector<ClassInfo>& classes = setup_.classes;
  for (const std::uint32_t c : objectRateClasses_) {
    classRates_[c] = setup_.Rate(classes[c], time, at);
    classes[c].lastRate = classRates_[c];
  }
  if (!shareTcp_) {  // (ShareTcp has set them otherwise)
    ForClasses([&](size_t begin, size_t end) {
      for (size_t c = begin; c < end; ++c) {
        ClassInfo& info = classes[c];
        if (info.unreachable || info.kind == RateKind::kFromClass) continue;
        const double r = setup_.Rate(info, time, at);
        info.lastRate = r;
        classRates_[c] = r;
      }
    });
  }
  // Each class's rate carried along its path; a queue passes on the class's fraction of what it
  // serves, from the class's share scaled to the queue's N if SumOccupancy left that to do, or
  // relaxed and scaled if StepQueuesRelaxingShares did.
  const bool scale = scalePending_;
  const bool relax = relaxPending_;
  ForClasses([&](size_t begin, size_t end) {
    for (size_t p = begin; p < end; ++p) {
      const size_t last = walkEnd_[p];
      if (walkStart_[p] == last) continue;
      // Every entry but the terminal one has a queue.
      const size_t terminal = last - 1;
      double r = classRates_[walkClass_[p]];
      size_t k = walkStart_[p];
      if (relax) {
        for (; k + 2 <= terminal; k += 2) r = WalkPair<false, true>(k, r);
      } else if (scale) {
        for (; k + 2 <= terminal; k += 2) r = WalkPair<true>(k, r);
      } else {
        for (; k + 2 <= terminal; k += 2) r = WalkPair<false>(k, r);
      }
      for (; k < terminal; ++k) {
        const double previous = x[k];
        x[k] = r;
        const QueueState& q = queues[static_cast<size_t>(queueOf[k])];
        // A share (never negative) scaled to an N of 0 is 0, which needs no division.
        if (relax) {
          n[k] = RelaxedShare(k, previous);
        } else if (scale) {
          n[k] = q.N == 0 ? 0.0 : NormalizedShare(n[k], q.N, q.occupancy);
        }
        r = DepartureRate(n[k], q.N, q.U, q.mu, previous);
      }
      x[terminal] = r;
    }
  });
  scalePending_ = false;
  relaxPending_ = false;
  if (deferSums_) {
    sumsPending_ = true;
  } else {
    ForQueues([this](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        if (!Settled(i)) SumArrivals(i);
      }
    });
  }
}

void CPathArrays::SumOccupancy(bool occupiedOnly) {
  ForQueues([this, occupiedOnly](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      if (Settled(i) || (occupiedOnly && queues[i].N == 0)) continue;
      double sum = 0;
      for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k) sum += n[queueEntries_[k]];
      queues[i].occupancy = sum;
    }
  });
  OccupancySummed();
}

void CPathArrays::DeferArrivalSums() {
  deferSums_ = listsHoldEveryEntry_;
  if (!deferSums_) return;
  shareSum_.assign(queues.size(), 0.0);
  shareScale_.assign(queues.size(), ShareRelaxation{1.0, 0.0});
  for (size_t i = 0; i < queues.size(); ++i) {
    for (std::uint32_t k = queueEntryStart_[i]; k < queueEntryStart_[i + 1]; ++k) shareSum_[i] += n[queueEntries_[k]];
  }
}

void CPathArrays::OccupancySummed() {
  scalePending_ = true;
  CountStep();
}

void CPathArrays::CountStep() {
  // An uncrossed queue that was empty receives nothing: the first step leaves it empty, and the
  // second gives it the values of an empty queue with nothing arriving, which every later step
  // gives again; the round-trip terms of the propagation after it are the last to compute.
  if (++steps_ == 2) settled_ = uncrossed_;
}

size_t CPathArrays::FirstImpossibleQueue() const {
  for (const size_t first : firstImpossible_) {
    if (first != npos) return first;
  }
  return npos;
}

size_t CPathArrays::FirstImpossibleClass() const {
  for (size_t c = 0; c < classRates_.size(); ++c) {
    if (!(classRates_[c] >= 0 && std::isfinite(classRates_[c]))) return c;
  }
  return npos;
}

void CPathArrays::Store() const {
  // A TCP class whose rate the queues shared shows that rate (the propagations keep it in the
  // run's arrays alone, so as not to touch every class object at every step).
  if (shareTcp_) {
    for (const ClassInfo& info : setup_.classes) {
      if (info.kind == RateKind::kTcp && !info.unreachable && info.sharedRate != 0 && info.forwardQueueCount != 0)
        info.tcp->lastThroughput = info.sharedRate;
    }
  }
  for (size_t i = 0; i < queues.size(); ++i) {
    C_MM1K_Queue& q = *setup_.queues[i];
    const QueueState& s = queues[i];
    q.N = s.N;
    q.P = s.P;
    q.U = s.U;
    q.arrivalRate = sumsPending_ && !Settled(i) ? ArrivalSum(i) : s.lambda;
    q.accepted = s.accepted;
    q.served = s.served;
    q.occupancySum = s.occupancy;
  }
  // Shares that SumOccupancy left to scale, or the queues' steps to relax (a run stopped by a rate),
  // are stored scaled or relaxed.
  for (size_t k = 0; k < queueOf.size(); ++k) {
    if (relaxPending_ && queueOf[k] >= 0) {
      entryObjects_[k]->n = RelaxedShare(k, x[k]);
      entryObjects_[k]->x = x[k];
      continue;
    }
    const QueueState* q = scalePending_ && queueOf[k] >= 0 ? &queues[static_cast<size_t>(queueOf[k])] : nullptr;
    entryObjects_[k]->n = q != nullptr ? NormalizedShare(n[k], q->N, q->occupancy) : n[k];
    entryObjects_[k]->x = x[k];
  }
}

}  // namespace varlo
