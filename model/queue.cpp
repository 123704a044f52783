#include "model/queue.h"

#include <algorithm>

#include "model/archive.h"

namespace varlo {

CQueue::CQueue(CNode* from, CNode* to, double serviceRate, double propagationDelay)
    : serviceRate(serviceRate), propagationDelay(propagationDelay), fromNode(from), toNode(to) {}

CQueue::~CQueue() {
  for (PathEntry* entry : pathEntries) entry->queue = nullptr;
}

void CQueue::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteDouble(serviceRate);
    ar.WriteDouble(propagationDelay);
    ar.WriteU16(routeWeight);
  } else {
    // Packets per second and seconds: neither is ever negative.
    serviceRate = ar.ReadQuantity(0.0);
    propagationDelay = ar.ReadQuantity(0.0);
    routeWeight = ar.ReadU16();
  }
}

double CQueue::ComputeArrivalRate(double /*t*/) {
  double sum = 0.0;
  for (const PathEntry* entry : pathEntries) sum += entry->x;
  arrivalRate = sum;
  return arrivalRate;
}

void CQueue::SumOccupancy() {
  double sum = 0.0;
  for (const PathEntry* entry : pathEntries) sum += entry->n;
  occupancySum = sum;
}

void CQueue::RemovePathEntriesOf(const CTrafficClass* trafficClass) {
  std::erase_if(pathEntries,
                [trafficClass](const PathEntry* entry) { return entry->trafficClass == trafficClass; });
}

}  // namespace varlo
