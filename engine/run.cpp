#include "engine/run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "engine/const_poisson_class.h"
#include "engine/dump_file.h"
#include "engine/mm1k_queue.h"
#include "engine/tcp_class.h"
#include "engine/tcp_profile.h"
#include "engine/td_poisson_class.h"
#include "engine/trace_class.h"
#include "model/archive.h"
#include "model/document.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

// Largest change of rho per step of the Z-iteration run at the current rates.
constexpr double kRhoChangePerStep = 0.05;
// Absolute tolerance per rho between one double step and two single steps.
constexpr double kAdaptiveTolerance = 0.00001;
// Below this half step (seconds) the adaptive integrator stops halving and takes the step, so
// that a queue whose rho cannot be followed does not hold the run forever.
constexpr double kSmallestHalfStep = 1e-12;
// A buffer of fewer than 100 packets that keeps receiving more than it serves has rho growing
// without bound in finite time (its N only approaches K), so the step 0.05/|d rho/dt| would shrink
// forever. At this rho the queue holds K - 1/rho packets or more: it counts as full, and a full
// queue does not fill further (its rho stays here while its derivative is positive). Kept low
// enough that rho^(K+1) stays finite for every K below 100.
constexpr double kFullSmallBufferRho = 100.0;
constexpr double kLargeBufferPackets = 100.0;
// The shortest step of the Z-iteration run, as a fraction of the running step: the last guard
// that every run reaches its total time.
constexpr double kSmallestStepFraction = 1e-6;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string EndNames(const CTrafficClass& c) {
  const std::string from = c.GetSource() != nullptr ? c.GetSource()->GetName() : std::string("?");
  const std::string to = c.GetDestination() != nullptr ? c.GetDestination()->GetName() : std::string("?");
  return from + " -> " + to;
}

enum class RateKind : std::uint8_t { kConstant, kTcp, kFromClass };

// A queue's values in the Compute Metrics run, kept contiguous and one cache line each for the
// per-step loops, which reach the queues in the order of the classes' paths.
struct alignas(64) QueueState {
  double N;          // average size, packets
  double P;          // loss probability
  double U;          // utilisation
  double mu;         // service rate, packets/s
  double lambda;     // arrival rate, packets/s
  double accepted;   // packets admitted in the step
  double served;     // packets sent in the step
  double occupancy;  // sum of the path entries' occupancies, packets
};

// A path entry in the Compute Metrics run; queue is -1 for the terminal entry.
struct EntryState {
  double n;
  double x;
  std::int32_t queue;
};

struct ClassInfo {
  CTrafficClass* object = nullptr;
  RateKind kind = RateKind::kFromClass;
  bool unreachable = false;
  double constantRate = 0.0;
  CTCPClass* tcp = nullptr;
  // Path entries: [firstEntry, firstEntry + entryCount) of the entry arrays.
  std::uint32_t firstEntry = 0;
  std::uint32_t entryCount = 0;
  // TCP round trip: [firstRttQueue, ... + rttQueueCount) of rttQueues, forward then return path.
  std::uint32_t firstRttQueue = 0;
  std::uint32_t rttQueueCount = 0;
  // Rate offered at the last propagation, which is what a dump row at that time shows.
  double lastRate = 0.0;
  // The last profile lookup of a TCP class; the lookup is a pure function of its two arguments.
  bool hasLookup = false;
  double lookupRoundTrip = 0.0;
  double lookupLoss = 0.0;
  double lookupValue = 0.0;
};

}  // namespace

std::string ProgressText(double nextDumpTime) {
  return Format("Current Time : %lf", nextDumpTime);
}

struct CZIterationEngine::Impl {
  CVarloDoc& doc;
  RunOptions options;
  RunMethod method = RunMethod::kComputeMetrics;

  std::vector<C_MM1K_Queue*> queues;  // link order, forward then backward
  std::vector<ClassInfo> classes;     // class-list order
  std::vector<std::uint32_t> rttQueues;
  std::vector<PathEntry*> entryObjects;  // every class's path, class by class

