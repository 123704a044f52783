#include "engine/run_setup.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <optional>

#include "engine/object_steps.h"
#include "engine/dump_file.h"
#include "engine/tcp_profile.h"
#include "model/document.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "model/traffic_class_kinds.h"
#include "platform/core/file_errors.h"
#include "platform/core/text_format.h"

namespace varlo {

std::string EndNames(const CTrafficClass& c) {
  const std::string from = c.GetSource() != nullptr ? c.GetSource()->GetName() : std::string("?");
  const std::string to = c.GetDestination() != nullptr ? c.GetDestination()->GetName() : std::string("?");
  return from + " -> " + to;
}

bool RunSetup::OpenRateFiles(CVarloDoc& doc, RunResult& result, const std::atomic<bool>* cancel) {
  for (const auto& owned : doc.GetClasses()) {
    auto* td = dynamic_cast<CTdPoissonClass*>(owned.get());
    if (td == nullptr) continue;
    td->CloseRateFile();
    // A trace's rate file is made now, beside the network or in the cache, never on reading.
    std::optional<std::string> problem;
    if (auto* trace = dynamic_cast<CTraceClass*>(td)) {
      trace->SetNetworkFolder(doc.GetPathName().empty() ? std::string() : doc.GetFolder());
      try {
        trace->PrepareRateFile(cancel);
      } catch (const CFileException& e) {
        problem = e.Message();
      } catch (const std::exception& e) {
        problem = e.what();
      }
    }
    if (!problem) problem = td->CheckRateFile(cancel);
    if (problem && cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      result.status = RunStatus::kCancelled;
      result.message = "The evaluation was cancelled.";
      return false;
    }
    if (problem) {
      result.status = RunStatus::kRateFileNotOpened;
      result.message = Format("The rate file \"%s\" of the traffic class %s cannot be used: %s",
                              td->rateFileName.c_str(), EndNames(*td).c_str(), problem->c_str());
      return false;
    }
    errno = 0;
    const bool opened = td->OpenRateFile();
    const int error = errno;
    // The rate lookup opens the file again from its beginning at the first time it is asked.
    td->CloseRateFile();
    if (!opened) {
      result.status = RunStatus::kRateFileNotOpened;
      result.message =
          Format("The rate file \"%s\" of the traffic class %s cannot be opened: %s",
                 td->rateFileName.c_str(), EndNames(*td).c_str(), std::strerror(error != 0 ? error : ENOENT));
      return false;
    }
  }
  return true;
}

void RunSetup::Reset(CVarloDoc& doc, RunResult& result,
                     const std::function<void(const std::string&)>& notice) {
  profiles = &CTcpProfiles::Instance();
  tcpProfile = GetTcpProfile();
  queues.clear();
  for (const auto& link : doc.GetLinks()) {
    queues.push_back(link->GetForwardQueue());
    queues.push_back(link->GetBackwardQueue());
  }
  for (C_MM1K_Queue* q : queues) {
    q->N = q->P = q->U = q->rho = q->derivative = q->arrivalRate = q->occupancySum = 0;
    UpdateMetrics(*q);
    q->ClearPathEntries();
  }
  for (const auto& c : doc.GetClasses()) c->BuildPath();

  queueIndex.clear();
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
    info.startTime = owned->startTime;
    info.stopTime = owned->stopTime;
    info.unreachable = owned->IsUnreachable();
    if (info.unreachable) {
      result.unreachableClasses.push_back(owned.get());
      if (!names.empty()) names += ", ";
      names += EndNames(*owned);
    }
    const TrafficClassKind& kind = KindOf(*owned);
    if (kind.rateSource == RateSource::kConstant) {
      info.kind = RateKind::kConstant;
      info.constantRate = kind.constantRate(*owned);
    } else if (kind.rateSource == RateSource::kTcpProfile && !info.unreachable) {
      auto* tcp = static_cast<CTCPClass*>(owned.get());
      info.kind = RateKind::kTcp;
      info.tcp = tcp;
      info.firstRttQueue = static_cast<std::uint32_t>(rttQueues.size());
      walk.clear();
      tcp->GetPathQueues(walk);
      info.forwardQueueCount = static_cast<std::uint32_t>(walk.size());
      tcp->GetReversePathQueues(walk);
      for (CQueue* q : walk) rttQueues.push_back(queueIndex.at(q));
      info.rttQueueCount = static_cast<std::uint32_t>(rttQueues.size()) - info.firstRttQueue;
    }
    info.firstEntry = static_cast<std::uint32_t>(entryObjects.size());
    for (const auto& e : owned->GetPath()) entryObjects.push_back(e.get());
    info.entryCount = static_cast<std::uint32_t>(entryObjects.size()) - info.firstEntry;
    classes.push_back(info);
  }
  hasTcp = false;
  for (const ClassInfo& info : classes) hasTcp = hasTcp || info.kind == RateKind::kTcp;
  // Only the refined model shares out bottlenecks between TCP classes.
  demandClassStart_.clear();
  demandClasses_.clear();
  closedLoads.clear();
  closedSojourns.clear();  // no loop has held yet
  loopWindows.clear();
  queueBursts.clear();
  burstFollow_.clear();
  if (refined && hasTcp) BuildDemandLists();
  if (!names.empty()) {
    result.unreachableMessage =
        "These traffic classes cannot reach their destination and are left out of the load: " + names;
    if (notice) notice(result.unreachableMessage);
  }
}

