// The abstract queue of one link direction and the path entries through which traffic classes
// load it. Rates are packets per second; a packet is 1000 bytes (8000 bits).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/persistent.h"

namespace varlo {

class CGraphicLink;
class CNode;
class CTrafficClass;
class CQueue;

// One step of a class's path: the class offers x packets/s to the queue and has n packets in it.
// The terminal entry (queue == nullptr) stands for the destination.
struct PathEntry {
  CTrafficClass* trafficClass = nullptr;
  CQueue* queue = nullptr;
  double n = 0.0;  // occupancy, packets
  double x = 0.0;  // input rate, packets/s
};

class CQueue : public CPersistent {
 public:
  CQueue() = default;
  CQueue(CNode* from, CNode* to, double serviceRate, double propagationDelay);
  // Detaches the path entries that still cross this queue (a link deleted before the classes'
  // paths are rebuilt), so that no class keeps a pointer to it.
  ~CQueue() override;
  CQueue(const CQueue&) = delete;
  CQueue& operator=(const CQueue&) = delete;

  void Serialize(CArchive& ar) override;  // service rate, propagation delay, route weight

  virtual std::string GetNSScript() const = 0;
  virtual std::string GetQNSScript(int linkService) const = 0;

  // lambda := sum of x over the path entries; returns it (t is not used).
  double ComputeArrivalRate(double t);
  // occupancy sum := sum of n over the path entries.
  void SumOccupancy();
  void ClearPathEntries() { pathEntries.clear(); }
  void AddPathEntry(PathEntry* entry) { pathEntries.push_back(entry); }
  // Removes every entry of this class from the list (used when a class drops its path).
  void RemovePathEntriesOf(const CTrafficClass* trafficClass);

  // Outputs and state (run-time).
  double N = 0.0;           // average size, packets
  double P = 0.0;           // loss probability
  double U = 0.0;           // utilisation
  double rho = 0.0;         // state of the Z-iteration run
  double derivative = 0.0;  // last d(rho)/dt, 1/s
  // Persistent parameters.
  double serviceRate = 0.0;       // mu, packets/s
  double propagationDelay = 0.0;  // s
  std::uint16_t routeWeight = 1;
  // Run-time bookkeeping.
  double arrivalRate = 0.0;   // lambda, packets/s
  double occupancySum = 0.0;  // packets
  double accepted = 0.0;      // packets admitted in the last DiscreteStep
  double served = 0.0;        // packets sent in the last DiscreteStep
  std::int32_t regime = 0;    // 0 unset, 1 filling, 2 draining (buffers over 100 packets)
  double previousArrivalRate = 0.0;

  CGraphicLink* owningLink = nullptr;
  CNode* fromNode = nullptr;
  CNode* toNode = nullptr;
  std::vector<PathEntry*> pathEntries;  // not owned
};

}  // namespace varlo
