#include "model/td_poisson_class.h"

#include <cfloat>
#include <utility>

#include "model/trace_class.h"
#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {

CTdPoissonClass::CTdPoissonClass(CNode* source, CNode* destination, double startTime, double stopTime,
                                 std::string rateFileName)
    : CTrafficClass(source, destination, startTime, stopTime), rateFileName(std::move(rateFileName)) {}

CTdPoissonClass::~CTdPoissonClass() {
  CloseRateFile();
}

void CTdPoissonClass::Serialize(CArchive& ar) {
  CTrafficClass::Serialize(ar);
  SerializeOwnFields(ar);
}

void CTdPoissonClass::SerializeOwnFields(CArchive& ar) {
  if (ar.IsStoring()) {
    // Saving ends the reading of the rate file; the next run reads it again from its beginning.
    CloseRateFile();
    ar.WriteDouble(reserved);
    ar.WriteString(rateFileName);
    ar.WriteU32(0);  // open flag
  } else {
    reserved = ar.ReadDouble();
    rateFileName = ar.ReadString();
    ar.ReadU32();  // open flag: a file is never open in a freshly read class
  }
}

bool CTdPoissonClass::ReadLine(double& time, double& rate) {
  if (endOfData_ || rateFile_ == nullptr) return false;
  std::string line;
  char buffer[256];
  bool any = false;
  while (std::fgets(buffer, sizeof buffer, rateFile_) != nullptr) {
    any = true;
    line += buffer;
    if (!line.empty() && line.back() == '\n') break;
  }
  if (any && std::sscanf(line.c_str(), "%lf %lf", &time, &rate) == 2) return true;
  endOfData_ = true;
  return false;
}

bool CTdPoissonClass::OpenRateFile() {
  if (rateFile_ != nullptr) return true;
  rateFile_ = std::fopen(rateFileName.c_str(), "r");
  if (rateFile_ == nullptr) return false;
  endOfData_ = false;
  previousTime_ = startTime;
  previousRate_ = 0.0;
  currentRate_ = 0.0;
  // Lines at or before the start time fold into the rate in force at the start.
  do {
    previousRate_ = currentRate_;
    double time, rate;
    if (!ReadLine(time, rate)) {
      currentTime_ = DBL_MAX;
      currentRate_ = previousRate_;
      break;
    }
    currentTime_ = time;
    currentRate_ = rate;
  } while (currentTime_ <= startTime);
  return true;
}

void CTdPoissonClass::CloseRateFile() {
  if (rateFile_ != nullptr) std::fclose(rateFile_);
  rateFile_ = nullptr;
  endOfData_ = false;
}

double CTdPoissonClass::GetRate(double t) {
  if (!OpenRateFile()) return 0.0;
  if (!IsActive(t)) return 0.0;
  if (t < currentTime_) return previousRate_;
  double time, rate;
  for (;;) {
    if (!ReadLine(time, rate)) {
      time = DBL_MAX;
      rate = currentRate_;
      break;
    }
    if (time > t) break;
    currentTime_ = time;
    currentRate_ = rate;
  }
  previousTime_ = currentTime_;
  previousRate_ = currentRate_;
  currentTime_ = time;
  currentRate_ = rate;
  return previousRate_;
}

std::string CTdPoissonClass::GetDescription() const {
  return Format("TDP To %s; File: \"%s\"", DestinationName().c_str(), BaseName(rateFileName).c_str());
}

std::string CTdPoissonClass::GetNSScript(double startOffset) {
  // ns has no rate-file source; the script declares the agent with rate 0.
  const std::string name = ScriptName("Poisson");
  return PoissonAgentScript(name, 0.0) + PoissonStartStopScript(name, startOffset);
}

std::string CTdPoissonClass::GetQNSScript() const {
  return Format("t 4 %s 0.0 %d %d\n", rateFileName.c_str(), static_cast<int>(GetSourceNumber()),
                static_cast<int>(GetDestinationNumber()));
}

}  // namespace varlo
