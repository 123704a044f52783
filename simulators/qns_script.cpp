#include "simulators/qns_script.h"

#include <cerrno>

#include "model/queue.h"
#include "model/traffic_class.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/node.h"
#include "platform/core/file_io.h"
#include "platform/core/script_words.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

constexpr const char* kCommandLine = "qns %s zero outqns noutqns 0.0 %lf %lf %d 0";

std::string DumpRecord(const CQueue& queue, const std::string& title) {
  return Format("d %d %d %s_%s_%s.tr\n", queue.fromNode->GetNumber(), queue.toNode->GetNumber(),
                CheckQNSFileField(title).c_str(), queue.fromNode->GetScriptName().c_str(),
                queue.toNode->GetScriptName().c_str());
}

}  // namespace

std::string DefaultQNSScriptName(const std::string& title) {
  return title + kQNSScriptExtension;
}

QNSScriptText BuildQNSScript(const CVarloDoc& doc, const QNSScriptOptions& options) {
  QNSScriptText script;
  for (const auto& link : doc.GetLinks()) {
    script.text += link->GetForwardQueue()->GetQNSScript(options.linkService);
    script.text += link->GetBackwardQueue()->GetQNSScript(options.linkService);
  }
  for (const auto& trafficClass : doc.GetClasses()) {
    try {
      script.text += trafficClass->GetQNSScript();
    } catch (const CNotSupportedException&) {
      script.status = QNSScriptStatus::kUnsupportedClass;
      return script;
    }
  }
  for (const CQueue* queue : options.monitoredQueues) script.text += DumpRecord(*queue, options.title);
  return script;
}

QNSScriptResult WriteQNSScript(const CVarloDoc& doc, const QNSScriptOptions& options) {
  QNSScriptResult result;
  result.scriptPath = JoinPath(doc.GetFolder(), options.scriptPath);
  const QNSScriptText script = BuildQNSScript(doc, options);
  // Written like the network files: a full disk leaves the previous script, never half of one.
  WriteFileAtomically(result.scriptPath, std::vector<std::uint8_t>(script.text.begin(), script.text.end()));
  result.status = script.status;
  return result;
}

std::string QNSCommandLine(const QNSScriptOptions& options) {
  return Format(kCommandLine, options.scriptPath.c_str(), options.simulationLength, options.dumpResolution,
                options.simulationCount);
}

SimulatorRequest MakeQNSRunRequest(const CVarloDoc& doc, const QNSScriptOptions& options) {
  SimulatorRequest request;
  request.commandLine = QNSCommandLine(options);
  // The numbers are formatted first; the script path then takes the place of the "%s" word.
  const std::string withMark =
      Format("qns %%s zero outqns noutqns 0.0 %lf %lf %d 0", options.simulationLength, options.dumpResolution,
             options.simulationCount);
  request.arguments = CommandArguments(withMark, SimulatorScriptArgument(options.scriptPath));
  request.scriptPath = options.scriptPath;
  request.documentPathName = doc.GetPathName();
  request.documentFolder = doc.GetFolder();
  request.errorFileName = kQNSErrorFileName;
  request.failureMessage = kQNSRunFailureMessage;
  return request;
}

}  // namespace varlo
