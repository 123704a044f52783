// UDP source of Poisson traffic at a constant rate.
#pragma once

#include "model/traffic_class.h"

namespace varlo {

class CConstPoissonClass : public CTrafficClass {
 public:
  CConstPoissonClass() = default;
  CConstPoissonClass(CNode* source, CNode* destination, double startTime, double stopTime, double rate);

  const char* GetRuntimeClassName() const override { return "CConstPoissonClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeConstPoisson; }
  double GetRate(double t) override;
  std::string GetDescription() const override;
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;
  // The name of its source in the ns script ("_Poisson_..."), for options of the script writer.
  std::string GetScriptName() const { return ScriptName("Poisson"); }

  double rate = 0.0;  // packets/s
};

}  // namespace varlo