  // Compute Metrics state.
  std::vector<QueueState> queueState;
  std::vector<double> bufferSizes;  // K, packets
  std::vector<double> delays;       // propagation delay, s
  std::vector<EntryState> entries;
  std::vector<double> arrivalSums;  // the arrival rates being summed by a propagation
  // Per queue, what a TCP round trip adds: N/mu, then the delay, and the factor 1 - P of success.
  // Each TCP class crossing the queue would compute exactly these numbers itself.
  struct RoundTripTerms {
    double waiting;  // N/mu, s
    double delay;    // s
    double success;  // 1 - P
  };
  std::vector<RoundTripTerms> roundTripTerms;
  // When some queue's entries are not in class order, its sums are gathered through these lists.
  bool scatterSums = true;
  std::vector<std::uint32_t> queueEntryStart;
  std::vector<std::uint32_t> queueEntries;

  // Z-iteration buffers, two entries per link.
  std::vector<double> y, big, half, two, stage, slope;

  int tcpProfile = 0;
  const CTcpProfiles* profiles = nullptr;

  double t = 0.0;
  double nextDump = 0.0;
  CDumpWriter* writer = nullptr;
  std::int64_t rowsWritten = 0;
  bool prepared = false;  // the queues and paths have been reset for this run

  Impl(CVarloDoc& d, RunOptions o) : doc(d), options(std::move(o)) {}

  // --- class rates ---------------------------------------------------------------------------

  // CTCPClass::GetRate with the round-trip queues resolved at set-up.
  template <class QueueAt>
  double TcpRate(ClassInfo& info, double time, QueueAt&& at) {
    CTCPClass& c = *info.tcp;
    if (time == 0) c.lastEvaluationTime = 0;
    if (!c.IsActive(time)) return 0;
    if (time < c.lastEvaluationTime) return c.lastThroughput;
    double roundTrip = c.sinkDelay;
    double success = 1;
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    for (std::uint32_t i = 0; i < info.rttQueueCount; ++i) {
      const RoundTripTerms s = at(q[i]);
      roundTrip = roundTrip + s.waiting + s.delay;
      success = success * s.success;
    }
    const double loss = 1 - success;
    if (!info.hasLookup || roundTrip != info.lookupRoundTrip || loss != info.lookupLoss) {
      info.lookupValue = profiles->Lookup(tcpProfile, roundTrip, loss);
      info.lookupRoundTrip = roundTrip;
      info.lookupLoss = loss;
      info.hasLookup = true;
    }
    const double v = info.lookupValue;
    c.lastEvaluationTime = time;
    c.lastThroughput = 1000 * v;
    return c.lastThroughput;
  }

  template <class QueueAt>
  double Rate(ClassInfo& info, double time, QueueAt&& at) {
    switch (info.kind) {
      case RateKind::kConstant:
        return info.object->IsActive(time) ? info.constantRate : 0;
      case RateKind::kTcp:
        return TcpRate(info, time, at);
      case RateKind::kFromClass:
        break;
    }
    return info.object->GetRate(time);
  }

  RoundTripTerms ObjectQueue(std::uint32_t i) const {
    const CQueue& q = *queues[i];
    return RoundTripTerms{q.N / q.serviceRate, q.propagationDelay, 1 - q.P};
  }

  // --- set-up --------------------------------------------------------------------------------

