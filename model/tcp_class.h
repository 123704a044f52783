// Long-lived TCP bulk transfer whose throughput is looked up in the TCP profile in use from the
// round-trip time and the loss along its path. The lookup needs the network's state and is the
// engine's (OfferedRate in engine/object_steps.h); the class keeps the last value it gave.
#pragma once

#include "model/traffic_class.h"

namespace varlo {

class CTCPClass : public CTrafficClass {
 public:
  CTCPClass() = default;
  CTCPClass(CNode* source, CNode* destination, double startTime, double stopTime, double sinkDelay);

  const char* GetRuntimeClassName() const override { return "CTCPClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeTCP; }
  // The throughput of the engine's last evaluation while the class is active, else 0.
  double GetRate(double t) override;
  std::string GetDescription() const override;
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;

  double sinkDelay = 0.0;  // s
  // Run-time: the last evaluation.
  double lastEvaluationTime = 0.0;
  double lastThroughput = 0.0;  // packets/s
};

}  // namespace varlo
