// Trace-driven source: a file of packet arrival times turned into a rate file by counting packets
// in slots, and into the simulator's binary trace (".nstrace").
#pragma once

#include <string>
#include <vector>

#include "model/td_poisson_class.h"

namespace varlo {

class CTraceClass : public CTdPoissonClass {
 public:
  CTraceClass() = default;
  // Derives the rate file name and builds the rate file when needed (throws CFileException).
  CTraceClass(CNode* source, CNode* destination, double startTime, double stopTime, std::string traceFileName,
              double slotSize);

  const char* GetRuntimeClassName() const override { return "CTraceClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeTrace; }
  std::string GetDescription() const override;
  // Writes the binary trace beside the trace file, then returns the class's script piece.
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;

  // "%s._%lf_.vlr" of the trace path and the slot size.
  static std::string DerivedRateFileName(const std::string& traceFileName, double slotSize);
  // Builds the derived rate file unless it exists and is not older than the trace.
  static void BuildRateFile(const std::string& traceFileName, double slotSize,
                            const std::string& rateFileName);
  // Writes the ".nstrace" records of a trace (throws CFileException).
  static void BuildNSTrace(const std::string& traceFileName, const std::string& nsTraceFileName);

  double reserved2 = 0.0;  // persistent, no meaning
  double slotSize = 0.0;   // s
  std::string traceFileName;
};

// The file name without its directory (text after the last '\\' or '/').
std::string BaseName(const std::string& path);

}  // namespace varlo
