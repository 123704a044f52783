// What both evaluation runs set up from the document before their first step: the queues in link
// order, each class with the way its rate is found and its path resolved to positions, the rate
// files opened once to check them, and the classes that cannot reach their destination. The two
// steppers (compute_metrics_stepper.h, z_iteration_stepper.h) run on this.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/fluid_formulas.h"
#include "engine/run.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "platform/core/thread_pool.h"

namespace varlo {

class CTcpProfiles;

enum class RateKind : std::uint8_t { kConstant, kTcp, kFromClass };

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

  // Opens and closes every rate file once; false (with the result filled) when one cannot be read.
  static bool OpenRateFiles(CVarloDoc& doc, RunResult& result);
  // Resets every queue, rebuilds the classes' paths, resolves them to positions and reports the
  // unreachable classes (in the result and through notice).
  void Reset(CVarloDoc& doc, RunResult& result, const std::function<void(const std::string&)>& notice);

  // The rate a class offers at time, packets/s; at(i) gives the round-trip terms of queue i.
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

 private:
  // The TCP rate with the round-trip queues resolved at set-up and the last lookup remembered.
  template <class QueueAt>
  double TcpRate(ClassInfo& info, double time, QueueAt&& at) {
    CTCPClass& c = *info.tcp;
    if (time == 0) c.lastEvaluationTime = 0;  // every run evaluates its classes first at time 0
    if (!c.IsActive(time)) return 0;
    if (time < c.lastEvaluationTime) return c.lastThroughput;
    RoundTrip trip{c.sinkDelay};
    const std::uint32_t* q = rttQueues.data() + info.firstRttQueue;
    for (std::uint32_t i = 0; i < info.rttQueueCount; ++i) {
      const RoundTripTerms& s = at(q[i]);
      trip.AddHop(s.waiting, s.delay, s.success);
    }
    const double loss = trip.Loss();
    if (!info.hasLookup || trip.seconds != info.lookupRoundTrip || loss != info.lookupLoss) {
      info.lookupValue = Lookup(trip.seconds, loss);
      info.lookupRoundTrip = trip.seconds;
      info.lookupLoss = loss;
      info.hasLookup = true;
    }
    c.lastEvaluationTime = time;
    c.lastThroughput = TcpRateFromProfile(info.lookupValue);
    return c.lastThroughput;
  }
  double Lookup(double roundTrip, double loss) const;
};

}  // namespace varlo