void RunSetup::BuildDemandLists() {
  demandClassStart_.assign(queues.size() + 1, 0);
  std::uint32_t tcpClasses = 0;
  tcpForward_.clear();
  for (ClassInfo& info : classes) {
    if (info.kind != RateKind::kTcp) continue;
    info.tcpIndex = tcpClasses++;
    tcpForward_.push_back({info.firstRttQueue, info.unreachable ? 0u : info.forwardQueueCount});
    for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i)
      ++demandClassStart_[rttQueues[info.firstRttQueue + i] + 1];
  }
  for (size_t i = 0; i < queues.size(); ++i) demandClassStart_[i + 1] += demandClassStart_[i];
  demandClasses_.resize(demandClassStart_.back());
  classTightestAt_.assign(tcpClasses, kNoQueue);
  forwardSlots_.assign(rttQueues.size(), 0);
  classLoads_.assign(tcpClasses, ClassLoad{});
  tcpDelivered_.assign(tcpClasses, 0.0);
  shownRates_.assign(tcpClasses, 0.0);
  classLoops_.assign(tcpClasses, ClassLoop{});
  std::vector<std::uint32_t> filled(demandClassStart_.begin(), demandClassStart_.end() - 1);
  // A burst leaves each queue spaced by that queue's sending: it still piles up at a queue that
  // sends more slowly than every one before it on the path, by how much more slowly.
  std::vector<std::vector<std::pair<std::uint32_t, float>>> reached(queues.size());
  meetsAt_.assign(queues.size(), 0);
  classMeets_.assign(tcpClasses, 0);
  std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> paced(queues.size());
  for (std::uint32_t c = 0; c < classes.size(); ++c) {
    const ClassInfo& info = classes[c];
    if (info.kind != RateKind::kTcp) continue;
    double slowest = HUGE_VAL;
    for (std::uint32_t i = 0; i < info.forwardQueueCount; ++i) {
      const std::uint32_t q = rttQueues[info.firstRttQueue + i];
      forwardSlots_[info.firstRttQueue + i] = filled[q];
      demandClasses_[filled[q]++] = info.tcpIndex;
      const double mu = queues[q]->serviceRate;
      const double reach = slowest == HUGE_VAL ? 1.0 : slowest > 0.0 ? std::max(1.0 - mu / slowest, 0.0) : 0.0;
      slowest = std::min(slowest, mu);
      if (reach > 0.0) reached[q].emplace_back(info.tcpIndex, static_cast<float>(reach));
      if (reach > 0.0 && i > 0) meetsAt_[q] = classMeets_[info.tcpIndex] = 1;
      if (reach == 0.0 && i > 0) {
        const std::uint32_t before = rttQueues[info.firstRttQueue + i - 1];
        if (queues[before]->serviceRate <= mu) paced[q].emplace_back(before, info.tcpIndex);
      }
    }
  }
  std::vector<std::uint32_t> pacedClasses;  // by tcpIndex, per queue in order of the queue before
  pacedClassStart_.assign(1, 0);
  pacedRunStart_.assign(1, 0);
  pacedRunEnds_.clear();
  for (auto& list : paced) {
    std::sort(list.begin(), list.end());
    for (size_t k = 0; k < list.size(); ++k) {
      pacedClasses.push_back(list[k].second);
      if (k + 1 == list.size() || list[k + 1].first != list[k].first)
        pacedRunEnds_.push_back(static_cast<std::uint32_t>(pacedClasses.size()));
    }
    pacedClassStart_.push_back(static_cast<std::uint32_t>(pacedClasses.size()));
    pacedRunStart_.push_back(static_cast<std::uint32_t>(pacedRunEnds_.size()));
  }
  pacedPoisson_.assign(queues.size(), 1.0);
  burstClassStart_.assign(1, 0);
  burstClasses_.clear();
  burstReach_.clear();
  for (const auto& list : reached) {
    for (const auto& [cls, reach] : list) {
      burstClasses_.push_back(cls);
      burstReach_.push_back(reach);
    }
    burstClassStart_.push_back(static_cast<std::uint32_t>(burstClasses_.size()));
  }
  classBursts_.assign(tcpClasses, 0.0f);
  classTrainDrops_.assign(tcpClasses, 0.0);
  classMeetDrops_.assign(tcpClasses, 0.0);
  classPiece_.assign(tcpClasses, 0.0f);
  classWindow_.assign(tcpClasses, 0.0f);
  classMeetQueue_.assign(tcpClasses, kNoQueue);
  ackClassStart_.assign(queues.size() + 1, 0);
  for (const ClassInfo& info : classes) {
    if (info.kind != RateKind::kTcp || info.unreachable) continue;
    for (std::uint32_t i = info.forwardQueueCount; i < info.rttQueueCount; ++i)
      ++ackClassStart_[rttQueues[info.firstRttQueue + i] + 1];
  }
  for (size_t i = 0; i < queues.size(); ++i) ackClassStart_[i + 1] += ackClassStart_[i];
  ackClasses_.resize(ackClassStart_.back());
  std::vector<std::uint32_t> ackFilled(ackClassStart_.begin(), ackClassStart_.end() - 1);
  for (const ClassInfo& info : classes) {
    if (info.kind != RateKind::kTcp || info.unreachable) continue;
    for (std::uint32_t i = info.forwardQueueCount; i < info.rttQueueCount; ++i)
      ackClasses_[ackFilled[rttQueues[info.firstRttQueue + i]]++] = info.tcpIndex;
  }
  // Each class's places in slotRates_: those of its acknowledgements, then its paced ones.
  const size_t ackSlots = ackClasses_.size();
  slotRates_.assign(ackSlots + pacedClasses.size(), 0.0);
  classSlotStart_.assign(tcpClasses + 1, 0);
  for (const std::uint32_t cls : ackClasses_) ++classSlotStart_[cls + 1];
  for (const std::uint32_t cls : pacedClasses) ++classSlotStart_[cls + 1];
  for (std::uint32_t c = 0; c < tcpClasses; ++c) classSlotStart_[c + 1] += classSlotStart_[c];
  classSlots_.resize(classSlotStart_.back());
  std::vector<std::uint32_t> slotFilled(classSlotStart_.begin(), classSlotStart_.end() - 1);
  for (size_t j = 0; j < ackSlots; ++j)
    classSlots_[slotFilled[ackClasses_[j]]++] = static_cast<std::uint32_t>(j);
  for (size_t j = 0; j < pacedClasses.size(); ++j)
    classSlots_[slotFilled[pacedClasses[j]]++] = static_cast<std::uint32_t>(ackSlots + j);
}

