// Time-dependent Poisson source: the rate over time is read from a rate file (".vlr") of lines
// "time rate"; the rate on a line holds until the time of the next line.
#pragma once

#include <cstdio>
#include <string>

#include "model/traffic_class.h"

namespace varlo {

class CTdPoissonClass : public CTrafficClass {
 public:
  CTdPoissonClass() = default;
  CTdPoissonClass(CNode* source, CNode* destination, double startTime, double stopTime,
                  std::string rateFileName);
  ~CTdPoissonClass() override;

  const char* GetRuntimeClassName() const override { return "CTdPoissonClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeTdPoisson; }
  double GetRate(double t) override;
  std::string GetDescription() const override;
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;

  // Opens the rate file from its beginning if it is not open and reads up to the start time;
  // false when it cannot be opened (the class then offers 0).
  bool OpenRateFile();
  void CloseRateFile();
  bool IsRateFileOpen() const { return rateFile_ != nullptr; }

  double reserved = 0.0;  // persistent, no meaning
  std::string rateFileName;

 protected:
  void SerializeOwnFields(CArchive& ar);

 private:
  // The next "time rate" line; false at the end of the data (end of file or the first line
  // without two numbers, after which nothing more is read).
  bool ReadLine(double& time, double& rate);

  std::FILE* rateFile_ = nullptr;
  bool endOfData_ = false;
  double previousTime_ = 0.0, currentTime_ = 0.0;
  double previousRate_ = 0.0, currentRate_ = 0.0;
};

}  // namespace varlo
