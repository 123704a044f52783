// What both evaluation runs set up from the document before their first step: the queues in link
// order, each class with the way its rate is found and its path resolved to positions, the rate
// files opened once to check them, and the classes that cannot reach their destination. The two
// steppers (compute_metrics_stepper.h, z_iteration_stepper.h) run on this.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/fluid_formulas.h"
#include "engine/refined_model.h"
#include "engine/run.h"
#include "engine/tcp_profile.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "platform/core/thread_pool.h"

namespace varlo {

class CTcpProfiles;

// "A -> B" of a class's end nodes, for messages.
std::string EndNames(const CTrafficClass& c);
// Names the class, the time and the point of a lookup outside the NetBSD profile's table.
void LocateOutOfTable(CProfileOutOfTableException& e, const CTrafficClass& c, double time, double roundTrip,
                      double loss);

enum class RateKind : std::uint8_t { kConstant, kTcp, kFromClass };

struct ClassInfo {
  CTrafficClass* object = nullptr;
  RateKind kind = RateKind::kFromClass;
  bool unreachable = false;
  double constantRate = 0.0;
  CTCPClass* tcp = nullptr;
  // The class's active interval (CTrafficClass::IsActive), kept here so that deciding which classes
  // change their rates does not reach into every class object at every propagation.
  double startTime = 0.0;
  double stopTime = 0.0;
  bool IsActive(double t) const { return CTrafficClass::ActiveAt(startTime, stopTime, t); }
  // Path entries: [firstEntry, firstEntry + entryCount) of the entry arrays.
  std::uint32_t firstEntry = 0;
  std::uint32_t entryCount = 0;
  // TCP round trip: [firstRttQueue, ... + rttQueueCount) of rttQueues, forward then return path.
  std::uint32_t firstRttQueue = 0;
  std::uint32_t rttQueueCount = 0;
  std::uint32_t forwardQueueCount = 0;  // the first ones of the round trip
  std::uint32_t tcpIndex = 0;           // refined model: the class's place among the TCP classes
  // Refined model: the TCP rate of this propagation once the bottlenecks are shared out, and the
  // rate the class gets through its path (what a dump row shows for it).
  double sharedRate = 0.0;
  double deliveredRate = 0.0;
  // Refined model: the round trip with every queue empty (delays and one packet's sending time at
  // each queue), s; below 0 until first needed.
  double idleRoundTrip = -1.0;
  // Rate offered at the last propagation, which is what a dump row at that time shows.
  double lastRate = 0.0;
  // Refined model, a TCP class being raised towards the room of its path: the queue of its path
  // with the least room, where its window waits (RunSetup::kNoQueue otherwise), its time away from
  // that queue (the rest of its round trip and its wait before sending), s, the rate it offered,
  // and the time of that propagation, s.
  std::uint32_t loopQueue = 0xFFFFFFFFu;
  double loopThinkTime = 0.0;
  double loopRate = 0.0;
  double loopTime = 0.0;
  // The mean window its bursts leave it at the first queue of its path (refined model), packets.
  double firstHopWindow = kTcpMaximumWindowPackets;
  // The mean window its trains leave it where they meet other classes' trains further on, packets.
  double meetWindow = kTcpMaximumWindowPackets;
  bool loopHeld = false;  // its rate came from its loop, or eased from it, at the last propagation
  // The last profile lookup of a TCP class; the lookup is a pure function of its two arguments.
  bool hasLookup = false;
  double lookupRoundTrip = 0.0;
  double lookupLoss = 0.0;
  double lookupValue = 0.0;
  // Refined model: a TCP class decides its rate about once per round trip (RunSetup::ShareTcp). The
  // time of its last decision (below 0 before the first) and the time since the one before it, s;
  // the spacing of the times it decides at, s (0: at every propagation), and the first multiple of it
  // after the last decision, where it decides next (the spacing being a power of two, this is exactly
  // where time / spacing first reaches the next whole number); whether it was active and
  // whether the loop of its queue (loopQueue) held at its last decision; whether it decides at this
  // propagation.
  double decisionTime = -1.0;
  double sinceDecision = 0.0;
  double decisionGrid = 0.0;
  double nextDecision = 0.0;
  bool decisionActive = false;
  bool decisionLooped = false;
  bool decidesNow = true;
};

// Per queue, what a TCP round trip adds: N/mu, then the delay, and the factor 1 - P of success.
// Each TCP class crossing the queue would compute exactly these numbers itself.
struct RoundTripTerms {
  double waiting;  // N/mu, s
  double delay;    // s
  double success;  // 1 - P
};

struct RunSetup {
  std::vector<C_MM1K_Queue*> queues;  // link order, forward then backward
  std::vector<ClassInfo> classes;     // class-list order
  std::vector<std::uint32_t> rttQueues;
  std::vector<PathEntry*> entryObjects;  // every class's path, class by class
  std::unordered_map<const CQueue*, std::uint32_t> queueIndex;
  int tcpProfile = 0;
  const CTcpProfiles* profiles = nullptr;
  // The threads the steppers share their loops with, held for the whole run.
  std::shared_ptr<CThreadPool> pool;
  bool refined = false;  // the refined model (engine/refined_model.h) instead of the classic one
  bool hasTcp = false;
  static constexpr std::uint32_t kNoQueue = 0xFFFFFFFFu;
  // The longest a TCP class of the refined model goes without deciding its rate again, s (see
  // ShareTcp).
  static constexpr double kLongestDecisionGap = 0.1;
  // Refined model, per queue: what the window-held TCP classes bring to it (set by ShareTcp for the
  // queues' next step), and the time their packets spent in it at the last step, -1 where the
  // queue's open law held (set by the steppers).
  std::vector<ClosedLoopLoad> closedLoads;
  std::vector<double> closedSojourns;
  // Per queue, the mean window of each class its loop holds (RefinedQueueStep), packets.
  std::vector<LoopWindow> loopWindows;
  // Refined model, per queue: the share of its arrivals that is Poisson for the waiting of the TCP
  // packets there (PacedSojourn), 1 where some TCP class crossing it has it as its tightest queue
  // at the last propagation (their windows, not chance, fill it), no TCP class crosses it or its
  // own law keeps the paced share of the waiting (queueBursts below 1; set by ShareTcp).
  std::vector<double> poissonShares;
  // Refined model, per queue: the mean size of the bursts its packets arrive in, packet-weighted
  // (BurstyClosedForm): 1 plus what the TCP classes crossing it add (TcpBurstExcess at their
  // rates, where their bursts reach it: in full at the first queue of their path, and past slower
  // queues by 1 - its rate over that of the slowest queue before it, none past a queue as slow),
  // per packet it gets. Followed over about a second and changed only by more than 0.2 %: the
  // queue then finds its closed form again. Below 1 where no bursts reach it and TCP's packets come
  // paced: the share of the waiting they keep (PacedClosedForm). Set by ShareTcp; empty where no TCP
  // class is evaluated.
  std::vector<double> queueBursts;
  // Refined model, per queue: the places of its buffer that its data packets can fill beside the
  // acknowledgements of the TCP classes whose way back crosses it (DataBuffer, at their delivered
  // rates of their last decisions), changed only by more than 0.2 %: the queue then finds its
  // closed form again. Set by ShareTcp; empty where no TCP class is evaluated.
  std::vector<double> dataBuffers;

  // Refined model with TCP classes: what a dump row shows for each TCP class, ShownTcpRate. Each
  // class decides its rate at its own times (ShareTcp), in shares of a queue's room that assume the
  // other classes' rates of their last decisions; until they decide again, the classes crossing a
  // queue could be shown getting more than its room together (for a round trip after a class
  // starts, say). Where they would, their rates as shown are scaled down together to fill it, by
  // the smallest such factor over each class's forward path. Call after a propagation.
  void ShareShownRates();
  double ShownTcpRate(const ClassInfo& info) const {
    return shownCapped_ ? shownRates_[info.tcpIndex] : tcpDelivered_[info.tcpIndex];
  }