void RunSetup::ShareShownRates() {
  shownCapped_ = false;
  if (!refined || !hasTcp) return;
  const size_t n = demandClassStart_.size() - 1;
  constexpr size_t kQueuesPerPart = 256;
  roomFactors_.resize(n, 1.0);
  cappedParts_.assign((n + kQueuesPerPart - 1) / kQueuesPerPart, 0);
  // (In fixed parts, each queue's sum in the order of its list: the same for any number of threads.)
  pool->ForRanges(n, kQueuesPerPart, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      double sum = 0.0;
      for (std::uint32_t j = demandClassStart_[i]; j < demandClassStart_[i + 1]; ++j)
        sum += tcpDelivered_[demandClasses_[j] & kClassOfSlot];
      const double room = i < tcpRoom_.size() ? tcpRoom_[i] : HUGE_VAL;
      roomFactors_[i] = sum > room ? room / sum : 1.0;
      if (sum > room) cappedParts_[begin / kQueuesPerPart] = 1;
    }
  }, 8);
  for (const std::uint8_t capped : cappedParts_) shownCapped_ = shownCapped_ || capped != 0;
  if (!shownCapped_) return;  // every class is shown what it gets (ShownTcpRate)
  pool->ForRanges(tcpForward_.size(), 2048, [&](size_t begin, size_t end) {
    for (size_t c = begin; c < end; ++c) {
      double factor = 1.0;
      const std::uint32_t* q = rttQueues.data() + tcpForward_[c].first;
      for (std::uint32_t i = 0; i < tcpForward_[c].count; ++i) factor = std::min(factor, roomFactors_[q[i]]);
      shownRates_[c] = factor < 1.0 ? tcpDelivered_[c] * factor : tcpDelivered_[c];
    }
  }, 8);
}

