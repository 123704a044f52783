// The M/M/1/K queue: closed-form metrics, the Z-iteration derivative with the two branches of a
// large buffer (K >= 100), and the fixed-step fluid backlog model of the Compute Metrics run.
#pragma once

#include "engine/queue.h"

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

  double Derivative(double t) override;
  void UpdateMetrics() override;
  void UpdateRegime(double t) override;
  void CheckReflection() override;
  std::string GetNSScript() const override;
  std::string GetQNSScript(int linkService) const override;
  void DiscreteStep(double t, double h) override;

  double bufferSize = 0.0;  // K, packets
};

}  // namespace varlo
