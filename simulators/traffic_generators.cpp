#include "simulators/traffic_generators.h"

#include <functional>
#include <memory>
#include <stdexcept>

#include "model/tcp_class.h"
#include "model/trace_class.h"
#include "model/document.h"
#include "model/document_edits.h"
#include "simulators/random.h"

namespace varlo {

namespace {

using ClassFactory = std::function<std::unique_ptr<CTrafficClass>(CNode* source, CNode* destination)>;

GenerationResult Generate(CVarloDoc& doc, const TrafficGenerationOptions& options, const ClassFactory& make) {
  GenerationResult result;
  const std::vector<CGraphicNode*> nodes = doc.NodesInTableOrder();
  std::vector<CGraphicNode*> destinations;
  for (CGraphicNode* node : nodes) {
    if (MatchesNodeFilter(node->GetName(), options.destinationFilter)) destinations.push_back(node);
  }
  if (destinations.empty()) return result;
  const double destinationCount = static_cast<double>(destinations.size());
  const double countSpan = static_cast<double>(options.upperCount) - options.lowerCount + 1.0;

  CRandom& random = SeedProcessRandom(options.seed);
  for (CGraphicNode* source : nodes) {
    if (!MatchesNodeFilter(source->GetName(), options.sourceFilter)) continue;
    const auto wanted = options.lowerCount +
                        static_cast<std::uint32_t>(random.Next14() * countSpan / CRandom::kFractionSteps);
    if (wanted == 0) continue;
    if (destinations.size() == 1 && destinations.front() == source) {
      result.skippedSources.push_back(source);
      continue;
    }
    for (std::uint32_t made = 0; made < wanted;) {
      const auto j = static_cast<std::size_t>(random.Next14() * destinationCount / CRandom::kFractionSteps);
      CGraphicNode* destination = destinations[j];
      if (destination == source) continue;  // the draw is spent, the attempt does not count
      std::unique_ptr<CTrafficClass> created = make(source, destination);
      CTrafficClass* added = created.get();
      doc.AddClass(std::move(created));
      doc.UpdateAllViews(nullptr, kHintClassAdded, added);
      ++result.createdCount;
      ++made;
    }
  }
  return result;
}

}  // namespace

bool MatchesNodeFilter(const std::string& name, const std::string& filter) {
  return filter.empty() || name.find(filter) != std::string::npos;
}

std::optional<std::string> CheckCountInterval(std::uint32_t lower, std::uint32_t upper) {
  if (upper < lower) return std::string(kEmptyIntervalMessage);
  if (upper > kMaxClassesPerSource) return std::string(kTooManyClassesMessage);
  return std::nullopt;
}

GenerationResult GenerateTCPTraffic(CVarloDoc& doc, const TrafficGenerationOptions& options) {
  return Generate(doc, options, [&](CNode* source, CNode* destination) -> std::unique_ptr<CTrafficClass> {
    return std::make_unique<CTCPClass>(source, destination, options.startTime, options.stopTime, 0.0);
  });
}

GenerationResult GenerateTraceClasses(CVarloDoc& doc, const TraceGenerationOptions& options) {
  if (options.traceFiles.empty()) throw std::invalid_argument(kNoTraceFilesMessage);
  // Nothing is derived from the traces now (their rate files are made when a run needs them), but
  // a missing or unreadable trace is reported before any class is made.
  for (const std::string& trace : options.traceFiles) CTraceClass::CheckTraceFile(trace);
  std::size_t next = 0;
  return Generate(doc, options, [&](CNode* source, CNode* destination) -> std::unique_ptr<CTrafficClass> {
    auto created = std::make_unique<CTraceClass>(source, destination, options.startTime, options.stopTime,
                                                 options.traceFiles[next], options.slotSize);
    next = (next + 1) % options.traceFiles.size();
    return created;
  });
}

void DeleteAllTraffic(CVarloDoc& doc) {
  edits::DeleteAllTraffic(doc);
}

}  // namespace varlo
