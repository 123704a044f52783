// The M/M/1/K queue: a link direction's service rate, buffer and delay, the run-time state the
// evaluation leaves in it, and its script lines. The evaluation's maths on it lives in the engine
// (engine/fluid_formulas.h, engine/object_steps.h).
#pragma once

#include "model/queue.h"

namespace varlo {

// The smallest buffer a queue may have, in packets: room for the packet in service. Smaller
// buffers (0, 0.5) describe no M/M/1/K queue and stall the Z-iteration; files, JSON, dialogs and
// the link modifier refuse them.
inline constexpr double kLeastBufferSize = 1.0;

class C_MM1K_Queue : public CQueue {
 public:
  C_MM1K_Queue() = default;  // empty, for reading
  C_MM1K_Queue(CNode* from, CNode* to, double serviceRate, double bufferSize, double propagationDelay);

  const char* GetRuntimeClassName() const override { return "C_MM1K_Queue"; }
  void Serialize(CArchive& ar) override;  // CQueue fields, then K

  std::string GetNSScript() const override;
  std::string GetQNSScript(int linkService) const override;

  double bufferSize = 0.0;  // K, packets
};

}  // namespace varlo
