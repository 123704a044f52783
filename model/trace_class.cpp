#include "model/trace_class.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/script_words.h"
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

// Opens a trace for reading. Only a regular file is a trace: a pipe would block the program and
// a device such as /dev/zero never ends.
FilePtr OpenRegularOrThrow(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowFileError(fileName, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw CTraceRateException(Format("\"%s\" is not a regular file", fileName.c_str()));
  }
  FilePtr file(::fdopen(fd, "r"));
  if (!file) {
    const int error = errno;
    ::close(fd);
    ThrowFileError(fileName, error);
  }
  return file;
}

// The next packet time: the first number of the next line; false at the end of the trace. "inf"
// and "nan" end the trace too: no slot ever reaches an infinite time. A line longer than any
// packet time needs is a damaged trace.
bool ReadTraceLine(std::FILE* trace, double& time, const std::string& fileName) {
  std::string line;
  bool any = false;
  // Byte by byte, so that a NUL byte stays in the line (and ends its number) instead of hiding
  // the rest of the line from a string-based reader.
  for (int c = std::getc(trace); c != EOF; c = std::getc(trace)) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
    if (line.size() > kMaxTextLineLength) {
      throw CTraceRateException(Format("its trace \"%s\" has a line longer than %zu characters",
                                       fileName.c_str(), kMaxTextLineLength));
    }
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
  rateFileName = RateFileLocation(this->traceFileName, slotSize, networkFolder_);
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
    // Seconds; a slot that does not advance time describes no rate file.
    slotSize = ar.ReadQuantity(0.0);
    if (slotSize == 0.0) ar.Throw(CArchiveException::kBadIndex);
    // Reading a network writes nothing: the rate file is built when a run first needs it.
    rateFileName = RateFileLocation(traceFileName, slotSize, networkFolder_);
  }
}

void CTraceClass::SetNetworkFolder(const std::string& folder) {
  networkFolder_ = folder;
  rateFileName = RateFileLocation(traceFileName, slotSize, networkFolder_);
}

void CTraceClass::PrepareRateFile(const std::atomic<bool>* cancel) {
  rateFileName = RateFileLocation(traceFileName, slotSize, networkFolder_);
  BuildRateFile(traceFileName, slotSize, rateFileName, cancel);
}

bool CTraceClass::EnsureRateFile() {
  try {
    PrepareRateFile(nullptr);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string CTraceClass::ExactRateFileName(const std::string& traceFileName, double slotSize) {
  // "%lf" keeps six decimals, so slots such as 1e-7 and 3e-7 would share a file; a slot that the
  // six decimals do not give back exactly is written with all its digits.
  const std::string described = DerivedRateFileName(traceFileName, slotSize);
  if (std::strtod(Format("%lf", slotSize).c_str(), nullptr) == slotSize) return described;
  return Format("%s._%.17g_.vlr", traceFileName.c_str(), slotSize);
}

std::string CTraceClass::RateFileLocation(const std::string& traceFileName, double slotSize,
                                          const std::string& networkFolder) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!networkFolder.empty()) {
    const fs::path traceFolder = fs::absolute(fs::path(traceFileName), error).parent_path();
    if (!error && fs::equivalent(traceFolder, fs::path(networkFolder), error) && !error) {
      return ExactRateFileName(traceFileName, slotSize);
    }
  }
  // A trace outside the network's folder gets its rate file in our cache, named after the trace
  // and, to keep traces of the same name apart, a hash of its full path.
  const std::string absolute = fs::absolute(fs::path(traceFileName), error).lexically_normal().string();
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a, 64 bits
  for (unsigned char c : absolute) hash = (hash ^ c) * 1099511628211ull;
  const std::string name = Format("%s.%016llx", BaseName(traceFileName).c_str(), static_cast<unsigned long long>(hash));
  return (fs::path(RateCacheFolder()) / fs::path(ExactRateFileName(name, slotSize)).filename()).string();
}

std::string CTraceClass::RateCacheFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
    return std::string(cache) + "/varlo/rates";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    return std::string(home) + "/.cache/varlo/rates";
  }
  return (std::filesystem::temp_directory_path() / "varlo-rates").string();
}

std::string CTraceClass::DerivedRateFileName(const std::string& traceFileName, double slotSize) {
  return Format("%s._%lf_.vlr", traceFileName.c_str(), slotSize);
}