  // A TCP class's time in queue i: N/mu as first described, the M/M/1/K sojourn when refined
  // (its waiting scaled where TCP's packets come paced, see poissonShares). A queue that sends
  // nothing holds a class for ever.
  double Waiting(size_t i, double N, double U, double mu) const {
    if (refined) {
      const double sojourn = RefinedSojourn(N, U, mu);
      return i < poissonShares.size() ? PacedSojourn(sojourn, mu, U, poissonShares[i]) : sojourn;
    }
    return mu > 0 ? N / mu : HUGE_VAL;
  }

  // Refined model (engine/refined_model.h): each TCP class's profile rate into info.sharedRate,
  // raised by the smallest factor over its forward path that makes the TCP classes of a queue fill
  // the room the other load offered there leaves (lambda minus the TCP part tcpArrival of the last
  // propagation), but never beyond the class's window per round trip, never lowered by that factor
  // and no further than the rate TCP keeps up against the Poisson traffic's losses (which may be
  // below the profile rate); and into
  // info.deliveredRate what the class gets through its path: the offered rate times the path's
  // success, at most its share of every queue's room. A raise fills only the part of a queue's room
  // that flows losing together keep busy with the TCP part of its buffer (TcpSawtoothUtilisation at
  // the rate-weighted idle round trip of the TCP classes there). The offered rate is also the
  // class's lastRate and classRates[c], what the propagation carries along its path; the classes of
  // constant rate get theirs there too, on the way through the classes. forClasses(body) runs
  // body(begin, end) over the classes in parts, which may be shared by threads, and forQueues(body)
  // over the queues: each class's own values are found in the first, each queue's sums over its
  // classes (in class order) in the second.
  // A TCP class decides its rate about once per round trip: a window changes its sending once per
  // round trip, when the acknowledgements of what it sent come back. Between its decisions a class
  // keeps its rates, and the queues' sums take its values of the last one. It decides at the first
  // propagation past each multiple of the largest power of two seconds not above its round trip,
  // so that classes of like round trips decide together (each class deciding a round trip after its
  // own last decision, on a random mesh of 50 routers queues swung by up to 40 %); at least every
  // kLongestDecisionGap, as a round trip found while a queue of the path was full may be far longer
  // than the next; and at once when it starts or stops sending, or when the loop of the queue where
  // its window waits forms or breaks. (Deciding at every step, the passes over the classes took
  // most of the refined model's extra time, for the same agreement with ns.)
  template <class QueueAt, class ForClasses, class ForQueues>
  void ShareTcp(double time, QueueAt&& at, const std::vector<double>& lambda, const std::vector<double>& mu,
                const std::vector<double>& buffers, const std::vector<double>& tcpArrival,
                std::vector<double>& classRates, ForClasses&& forClasses, ForQueues&& forQueues) {
    const size_t n = lambda.size();
    forClasses([&](size_t begin, size_t end) {
      for (size_t c = begin; c < end; ++c) {
        ClassInfo& info = classes[c];
        if (info.unreachable) continue;
        if (info.kind == RateKind::kConstant) {
          info.lastRate = Rate(info, time, at);
          classRates[c] = info.lastRate;
          continue;
        }
        if (info.kind != RateKind::kTcp) continue;
        const bool active = info.IsActive(time);
        // (closedSojourns is sized below at the first propagation.)
        const bool looped = info.loopQueue != kNoQueue && info.loopQueue < closedSojourns.size() &&
                            closedSojourns[info.loopQueue] >= 0.0;
        info.decidesNow = info.decisionTime < 0.0 || time < info.decisionTime || !(info.decisionGrid > 0.0) ||
                          time >= info.nextDecision || active != info.decisionActive || looped != info.decisionLooped;
        if (!info.decidesNow) continue;
        info.sinceDecision = info.decisionTime >= 0.0 && time > info.decisionTime ? time - info.decisionTime : 0.0;
        info.decisionTime = time;
        info.decisionActive = active;
        info.sharedRate = TcpRate(info, time, at);
        // (Written so that a round trip that is not a number gives the longest gap. An inactive
        // class has no round trip: it looks again at the next propagation.)
        const double gap = info.lookupRoundTrip < kLongestDecisionGap ? info.lookupRoundTrip : kLongestDecisionGap;
        int exponent = 0;
        std::frexp(gap, &exponent);  // gap = m 2^exponent, 1/2 <= m < 1
        info.decisionGrid = active && gap > 0.0 ? std::ldexp(0.5, exponent) : 0.0;
        info.nextDecision =
            info.decisionGrid > 0.0 ? (std::floor(time / info.decisionGrid) + 1.0) * info.decisionGrid : 0.0;
        info.deliveredRate = info.sharedRate;
        ClassLoad& load = classLoads_[info.tcpIndex];
        load.demand = static_cast<float>(info.sharedRate);
        // (from the rate it offered at the last propagation)
        classBursts_[info.tcpIndex] = static_cast<float>(info.lastRate * TcpBurstExcess(info.lastRate));
        if (info.sharedRate == 0) {
          load.demandTrip = 0.0f;
          continue;
        }
        if (info.idleRoundTrip < 0) {
          const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
          double trip = info.tcp->sinkDelay;
          for (std::uint32_t i = 0; i < info.rttQueueCount; ++i) trip += at(q[i]).delay + 1.0 / mu[q[i]];
          info.idleRoundTrip = trip;
        }
        load.demandTrip = static_cast<float>(info.sharedRate * info.idleRoundTrip);
      }
    });
    // Each queue's sums over the classes of its list, which holds them in class order, as adding
    // class by class along each forward path would give them (a class whose rate is 0 adds 0 to
    // both, which leaves them as they are).
    tcpFactors_.resize(n, {0.0, 0.0, 1.0, 0.0});
    poissonShares.resize(n, 1.0);
    poissonFollow_.resize(n, 1.0);
    queueBursts.resize(n, 1.0);
    dataBuffers.resize(n);
    burstFollow_.resize(n, 1.0);
    burstTcp_.resize(n, 0.0);
    burstPieces_.resize(n);
    windowsFill_.resize(n, 1);
    bufferPoisson_.resize(n, 0.0);
    tcpRoom_.resize(n, 0.0);
    randomLoss_.resize(n, 0.0);
    burstLoss_.resize(n, 0.0);
    sawtoothLoss_.resize(n, 1.0);
    sawtoothWeight_.resize(n, 0.0);
    closedLoads.resize(n);
    steadyLoss_.resize(n, 0.0);
    loopTimesAway_.resize(demandClasses_.size());
    if (closedSojourns.size() != n) closedSojourns.assign(n, -1.0);
    if (loopWindows.size() != n) loopWindows.assign(n, LoopWindow{});
    // A queue's mix of paced and Poisson packets moves towards that of this propagation over about
    // kMixTime: taken at once, the round trips and the mixes they set chase one another (on a mesh
    // of 30 routers sizes swung by 4 % with a period of four steps).
    constexpr double kMixTime = 0.1;  // s, a few round trips
    const double mixFollow = time > sharesTime_ ? (time - sharesTime_) / (time - sharesTime_ + kMixTime) : 0.0;
    // A queue's bursts follow the rates of its classes over about a second, and change only by more
    // than kBurstStep. (Over a few round trips, as the mix does, they fed back into the rates that
    // make them: on random meshes of 40 to 100 routers queues swung by up to a quarter with a
    // period of a second.)
    constexpr double kBurstTime = 1.0;  // s
    constexpr double kBurstStep = 0.002;
    const double burstMix = time > sharesTime_ ? (time - sharesTime_) / (time - sharesTime_ + kBurstTime) : 0.0;
    forQueues([&](size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        double acknowledgements = 0.0;  // packets/s
        for (std::uint32_t j = ackClassStart_[i]; j < ackClassStart_[i + 1]; ++j)
          acknowledgements += slotRates_[j];
        double& buffer = dataBuffers[i];
        const double places = DataBuffer(buffers[i], acknowledgements, mu[i]);
        if (!(buffer > 0.0) || std::fabs(places - buffer) > kBurstStep * buffer) buffer = places;
        double demand = 0.0;
        double demandTrip = 0.0;
        double bunches = 0.0;  // of the classes whose windows wait here
        // The classes whose windows wait here, their times away in this queue's slots of the list;
        // the largest of their least factors at the last propagation (PileUpWeight).
        float mostLeastShare = 0.0f;
        // (the same of the classes whose tightest queue does not come before this one, kPastTightest)
        float mostLeastShareHere = 0.0f;
        std::uint32_t sending = 0;
        const bool meets = meetsAt_[i] != 0;
        ClosedLoopLoad loop;
        loop.timesAway = loopTimesAway_.data() + demandClassStart_[i];
        for (std::uint32_t j = demandClassStart_[i]; j < demandClassStart_[i + 1]; ++j) {
          const std::uint32_t slot = demandClasses_[j];
          const ClassLoad& load = classLoads_[slot & kClassOfSlot];
          mostLeastShare = std::max(mostLeastShare, load.leastShare);
          mostLeastShareHere = std::max(mostLeastShareHere, slot & kPastTightest ? 0.0f : load.leastShare);
          demand += load.demand;
          sending += load.demand != 0.0f;
          demandTrip += load.demandTrip;
          if (load.loopQueue == i && load.demand != 0.0f) {
            const ClassLoop& own = classLoops_[slot & kClassOfSlot];
            loopTimesAway_[demandClassStart_[i] + loop.classes++] = own.away;
            loop.offered += own.rate;
            bunches += own.bunch;
          }
        }
        if (loop.classes > 0) loop.cluster = bunches / loop.classes;
        // (A class's bursts reach its first queue whole, and only that one; its trains meet others'
        // at one queue further on at most.)
        double meetDrops = 0.0;  // packets/s
        if (trainDropsSeen_.load(std::memory_order_relaxed)) {
          for (std::uint32_t j = burstClassStart_[i]; j < burstClassStart_[i + 1]; ++j) {
            const std::uint32_t cls = burstClasses_[j];
            if (burstReach_[j] == 1.0f) loop.trainDrops += classTrainDrops_[cls];
            if (classMeetQueue_[cls] == i) meetDrops += classMeetDrops_[cls];
          }
          loop.trainDrops += meetDrops;
        }
        closedLoads[i] = loop;
        const double other = lambda[i] > tcpArrival[i] ? lambda[i] - tcpArrival[i] : 0.0;
        tcpRoom_[i] = mu[i] > other ? mu[i] - other : 0.0;
        if (meets) {
          // (Windows that nearly fill it keep a queue there that their bursts come to one by one.)
          constexpr double kWindowsLeaveRoom = 0.8;
          double windowsRate = 0.0;  // 1/s: the sum of one over the classes' idle round trips
          for (std::uint32_t j = demandClassStart_[i]; j < demandClassStart_[i + 1]; ++j) {
            const ClassLoad& load = classLoads_[demandClasses_[j] & kClassOfSlot];
            if (load.demandTrip > 0.0f) windowsRate += load.demand / load.demandTrip;
          }
          windowsFill_[i] = kTcpMaximumWindowPackets * windowsRate > kWindowsLeaveRoom * tcpRoom_[i];
        }
        // (Windows of TCP alone that fit in the buffer whole never overflow it: TcpWindowsFit.)
        closedLoads[i].windowsFit =
            sending > 0 && TcpAloneAt(other, lambda[i]) && TcpWindowsFit(sending, buffer);
        // (What the trains lose where they meet others' is their windows' to count: MeetWindow. The
        // queue's own law still counts.)
        const double success =
            meetDrops > 0.0 && lambda[i] > 0.0
                ? std::min(at(i).success + meetDrops / lambda[i], 1.0 - loopWindows[i].lawLoss)
                : at(i).success;
        // Whether a burst's drops at the queue make one loss event or one each (TcpBurstLoss).
        bool dropsByBurst = false;
        {
          // (Most classes bring their bursts to the first queue of their path only: a list apart.)
          // Where TCP has the queue to itself, the shortest and the longest idle round trip of the
          // classes whose bursts come here (AlikeRoundTripBurstShare).
          const bool tcpAlone = TcpAloneAt(other, lambda[i]);
          double burst = 0.0;
          double burstTcp = 0.0;
          // (of the classes that know the pieces their windows go in, MeetWindow)
          double knownRate = 0.0;
          double pieceRate = 0.0;
          double windowRate = 0.0;
          double shortestTrip = HUGE_VAL;
          double longestTrip = 0.0;
          for (std::uint32_t j = burstClassStart_[i]; j < burstClassStart_[i + 1]; ++j) {
            const std::uint32_t cls = burstClasses_[j];
            burst += burstReach_[j] * classBursts_[cls];
            const ClassLoad& load = classLoads_[cls];
            if (meets) burstTcp += tcpDelivered_[cls];
            if (meets && classPiece_[cls] > 0.0f) {
              knownRate += tcpDelivered_[cls];
              pieceRate += tcpDelivered_[cls] * classPiece_[cls];
              windowRate += tcpDelivered_[cls] * classWindow_[cls];
            }
            if (tcpAlone && load.demand != 0.0f) {
              const double trip = load.demandTrip / load.demand;
              shortestTrip = std::min(shortestTrip, trip);
              longestTrip = std::max(longestTrip, trip);
            }
          }
          if (tcpAlone && longestTrip <= kAlikeRoundTrips * shortestTrip) {
            burst *= AlikeRoundTripBurstShare(sending);
            dropsByBurst = true;
          } else if (tcpAlone) {
            burst *= UnlikeRoundTripBurstShare(sending);
            dropsByBurst = !UnlikeRoundTripTrains(sending);
          }
          burstTcp_[i] = burstTcp;
          burstPieces_[i] = {knownRate, pieceRate, windowRate};
          const double target = lambda[i] > 0.0 ? 1.0 + burst / lambda[i] : 1.0;
          double& follow = burstFollow_[i];
          follow += (target - follow) * burstMix;
          double& used = queueBursts[i];
          if (follow < 1.0 + kBurstStep / 4.0) {
            // (No bursts: the packets' pacing below decides where TCP sends here.)
            if (used > 1.0 || demand == 0) used = 1.0;
          } else if (std::fabs(follow - used) > kBurstStep * used) {
            used = follow;
          }
        }
        if (demand == 0) {
          tcpFactors_[i] = {1.0, 1.0, success, 1.0 - success};
          steadyLoss_[i] = SteadyQueueLoss(lambda[i], mu[i], buffer, queueBursts[i], closedLoads[i]);
          poissonShares[i] = 1.0;
          poissonFollow_[i] = 1.0;
          continue;
        }
        const double share = RefinedTcpShare(demand, other, mu[i]);
        const double poisson = lambda[i] > 0.0 ? other / lambda[i] : 1.0;
        const double pileUp = PileUpWeight(tcpFactors_[i].share, mostLeastShare);
        poissonFollow_[i] += (poisson + (1.0 - poisson) * pileUp - poissonFollow_[i]) * mixFollow;
        // Where no class brings its bursts, the TCP packets that come from the link that brings the
        // most of them arrive spaced by it, where it sends no faster than this queue (the others'
        // merge at random), and the queue keeps the paced share of the M/M/1/K waiting
        // (PacedQueueingScale, PacedClosedForm) but where their windows pile up.
        if (burstFollow_[i] < 1.0 + kBurstStep / 4.0) {
          double most = 0.0;
          const double* pacedRates = slotRates_.data() + ackClasses_.size();
          std::uint32_t j = pacedClassStart_[i];
          for (std::uint32_t r = pacedRunStart_[i]; r < pacedRunStart_[i + 1]; ++r) {
            double from = 0.0;
            for (const std::uint32_t end = pacedRunEnds_[r]; j < end; ++j) from += pacedRates[j];
            most = std::max(most, from);
          }
          most = std::min(most, tcpArrival[i]);
          // A class's window piles up at the first of its tightest queues: it sends no faster than
          // that queue's room, which leaves it no more to pile up at a queue as tight after it.
          const double pileUpHere = PileUpWeight(tcpFactors_[i].share, mostLeastShareHere);
          const double pacedPoisson = lambda[i] > 0.0 ? 1.0 - (1.0 - pileUpHere) * most / lambda[i] : 1.0;
          pacedPoisson_[i] += (pacedPoisson - pacedPoisson_[i]) * mixFollow;
          const double busy = mu[i] > 0.0 ? std::min(lambda[i] * success / mu[i], 1.0) : 1.0;
          const double paced = PacedQueueingScale(pacedPoisson_[i], busy);
          double& used = queueBursts[i];
          if (std::fabs(paced - used) > kBurstStep * used) used = paced;
        }
        // (A queue whose law keeps the paced share of the waiting already holds what they wait for.)
        poissonShares[i] = queueBursts[i] < 1.0 ? 1.0 : poissonFollow_[i];
        // The windows' sawtooth fills the part of the buffer that TCP's packets hold: the Poisson
        // packets hold the rest, in proportion to what they bring.
        bufferPoisson_[i] += (poisson - bufferPoisson_[i]) * mixFollow;
        const double tcpBuffer = buffer * (1.0 - bufferPoisson_[i]);
        // The losses its Poisson traffic causes TCP's packets, at the top of the windows' sawtooth
        // as far as the queue settles there within the top (TcpToothTopReach; none where the
        // queue drops nothing: its windows' loop holds, or it hardly fills). (Counted in full, the
        // three flows of a dumbbell with 350 packets/s of Poisson traffic on a buffer of 40 kept up
        // against 0.9 % of loss and carried 518 packets/s, where ns's lose 0.21 %, no more than
        // the Poisson packets, and carry 597.)
        double poissonLoss = 0.0;
        if (success < 1.0 && poisson > 0.0) {
          const double top = TcpToothTopLoss(lambda[i], tcpArrival[i], sending, mu[i], buffer, queueBursts[i]);
          const double reach = TcpToothTopReach(demand / sending, demandTrip / demand, mu[i], buffer,
                                                std::max(queueBursts[i], 1.0));
          const double mean = 1.0 - success;
          poissonLoss = (top > mean ? mean + (top - mean) * reach : top) * poisson;
        }
        randomLoss_[i] += (poissonLoss - randomLoss_[i]) * mixFollow;
        // The losses TCP's own bursts cause (TcpBurstLoss), where the buffer is too small for the
        // windows' sawtooth to fill it, followed over about a second as the bursts are. (Over a
        // few round trips, as the Poisson traffic's, the queues of a random mesh of 8 routers with
        // buffers of 20 swung by a third with the rates they hold back.)
        const double bandwidthDelay = share * demandTrip;
        burstLoss_[i] +=
            (TcpBurstLoss(1.0 - success, dropsByBurst ? std::max(queueBursts[i], 1.0) : 1.0, tcpBuffer,
                          bandwidthDelay) -
             burstLoss_[i]) * burstMix;
        tcpFactors_[i] = {share, share * TcpSawtoothUtilisation(tcpBuffer, bandwidthDelay), success,
                          std::max(randomLoss_[i], burstLoss_[i])};
        // The loss of the windows' sawtooth where TCP fills the queue (TcpSawtoothLoss, at
        // the windows of the room and the classes' round trip with the queue's waiting) and how
        // much of it the queue shows (TcpSawtoothWeight), both followed over about a second as the
        // bursts are; and what the sawtooth's mean queue and overflow are found from where the
        // queue's step needs them.
        const double windows = bandwidthDelay + tcpRoom_[i] * at(i).waiting;
        sawtoothLoss_[i] += (TcpSawtoothLoss(sending, windows) - sawtoothLoss_[i]) * burstMix;
        sawtoothWeight_[i] +=
            (TcpSawtoothWeight(bufferPoisson_[i], tcpBuffer, bandwidthDelay) - sawtoothWeight_[i]) * burstMix;
        closedLoads[i].sawtoothLoss = sawtoothLoss_[i];
        closedLoads[i].sawtoothWeight = sawtoothWeight_[i];
        closedLoads[i].sawtoothFlows = sending;
        closedLoads[i].sawtoothBuffer = tcpBuffer;
        closedLoads[i].sawtoothProduct = bandwidthDelay;
        steadyLoss_[i] = SteadyQueueLoss(lambda[i], mu[i], buffer, queueBursts[i], closedLoads[i]);
      }
    });
    sharesTime_ = time;
    forClasses([&](size_t begin, size_t end) {
      for (size_t c = begin; c < end; ++c) {
        ClassInfo& info = classes[c];
        if (info.kind != RateKind::kTcp || info.unreachable || !info.decidesNow) continue;
        const double dt = info.sinceDecision;  // since the class's last decision
        double leastShare = 0.0;
        if (info.sharedRate != 0 && info.forwardQueueCount != 0) {
          const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
          double share = tcpFactors_[q[0]].share;
          double raise = tcpFactors_[q[0]].raise;
          double success = tcpFactors_[q[0]].success;
          // The path's success against the Poisson part of each queue's losses.
          double randomSuccess = 1.0 - tcpFactors_[q[0]].randomLoss;
          std::uint32_t tightest = q[0];
          std::uint32_t tightestAt = 0;
          for (std::uint32_t i = 1; i < info.forwardQueueCount; ++i) {
            const TcpFactors& f = tcpFactors_[q[i]];
            if (f.share < share) {
              tightest = q[i];
              tightestAt = i;
            }
            share = std::min(share, f.share);
            raise = std::min(raise, f.raise);
            success *= f.success;
            randomSuccess *= 1.0 - f.randomLoss;
          }
          // A raise stops at the rate TCP keeps up against the losses the queues' Poisson traffic
          // and TCP's bursts cause at random on the path (TcpRandomLossRate), each round trip with
          // the sender's wait before sending at the raised rate, below the profile rate if need
          // be. (Those losses follow the queues' mix over a few round trips: taken at once, a
          // single flow beside Poisson traffic swung between two rates step after step.)
          const auto capped = [&](RefinedTcpRates r) {
            if (r.offered <= info.sharedRate) return r;
            const double trip = info.lookupRoundTrip + TcpSenderWait(r.offered);
            const double top = TcpRandomLossRate(1.0 - randomSuccess, trip);
            if (r.offered > top) {
              // Moving there as a window does, over a round trip: taken at once, three classes of
              // one round trip, deciding together, swung between 100 and 255 packets/s at a buffer
              // of 10 packets that their bursts overflow.
              const double rate =
                  dt > 0.0 && info.lastRate > 0.0 ? TcpWindowFollow(info.lastRate, top, dt, info.lookupRoundTrip) : top;
              r.delivered *= rate / r.offered;
              r.offered = rate;
            }
            return r;
          };
          // A window adapts its sending once per round trip: a class raised towards the room whose
          // rate came from its loop (or eased from it) at its last decision moves from that rate
          // towards its new one by dt / (dt + round trip). (Taken at once, a class whose loop
          // stopped holding fell from the loop's rate to a fifth of it in one step and formed the
          // loop again from there: on a random mesh queues swung by half their size.)
          bool heldNow = false;  // the class's loop holds at this propagation
          bool easing = false;   // its rate eases from its last one
          const auto adapted = [&](RefinedTcpRates r) {
            if (!info.loopHeld || !(dt > 0.0) || !(info.lastRate > 0.0) || !(r.offered > 0.0)) return r;
            easing = true;
            const double rate = TcpWindowFollow(info.lastRate, r.offered, dt, info.lookupRoundTrip);
            r.delivered *= rate / r.offered;
            r.offered = rate;
            return r;
          };
          // A class whose window held it at a queue's loop at the last step stays with that loop for
          // as long as the loop holds (its profile rate, which the loop's shorter round trip raises,
          // no longer decides); another is raised towards the room, and its window waits at the
          // tightest queue of its path.
          leastShare = share;
          if (tightestAt != classTightestAt_[info.tcpIndex]) {
            classTightestAt_[info.tcpIndex] = tightestAt;
            for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i) {
              std::uint32_t& slot = demandClasses_[forwardSlots_[info.firstRttQueue + i]];
              slot = (slot & kClassOfSlot) | (i > tightestAt ? kPastTightest : 0u);
            }
          }
          const bool looped = info.loopQueue != kNoQueue && closedSojourns[info.loopQueue] >= 0.0;
          if (looped) tightest = info.loopQueue;
          const double firstHopWindow = FirstHopWindow(info, dt, lambda, mu, buffers, at);
          const double firstHopRate = firstHopWindow < kTcpMaximumWindowPackets
                                          ? TcpWindowRate(info.lookupRoundTrip, firstHopWindow)
                                          : HUGE_VAL;
          const double meetWindow = MeetWindow(info, dt, lambda, mu, buffers, at);
          double meetRate = meetWindow < kTcpMaximumWindowPackets
                                ? TcpWindowRate(info.lookupRoundTrip, meetWindow)
                                : HUGE_VAL;

          // Where the windows of the TCP classes at the tightest queue fit in its buffer whole, they
          // wait there as a loop even where they ask for more than it sends: its buffer holds what
          // they bring beyond the room, and nothing overflows.
          if (looped || (share >= 1.0 && std::min(share, raise) > 1.0) || closedLoads[tightest].windowsFit) {
            const double previous = info.loopQueue == tightest ? info.loopRate : info.sharedRate;
            const double away = info.lookupRoundTrip - at(tightest).waiting + TcpSenderWait(previous);
            const double sojourn = closedSojourns[tightest];
            RefinedTcpRates rates;
            if (info.loopQueue == tightest && sojourn >= 0.0 && away > 0.0) {
              // The queue's loop held at the last step: the class sends its part of the loop's
              // throughput, window / (time away + time at the queue). A window adapts its sending
              // once per round trip: the rate moves towards that by dt / (dt + round trip) over the
              // time dt since the class's last decision.
              const double trip = away + sojourn;
              const double target = loopWindows[tightest].window / trip;
              const double sinceLoop = time - info.loopTime;
              const double rate =
                  sinceLoop > 0.0 ? TcpWindowFollow(info.loopRate, target, sinceLoop, trip) : info.loopRate;
              rates = {rate, rate * std::min(success, 1.0)};
              heldNow = true;
            } else {
              rates = adapted(
                  capped(RefinedTcpRatesOf(info.sharedRate, share, raise, success, info.lookupRoundTrip)));
            }
            // Whatever loop holds its window, a class sends no faster than the other queues of its
            // path let through. (The tightest queue is the one of the smallest share of the
            // classes' profile rates; a flow behind an access link of 150 packets/s whose profile
            // rate had fallen with that link's losses was held by the loop of a shared link of
            // 1000 and sent 231 packets/s into it, which then dropped a third of them.)
            double pathRoom = HUGE_VAL;  // packets/s
            for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i) {
              if (q[i] != tightest) pathRoom = std::min(pathRoom, tcpRoom_[q[i]]);
            }
            LimitTcpRates(rates, pathRoom);
            // A window that its own bursts keep small at the first queue of its path does not wait
            // at a loop further on: the class sends at most what that window allows, as any other
            // class does there.
            const bool firstHopHolds = firstHopWindow < kTcpMaximumWindowPackets;
            // Nor does a window keep more than Reno keeps up against the losses of the rest of its
            // path (LossBesideLoop, TcpRandomLossRate), which it moves towards over kBesideLossTrips
            // round trips. (Held whole, classes of a random mesh of 100 routers whose loops were at
            // one queue and whose packets met 14 to 19 % of loss at others sent up to three times
            // ns's rates; the median error of the mesh's classes was 33 %, and is 17 % with this.
            // Moving there over one round trip, loop queues of the mesh swung by up to a third from
            // one second to the next.)
            constexpr double kBesideLossTrips = 3.0;
            const double beside = LossBesideLoop(info, tightest, lambda, mu);
            if (beside > 0.0) {
              double lossRate = TcpRandomLossRate(beside, info.lookupRoundTrip + TcpSenderWait(previous));
              if (rates.offered > lossRate && dt > 0.0 && info.lastRate > 0.0)
                lossRate = TcpWindowFollow(info.lastRate, lossRate, dt, kBesideLossTrips * info.lookupRoundTrip);
              meetRate = std::min(meetRate, lossRate);
            }
            LimitTcpRates(rates, std::min(firstHopRate, meetRate));
            if (firstHopHolds) heldNow = false;
            info.loopTime = time;
            info.loopQueue = away > 0.0 && !firstHopHolds ? tightest : kNoQueue;
            // A window its trains keep smaller where they meet others' still waits at the loop, and
            // sends there no more than it allows: in the loop's terms, a window away for longer.
            // Where the losses beside the loop decide that, the time away moves there over four
            // round trips: taken at once, it answered the loop's sojourn of the step before, and
            // loop queues of a random mesh swung between 12 and 22 packets step after step.
            const double thinkTime =
                meetRate < HUGE_VAL && meetRate > 0.0
                    ? std::max(away, loopWindows[tightest].window / meetRate - std::max(sojourn, 0.0))
                    : away;
            constexpr double kBesideLoopTrips = 4.0;
            if (beside > 0.0 && info.loopThinkTime > 0.0 && dt > 0.0) {
              info.loopThinkTime +=
                  (thinkTime - info.loopThinkTime) * (dt / (dt + kBesideLoopTrips * info.lookupRoundTrip));
            } else {
              info.loopThinkTime = thinkTime;
            }
            info.loopRate = rates.offered;
            info.sharedRate = rates.offered;
            info.deliveredRate = rates.delivered;
          } else {
            info.loopQueue = kNoQueue;
            RefinedTcpRates rates =
                capped(RefinedTcpRatesOf(info.sharedRate, share, raise, success, info.lookupRoundTrip));
            // Where the classes ask for more than a queue can send (share below 1) the rate a class
            // decides on is its profile rate at the loss the queue's excess brings, which its window
            // reaches over its round trip: the rate moves towards it by dt / (dt + half a round trip)
            // since the class's last decision. (Taken at once, classes of like round trips, which
            // decide together, overshot the loss their excess brings: 200 flows on a buffer of 100
            // packets swung between losing 9 % and 73 %. Over a whole round trip, queues of a random
            // mesh of 60 routers swung by 10 %; over a quarter, the 200 flows settled where they
            // lose 9 %, where ns's lose 24 %.)
            if (share < 1.0 && dt > 0.0 && info.lastRate > 0.0 && rates.offered > 0.0) {
              const double rate = TcpWindowFollow(info.lastRate, rates.offered, dt, 0.5 * info.lookupRoundTrip);
              rates.delivered *= rate / rates.offered;
              rates.offered = rate;
            }
            LimitTcpRates(rates, std::min(firstHopRate, meetRate));
            info.sharedRate = rates.offered;
            info.deliveredRate = rates.delivered;
          }
          info.loopHeld = heldNow || easing;
        } else {
          info.loopHeld = false;
          info.loopQueue = kNoQueue;  // a class that sends nothing has no window waiting anywhere
        }
        info.decisionLooped = info.loopQueue != kNoQueue && closedSojourns[info.loopQueue] >= 0.0;
        ClassLoad& load = classLoads_[info.tcpIndex];
        load.leastShare = static_cast<float>(leastShare);
        tcpDelivered_[info.tcpIndex] = info.deliveredRate;
        for (std::uint32_t k = classSlotStart_[info.tcpIndex]; k < classSlotStart_[info.tcpIndex + 1]; ++k)
          slotRates_[classSlots_[k]] = info.deliveredRate;
        load.loopQueue = info.loopQueue;
        // (Only the queue of its loop reads the bunch.)
        classLoops_[info.tcpIndex] = {
            info.loopThinkTime, info.loopRate,
            info.loopQueue == kNoQueue
                ? 1.0
                : AcknowledgementBunch(info.lastRate, AcknowledgementWait(info, lambda, mu, tcpArrival, at))};
        info.lastRate = info.sharedRate;
        classRates[c] = info.sharedRate;
      }
    });
  }

  // The mean window of a TCP class whose own bursts overflow the first queue of its path, packets
  // (kTcpMaximumWindowPackets where they cannot). The sender sends the acknowledgements that arrive
  // while it waits in one burst (TcpTrainOverflowShare), which reaches that queue at once; a burst
  // larger than the room it has left (its buffer and the packet it sends, less the other traffic's
  // packets an arrival finds there) loses its tail. What a burst finds of its own class are the
  // class's last bursts, which took their room then. The acknowledgements come back as a train: a
  // window sent in one burst leaves the first queue spaced by its sending, each queue on the way
  // spaces it at least by its own, and the other traffic that arrives there meanwhile goes in
  // between. Reno's mean window at those loss events (TcpCappedMeanWindow) is followed over
  // kFirstHopTrips round trips. (ns's flows behind first buffers of 5 packets send 50 to 136
  // packets/s and lose 2 to 3 % there, where their windows of 20 at the loop of the shared link
  // gave them 125 to 425; with 8 packets they lose less than 0.1 % and keep their windows. A flow
  // alone on a first buffer of 12 in a mesh sends 721 packets/s in bursts of up to 12 and loses
  // nothing: counted among the packets its bursts find, its own cut it to 391.)
  template <class QueueAt>
  double FirstHopWindow(ClassInfo& info, double dt, const std::vector<double>& lambda,
                        const std::vector<double>& mu, const std::vector<double>& buffers, QueueAt&& at) {
    constexpr double kFirstHopTrips = 4.0;
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    const std::uint32_t first = q[0];
    const double rate = info.lastRate > 0.0 ? info.lastRate : info.sharedRate;
    // (An arriving packet's wait there is the packets it finds and its own sending. What a burst
    // finds of its own class are the class's last bursts, which took their room then.)
    const double otherShare = lambda[first] > rate ? (lambda[first] - rate) / lambda[first] : 0.0;
    const double found = std::max(at(first).waiting * mu[first] - 1.0, 0.0) * otherShare;
    const double room = buffers[first] + 1.0 - found;
    double& window = info.firstHopWindow;
    classTrainDrops_[info.tcpIndex] = 0.0;
    if (!(room < kTcpMaximumWindowPackets) && window == kTcpMaximumWindowPackets) return window;
    if (!(info.lookupRoundTrip > 0.0) || !std::isfinite(info.lookupRoundTrip)) {
      window = kTcpMaximumWindowPackets;
      return window;
    }
    const double trip = info.lookupRoundTrip + TcpSenderWait(rate);
    double target = kTcpMaximumWindowPackets;
    if (room < kTcpMaximumWindowPackets) {
      const double trainRate = TrainRate(info, rate, lambda, mu, at);
      // A burst is never more than the window. Reno's window climbs from about 2/3 of its mean to
      // 4/3 of it: only the part of the climb above the room overflows, and the window's packets go
      // in bursts of the acknowledgements of a wait, or of the whole window where that is fewer.
      const double meanAcknowledged = trainRate * kTcpSendOverhead / 2.0;
      const double taken = TcpTrainRoomTaken(room, found);
      const double overflowing = TcpTrainOverflowShare(trainRate, taken);
      const double above = std::clamp((4.0 / 3.0 * window - taken) / (2.0 / 3.0 * window), 0.0, 1.0);
      const double events = overflowing * above / std::max(std::min(1.0 + meanAcknowledged, window), 1.0);
      if (events > 0.0) target = TcpCappedMeanWindow(events, trip);
      classTrainDrops_[info.tcpIndex] = rate * events;
      if (events > 0.0) trainDropsSeen_.store(true, std::memory_order_relaxed);
    }
    window += (target - window) * (dt / (dt + kFirstHopTrips * trip));
    // (Growing back to the whole window, it would only come near it: within a hundredth, it is whole.)
    if (target >= (1.0 - 1e-9) * kTcpMaximumWindowPackets && window > 0.99 * kTcpMaximumWindowPackets)
      window = kTcpMaximumWindowPackets;
    return window;
  }

  // The share of a TCP class's packets lost at the forward queues of its path other than that of
  // its loop, loopQueue, as far as they reach its window there. Each queue counts with the loss its
  // law settles at under its present load (SteadyQueueLoss), not with the loss it shows: that jumps
  // where a loop forms or breaks there and lags behind the load, and the classes that answered it
  // moved the load that made it. (Counting the shown losses, queues and classes of random meshes
  // with buffers of 5 to 5,000 packets swung by 5 % or more without settling, step after step where
  // a loop beside Poisson traffic formed and broke, or over a second where a queue of 50 packets
  // filled and emptied behind the rates it held back.)
  // - the first queue of its path counts only the losses its Poisson traffic and TCP's bursts cause
  //   at random (TcpFactors::randomLoss), where they are less: what the class's own trains lose
  //   there is its first-hop window's (FirstHopWindow). It counts in full where the other traffic
  //   brings a quarter or more of its arrivals, less and less as the class has it more to itself,
  //   and not at all where it is alone there;
  // - a queue after the loop's counts in full on a link as fast as the loop's, less and less up
  //   to one twice as fast, and not at all from there on: the class's packets leave the loop's
  //   queue spaced by it, and on a link twice as fast they come one at a time between the other
  //   traffic's. (ns's flows held at a link of 500 packets/s beside Poisson traffic on a link of
  //   1000 after it lose 0.4 % there, where the queue's law gives 4.6 %.)
  double LossBesideLoop(const ClassInfo& info, std::uint32_t loopQueue, const std::vector<double>& lambda,
                        const std::vector<double>& mu) const {
    constexpr double kSharedFirstQueue = 0.25;
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    double success = 1.0;
    bool afterLoop = false;
    for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i) {
      const std::uint32_t j = q[i];
      if (j == loopQueue) {
        afterLoop = true;
        continue;
      }
      double weight = 1.0;
      if (i == 0) {
        const double own = info.lastRate > 0.0 ? info.lastRate : info.sharedRate;
        weight = lambda[j] > 0.0 ? std::clamp((lambda[j] - own) / lambda[j] / kSharedFirstQueue, 0.0, 1.0) : 0.0;
      } else if (afterLoop && mu[loopQueue] > 0.0) {
        weight = std::clamp(2.0 - mu[j] / mu[loopQueue], 0.0, 1.0);
      }
      const double loss = i == 0 ? std::min(steadyLoss_[j], tcpFactors_[j].randomLoss) : steadyLoss_[j];
      const double through = std::clamp(1.0 - loss, 0.0, 1.0);
      if (weight >= 1.0) {
        success *= through;
      } else if (weight > 0.0) {
        success *= std::pow(through, weight);
      }
    }
    return std::clamp(1.0 - success, 0.0, 1.0);
  }

  // The rate at which a TCP class's acknowledgements come back as a train, packets/s: a window sent
  // in one burst leaves the first queue spaced by its sending, each queue on the way spaces it at
  // least by its own, and the other traffic that arrives there meanwhile goes in between.
  template <class QueueAt>
  double TrainRate(const ClassInfo& info, double rate, const std::vector<double>& lambda,
                   const std::vector<double>& mu, QueueAt&& at) const {
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    double spacing = 0.0;  // s
    for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i) {
      const std::uint32_t j = q[i];
      if (!(mu[j] > 0.0)) continue;
      // (between: the other traffic that queue sends, packets/s)
      const double between = std::max(lambda[j] * at(j).success - rate, 0.0);
      spacing = std::max(spacing, 1.0 / mu[j]) + spacing * between / mu[j];
    }
    return spacing > 0.0 ? std::max(1.0 / spacing, rate) : HUGE_VAL;
  }

  // The mean window of a TCP class whose bursts meet other classes' bursts at a queue further on
  // that they reach faster than it sends (TcpTrainCollisions, of the bursts TcpTrainPiece gives),
  // packets (kTcpMaximumWindowPackets where they cannot overflow it, or where they lose no more
  // there than the queue's own law already takes from the class's rate). The first such queue of
  // its path counts, where the whole windows of all the classes that cross it would leave a fifth
  // of its room free (it is mostly empty, and only bursts that meet lose there; where they come near
  // filling it, they keep a queue there, and its sawtooth and bursts are its law's: two flows whose
  // windows would fill 98 % of a link lose nothing there in ns) and two windows' bursts could
  // overflow its buffer; the window follows
  // Reno's mean window at those loss events over kMeetTrips round trips. The queue shows what they
  // lose (ShowTrainDrops), which the class's rate does not count again.
  template <class QueueAt>
  double MeetWindow(ClassInfo& info, double dt, const std::vector<double>& lambda,
                    const std::vector<double>& mu, const std::vector<double>& buffers, QueueAt&& at) {
    constexpr double kMeetTrips = 4.0;
    double& window = info.meetWindow;
    if (classMeets_[info.tcpIndex] == 0) return window;
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    std::uint32_t meet = kNoQueue;
    double reach = 0.0;
    double slowest = mu[q[0]];
    for (std::uint32_t i = 1; i < info.forwardQueueCount; ++i) {
      const std::uint32_t j = q[i];
      const double r = slowest > 0.0 && mu[j] < slowest ? 1.0 - mu[j] / slowest : 0.0;
      slowest = std::min(slowest, mu[j]);
      if (r > 0.0 && !windowsFill_[j] && 2.0 * r * kTcpMaximumWindowPackets > buffers[j] + 1.0) {
        meet = j;
        reach = r;
        break;
      }
    }
    if (!(info.lookupRoundTrip > 0.0) || !std::isfinite(info.lookupRoundTrip) ||
        (meet == kNoQueue && window == kTcpMaximumWindowPackets)) {
      classMeetDrops_[info.tcpIndex] = 0.0;
      classPiece_[info.tcpIndex] = 0.0f;
      window = kTcpMaximumWindowPackets;
      return window;
    }
    const double rate = info.lastRate > 0.0 ? info.lastRate : info.sharedRate;
    const double trip = info.lookupRoundTrip + TcpSenderWait(rate);
    double target = kTcpMaximumWindowPackets;
    double drops = 0.0;  // packets/s
    if (meet != kNoQueue) {
      // (What the other traffic holds there, as an arrival finds it.)
      const double apart =
          lambda[meet] > burstTcp_[meet] ? (lambda[meet] - burstTcp_[meet]) / lambda[meet] : 0.0;
      const double holds = std::max(at(meet).waiting * mu[meet] - 1.0, 0.0) * apart;
      const double sent = std::min(rate * trip, window);  // its mean window
      const double piece = TcpTrainPiece(sent, trip, TrainRate(info, rate, lambda, mu, at));
      // The others' bursts: of the mean piece and window of those whose bursts reach the queue and
      // know them (their last), as its own where none does.
      const double own = tcpDelivered_[info.tcpIndex];
      BurstPieces others = burstPieces_[meet];
      if (classPiece_[info.tcpIndex] > 0.0f) {
        others.rate -= own;
        others.pieces -= own * classPiece_[info.tcpIndex];
        others.windows -= own * classWindow_[info.tcpIndex];
      }
      const bool known = others.rate > 1e-9 * burstTcp_[meet] && others.pieces > 0.0 && others.windows > 0.0;
      const TrainCollisions met =
          TcpTrainCollisions(sent, piece, known ? others.windows / others.rate : sent,
                             known ? others.pieces / others.rate : piece, reach, buffers[meet] + 1.0 - holds,
                             std::max(burstTcp_[meet] - rate, 0.0), mu[meet]);
      classPiece_[info.tcpIndex] = static_cast<float>(piece);
      classWindow_[info.tcpIndex] = static_cast<float>(sent);
      if (met.events > loopWindows[meet].lawLoss) {
        // (An event that drops more than one packet of the window mostly ends in a timeout.)
        target = TcpTimeoutMeanWindow(met.events, trip, std::clamp(met.drops / met.events - 1.0, 0.0, 1.0));
        drops = rate * met.drops;
      }
    }
    if (meet == kNoQueue) classPiece_[info.tcpIndex] = 0.0f;
    classMeetQueue_[info.tcpIndex] = meet;
    classMeetDrops_[info.tcpIndex] = drops;
    if (drops > 0.0) trainDropsSeen_.store(true, std::memory_order_relaxed);
    window += (target - window) * (dt / (dt + kMeetTrips * trip));
    if (target >= (1.0 - 1e-9) * kTcpMaximumWindowPackets && window > 0.99 * kTcpMaximumWindowPackets)
      window = kTcpMaximumWindowPackets;
    return window;
  }

  // The longest a class's acknowledgements wait behind TCP packets at a queue of its way back, s
  // (AcknowledgementBunch): the queue's wait beyond its own sending, times the TCP part of its
  // arrivals at the last propagation.
  template <class QueueAt>
  double AcknowledgementWait(const ClassInfo& info, const std::vector<double>& lambda, const std::vector<double>& mu,
                             const std::vector<double>& tcpArrival, QueueAt&& at) const {
    double longest = 0.0;
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    for (std::uint32_t i = info.forwardQueueCount; i < info.rttQueueCount; ++i) {
      const std::uint32_t j = q[i];
      if (!(lambda[j] > 0.0) || !(mu[j] > 0.0)) continue;
      const double wait = (at(j).waiting - 1.0 / mu[j]) * std::min(tcpArrival[j] / lambda[j], 1.0);
      if (std::isfinite(wait)) longest = std::max(longest, wait);
    }
    return longest;
  }

  // Opens and closes every rate file once; false (with the result filled) when one cannot be read.
  static bool OpenRateFiles(CVarloDoc& doc, RunResult& result, const std::atomic<bool>* cancel = nullptr);
  // Resets every queue, rebuilds the classes' paths, resolves them to positions and reports the
  // unreachable classes (in the result and through notice).
  void Reset(CVarloDoc& doc, RunResult& result, const std::function<void(const std::string&)>& notice);

  // The rate a class offers at time, packets/s; at(i) gives the round-trip terms of queue i.
  template <class QueueAt>
  double Rate(ClassInfo& info, double time, QueueAt&& at) {
    switch (info.kind) {
      case RateKind::kConstant:
        return info.IsActive(time) ? info.constantRate : 0;
      case RateKind::kTcp:
        return TcpRate(info, time, at);
      case RateKind::kFromClass:
        break;
    }
    return info.object->GetRate(time);
  }

 private:
  // Per TCP class, side by side for the queues' pass: its profile rate, packets/s, and that times
  // its idle round trip, packets (0 where the rate is 0); the queue its window waits at and its least
  // factor over its forward path at the last propagation (0 where it sent nothing). 16 bytes, in
  // single precision (far finer than the model's own error): the pass gathers one entry per class
  // crossing a queue, and at 16 bytes the entries of 20,000 classes stay in a core's second-level
  // cache. What only the loop's own queue reads is apart (ClassLoop).
  struct alignas(16) ClassLoad {
    float demand = 0.0f;
    float demandTrip = 0.0f;
    std::uint32_t loopQueue = kNoQueue;
    float leastShare = 0.0f;
  };
  struct ClassLoop {
    double away = 0.0;   // ClassInfo::loopThinkTime
    double rate = 0.0;   // ClassInfo::loopRate
    double bunch = 1.0;  // AcknowledgementBunch at its decision
  };
  std::vector<ClassLoad> classLoads_;  // by tcpIndex
  std::vector<ClassLoop> classLoops_;  // by tcpIndex
  double sharesTime_ = 0.0;
  // Each queue's loss once its law has settled at its present load (SteadyQueueLoss).
  std::vector<double> steadyLoss_;
  // Per queue i: the TCP classes whose forward paths cross it, in class order (once per crossing),
  // are demandClasses_[demandClassStart_[i], demandClassStart_[i + 1]), by their tcpIndex
  // (kClassOfSlot of an entry), with kPastTightest set where the queue comes after the class's
  // tightest queue on its path (the first of those of its least factor) at its last decision.
  static constexpr std::uint32_t kPastTightest = 0x80000000u;
  static constexpr std::uint32_t kClassOfSlot = kPastTightest - 1u;
  std::vector<std::uint32_t> demandClassStart_;
  std::vector<std::uint32_t> demandClasses_;
  // Per queue i: the TCP classes whose way back crosses it (once per crossing), by their tcpIndex,
  // ackClasses_[ackClassStart_[i], ackClassStart_[i + 1]).
  std::vector<std::uint32_t> ackClassStart_;
  std::vector<std::uint32_t> ackClasses_;
  // The delivered rate of the class of each slot of ackClasses_ and then of each paced slot,
  // written by the class when it decides (the queues' pass then reads its slots in order rather
  // than gathering from tcpDelivered_); each class's slots there, by tcpIndex:
  // classSlots_[classSlotStart_[c], classSlotStart_[c + 1]).
  std::vector<double> slotRates_;
  std::vector<std::uint32_t> classSlotStart_;
  std::vector<std::uint32_t> classSlots_;
  // Per queue i, the TCP classes whose bursts reach it (see queueBursts), by tcpIndex, and how much
  // of them: burstClasses_ and burstReach_ in [burstClassStart_[i], burstClassStart_[i + 1]).
  std::vector<std::uint32_t> burstClassStart_;
  std::vector<std::uint32_t> burstClasses_;
  std::vector<float> burstReach_;
  std::vector<float> classBursts_;  // by tcpIndex: its rate times TcpBurstExcess at it
  // By tcpIndex, where its bursts meet others' (MeetWindow): TcpTrainPiece (0 for nowhere), its mean
  // window there, what they lose there, packets/s, and that queue (kNoQueue for none).
  std::vector<float> classPiece_;
  std::vector<float> classWindow_;
  std::vector<double> classMeetDrops_;
  std::vector<std::uint32_t> classMeetQueue_;
  std::vector<double> classTrainDrops_;  // by tcpIndex: what its trains lose at its first queue, packets/s
  std::atomic<bool> trainDropsSeen_{false};  // whether any class's trains have lost anything yet
  std::vector<double> burstFollow_;  // per queue, see queueBursts
  // per queue: whether the whole windows of the TCP classes that cross it, over their idle round
  // trips, would fill more than kWindowsLeaveRoom of the room the other traffic leaves it
  std::vector<std::uint8_t> windowsFill_;
  // per queue: whether some class's bursts reach it after the first queue of its path (MeetWindow);
  // per class (by tcpIndex): whether its bursts reach a queue after its first
  std::vector<std::uint8_t> meetsAt_;
  std::vector<std::uint8_t> classMeets_;
  // per queue, over the classes whose bursts reach it and know their pieces: their rates, and those
  // times their pieces and their mean windows
  struct BurstPieces {
    double rate = 0.0;
    double pieces = 0.0;
    double windows = 0.0;
  };
  std::vector<BurstPieces> burstPieces_;
  std::vector<double> burstTcp_;  // per queue: the rates of the TCP classes whose bursts reach it, packets/s
  // Per entry of rttQueues on a forward path, its slot in demandClasses_; per TCP class (by
  // tcpIndex), where its slots' kPastTightest have it pass its tightest queue (kNoQueue at first).
  std::vector<std::uint32_t> forwardSlots_;
  std::vector<std::uint32_t> classTightestAt_;
  // Per queue i, the TCP classes that come to it paced by the queue before it on their path (one no
  // faster than i, and no bursts of theirs reach i), in runs of one queue before each: paced slots
  // pacedClassStart_[i] to pacedClassStart_[i + 1] (their rates at slotRates_ after the
  // acknowledgements'), the runs ending at pacedRunEnds_[pacedRunStart_[i], pacedRunStart_[i + 1]).
  std::vector<std::uint32_t> pacedClassStart_;
  std::vector<std::uint32_t> pacedRunStart_;
  std::vector<std::uint32_t> pacedRunEnds_;
  // Per queue, the Poisson part of its arrivals for its law where TCP's packets come paced, followed
  // as poissonShares are.
  std::vector<double> pacedPoisson_;
  // Per queue, the share poissonShares follows (it is 1 where the queue's law keeps the paced share).
  std::vector<double> poissonFollow_;
  // Per queue, what a TCP class's forward path takes from it, side by side: the factor of the TCP
  // classes crossing it and the factor that fills the part of the room kept busy; its 1 - P, and
  // the losses that its Poisson traffic (TcpToothTopLoss as far as TcpToothTopReach, times the
  // part of the arrivals at the last propagation that is not TCP, taken as Poisson; followed as
  // poissonShares are, in randomLoss_) or TCP's own bursts (TcpBurstLoss; followed as
  // queueBursts are, in burstLoss_) cause TCP's packets at random, the larger.
  struct TcpFactors {
    double share;
    double raise;
    double success;
    double randomLoss;
  };
  std::vector<TcpFactors> tcpFactors_;
  // Per queue: the Poisson part of its arrivals for the TCP part of its buffer, followed as
  // poissonShares are.
  std::vector<double> bufferPoisson_;
  std::vector<double> randomLoss_;  // per queue, see TcpFactors
  std::vector<double> burstLoss_;   // per queue, see TcpFactors
  std::vector<double> sawtoothLoss_;    // per queue, see ClosedLoopLoad
  std::vector<double> sawtoothWeight_;  // per queue, see ClosedLoopLoad
  // Per queue, the room that the load other than TCP left at the last propagation (mu minus it,
  // at least 0); per TCP class (by tcpIndex), its deliveredRate, and what a dump row shows for it
  // (ShareShownRates).
  std::vector<double> tcpRoom_;
  std::vector<double> tcpDelivered_;
  std::vector<double> shownRates_;
  std::vector<double> roomFactors_;  // per queue, ShareShownRates' own
  std::vector<std::uint8_t> cappedParts_;  // per part of the queues, ShareShownRates' own
  bool shownCapped_ = false;  // some classes are shown less than they get (shownRates_)
  struct ForwardPath {
    std::uint32_t first;  // in rttQueues
    std::uint32_t count;  // 0 for a class left out of the load
  };
  std::vector<ForwardPath> tcpForward_;  // by tcpIndex
  std::vector<double> loopTimesAway_;  // see closedLoads, in the slots of demandClasses_

  // The TCP rate with the round-trip queues resolved at set-up and the last lookup remembered.
  template <class QueueAt>
  double TcpRate(ClassInfo& info, double time, QueueAt&& at) {
    CTCPClass& c = *info.tcp;
    if (time == 0) c.lastEvaluationTime = 0;  // every run evaluates its classes first at time 0
    if (!info.IsActive(time)) return 0;
    if (time < c.lastEvaluationTime) return c.lastThroughput;
    RoundTrip trip{c.sinkDelay};
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    // Refined model: an acknowledgement lost on the way back is covered by the next one (each
    // acknowledges everything before it), so only the losses of the forward path halve a window.
    const std::uint32_t lossy = refined ? info.forwardQueueCount : info.rttQueueCount;
    for (std::uint32_t i = 0; i < info.rttQueueCount; ++i) {
      const RoundTripTerms& s = at(q[i]);
      trip.AddHop(s.waiting, s.delay, i < lossy ? s.success : 1.0);
    }
    const double loss = trip.Loss();
    if (!info.hasLookup || trip.seconds != info.lookupRoundTrip || loss != info.lookupLoss) {
      try {
        info.lookupValue = Lookup(trip.seconds, loss);
      } catch (CProfileOutOfTableException& e) {
        LocateOutOfTable(e, *info.object, time, trip.seconds, loss);
        throw;
      }
      info.lookupRoundTrip = trip.seconds;
      info.lookupLoss = loss;
      info.hasLookup = true;
    }
    c.lastEvaluationTime = time;
    c.lastThroughput = TcpRateFromProfile(info.lookupValue);
    return c.lastThroughput;
  }
  double Lookup(double roundTrip, double loss) const;
  // demandClassStart_ and demandClasses_ from the classes' forward paths.
  void BuildDemandLists();
};

}  // namespace varlo
