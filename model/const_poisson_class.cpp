#include "model/const_poisson_class.h"

#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {

CConstPoissonClass::CConstPoissonClass(CNode* source, CNode* destination, double startTime, double stopTime,
                                       double rate)
    : CTrafficClass(source, destination, startTime, stopTime), rate(rate) {}

void CConstPoissonClass::Serialize(CArchive& ar) {
  CTrafficClass::Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteDouble(rate);
  } else {
    rate = ar.ReadQuantity(0.0);
  }
}

double CConstPoissonClass::GetRate(double t) {
  return IsActive(t) ? rate : 0.0;
}

std::string CConstPoissonClass::GetDescription() const {
  return Format("To %s ( %4.1lf : %4.1lf ); Rate: %lf.", DestinationName().c_str(), startTime,
                ShownStopTime(10000.0), rate);
}

std::string CConstPoissonClass::GetNSScript(double startOffset) {
  const std::string name = ScriptName("Poisson");
  return PoissonAgentScript(name, rate) + PoissonStartStopScript(name, startOffset);
}

std::string CConstPoissonClass::GetQNSScript() const {
  throw CNotSupportedException();
}

}  // namespace varlo
