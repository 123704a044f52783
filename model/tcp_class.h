// Long-lived TCP bulk transfer whose throughput is looked up in the TCP profile in use from the
// round-trip time and the loss along its path.
#pragma once

#include <vector>

#include "model/traffic_class.h"

namespace varlo {

class CTCPClass : public CTrafficClass {
 public:
  CTCPClass() = default;
  CTCPClass(CNode* source, CNode* destination, double startTime, double stopTime, double sinkDelay);

  const char* GetRuntimeClassName() const override { return "CTCPClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeTCP; }
  // Throws CProfileOutOfTableException when the NetBSD profile is asked outside its table. A class
  // whose route fails in either direction offers 0.
  double GetRate(double t) override;
  std::string GetDescription() const override;
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;

  double sinkDelay = 0.0;  // s
  // Run-time: the last evaluation.
  double lastEvaluationTime = 0.0;
  double lastThroughput = 0.0;  // packets/s

 private:
  std::vector<CQueue*> walk_;  // queues of both directions, reused between evaluations
};

}  // namespace varlo
