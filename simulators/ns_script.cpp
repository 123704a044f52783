#include "simulators/ns_script.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "model/const_poisson_class.h"
#include "model/queue.h"
#include "model/trace_class.h"
#include "model/traffic_class.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/node.h"
#include "platform/core/file_io.h"
#include "platform/core/script_words.h"
#include "platform/core/text_format.h"
#include "simulators/random.h"

namespace varlo {

namespace {

constexpr const char* kHeader = "set ns [new Simulator]\n\n";
constexpr const char* kNodesBanner = "\n#\n# Nodes Definition\n#\n\n";
constexpr const char* kQueuesBanner = "\n#\n# Queues Definition\n#\n\n";
constexpr const char* kRoutesBanner = "\n#\n# Routes Definition\n#\n\n$ns rtproto Manual\n";
constexpr const char* kClassesBanner = "\n#\n# Class Definition\n#\n\n";
constexpr const char* kDumpingBanner = "\n#\n# Dumping Definition \n#\n";
constexpr const char* kFinish =
    "\n$ns at %lf \"finish\"\nproc finish {} {\n\tglobal ns \n\t$ns flush-trace\n\texit 0\n}\n$ns run\n";

std::string QueueMonitorPiece(const CQueue& queue, const std::string& title) {
  const std::string a = queue.fromNode->GetScriptName();
  const std::string b = queue.toNode->GetScriptName();
  const char* pa = a.c_str();
  const char* pb = b.c_str();
  // The title comes from the network's file name: written as an inert Tcl word.
  const std::string file = TclFileWord(MonitorTraceName(title, queue));
  return Format(
      "\nset file_%s_%s [open %s w]\nset qmon_%s_%s [$ns monitor-queue $node_%s $node_%s "
      "$file_%s_%s]\n$qmon_%s_%s trace $file_%s_%s\n",
      pa, pb, file.c_str(), pa, pb, pa, pb, pa, pb, pa, pb, pa, pb);
}

// The folder ns runs in for a script written at scriptPath.
std::string ScriptFolder(const std::string& scriptPath) {
  const std::string folder = DirectoryPart(scriptPath);
  return folder.empty() ? std::string(".") : folder;
}

}  // namespace

std::string MonitorTraceName(const std::string& title, const CQueue& queue) {
  return title + "_" + queue.fromNode->GetScriptName() + "_" + queue.toNode->GetScriptName() + ".tr";
}

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

std::string PoissonSourceLines(const std::string& className, double rate) {
  // One packet per burst (burst_time_ 0 rounds to bursts of one), sent at 1 Tbit/s (8 ns), then
  // idle for an exponential time of mean 1/rate: arrivals at rate packets/s, exponentially spaced.
  const double idle = rate > 0.0 ? 1.0 / rate : 1e9;
  return Format(
      "$poisson_%s set burst_time_ 0\n$poisson_%s set idle_time_ %.9lf\n$poisson_%s set rate_ 1000000000000\n",
      className.c_str(), className.c_str(), idle, className.c_str());
}

std::string RouteLines(CVarloDoc& doc) {
  if (!doc.routesValid) {
    doc.ComputeRoutes(false);
    doc.routesValid = true;
  }
  std::string lines;
  std::set<std::pair<const CNode*, const CNode*>> written;  // (node, destination)
  const size_t nodeCount = doc.NodesInTableOrder().size();
  auto path = [&](const CNode* from, const CNode* to) {
    const std::string target = to->GetScriptName();
    // A path visits each node at most once; the bound keeps a damaged table from looping.
    for (size_t hops = 0; from != to && hops < nodeCount; ++hops) {
      const CQueue* queue = from->GetRoute(to).first;
      if (queue == nullptr || queue->toNode == nullptr) return;
      if (written.emplace(from, to).second) {
        const std::string a = from->GetScriptName();
        const std::string b = queue->toNode->GetScriptName();
        lines += Format("$node_%s add-route [$node_%s id] [[$ns link $node_%s $node_%s] head]\n", a.c_str(),
                        target.c_str(), a.c_str(), b.c_str());
      }
      from = queue->toNode;
    }
  };
  for (const auto& trafficClass : doc.GetClasses()) {
    const CNode* source = trafficClass->GetSource();
    const CNode* destination = trafficClass->GetDestination();
    if (source == nullptr || destination == nullptr) continue;
    path(source, destination);
    path(destination, source);
  }
  return lines;
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

  if (options.varloRoutes) {
    script += kRoutesBanner;
    script += RouteLines(doc);
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
    if (options.poissonSources) {
      if (const auto* poisson = dynamic_cast<const CConstPoissonClass*>(trafficClass.get())) {
        script += PoissonSourceLines(poisson->GetScriptName(), poisson->rate);
      }
    }
  }

  script += kDumpingBanner;
  for (const CQueue* queue : options.monitoredQueues) script += QueueMonitorPiece(*queue, options.title);

  script += Format(kFinish, options.simulationLength);
  return script;
}

NSScriptResult WriteNSScript(CVarloDoc& doc, const NSScriptOptions& options) {
  namespace fs = std::filesystem;
  NSScriptResult result;
  result.scriptPath = JoinPath(doc.GetFolder(), options.scriptPath);
  const std::string folder = ScriptFolder(result.scriptPath);
  // A folder that cannot take the script ends the command before trace files are converted.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    const int error = errno;
    throw CFileException(CFileException::CauseFromErrno(error), options.scriptPath, error);
  }

  // The script names each ".nstrace" without a folder and ns reads it from its working
  // directory, the script's folder: that is where the binary traces are made, and nowhere else.
  std::vector<std::string> placed;
  for (const auto& trafficClass : doc.GetClasses()) {
    if (auto* trace = dynamic_cast<CTraceClass*>(trafficClass.get())) {
      trace->nsTraceFolder = folder;
      std::error_code error;
      const fs::path traceFolder = fs::absolute(fs::path(trace->traceFileName), error).parent_path();
      const bool beside = !error && fs::equivalent(traceFolder, fs::path(folder), error) && !error;
      const std::string made = trace->NSTraceFileName();
      if (!beside && std::find(placed.begin(), placed.end(), made) == placed.end()) placed.push_back(made);
    }
  }
  std::string script;
  try {
    script = BuildNSScript(doc, options);
  } catch (...) {
    for (const auto& trafficClass : doc.GetClasses()) {
      if (auto* trace = dynamic_cast<CTraceClass*>(trafficClass.get())) trace->nsTraceFolder.clear();
    }
    throw;
  }
  for (const auto& trafficClass : doc.GetClasses()) {
    if (auto* trace = dynamic_cast<CTraceClass*>(trafficClass.get())) trace->nsTraceFolder.clear();
  }
  // Written like the network files: a full disk leaves the previous script, never half of one.
  WriteFileAtomically(result.scriptPath, std::vector<std::uint8_t>(script.begin(), script.end()));
  result.copiedTraces = std::move(placed);
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
