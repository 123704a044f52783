#include "model/trace_class.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void ThrowFileError(const std::string& fileName, int error) {
  throw CFileException(CFileException::CauseFromErrno(error), fileName, error);
}

FilePtr OpenOrThrow(const std::string& fileName, const char* mode) {
  errno = 0;
  FilePtr file(std::fopen(fileName.c_str(), mode));
  if (!file) ThrowFileError(fileName, errno);
  return file;
}

// Closes a file that was written, reporting a failed flush (disk full and the like).
void CloseWritten(FilePtr file, const std::string& fileName) {
  const bool writeFailed = std::ferror(file.get()) != 0;
  errno = 0;
  const int closed = std::fclose(file.release());
  if (writeFailed || closed != 0) ThrowFileError(fileName, errno != 0 ? errno : EIO);
}

// The next packet time: the first number of the next line; false at the end of the trace. "inf"
// and "nan" end the trace too: no slot ever reaches an infinite time.
bool ReadTraceLine(std::FILE* trace, double& time) {
  std::string line;
  char buffer[256];
  bool any = false;
  while (std::fgets(buffer, sizeof buffer, trace) != nullptr) {
    any = true;
    line += buffer;
    if (line.back() == '\n') break;
  }
  return any && std::sscanf(line.c_str(), "%lf", &time) == 1 && std::isfinite(time);
}

// The low 32 bits of an integral real, as the two's complement of a 64-bit integer would give them.
std::uint32_t Low32Bits(double integral) {
  if (!std::isfinite(integral)) return 0;
  double rest = std::fmod(integral, 4294967296.0);  // exact
  if (rest < 0.0) rest += 4294967296.0;
  return static_cast<std::uint32_t>(rest);
}

}  // namespace

std::string BaseName(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

CTraceClass::CTraceClass(CNode* source, CNode* destination, double startTime, double stopTime,
                         std::string traceFileName, double slotSize)
    : CTdPoissonClass(source, destination, startTime, stopTime, std::string()),
      slotSize(slotSize),
      traceFileName(std::move(traceFileName)) {
  rateFileName = DerivedRateFileName(this->traceFileName, slotSize);
  BuildRateFile(this->traceFileName, slotSize, rateFileName);
}

void CTraceClass::Serialize(CArchive& ar) {
  CTrafficClass::Serialize(ar);
  SerializeOwnFields(ar);
  if (ar.IsStoring()) {
    ar.WriteDouble(reserved2);
    ar.WriteString(traceFileName);
    ar.WriteDouble(slotSize);
  } else {
    reserved2 = ar.ReadDouble();
    traceFileName = ar.ReadString();
    slotSize = ar.ReadDouble();
    rateFileName = DerivedRateFileName(traceFileName, slotSize);
    BuildRateFile(traceFileName, slotSize, rateFileName);
  }
}

std::string CTraceClass::DerivedRateFileName(const std::string& traceFileName, double slotSize) {
  return Format("%s._%lf_.vlr", traceFileName.c_str(), slotSize);
}

void CTraceClass::BuildRateFile(const std::string& traceFileName, double slotSize,
                                const std::string& rateFileName) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(rateFileName, error)) {
    // A trace edited since the rate file was built would otherwise be ignored for ever.
    std::error_code traceError, rateError;
    const auto traceTime = fs::last_write_time(traceFileName, traceError);
    const auto rateTime = fs::last_write_time(rateFileName, rateError);
    if (traceError || rateError || !(traceTime > rateTime)) return;
  }
  // Slots that do not advance the slot start would never reach the next packet.
  if (!(slotSize > 0.0) || !std::isfinite(slotSize)) return;

  // The trace is opened first so that a missing trace leaves no empty rate file behind, which
  // later classes would take for a valid one. The rate file is written under a temporary name and
  // renamed into place, so that an interrupted build is never reused either.
  FilePtr trace = OpenOrThrow(traceFileName, "r");
  const std::string temporaryName = rateFileName + ".tmp";
  FilePtr rates = OpenOrThrow(temporaryName, "w");

  double slotStart = 0.0;  // s
  double count = 0.0;      // packets in the current slot
  double packetTime;
  bool stalled = false;
  while (!stalled && ReadTraceLine(trace.get(), packetTime)) {
    if (packetTime <= slotStart + slotSize) {
      count = count + 1.0;
      continue;
    }
    std::fprintf(rates.get(), "%lf %lf\n", slotStart, count / slotSize);
    slotStart = slotStart + slotSize;
    while (packetTime > slotStart + slotSize) {
      std::fprintf(rates.get(), "%lf %lf\n", slotStart, 0.0);
      const double next = slotStart + slotSize;
      if (next == slotStart) {  // the slot is below the resolution of the times reached
        stalled = true;
        break;
      }
      slotStart = next;
    }
    count = 1.0;
  }
  // The last slot is still filling when the trace ends and is not written.
  trace.reset();
  try {
    CloseWritten(std::move(rates), temporaryName);
  } catch (...) {
    fs::remove(temporaryName, error);
    throw;
  }
  fs::rename(temporaryName, rateFileName, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporaryName, ignored);
    ThrowFileError(rateFileName, error.value());
  }
}