  bool OpenRateFiles(RunResult& result) {
    for (const auto& owned : doc.GetClasses()) {
      auto* td = dynamic_cast<CTdPoissonClass*>(owned.get());
      if (td == nullptr) continue;
      td->CloseRateFile();
      // A trace's rate file is made now, beside the network or in the cache, never on reading.
      std::optional<std::string> problem;
      if (auto* trace = dynamic_cast<CTraceClass*>(td)) {
        trace->SetNetworkFolder(doc.GetPathName().empty() ? std::string() : doc.GetFolder());
        try {
          trace->PrepareRateFile(options.cancel);
        } catch (const CFileException& e) {
          problem = e.Message();
        } catch (const std::exception& e) {
          problem = e.what();
        }
      }
      if (!problem) problem = td->CheckRateFile(options.cancel);
      if (problem && Cancelled()) {
        result.status = RunStatus::kCancelled;
        result.message = "The evaluation was cancelled.";
        return false;
      }
      if (problem) {
        result.status = RunStatus::kRateFileNotOpened;
        result.message =
            Format("The rate file \"%s\" of the traffic class %s cannot be used: %s", td->rateFileName.c_str(),
                   EndNames(*td).c_str(), problem->c_str());
        return false;
      }
      errno = 0;
      const bool opened = td->OpenRateFile();
      const int error = errno;
      // The rate lookup opens the file again from its beginning at the first time it is asked.
      td->CloseRateFile();
      if (!opened) {
        result.status = RunStatus::kRateFileNotOpened;
        result.message = Format("The rate file \"%s\" of the traffic class %s cannot be opened: %s",
                                td->rateFileName.c_str(), EndNames(*td).c_str(),
                                std::strerror(error != 0 ? error : ENOENT));
        return false;
      }
    }
    return true;
  }

  void ResetQueuesAndPaths(RunResult& result) {
    queues.clear();
    for (const auto& link : doc.GetLinks()) {
      queues.push_back(link->GetForwardQueue());
      queues.push_back(link->GetBackwardQueue());
    }
    for (C_MM1K_Queue* q : queues) {
      q->N = q->P = q->U = q->rho = q->derivative = q->arrivalRate = q->occupancySum = 0;
      q->UpdateMetrics();
      q->ClearPathEntries();
    }
    for (const auto& c : doc.GetClasses()) c->BuildPath();

    std::unordered_map<const CQueue*, std::uint32_t> queueIndex;
    queueIndex.reserve(queues.size());
    for (std::uint32_t i = 0; i < queues.size(); ++i) queueIndex.emplace(queues[i], i);

    classes.clear();
    classes.reserve(doc.GetClasses().size());
    rttQueues.clear();
    entryObjects.clear();
    std::vector<CQueue*> walk;
    std::string names;
    for (const auto& owned : doc.GetClasses()) {
      ClassInfo info;
      info.object = owned.get();
      info.unreachable = owned->IsUnreachable();
      if (info.unreachable) {
        result.unreachableClasses.push_back(owned.get());
        if (!names.empty()) names += ", ";
        names += EndNames(*owned);
      }
      if (auto* constant = dynamic_cast<CConstPoissonClass*>(owned.get())) {
        info.kind = RateKind::kConstant;
        info.constantRate = constant->rate;
      } else if (auto* tcp = dynamic_cast<CTCPClass*>(owned.get()); tcp != nullptr && !info.unreachable) {
        info.kind = RateKind::kTcp;
        info.tcp = tcp;
        info.firstRttQueue = static_cast<std::uint32_t>(rttQueues.size());
        walk.clear();
        tcp->GetPathQueues(walk);
        tcp->GetReversePathQueues(walk);
        for (CQueue* q : walk) rttQueues.push_back(queueIndex.at(q));
        info.rttQueueCount = static_cast<std::uint32_t>(rttQueues.size()) - info.firstRttQueue;
      }
      info.firstEntry = static_cast<std::uint32_t>(entryObjects.size());
      for (const auto& e : owned->GetPath()) entryObjects.push_back(e.get());
      info.entryCount = static_cast<std::uint32_t>(entryObjects.size()) - info.firstEntry;
      classes.push_back(info);
    }
    if (!names.empty()) {
      result.unreachableMessage =
          "These traffic classes cannot reach their destination and are left out of the load: " + names;
      if (options.notice) options.notice(result.unreachableMessage);
    }

    if (method == RunMethod::kComputeMetrics) BuildArrays(queueIndex);

    const size_t n = queues.size();
    for (auto* v : {&y, &big, &half, &two, &stage, &slope}) v->assign(n, 0.0);
  }

