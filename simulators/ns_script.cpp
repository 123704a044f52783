#include "simulators/ns_script.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "model/queue.h"
#include "model/trace_class.h"
#include "model/traffic_class.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/node.h"
#include "platform/core/text_format.h"
#include "simulators/random.h"

namespace varlo {

namespace {

constexpr const char* kHeader = "set ns [new Simulator]\n\n";
constexpr const char* kNodesBanner = "\n#\n# Nodes Definition\n#\n\n";
constexpr const char* kQueuesBanner = "\n#\n# Queues Definition\n#\n\n";
constexpr const char* kClassesBanner = "\n#\n# Class Definition\n#\n\n";
constexpr const char* kDumpingBanner = "\n#\n# Dumping Definition \n#\n";
constexpr const char* kFinish =
    "\n$ns at %lf \"finish\"\nproc finish {} {\n\tglobal ns \n\t$ns flush-trace\n\texit 0\n}\n$ns run\n";

std::string QueueMonitorPiece(const CQueue& queue, const std::string& title) {
  const std::string a = queue.fromNode->GetScriptName();
  const std::string b = queue.toNode->GetScriptName();
  const char* pa = a.c_str();
  const char* pb = b.c_str();
  return Format(
      "\nset file_%s_%s [open %s_%s_%s.tr w]\nset qmon_%s_%s [$ns monitor-queue $node_%s $node_%s "
      "$file_%s_%s]\n$qmon_%s_%s trace $file_%s_%s\n",
      pa, pb, title.c_str(), pa, pb, pa, pb, pa, pb, pa, pb, pa, pb, pa, pb);
}

// The folder ns runs in for a script written at scriptPath.
std::string ScriptFolder(const std::string& scriptPath) {
  const std::string folder = DirectoryPart(scriptPath);
  return folder.empty() ? std::string(".") : folder;
}

// Copies a trace class's ".nstrace" into the script's folder unless it is there already.
// Returns the copy's path, or "" when nothing was copied.
std::string PlaceNSTrace(const CTraceClass& trace, const std::string& scriptFolder) {
  namespace fs = std::filesystem;
  const fs::path made(trace.traceFileName + ".nstrace");
  const fs::path wanted = fs::path(scriptFolder) / (FileNamePart(trace.traceFileName) + ".nstrace");
  std::error_code ec;
  if (!fs::exists(made, ec)) return std::string();
  if (fs::exists(wanted, ec) && fs::equivalent(made, wanted, ec)) return std::string();
  if (!fs::copy_file(made, wanted, fs::copy_options::overwrite_existing, ec)) {
    throw CFileException(CFileException::CauseFromErrno(ec.value()), wanted.string(), ec.value());
  }
  return wanted.string();
}

}  // namespace

std::string ApplyScriptExtension(const std::string& name, const std::string& extension) {
  if (name.size() > 3 && name.size() >= extension.size() &&
      name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
    return name;
  }
  return name + extension;
}

std::string DefaultNSScriptName(const std::string& title) {
  return title + kNSScriptExtension;
}

std::string BuildNSScript(CVarloDoc& doc, const NSScriptOptions& options) {
  std::string script = kHeader;

  script += kNodesBanner;
  doc.ForEachNode([&](const CGraphicNode* node) { script += node->GetNSScript(); });

  script += kQueuesBanner;
  for (const auto& link : doc.GetLinks()) {
    script += link->GetForwardQueue()->GetNSScript();
    script += link->GetBackwardQueue()->GetNSScript();
  }

  script += kClassesBanner;
  CRandom& random = SeedProcessRandom(options.seed);
  for (const auto& trafficClass : doc.GetClasses()) {
    double startOffset = 0.0;
    if (options.maxStartDelay > 0.0) {
      // Uniform over [0, D) in steps of D / 16384.
      startOffset = random.Next14() / CRandom::kFractionSteps * options.maxStartDelay;
    }
    script += trafficClass->GetNSScript(startOffset);
  }

  script += kDumpingBanner;
  for (const CQueue* queue : options.monitoredQueues) script += QueueMonitorPiece(*queue, options.title);

  script += Format(kFinish, options.simulationLength);
  return script;
}

NSScriptResult WriteNSScript(CVarloDoc& doc, const NSScriptOptions& options) {
  NSScriptResult result;
  result.scriptPath = JoinPath(doc.GetFolder(), options.scriptPath);
  // Created before anything is generated, so that a name that cannot be written ends the command
  // before trace files are converted.
  std::ofstream out(result.scriptPath, std::ios::binary | std::ios::trunc);
  if (!out) throw CFileException(CFileException::CauseFromErrno(errno), options.scriptPath, errno);

  const std::string script = BuildNSScript(doc, options);
  out.write(script.data(), static_cast<std::streamsize>(script.size()));
  out.close();
  if (!out) throw CFileException(CFileException::kDiskFull, options.scriptPath);

  const std::string folder = ScriptFolder(result.scriptPath);
  for (const auto& trafficClass : doc.GetClasses()) {
    if (const auto* trace = dynamic_cast<const CTraceClass*>(trafficClass.get())) {
      std::string copy = PlaceNSTrace(*trace, folder);
      if (!copy.empty() && std::find(result.copiedTraces.begin(), result.copiedTraces.end(), copy) ==
                               result.copiedTraces.end()) {
        result.copiedTraces.push_back(std::move(copy));
      }
    }
  }
  return result;
}

std::vector<CQueue*> MonitorableQueues(const CVarloDoc& doc) {
  std::vector<CQueue*> queues;
  queues.reserve(doc.GetLinks().size() * 2);
  for (const auto& link : doc.GetLinks()) {
    queues.push_back(link->GetForwardQueue());
    queues.push_back(link->GetBackwardQueue());
  }
  return queues;
}

std::vector<CQueue*> SelectMonitoredQueues(const CVarloDoc& doc, const std::vector<CQueue*>& chosen) {
  std::vector<CQueue*> selected;
  for (CQueue* queue : MonitorableQueues(doc)) {
    if (std::find(chosen.begin(), chosen.end(), queue) != chosen.end()) selected.push_back(queue);
  }
  return selected;
}

CQueue* FindQueue(const CVarloDoc& doc, std::uint16_t from, std::uint16_t to) {
  for (const auto& link : doc.GetLinks()) {
    if (link->GetFirstNumber() == from && link->GetSecondNumber() == to) return link->GetForwardQueue();
    if (link->GetSecondNumber() == from && link->GetFirstNumber() == to) return link->GetBackwardQueue();
  }
  return nullptr;
}

SimulatorRequest MakeNSRunRequest(const CVarloDoc& doc, const std::string& scriptPath) {
  SimulatorRequest request;
  request.commandLine = Format("ns %s", scriptPath.c_str());
  request.arguments = CommandArguments("ns %s", SimulatorScriptArgument(scriptPath));
  request.scriptPath = scriptPath;
  request.documentPathName = doc.GetPathName();
  request.documentFolder = doc.GetFolder();
  request.errorFileName = kNSErrorFileName;
  request.failureMessage = kNSRunFailureMessage;
  return request;
}

}  // namespace varlo
