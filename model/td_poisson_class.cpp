#include "model/td_poisson_class.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "model/trace_class.h"
#include "model/archive.h"
#include "platform/core/script_words.h"
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

namespace {

enum class LineRead { kLine, kEnd, kTooLong };

// One line of at most kMaxTextLineLength characters (the line break not kept).
LineRead ReadBoundedLine(std::FILE* file, std::string& line) {
  line.clear();
  bool any = false;
  // Byte by byte, so that a NUL byte stays in the line (and ends its numbers).
  for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
    any = true;
    if (c == '\n') return LineRead::kLine;
    line += static_cast<char>(c);
    if (line.size() > kMaxTextLineLength) return LineRead::kTooLong;
  }
  return any ? LineRead::kLine : LineRead::kEnd;
}

// Opens a rate file for reading when it is a regular file: a pipe would block the run before it
// could be cancelled, and a device such as /dev/zero never ends. errno tells why not.
std::FILE* OpenRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "r");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

}  // namespace

bool CTdPoissonClass::ReadLine(double& time, double& rate) {
  if (endOfData_ || rateFile_ == nullptr) return false;
  std::string line;
  // The run checked the file (CheckRateFile); values it would refuse end the data here.
  if (ReadBoundedLine(rateFile_, line) == LineRead::kLine && std::sscanf(line.c_str(), "%lf %lf", &time, &rate) == 2 &&
      std::isfinite(time) && std::isfinite(rate) && rate >= 0.0) {
    return true;
  }
  endOfData_ = true;
  return false;
}

std::optional<std::string> CTdPoissonClass::CheckRateFile(const std::atomic<bool>* cancel) const {
  errno = 0;
  std::FILE* raw = OpenRegularFile(rateFileName);
  if (raw == nullptr) {
    if (errno == EINVAL) return Format("\"%s\" is not a regular file", rateFileName.c_str());
    return Format("\"%s\" cannot be opened: %s", rateFileName.c_str(), std::strerror(errno != 0 ? errno : ENOENT));
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, &std::fclose);
  std::string line;
  for (std::uint64_t number = 1;; ++number) {
    if (cancel != nullptr && (number & 0xFFF) == 0 && cancel->load(std::memory_order_relaxed)) return "cancelled";
    if (number > kMaxRateFileRows) {
      return Format("\"%s\" has more than %llu lines", rateFileName.c_str(),
                    static_cast<unsigned long long>(kMaxRateFileRows));
    }
    const LineRead read = ReadBoundedLine(file.get(), line);
    if (read == LineRead::kEnd) return std::nullopt;
    if (read == LineRead::kTooLong) {
      return Format("line %llu of \"%s\" is longer than %zu characters", static_cast<unsigned long long>(number),
                    rateFileName.c_str(), kMaxTextLineLength);
    }
    double time = 0.0, rate = 0.0;
    if (std::sscanf(line.c_str(), "%lf %lf", &time, &rate) != 2) return std::nullopt;  // the data ends here
    if (!std::isfinite(time) || !std::isfinite(rate) || rate < 0.0) {
      return Format("line %llu of \"%s\" holds a time or rate that is not a finite, non-negative number",
                    static_cast<unsigned long long>(number), rateFileName.c_str());
    }
  }
}

bool CTdPoissonClass::OpenRateFile() {
  if (rateFile_ != nullptr) return true;
  if (!EnsureRateFile()) return false;
  rateFile_ = OpenRegularFile(rateFileName);
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
  return Format("t 4 %s 0.0 %d %d\n", CheckQNSFileField(rateFileName).c_str(), static_cast<int>(GetSourceNumber()),
                static_cast<int>(GetDestinationNumber()));
}

}  // namespace varlo