  void BuildArrays(const std::unordered_map<const CQueue*, std::uint32_t>& queueIndex) {
    queueState.resize(queues.size());
    bufferSizes.resize(queues.size());
    delays.resize(queues.size());
    for (size_t i = 0; i < queues.size(); ++i) {
      const C_MM1K_Queue& q = *queues[i];
      queueState[i] =
          QueueState{q.N, q.P, q.U, q.serviceRate, q.arrivalRate, q.accepted, q.served, q.occupancySum};
      bufferSizes[i] = q.bufferSize;
      delays[i] = q.propagationDelay;
    }
    std::unordered_map<const PathEntry*, std::uint32_t> entryIndex;
    entryIndex.reserve(entryObjects.size());
    entries.resize(entryObjects.size());
    for (std::uint32_t i = 0; i < entryObjects.size(); ++i) {
      const PathEntry& e = *entryObjects[i];
      entries[i] =
          EntryState{e.n, e.x, e.queue != nullptr ? static_cast<std::int32_t>(queueIndex.at(e.queue)) : -1};
      entryIndex.emplace(&e, i);
    }
    // A queue's sums run over its entries in the order they were added. Path building adds them
    // class by class, so a walk over the classes adds them in the same order; check it, and keep
    // explicit lists for the queues where it does not hold.
    scatterSums = true;
    queueEntryStart.assign(queues.size() + 1, 0);
    queueEntries.clear();
    for (size_t i = 0; i < queues.size(); ++i) {
      queueEntryStart[i] = static_cast<std::uint32_t>(queueEntries.size());
      std::int64_t previous = -1;
      for (const PathEntry* e : queues[i]->pathEntries) {
        const auto found = entryIndex.find(e);
        if (found == entryIndex.end()) {
          scatterSums = false;  // an entry the classes do not own: sum through the objects' order
          continue;
        }
        if (static_cast<std::int64_t>(found->second) <= previous) scatterSums = false;
        previous = found->second;
        queueEntries.push_back(found->second);
      }
    }
    queueEntryStart[queues.size()] = static_cast<std::uint32_t>(queueEntries.size());
    if (scatterSums) {
      std::vector<std::uint32_t> perQueue(queues.size(), 0);
      for (const EntryState& e : entries) {
        if (e.queue >= 0) ++perQueue[static_cast<size_t>(e.queue)];
      }
      for (size_t i = 0; i < queues.size(); ++i) {
        if (perQueue[i] != queueEntryStart[i + 1] - queueEntryStart[i]) scatterSums = false;
      }
    }
  }

  // --- Compute Metrics -----------------------------------------------------------------------

  // PropagateRates(t) of every class, then ComputeArrivalRate(t) of every queue.
  void PropagateAllArrays(double time) {
    roundTripTerms.resize(queueState.size());
    for (size_t i = 0; i < queueState.size(); ++i) {
      const QueueState& q = queueState[i];
      roundTripTerms[i] = RoundTripTerms{q.N / q.mu, delays[i], 1 - q.P};
    }
    auto at = [this](std::uint32_t i) -> const RoundTripTerms& { return roundTripTerms[i]; };
    // The sums go to a side array so that a run stopped inside the class loop (profile out of
    // its table) leaves every queue's arrival rate as it was, like the queue-by-queue form.
    arrivalSums.assign(queueState.size(), 0.0);
    for (ClassInfo& info : classes) {
      if (info.unreachable) continue;
      double r = Rate(info, time, at);
      info.lastRate = r;
      EntryState* e = entries.data() + info.firstEntry;
      EntryState* const end = e + info.entryCount;
      for (; e != end; ++e) {
        const double old = e->x;
        e->x = r;
        if (e->queue >= 0) {
          QueueState& q = queueState[static_cast<size_t>(e->queue)];
          if (scatterSums) arrivalSums[static_cast<size_t>(e->queue)] += r;
          r = q.N != 0 ? e->n * q.U * q.mu / q.N : old;
        }
      }
    }
    if (scatterSums) {
      for (size_t i = 0; i < queueState.size(); ++i) queueState[i].lambda = arrivalSums[i];
    } else {
      for (size_t i = 0; i < queueState.size(); ++i) {
        double sum = 0;
        for (std::uint32_t k = queueEntryStart[i]; k < queueEntryStart[i + 1]; ++k)
          sum += entries[queueEntries[k]].x;
        queueState[i].lambda = sum;
      }
    }
  }