double RunSetup::Lookup(double roundTrip, double loss) const {
  // Classes whose paths differ only in queues that hold nothing (the access links of a dumbbell)
  // have bit for bit the same round trip and loss: the last lookups of each thread are kept by
  // their two arguments and the profile, and a lookup is a pure function of these.
  struct Kept {
    std::uint64_t roundTrip = ~std::uint64_t{0};
    std::uint64_t loss = ~std::uint64_t{0};
    int profile = -1;
    double value = 0;
  };
  constexpr size_t kKept = 64;
  thread_local std::array<Kept, kKept> kept;
  std::uint64_t r;
  std::uint64_t l;
  std::memcpy(&r, &roundTrip, sizeof r);
  std::memcpy(&l, &loss, sizeof l);
  const std::uint64_t mixed = (r ^ (l * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
  Kept& slot = kept[(mixed >> 58) % kKept];
  // The refined model reads the NetBSD profile beyond its table too, where the classic one stops.
  const int table = refined ? tcpProfile + 2 : tcpProfile;
  if (slot.roundTrip == r && slot.loss == l && slot.profile == table) return slot.value;
  const double value = refined ? profiles->LookupBeyondTable(tcpProfile, roundTrip, loss)
                               : profiles->Lookup(tcpProfile, roundTrip, loss);
  slot = Kept{r, l, table, value};
  return value;
}

void LocateOutOfTable(CProfileOutOfTableException& e, const CTrafficClass& c, double time, double roundTrip,
                      double loss) {
  e.Locate(Format("The traffic class %s asked at time %lf for a round trip of %s s and a loss of %s; the "
                  "NetBSD 1.2 Profile covers losses below 0.39 and round trips below 49.99 s (the NS Profile "
                  "and the refined model cover every point).",
                  EndNames(c).c_str(), time, FormatFixed6(roundTrip).c_str(), FormatFixed6(loss).c_str()));
}

}  // namespace varlo
