// Time-dependent Poisson source: the rate over time is read from a rate file (".vlr") of lines
// "time rate"; the rate on a line holds until the time of the next line.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "model/traffic_class.h"

namespace varlo {

// No line of a rate file or a trace is longer; a longer one (a file without line breaks) is damaged.
inline constexpr size_t kMaxTextLineLength = 4096;
// A rate file with more rows than this is refused, and no derived rate file gets more (a tiny
// slot or a far time stamp would otherwise write without end): at 20 bytes a row, about 200 MB.
inline constexpr std::uint64_t kMaxRateFileRows = 10'000'000;

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
  // Reads the whole rate file once before a run: a regular file whose lines up to the first that
  // is not "time rate" hold finite times and finite, non-negative rates, each line at most
  // kMaxTextLineLength characters, at most kMaxRateFileRows lines. Returns what is wrong (naming
  // the line), or nothing; "cancelled" when cancel was raised while reading.
  std::optional<std::string> CheckRateFile(const std::atomic<bool>* cancel) const;
  void CloseRateFile();
  bool IsRateFileOpen() const { return rateFile_ != nullptr; }

  double reserved = 0.0;  // persistent, no meaning
  std::string rateFileName;

 protected:
  void SerializeOwnFields(CArchive& ar);
  // Makes sure the rate file exists before it is opened; false when it cannot be made.
  virtual bool EnsureRateFile() { return true; }

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