  // C_MM1K_Queue::DiscreteStep: h seconds of the fluid backlog model.
  static void DiscreteStep(QueueState& q, double K, double h) {
    const double arriving = q.lambda * h;
    const double capacity = q.mu * h;
    double next;
    if (q.N + arriving > capacity) {
      next = std::min(q.N + (q.lambda - q.mu) * h, K);
      q.served = capacity;
    } else {
      next = 0;
      q.served = q.N + arriving;
    }
    q.accepted = std::min(arriving, K - q.N + capacity);
    if (next < std::ceil(K / 2)) {
      q.P = 0;
    } else if (next >= K - 1) {
      q.P = 1;
    } else {
      const double r = (next - K) / (next - K + 1);
      q.P = (r - 1) / r;
    }
    q.U = q.served / capacity;
    q.N = next;
  }

  void StepComputeMetrics() {
    const double h = doc.runningStep;
    if (t >= nextDump) WriteRow(true);
    for (size_t i = 0; i < queueState.size(); ++i) DiscreteStep(queueState[i], bufferSizes[i], h);

    // AdvanceOccupancyDiscrete of every class, then SumOccupancy of every queue. No arrivals means
    // no share of the admitted packets, and a queue that serves nothing sends nothing on.
    if (scatterSums) {
      for (QueueState& q : queueState) q.occupancy = 0;
    }
    for (const ClassInfo& info : classes) {
      if (info.unreachable || info.entryCount < 2) continue;
      EntryState* e = entries.data() + info.firstEntry;
      EntryState* const last = e + info.entryCount - 1;
      for (; e != last; ++e) {
        QueueState& q = queueState[static_cast<size_t>(e->queue)];
        const double in = q.lambda != 0 ? e->x * q.accepted / q.lambda : 0;
        const double out = q.mu != 0 ? (e + 1)->x * q.served / q.mu : 0;
        double n = e->n + in - out;
        if (n < 0) n = 0;
        e->n = n;
        if (scatterSums) q.occupancy += n;
      }
    }
    if (!scatterSums) {
      for (size_t i = 0; i < queueState.size(); ++i) {
        double sum = 0;
        for (std::uint32_t k = queueEntryStart[i]; k < queueEntryStart[i + 1]; ++k)
          sum += entries[queueEntries[k]].n;
        queueState[i].occupancy = sum;
      }
    }
    // NormalizeOccupancy: the class shares of a queue add up to its N.
    for (const ClassInfo& info : classes) {
      if (info.unreachable || info.entryCount < 2) continue;
      EntryState* e = entries.data() + info.firstEntry;
      EntryState* const last = e + info.entryCount - 1;
      for (; e != last; ++e) {
        const QueueState& q = queueState[static_cast<size_t>(e->queue)];
        e->n = q.occupancy != 0 ? q.N * e->n / q.occupancy : 0;
      }
    }
    t = t + h;
    PropagateAllArrays(t);
  }

  void StoreArrays() {
    for (size_t i = 0; i < queueState.size(); ++i) {
      C_MM1K_Queue& q = *queues[i];
      const QueueState& s = queueState[i];
      q.N = s.N;
      q.P = s.P;
      q.U = s.U;
      q.arrivalRate = s.lambda;
      q.accepted = s.accepted;
      q.served = s.served;
      q.occupancySum = s.occupancy;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
      entryObjects[i]->n = entries[i].n;
      entryObjects[i]->x = entries[i].x;
    }
  }

  // --- M/M/1/K Z-iteration -------------------------------------------------------------------

  void PropagateAllObjects(double time) {
    auto at = [this](std::uint32_t i) { return ObjectQueue(i); };
    for (ClassInfo& info : classes) {
      if (info.unreachable) continue;
      double r = Rate(info, time, at);
      info.lastRate = r;
      PathEntry* const* e = entryObjects.data() + info.firstEntry;
      PathEntry* const* const end = e + info.entryCount;
      for (; e != end; ++e) {
        PathEntry& entry = **e;
        const double old = entry.x;
        entry.x = r;
        if (entry.queue != nullptr) {
          const CQueue& q = *entry.queue;
          r = q.N != 0 ? entry.n * q.U * q.serviceRate / q.N : old;
        }
      }
    }
    for (C_MM1K_Queue* q : queues) q->ComputeArrivalRate(time);
  }