void CTraceClass::BuildNSTrace(const std::string& traceFileName, const std::string& nsTraceFileName) {
  FilePtr trace = OpenOrThrow(traceFileName, "r");
  FilePtr out = OpenOrThrow(nsTraceFileName, "wb");
  double previous = 0.0;
  double time;
  bool first = true;
  while (std::fscanf(trace.get(), "%lf", &time) == 1 && std::isfinite(time)) {
    if (!first) {
      // Gap in microseconds, truncated toward zero, then the packet size in bytes; big-endian.
      const std::uint32_t gap = Low32Bits(std::trunc(time * 1000000.0 - previous * 1000000.0));
      const std::uint32_t size = 1000;
      const unsigned char record[8] = {
          static_cast<unsigned char>(gap >> 24),  static_cast<unsigned char>(gap >> 16),
          static_cast<unsigned char>(gap >> 8),   static_cast<unsigned char>(gap),
          static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
          static_cast<unsigned char>(size >> 8),  static_cast<unsigned char>(size),
      };
      std::fwrite(record, 1, sizeof record, out.get());
    }
    previous = time;
    first = false;
  }
  CloseWritten(std::move(out), nsTraceFileName);
}

std::string CTraceClass::GetDescription() const {
  return Format("Trace To %s; File: \" %s\"; Slot: %lf", DestinationName().c_str(),
                BaseName(traceFileName).c_str(), slotSize);
}

std::string CTraceClass::GetNSScript(double startOffset) {
  BuildNSTrace(traceFileName, traceFileName + ".nstrace");
  const std::string name = ScriptName("Trace");
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
  const std::string nsTrace = BaseName(traceFileName) + ".nstrace";
  const char* c = name.c_str();
  return Format(
             "\nset tfile_%s [new Tracefile]\n$tfile_%s filename %s\n\nset application_%s [new "
             "Application/Traffic/Trace]\n$application_%s attach-tracefile $tfile_%s\n\nset agent_%s [new "
             "Agent/CBR/UDP]\n$ns attach-agent $node_%s $agent_%s\nset null_%s [new Agent/Null]\n$ns "
             "attach-agent $node_%s $null_%s\n$ns connect $agent_%s $null_%s\n$agent_%s attach-traffic "
             "$application_%s\n",
             c, c, nsTrace.c_str(), c, c, c, c, from.c_str(), c, c, to.c_str(), c, c, c, c, c) +
         PoissonStartStopScript(name, startOffset);
}

std::string CTraceClass::GetQNSScript() const {
  return Format("t 1 %s 0.0 %d %d\n", (traceFileName + ".i").c_str(), static_cast<int>(GetSourceNumber()),
                static_cast<int>(GetDestinationNumber()));
}

}  // namespace varlo