void CTraceClass::BuildRateFile(const std::string& traceFileName, double slotSize,
                                const std::string& rateFileName, const std::atomic<bool>* cancel) {
  namespace fs = std::filesystem;
  std::error_code error;
  // Slots that do not advance the slot start would never reach the next packet.
  if (!(slotSize > 0.0) || !std::isfinite(slotSize)) {
    throw CTraceRateException(Format("the slot %g s does not advance time", slotSize));
  }
  if (fs::exists(rateFileName, error)) {
    // A trace edited since the rate file was built would otherwise be ignored for ever.
    std::error_code traceError, rateError;
    const auto traceTime = fs::last_write_time(traceFileName, traceError);
    const auto rateTime = fs::last_write_time(rateFileName, rateError);
    if (traceError || rateError || !(traceTime > rateTime)) return;
  }
  // The trace is opened first so that a missing trace leaves no empty rate file behind, which
  // later classes would take for a valid one. The rate file is written under a temporary name and
  // renamed into place, so that an interrupted build is never reused either.
  FilePtr trace = OpenRegularOrThrow(traceFileName);
  fs::create_directories(fs::path(rateFileName).parent_path(), error);
  const std::string temporaryName = rateFileName + ".tmp";
  FilePtr rates = OpenOrThrow(temporaryName, "w");
  // Every way out before the rename removes the temporary file.
  struct RemoveUnlessRenamed {
    const std::string& name;
    bool renamed = false;
    ~RemoveUnlessRenamed() {
      std::error_code ignored;
      if (!renamed) std::filesystem::remove(name, ignored);
    }
  } cleanup{temporaryName};

  double slotStart = 0.0;  // s
  double count = 0.0;      // packets in the current slot
  double packetTime;
  bool stalled = false;
  std::uint64_t rows = 0;
  std::uint64_t lines = 0;
  while (!stalled && ReadTraceLine(trace.get(), packetTime, traceFileName)) {
    if (cancel != nullptr && (++lines & 0xFFF) == 0 && cancel->load(std::memory_order_relaxed)) {
      throw CTraceRateException("the building of its rate file was cancelled");
    }
    if (packetTime <= slotStart + slotSize) {
      count = count + 1.0;
      continue;
    }
    // Rows up to this packet, counted before any is written: a tiny slot or a huge time stamp
    // would otherwise fill the disk.
    const double ahead = std::floor((packetTime - slotStart) / slotSize);
    if (!(ahead < static_cast<double>(kMaxRateFileRows - rows))) {
      throw CTraceRateException(Format("its trace \"%s\" with the slot %g s would give a rate file of more than %llu rows",
                                       traceFileName.c_str(), slotSize,
                                       static_cast<unsigned long long>(kMaxRateFileRows)));
    }
    rows += static_cast<std::uint64_t>(ahead);
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
  CloseWritten(std::move(rates), temporaryName);
  fs::rename(temporaryName, rateFileName, error);
  if (error) ThrowFileError(rateFileName, error.value());
  cleanup.renamed = true;
}

void CTraceClass::CheckTraceFile(const std::string& traceFileName) {
  OpenRegularOrThrow(traceFileName);
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

std::string CTraceClass::NSTraceFileName() const {
  if (nsTraceFolder.empty()) return traceFileName + ".nstrace";
  return nsTraceFolder + "/" + BaseName(traceFileName) + ".nstrace";
}

std::string CTraceClass::GetDescription() const {
  return Format("Trace To %s; File: \" %s\"; Slot: %lf", DestinationName().c_str(),
                BaseName(traceFileName).c_str(), slotSize);
}

std::string CTraceClass::GetNSScript(double startOffset) {
  // Checked before anything is written: a name that cannot be made inert writes nothing.
  const std::string nsTrace = TclFileWord(BaseName(traceFileName) + ".nstrace");
  BuildNSTrace(traceFileName, NSTraceFileName());
  const std::string name = ScriptName("Trace");
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
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
  return Format("t 1 %s 0.0 %d %d\n", CheckQNSFileField(traceFileName + ".i").c_str(), static_cast<int>(GetSourceNumber()),
                static_cast<int>(GetDestinationNumber()));
}

}  // namespace varlo