  static bool IsSmallBuffer(const C_MM1K_Queue& q) { return q.bufferSize < kLargeBufferPackets; }
  static double ClampRho(const C_MM1K_Queue& q, double rho) {
    return rho > kFullSmallBufferRho && IsSmallBuffer(q) ? kFullSmallBufferRho : rho;
  }
  // The derivative of the queue at its current rho, held at 0 while a full small buffer fills.
  static double FullQueueDerivative(const C_MM1K_Queue& q, double d) {
    return d > 0 && q.rho >= kFullSmallBufferRho && IsSmallBuffer(q) ? 0 : d;
  }

  void RungeKuttaStep(double time, const double* in, double h, double* out) {
    const double w[5] = {h / 2, h / 2, h, h, h / 2};
    const size_t n = queues.size();
    for (size_t i = 0; i < n; ++i) {
      out[i] = in[i];
      stage[i] = in[i];
    }
    double tau = time;
    for (int k = 0; k < 4; ++k) {
      for (size_t i = 0; i < n; ++i) {
        C_MM1K_Queue& q = *queues[i];
        // The metrics are a function of rho alone and describe the saved rho on entry (they are
        // updated whenever rho is set outside this step), so putting them back is the same as
        // recomputing them from the restored rho.
        const double savedRho = q.rho, savedN = q.N, savedP = q.P, savedU = q.U;
        q.rho = stage[i];
        q.UpdateMetrics();
        slope[i] = FullQueueDerivative(q, q.Derivative(tau));
        q.rho = savedRho;
        q.N = savedN;
        q.P = savedP;
        q.U = savedU;
      }
      tau = time + w[k];
      for (size_t i = 0; i < n; ++i) {
        double s = in[i] + w[k] * slope[i];
        stage[i] = ClampRho(*queues[i], s < 0 ? 0 : s);
        double o = out[i] + w[k + 1] * slope[i] / 3;
        out[i] = ClampRho(*queues[i], o < 0 ? 0 : o);
      }
    }
  }

  void AdaptiveStep(double t0, double tEnd) {
    const size_t n = queues.size();
    for (size_t i = 0; i < n; ++i) y[i] = queues[i]->rho;
    double H = tEnd - t0;
    int count = 0;
    bool final = false;
    for (;;) {
      const double overshoot = t0 + 2.01 * H - tEnd;
      if ((overshoot > 0 && H > 0) || (overshoot < 0 && H < 0)) {
        final = true;
        H = (tEnd - t0) / 2;
      }
      RungeKuttaStep(t0, y.data(), 2 * H, big.data());
      for (;;) {
        RungeKuttaStep(t0, y.data(), H, half.data());
        RungeKuttaStep(t0 + H, half.data(), H, two.data());
        bool rejected = false;
        for (size_t i = 0; i < n; ++i) {
          if (std::fabs(big[i] - two[i]) > kAdaptiveTolerance) {
            rejected = true;
            break;
          }
        }
        if (!rejected || H <= kSmallestHalfStep || t0 + H == t0) break;
        H = H / 2;
        final = false;
        big.swap(half);
        for (size_t i = 0; i < n; ++i) {
          const double v = big[i];
          const double K = queues[i]->bufferSize;
          if ((0.99 < v && v < 1 && v / (1 - v) >= K / 2) ||
              (1 < v && v < 1.01 && K + v / (1 - v) <= K / 2)) {
            y[i] = 2 - v;
            big[i] = 2 - v;
          }
        }
      }
      t0 = t0 + 2 * H;
      if (final) {
        for (size_t i = 0; i < n; ++i) queues[i]->rho = two[i] < 0 ? 0 : two[i];
        return;
      }
      y.swap(two);
      if (count == 5) {
        H = 2 * H;
        count = 0;
      }
      count = count + 1;
    }
  }

