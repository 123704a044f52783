#include "model/mm1k_queue.h"

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {

C_MM1K_Queue::C_MM1K_Queue(CNode* from, CNode* to, double serviceRate, double bufferSize,
                           double propagationDelay)
    : CQueue(from, to, serviceRate, propagationDelay), bufferSize(bufferSize) {}

void C_MM1K_Queue::Serialize(CArchive& ar) {
  CQueue::Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteDouble(bufferSize);
  } else {
    // Packets; a queue needs room for at least the packet in service.
    bufferSize = ar.ReadQuantity(kLeastBufferSize);
  }
}

std::string C_MM1K_Queue::GetNSScript() const {
  const std::string from = fromNode->GetScriptName();
  const std::string to = toNode->GetScriptName();
  return Format(
      "$ns simplex-link $node_%s $node_%s  %lfbps  %lfs  DropTail\n$ns queue-limit $node_%s $node_%s "
      "%lfkb\n",
      from.c_str(), to.c_str(), serviceRate * 8000.0, propagationDelay, from.c_str(), to.c_str(), bufferSize);
}

std::string C_MM1K_Queue::GetQNSScript(int linkService) const {
  return Format("l %d %d %d %lf 0.0 %lf\n", static_cast<int>(fromNode->GetNumber()),
                static_cast<int>(toNode->GetNumber()), linkService, serviceRate, bufferSize);
}

}  // namespace varlo
