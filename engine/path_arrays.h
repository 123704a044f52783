// The state both steppers step, in flat arrays resolved once from the set-up: one cache line per
// queue, the path entries class by class as separate arrays of n, x and queue, and for every queue
// the list of its entries in the order they were added to it. Loops over queues, classes and entries
// are cut into fixed parts that the run's threads share; every sum runs in the order of the queue's
// own list, so no number depends on the thread count.
#pragma once

#include <cstdint>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

  explicit CPathArrays(RunSetup& setup) : setup_(setup) {}

  // Copies the queues and path entries into the arrays.
  void Build();
  // The classes' rates at time carried along their paths, then each queue's arrival rate (unless
  // DeferArrivalSums). Shares left to scale by SumOccupancy are scaled on the way.
  void Propagate(double time);
  // Each queue's sum of its entries' occupancies (with occupiedOnly, only where the queue's N is not
  // 0: the shares of an empty queue are scaled to 0 whatever their sum). Every class's shares are
  // then to be scaled to the queues' N, which the next Propagate does as it walks the paths (nothing
  // reads them between).
  void SumOccupancy(bool occupiedOnly = false);
  // Copies the arrays back into the queues and path entries (what the canvas shows).
  void Store() const;
  // The metrics of queue i after the last step.
  QueueMetrics Metrics(size_t i) const { return {queues[i].N, queues[i].P, queues[i].U}; }
  // The first queue whose N, U or P is impossible (not finite, N outside [0, K], U or P outside
  // [0, 1]), and the first class with a negative or non-finite rate; npos when there is none.
  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t FirstImpossibleQueue() const;
  size_t FirstImpossibleClass() const;
  // The steppers check each queue where they set its values: true when queue i's values are
  // impossible. CheckedPart records, for the queues [begin, end) of a part of either size, the
  // first impossible queue of the last step (npos for none), which FirstImpossibleQueue reports.
  bool Impossible(size_t i) const {
    const QueueState& q = queues[i];
    const bool sizePossible = (q.N >= 0 && q.N <= bufferSizes[i]) || q.N == 0;
    return !sizePossible || !(q.U >= 0 && q.U <= 1) || !(q.P >= 0 && q.P <= 1);
  }
  void CheckedPart(size_t begin, size_t end, size_t firstImpossible) {
    // Kept per small part: a part of the usual size covers several, and the one that holds its
    // first impossible queue records it (a later one in the same part may go unrecorded, which
    // leaves the first of all the same).
    for (size_t slot = begin / kCostlyQueuesPerPart; slot * kCostlyQueuesPerPart < end; ++slot)
      firstImpossible_[slot] = firstImpossible / kCostlyQueuesPerPart == slot ? firstImpossible : npos;
  }
  // The round-trip terms of queue i from its values, which the steppers also set where they set
  // the values; RoundTripTermsSet then tells the next Propagate that every queue's terms are
  // current (it computes them itself otherwise).
  void SetRoundTripTerms(size_t i) {
    const QueueState& q = queues[i];
    roundTripTerms_[i] = RoundTripTerms{setup_.Waiting(i, q.N, q.U, q.mu), delays_[i], 1 - q.P};
  }
  void RoundTripTermsSet() { termsCurrent_ = true; }

  // body(begin, end) over the queues, or over the path entries, in fixed parts shared by the threads
  // (or all run by the calling thread where the loop is too short to be worth handing out).
  template <class Body>
  void ForQueues(Body&& body) const {
    ForParts(queues.size(), kQueuesPerPart, body);
  }
  // The same for loops that spend long on each queue (the refined model's Z-iteration steps, a
  // Runge-Kutta step of every queue), in smaller parts, which are worth sharing from two on. (The classic
  // Z-iteration's pairs cut the queues by each step's work instead.)
  template <class Body>
  void ForQueuesCostly(Body&& body) const {
    setup_.pool->ForRanges(queues.size(), kCostlyQueuesPerPart, body, 2);
  }
  template <class Body>
  void ForEntries(Body&& body) const {
    ForParts(queueOf.size(), kEntriesPerPart, body);
  }
  template <class Body>
  void ForClasses(Body&& body) const {
    ForParts(setup_.classes.size(), kClassesPerPart, body);
  }
  // The same for the refined model's passes over its TCP classes, each a profile lookup and a
  // walk of the path, in smaller parts, handed out where ForClasses would be (from as many classes
  // on): on smaller networks they run on the calling thread, which leaves the other cores to the
  // dump's writer (LoopsStayOnCaller); handed out from two parts on, beside it, a run of 100 nodes
  // on two cores took half as long again.
  template <class Body>
  void ForClassesCostly(Body&& body) const {
    setup_.pool->ForRanges(setup_.classes.size(), kCostlyClassesPerPart, body,
                           kPartsWorthSharing * kClassesPerPart / kCostlyClassesPerPart);
  }
  // n[k] = share(n[k], x[k], x[k + 1], queue) for every entry k with a queue, over all entries in
  // parts shared by the threads: the share updates of both runs.
  template <class Share>
  void UpdateShares(Share&& share) {
    ForEntries([&](size_t begin, size_t end) {
      for (size_t k = begin; k < end; ++k) {
        if (queueOf[k] < 0) continue;
        n[k] = share(n[k], x[k], x[k + 1], queues[static_cast<size_t>(queueOf[k])]);
      }
    });
  }
  // UpdateShares then SumOccupancy(true), in one pass queue by queue, passing by the queues whose N
  // is 0: the next propagation scales their shares to that N, 0, whatever they are, so their update
  // would be overwritten unread. Each other entry's share is updated from its own values and its
  // queue's alone, so going through each queue's list of entries gives every share as UpdateShares
  // does, and the sum adds them in the list's order as SumOccupancy does.
  template <class Share>
  void UpdateOccupiedShares(Share&& share) {
    if (!listsHoldEveryEntry_) {
      UpdateShares(share);
      SumOccupancy(true);
      return;
    }
    SharesQueueByQueue(
        [&](std::uint32_t k, size_t, const QueueState& q) { return share(n[k], x[k], x[k + 1], q); });
  }
  // Refined model: queue i's share relaxation over a step of h from its values after the step
  // (RefinedShareRelaxation), which the steppers set where they set the values; RelaxShares then
  // moves every class's packets by it, in parts shared by the threads: the share updates of both
  // refined runs.
  void SetShareRelaxation(size_t i, double h) {
    const QueueState& q = queues[i];
    shareRelaxation_[i] = RefinedShareRelaxation(q.N, q.U, q.P, q.mu, h);
  }
  void RelaxShares() {
    ForEntries([this](size_t begin, size_t end) {
      for (size_t k = begin; k < end; ++k) {
        if (queueOf[k] < 0) continue;
        const auto i = static_cast<size_t>(queueOf[k]);
        n[k] = RefinedShare(n[k], x[k], shareRelaxation_[i]);
      }
    });
  }
  // RelaxShares then SumOccupancy(true), in one pass queue by queue as UpdateOccupiedShares.
  void RelaxOccupiedShares() {
    if (!listsHoldEveryEntry_) {
      RelaxShares();
      SumOccupancy(true);
      return;
    }
    SharesQueueByQueue([this](std::uint32_t k, size_t i, const QueueState&) {
      return RefinedShare(n[k], x[k], shareRelaxation_[i]);
    });
  }
  // Refined Compute Metrics: the propagations leave each queue's arrival rate to the next step,
  // whose pass over the queues (StepQueuesRelaxingShares) sums it where it needs it. Only where
  // every entry is in its queue's list; after Build.
  void DeferArrivalSums();
  // In one pass over the queues that are not settled, in small parts shared by the threads, each
  // queue's: arrival rate, if the propagation left it; step(i), which sets its values, round-trip
  // terms and share relaxation and returns whether they are impossible; then the share relaxation,
  // scaled to the queue's new N, that the next propagation applies to each class's packets there
  // as it walks the paths (see DeferArrivalSums). The round-trip terms are then current.
  // (In small parts, handed out where ForQueues would be, as ForClassesCostly's.)
  template <class Step>
  void StepQueuesRelaxingShares(Step&& step) {
    if (!deferSums_) {
      ForQueuesStepping([&](size_t begin, size_t end) {
        size_t impossible = npos;
        for (size_t i = begin; i < end; ++i) {
          if (!Settled(i) && step(i) && impossible == npos) impossible = i;
        }
        CheckedPart(begin, end, impossible);
      });
      RoundTripTermsSet();
      RelaxOccupiedShares();
      return;
    }
    const bool sum = sumsPending_;
    ForQueuesStepping([&](size_t begin, size_t end) {
      size_t impossible = npos;
      for (size_t i = begin; i < end; ++i) {
        if (Settled(i)) continue;
        if (sum) SumArrivals(i);
        if (step(i) && impossible == npos) impossible = i;
        QueueState& q = queues[i];
        // Each class's packets n move to n decay + x admitted, x being what it offered the queue
        // since the last propagation; their sum, from the sums of n (the queue's N of the last
        // step, to which they were scaled) and of x (the arrival rate), is the occupancy that they
        // are scaled from to the new N.
        const ShareRelaxation r = shareRelaxation_[i];
        const double occupancy = q.N == 0 ? 0.0 : r.decay * shareSum_[i] + r.admitted * q.lambda;
        q.occupancy = occupancy;
        const double scale = occupancy != 0.0 ? q.N / occupancy : 0.0;
        shareScale_[i] = ShareRelaxation{r.decay * scale, r.admitted * scale};
        shareSum_[i] = occupancy != 0.0 ? q.N : 0.0;
      }
      CheckedPart(begin, end, impossible);
    });
    sumsPending_ = false;
    RoundTripTermsSet();
    relaxPending_ = true;
    CountStep();
  }
  // Whether every loop of a run stays on the calling thread, all of them being too short to hand
  // out, so that the other cores are free; costlyLoops when the run has loops of ForQueuesCostly.
  bool LoopsStayOnCaller(bool costlyLoops) const {
    const auto shared = [](size_t count, size_t grain, size_t worth) { return (count + grain - 1) / grain >= worth; };
    return !(costlyLoops ? shared(queues.size(), kCostlyQueuesPerPart, 2)
                         : shared(queues.size(), kQueuesPerPart, kPartsWorthSharing)) &&
           !shared(queueOf.size(), kEntriesPerPart, kPartsWorthSharing) &&
           !shared(setup_.classes.size(), kClassesPerPart, kPartsWorthSharing);
  }
  // Whether queue i's values are final: no path crosses it, so nothing arrives there, and it has
  // been empty since before the last two steps, so every value it has is now a function of its
  // constants alone. Loops over the queues pass such queues by.
  bool Settled(size_t i) const { return settled_[i] != 0; }
  // The index of the part that holds queue i.
  static size_t QueuePart(size_t i) { return i / kQueuesPerPart; }
  size_t QueueParts() const { return (queues.size() + kQueuesPerPart - 1) / kQueuesPerPart; }

  std::vector<QueueState> queues;
  std::vector<double> bufferSizes;  // K, packets
  // Path entries, class by class (in the order the classes are walked): n, the packets of the class in the queue; x, the packets/s the
  // class offers the queue; the queue's index, or -1 for the terminal entry that ends every path
  // (also the only entry of a class that cannot reach its destination). Every entry with a queue
  // therefore has the next entry of its own path at index + 1.
  std::vector<double> n;
  std::vector<double> x;
  std::vector<std::int32_t> queueOf;

 private:
  // Queues per part (a few formulas per queue; for ForQueuesCostly, a few closed forms or a
  // Runge-Kutta step), classes per part (a walk of a few path entries) and entries per part (one
  // formula each).
  static constexpr size_t kQueuesPerPart = 256;
  static constexpr size_t kCostlyQueuesPerPart = 32;
  static constexpr size_t kClassesPerPart = 1024;
  static constexpr size_t kCostlyClassesPerPart = 256;
  static constexpr size_t kEntriesPerPart = 8192;
  static_assert(kQueuesPerPart % kCostlyQueuesPerPart == 0, "a part of the queues is made of small parts");
  // Loops of fewer parts than this run on the calling thread: waking the others costs more than
  // such a loop (some tens of microseconds).
  static constexpr size_t kPartsWorthSharing = 8;

  template <class Body>
  void ForQueuesStepping(Body&& body) const {
    setup_.pool->ForRanges(queues.size(), kCostlyQueuesPerPart, body,
                           kPartsWorthSharing * kQueuesPerPart / kCostlyQueuesPerPart);
  }
  template <class Body>
  void ForParts(size_t count, size_t grain, Body&& body) const {
    setup_.pool->ForRanges(count, grain, body, kPartsWorthSharing);
  }

  RunSetup& setup_;
  std::vector<double> delays_;  // propagation delay, s
  std::vector<RoundTripTerms> roundTripTerms_;
  std::vector<ShareRelaxation> shareRelaxation_;  // refined model, see SetShareRelaxation
  std::vector<std::uint32_t> queueEntryStart_;
  std::vector<std::uint32_t> queueEntries_;
  // The classes in the order their paths are walked, and the p-th one's path entries
  // [walkStart_[p], walkEnd_[p]) (empty for a class left out of the load); the entries are laid out
  // in that order, and entryObjects_ are the path entries they stand for.
  std::vector<std::uint32_t> walkClass_;
  std::vector<std::uint32_t> walkStart_;
  std::vector<std::uint32_t> walkEnd_;
  std::vector<PathEntry*> entryObjects_;
  // The rate each class offers at the last propagation (0 for a class left out of the load).
  std::vector<double> classRates_;
  // Classes whose rate comes from the class object (rate files, traces): asked one by one, in
  // class order, before the other classes' rates are found in parallel.
  std::vector<std::uint32_t> objectRateClasses_;
  // The pass of UpdateOccupiedShares: every entry of each queue whose N is not 0 takes
  // share(k, i, queue), and the queue's occupancy the sum of them in its list's order.
  template <class Share>
  void SharesQueueByQueue(Share&& share) {
    ForQueues([&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        QueueState& q = queues[i];
        if (q.N == 0) continue;
        double sum = 0;
        for (std::uint32_t j = queueEntryStart_[i]; j < queueEntryStart_[i + 1]; ++j) {
          const std::uint32_t k = queueEntries_[j];
          n[k] = share(k, i, q);
          sum += n[k];
        }
        if (!Settled(i)) q.occupancy = sum;
      }
    });
    OccupancySummed();
  }
  // Propagate's walk over two entries of a path that both have a queue, k and k + 1, from the
  // rate r offered to the first; returns the rate passed on by the second. The two divisions of
  // each entry (the scaled share, then the departure rate) go two entries at a time, each lane
  // giving the same bits as the one-entry formulas.
  template <bool kScale, bool kRelax = false>
  double WalkPair(size_t k, double r) {
    const QueueState& a = queues[static_cast<size_t>(queueOf[k])];
    const QueueState& b = queues[static_cast<size_t>(queueOf[k + 1])];
#if defined(__SSE2__)
    const __m128d zero = _mm_setzero_pd();
    const __m128d N = _mm_set_pd(b.N, a.N);
    const __m128d occupied = _mm_cmpneq_pd(N, zero);  // true for a NaN, as N != 0 is
    __m128d share = _mm_loadu_pd(&n[k]);
    const __m128d previous = _mm_loadu_pd(&x[k]);
    if constexpr (kRelax) {
      // The relaxation that the queues' last step left, scaled to their N (0 where N is 0).
      const ShareRelaxation& ra = shareScale_[static_cast<size_t>(queueOf[k])];
      const ShareRelaxation& rb = shareScale_[static_cast<size_t>(queueOf[k + 1])];
      share = _mm_add_pd(_mm_mul_pd(share, _mm_set_pd(rb.decay, ra.decay)),
                         _mm_mul_pd(previous, _mm_set_pd(rb.admitted, ra.admitted)));
      _mm_storeu_pd(&n[k], share);
    } else if constexpr (kScale) {
      // A queue's N of 0, or a sum of 0, scales the share to 0 (the lanes' quotients are dropped).
      const __m128d sum = _mm_set_pd(b.occupancy, a.occupancy);
      const __m128d scaled = _mm_div_pd(_mm_mul_pd(N, share), sum);
      share = _mm_and_pd(_mm_and_pd(occupied, _mm_cmpneq_pd(sum, zero)), scaled);
      _mm_storeu_pd(&n[k], share);
    }
    const __m128d departure =
        _mm_div_pd(_mm_mul_pd(_mm_mul_pd(share, _mm_set_pd(b.U, a.U)), _mm_set_pd(b.mu, a.mu)), N);
    const __m128d passed = _mm_or_pd(_mm_and_pd(occupied, departure), _mm_andnot_pd(occupied, previous));
    _mm_storeu_pd(&x[k], _mm_unpacklo_pd(_mm_set_sd(r), passed));
    return _mm_cvtsd_f64(_mm_unpackhi_pd(passed, passed));
#else
    for (const QueueState* q : {&a, &b}) {
      const double previous = x[k];
      x[k] = r;
      if (kRelax) {
        n[k] = RelaxedShare(k, previous);
      } else if (kScale) {
        n[k] = q->N == 0 ? 0.0 : NormalizedShare(n[k], q->N, q->occupancy);
      }
      r = DepartureRate(n[k], q->N, q->U, q->mu, previous);
      ++k;
    }
    return r;
#endif
  }
  // Queue i's arrival rate, the sum of what its entries offer in the order of its list; where TCP
  // is shared, the TCP entries come first in the list, and the sum is that of the TCP part (into
  // tcpPart) and of the rest. With SumArrivals, into the queue and, where TCP is shared, beside
  // the TCP part of it.
  double ArrivalSum(size_t i, double* tcpPart = nullptr) const {
    double sum = 0;
    std::uint32_t k = queueEntryStart_[i];
    if (shareTcp_) {
      for (; k < queueTcpEnd_[i]; ++k) sum += x[queueEntries_[k]];
      if (tcpPart != nullptr) *tcpPart = sum;
      double other = 0;
      for (; k < queueEntryStart_[i + 1]; ++k) other += x[queueEntries_[k]];
      return sum + other;
    }
    for (; k < queueEntryStart_[i + 1]; ++k) sum += x[queueEntries_[k]];
    return sum;
  }
  void SumArrivals(size_t i) {
    double tcp = 0;
    const double sum = ArrivalSum(i, &tcp);
    queues[i].lambda = sum;
    if (!shareTcp_) return;
    lambda_[i] = sum;
    tcpArrival_[i] = tcp;
  }
  // After the occupancy sums: the shares are left to scale, and the settled queues known.
  void OccupancySummed();
  // Counts a step finished; from the second on, the settled queues are known.
  void CountStep();
  // Entry k's share after the relaxation that StepQueuesRelaxingShares left, from x, what the
  // class offered the queue before the propagation.
  double RelaxedShare(size_t k, double x) const {
    const ShareRelaxation& r = shareScale_[static_cast<size_t>(queueOf[k])];
    return n[k] * r.decay + x * r.admitted;
  }
  // Every entry with a queue is in that queue's list, once (see UpdateOccupiedShares).
  bool listsHoldEveryEntry_ = false;
  // SumOccupancy has run and the shares are still to be scaled.
  bool scalePending_ = false;
  // See DeferArrivalSums; sumsPending_ when the last propagation has left the sums.
  bool deferSums_ = false;
  bool sumsPending_ = false;
  // With deferred sums: per queue, the sum of its entries' shares (shareSum_) and the relaxation
  // of its last step scaled to its N (shareScale_), which the next propagation applies to the
  // shares as it walks the paths when relaxPending_.
  std::vector<double> shareSum_;
  std::vector<ShareRelaxation> shareScale_;
  bool relaxPending_ = false;
  // Per queue: no path crosses it and it was empty when the run started (uncrossed_), and, from
  // the third step on, the same (settled_); steps counts the steps finished (SumOccupancy calls).
  std::vector<size_t> firstImpossible_;  // per small part of the queues, see CheckedPart
  bool termsCurrent_ = false;            // see RoundTripTermsSet
  std::vector<std::uint8_t> uncrossed_;
  std::vector<std::uint8_t> settled_;
  int steps_ = 0;
  // Refined model with TCP classes: the TCP classes' shared rates (RunSetup::ShareTcp) from each
  // queue's arrival rate (kept beside the queues' own, where those are summed), service rate and
  // TCP part of the arrivals at the last propagation; the TCP part is summed over the TCP entries
  // at the front of the queue's list (up to queueTcpEnd_).
  bool shareTcp_ = false;
  std::vector<double> lambda_, mu_, tcpArrival_;
  std::vector<std::uint32_t> queueTcpEnd_;
};

}  // namespace varlo