  void StepZIteration() {
    double m = 0;
    for (C_MM1K_Queue* q : queues) {
      const double d = std::fabs(FullQueueDerivative(*q, q->Derivative(t)));
      if (m < d) m = d;
    }
    double h = kRhoChangePerStep / m;
    if (h >= doc.runningStep) h = doc.runningStep;
    const double smallest = doc.runningStep * kSmallestStepFraction;
    if (!(h >= smallest) || t + h == t) h = smallest;
    AdaptiveStep(t, t + h);
    if (t >= nextDump) WriteRow(false);
    for (size_t i = 0; i < queues.size(); i += 2) {
      C_MM1K_Queue& forward = *queues[i];
      C_MM1K_Queue& backward = *queues[i + 1];
      forward.CheckReflection();
      backward.CheckReflection();
      forward.UpdateMetrics();
      backward.UpdateMetrics();
      forward.UpdateRegime(t);
      backward.UpdateRegime(t);
    }
    for (const ClassInfo& info : classes) {
      if (!info.unreachable) info.object->AdvanceOccupancy(h);
    }
    for (C_MM1K_Queue* q : queues) q->SumOccupancy();
    for (const ClassInfo& info : classes) {
      if (!info.unreachable) info.object->NormalizeOccupancy();
    }
    t = t + h;
    PropagateAllObjects(t);
  }

  // --- dump rows -----------------------------------------------------------------------------

  void WriteRow(bool offeredLoadForEmpty) {
    if (writer != nullptr) {
      writer->BeginRow(t);
      if (offeredLoadForEmpty) {
        for (const QueueState& q : queueState) writer->AddQueue(q.N == 0 ? q.lambda / q.mu : q.N, q.U, q.P);
      } else {
        for (const C_MM1K_Queue* q : queues) writer->AddQueue(q->N, q->U, q->P);
      }
      for (const ClassInfo& info : classes) {
        writer->AddClass(info.unreachable ? info.object->GetRate(t) : info.lastRate);
      }
      writer->EndRow();
      ++rowsWritten;
    }
    nextDump = nextDump + doc.dumpInterval;
    if (options.progress) options.progress(ProgressText(nextDump), nextDump);
  }

  bool Prepare(RunMethod m, RunResult& result) {
    method = m;
    if (!OpenRateFiles(result)) return false;
    profiles = &CTcpProfiles::Instance();
    tcpProfile = GetTcpProfile();
    ResetQueuesAndPaths(result);
    t = 0;
    nextDump = 0;
    prepared = true;
    if (method == RunMethod::kComputeMetrics) {
      PropagateAllArrays(0);
    } else {
      PropagateAllObjects(0);
      for (C_MM1K_Queue* q : queues) q->UpdateRegime(0);
    }
    return true;
  }

  void Store() {
    if (method == RunMethod::kComputeMetrics) StoreArrays();
  }

  bool Cancelled() const {
    return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
  }

  RunResult Execute(RunMethod m) {
    RunResult result;
    const Clock::time_point routeStart = Clock::now();
    if (!doc.routesValid) {
      doc.ComputeRoutes();
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
    dump.WriteHeader(options.documentPath ? *options.documentPath : doc.GetPathName(),
                     static_cast<int>(doc.GetLinks().size()), static_cast<int>(doc.GetClasses().size()),
                     NominalRowCount(doc.totalTime, doc.dumpInterval));
    writer = &dump;
    rowsWritten = 0;

    try {
      if (Prepare(m, result)) {
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
        } while (t < doc.totalTime);
      }
    } catch (const CProfileOutOfTableException& e) {
      result.status = RunStatus::kProfileOutOfTable;
      result.message = e.what();
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
    if (prepared) doc.UpdateAllViews(nullptr, kHintGeneral);
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
    impl_->doc.ComputeRoutes();
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
  impl_->AdaptiveStep(t0, tEnd);
}
void CZIterationEngine::RungeKuttaStep(double t, const double* y, double h, double* out) {
  impl_->RungeKuttaStep(t, y, h, out);
}

RunResult Run(CVarloDoc& doc, RunMethod method, const RunOptions& options) {
  CZIterationEngine engine(doc, options);
  return method == RunMethod::kComputeMetrics ? engine.RunComputeMetrics() : engine.RunZIteration();
}

}  // namespace varlo
