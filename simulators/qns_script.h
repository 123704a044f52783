// The qns script writer: one line-oriented record per queue, per traffic class and per monitored
// queue, for the quick simulator, which knows only trace-driven and rate-file Poisson traffic.
#pragma once

#include <string>
#include <vector>

#include "platform/core/process_runner.h"

namespace varlo {

class CQueue;
class CVarloDoc;

inline constexpr const char* kQNSScriptExtension = ".qns";
inline constexpr const char* kQNSErrorFileName = "tmp_out_qns";
inline constexpr const char* kQNSRunFailureMessage = "Error Running qns !";
inline constexpr const char* kQNSUnsupportedClassMessage =
    "QNS supports only Trace/Time-dependent Poisson classes !!";

// The dialog's default script name: the title followed by ".qns".
std::string DefaultQNSScriptName(const std::string& title);

struct QNSScriptOptions {
  std::string title;               // names the dump files
  std::string scriptPath;          // as entered; a relative path is taken from the document's folder
  double simulationLength = 15.0;  // s; reaches qns only through its command line
  int simulationCount = 1;
  double dumpResolution = 0.1;  // s; command line only
  int linkService = 3;          // 2 or 3
  std::vector<CQueue*> monitoredQueues;
};

enum class QNSScriptStatus {
  kComplete,
  // A class without a qns form was met: the file holds the records before it, no dump records,
  // and qns must not be run (show kQNSUnsupportedClassMessage).
  kUnsupportedClass,
};

struct QNSScriptText {
  std::string text;
  QNSScriptStatus status = QNSScriptStatus::kComplete;
};

QNSScriptText BuildQNSScript(const CVarloDoc& doc, const QNSScriptOptions& options);

struct QNSScriptResult {
  std::string scriptPath;  // where the script was written
  QNSScriptStatus status = QNSScriptStatus::kComplete;
};

// Writes the script file (created or truncated), complete or partial. Throws CFileException when
// it cannot be created or written.
QNSScriptResult WriteQNSScript(const CVarloDoc& doc, const QNSScriptOptions& options);

// The command line "qns %s zero outqns noutqns 0.0 %lf %lf %d 0" with the script path as entered,
// the length, the resolution and the number of simulations.
std::string QNSCommandLine(const QNSScriptOptions& options);
SimulatorRequest MakeQNSRunRequest(const CVarloDoc& doc, const QNSScriptOptions& options);

}  // namespace varlo
