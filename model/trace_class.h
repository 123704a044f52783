// Trace-driven source: a file of packet arrival times turned into a rate file by counting packets
// in slots, and into the simulator's binary trace (".nstrace").
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/td_poisson_class.h"

namespace varlo {

// A trace that cannot give a rate file (beyond the file errors): what() says why, in words that
// follow the name of the class ("the traffic class A -> B cannot be used: <what>").
class CTraceRateException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CTraceClass : public CTdPoissonClass {
 public:
  CTraceClass() = default;
  // Derives the rate file name; the file itself is built when a run first needs it.
  CTraceClass(CNode* source, CNode* destination, double startTime, double stopTime, std::string traceFileName,
              double slotSize);

  const char* GetRuntimeClassName() const override { return "CTraceClass"; }
  void Serialize(CArchive& ar) override;

  int GetType() const override { return kTypeTrace; }
  std::string GetDescription() const override;
  // Writes the binary trace (NSTraceFileName), then returns the class's script piece.
  std::string GetNSScript(double startOffset) override;
  std::string GetQNSScript() const override;

  // The folder of the network that holds the class ("" when unknown): a trace there gets its rate
  // file beside it, any other trace in the cache folder (RateFileLocation).
  void SetNetworkFolder(const std::string& folder);
  // Builds the rate file at its location unless it is there and not older than the trace. Throws
  // CFileException and CTraceRateException (too many rows, not a regular file, cancelled).
  void PrepareRateFile(const std::atomic<bool>* cancel);
  // "%s._%lf_.vlr" of the trace path and the slot size.
  static std::string DerivedRateFileName(const std::string& traceFileName, double slotSize);
  // The same where "%lf" gives the slot back exactly; otherwise the slot with all its digits
  // ("%.17g"), so that two slots never share a rate file.
  static std::string ExactRateFileName(const std::string& traceFileName, double slotSize);
  // Where the rate file of a trace lives: beside the trace when the trace is in networkFolder,
  // otherwise in RateCacheFolder() under the trace's name, a hash of its full path and the slot.
  static std::string RateFileLocation(const std::string& traceFileName, double slotSize,
                                      const std::string& networkFolder);
  // $XDG_CACHE_HOME/varlo/rates, or ~/.cache/varlo/rates.
  static std::string RateCacheFolder();
  // Builds the derived rate file unless it exists and is not older than the trace; at most
  // kMaxRateFileRows rows. Reading stops with CTraceRateException when cancel is raised.
  static void BuildRateFile(const std::string& traceFileName, double slotSize, const std::string& rateFileName,
                            const std::atomic<bool>* cancel = nullptr);
  // Checks that a trace is a readable regular file, writing nothing (throws CFileException, or
  // CTraceRateException for a pipe, a device and the like).
  static void CheckTraceFile(const std::string& traceFileName);
  // Writes the ".nstrace" records of a trace (throws CFileException).
  static void BuildNSTrace(const std::string& traceFileName, const std::string& nsTraceFileName);

  double reserved2 = 0.0;  // persistent, no meaning
  double slotSize = 0.0;   // s
  std::string traceFileName;
  // Where GetNSScript makes the ".nstrace" (the script's folder); beside the trace when empty.
  std::string nsTraceFolder;
  std::string NSTraceFileName() const;

 protected:
  bool EnsureRateFile() override;

 private:
  std::string networkFolder_;
};

// The file name without its directory (text after the last '\\' or '/').
std::string BaseName(const std::string& path);

}  // namespace varlo
