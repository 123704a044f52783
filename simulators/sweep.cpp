#include "simulators/sweep.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "model/const_poisson_class.h"
#include "engine/dump_file.h"
#include "engine/evaluation_model.h"
#include "model/mm1k_queue.h"
#include "engine/tcp_profile.h"
#include "model/td_poisson_class.h"
#include "platform/core/file_errors.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/file_io.h"
#include "platform/core/process_runner.h"
#include "platform/core/text_format.h"
#include "simulators/link_modifier.h"
#include "simulators/ns_script.h"
#include "simulators/summary.h"
#include "simulators/sweep_chart.h"
#include "simulators/traffic_generators.h"

namespace varlo {

namespace fs = std::filesystem;

const std::vector<std::string> kSweepFigures = {
    "bottleneck_mean_utilisation", "bottleneck_max_utilisation", "bottleneck_average_size",
    "bottleneck_loss",             "udp_throughput",             "tcp_throughput",
    "rate_file_throughput",        "trace_throughput",           "total_throughput",
    "ns_average_size"};

namespace {

constexpr const char* kResultFile = "result.txt";

void WriteText(const std::string& path, const std::string& text) {
  WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// Numbers in keys and result files: enough digits to read back the same double.
std::string Exact(double value) {
  return Format("%.17g", value);
}

std::vector<CNode*> MatchingNodes(const CVarloDoc& doc, const std::string& filter) {
  std::vector<CNode*> nodes;
  for (CGraphicNode* node : doc.NodesInTableOrder()) {
    if (MatchesNodeFilter(node->GetName(), filter)) nodes.push_back(node);
  }
  return nodes;
}

size_t MatchingLinks(const CVarloDoc& doc, const std::string& first, const std::string& second) {
  size_t count = 0;
  for (const auto& link : doc.GetLinks()) {
    const CNode* a = link->GetForwardQueue()->fromNode;
    const CNode* b = link->GetForwardQueue()->toNode;
    if (a != nullptr && b != nullptr && LinkMatchesFilters(a->GetName(), b->GetName(), first, second)) ++count;
  }
  return count;
}

std::string AxisLabel(const SweepDefinition& sweep, size_t a) {
  return Format("%s: axis %zu (%s)", sweep.sweepFile.c_str(), a + 1, sweep.axes[a].name.c_str());
}

// The queue named "from:to" by node names.
CQueue* QueueByNames(const CVarloDoc& doc, const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return nullptr;
  const std::string from = text.substr(0, colon), to = text.substr(colon + 1);
  for (const auto& link : doc.GetLinks()) {
    for (CQueue* q : {static_cast<CQueue*>(link->GetForwardQueue()), static_cast<CQueue*>(link->GetBackwardQueue())}) {
      if (q->fromNode != nullptr && q->toNode != nullptr && q->fromNode->GetName() == from &&
          q->toNode->GetName() == to)
        return q;
    }
  }
  return nullptr;
}

// A rate file with every rate multiplied by factor: lines "time rate", kept as far as they hold
// two numbers (what the class reads).
void WriteScaledRateFile(const std::string& from, const std::string& to, double factor) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw CFileException(CFileException::kFileNotFound, from);
  std::string text, line;
  while (std::getline(in, line)) {
    double time = 0, rate = 0;
    if (std::sscanf(line.c_str(), "%lf %lf", &time, &rate) != 2) break;
    text += FormatFixed6(time) + " " + FormatFixed6(rate * factor) + "\n";
  }
  WriteText(to, text);
}

void ApplyAxis(CVarloDoc& doc, const SweepDefinition& sweep, size_t a, double value, const std::string& folder) {
  const SweepAxis& axis = sweep.axes[a];
  switch (axis.kind) {
    case SweepAxisKind::kLink:
      ModifyLinks(doc, axis.firstFilter, axis.secondFilter, axis.linkModification, value);
      break;
    case SweepAxisKind::kRates: {
      const std::string baseFolder = DirectoryPart(sweep.baseNetwork);
      int copy = 0;
      for (const auto& c : doc.GetClasses()) {
        if (auto* udp = dynamic_cast<CConstPoissonClass*>(c.get())) {
          udp->rate *= value;
        } else if (auto* rateFile = dynamic_cast<CTdPoissonClass*>(c.get());
                   rateFile != nullptr && c->GetType() == kTypeTdPoisson) {
          const std::string source = JoinPath(baseFolder, rateFile->rateFileName);
          const std::string scaled = JoinPath(folder, Format("rates-%zu-%d.vlr", a + 1, copy++));
          WriteScaledRateFile(source, scaled, value);
          rateFile->CloseRateFile();
          rateFile->rateFileName = scaled;
        }
      }
      break;
    }
    case SweepAxisKind::kTcp: {
      if (value < 0 || value != std::floor(value)) {
        throw std::runtime_error(AxisLabel(sweep, a) + ": a class count must be a whole number, not " +
                                 FormatFixed6(value) + ".");
      }
      TrafficGenerationOptions options;
      options.sourceFilter = axis.firstFilter;
      options.destinationFilter = axis.secondFilter;
      options.lowerCount = options.upperCount = static_cast<std::uint32_t>(value);
      options.startTime = axis.startTime;
      options.stopTime = axis.stopTime;
      options.seed = axis.seed;
      GenerateTCPTraffic(doc, options);
      break;
    }
  }
}

// Time-weighted mean of an ns queue monitor trace, in packets of 1000 bytes: every line's numbers
// in order (words skipped), the first the time, the fourth the length in bytes.
std::optional<double> MonitorMeanSize(const std::string& path, double endTime) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  double lastTime = 0.0, lastSize = 0.0, area = 0.0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<double> numbers;
    std::string word;
    while (words >> word && numbers.size() < 4) {
      char* end = nullptr;
      const double v = std::strtod(word.c_str(), &end);
      if (end != word.c_str() && *end == '\0') numbers.push_back(v);
    }
    if (numbers.size() < 4) continue;
    const double t = std::min(numbers[0], endTime);
    if (t > lastTime) area += lastSize * (t - lastTime);
    lastTime = std::max(lastTime, t);
    lastSize = numbers[3] * 0.001;
  }
  if (endTime > lastTime) area += lastSize * (endTime - lastTime);
  return endTime > 0 ? area / endTime : 0.0;
}

// The first seed's monitor traces also go under the names the graph window's simulated companions
// look for beside the variant's network (its title, then the queue's ends), so that the variant
// opened in the desktop program, or varlo-cli plot --simulated, shows ns's queue beside Varlo's:
// a second link to the same file where the file system allows it, a copy elsewhere.
void KeepMonitorsForGraphs(const CVarloDoc& doc, const std::string& folder, const std::string& title,
                           const std::vector<CQueue*>& queues) {
  for (const CQueue* q : queues) {
    const fs::path from = JoinPath(folder, MonitorTraceName(title, *q));
    const fs::path to = JoinPath(folder, MonitorTraceName(doc.GetTitle(), *q));
    std::error_code error;
    if (!fs::exists(from, error)) continue;  // the mean's reading names the missing trace
    fs::remove(to, error);
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error) throw std::runtime_error(to.string() + " cannot be written: " + error.message());
  }
}

double RunNs(CVarloDoc& doc, const SweepDefinition& sweep, const std::string& folder) {
  std::vector<CQueue*> queues;
  for (const std::string& name : sweep.ns.queues) queues.push_back(QueueByNames(doc, name));
  double sum = 0.0;
  for (std::uint32_t seed : sweep.ns.seeds) {
    NSScriptOptions options;
    options.title = Format("ns-%u", seed);
    options.scriptPath = JoinPath(folder, options.title + ".tcl");
    options.simulationLength = sweep.run.totalTime;
    options.monitoredQueues = queues;
    options.maxStartDelay = sweep.ns.maxStartDelay;
    options.poissonSources = sweep.ns.poissonSources;
    options.varloRoutes = sweep.ns.varloRoutes;
    options.seed = seed;
    const NSScriptResult script = WriteNSScript(doc, options);
    SimulatorRequest request = MakeNSRunRequest(doc, script.scriptPath);
    request.arguments[0] = sweep.ns.program;
    request.errorFileName = JoinPath(folder, options.title + ".err");
    const SimulatorReport report = RunSimulator(request);
    if (!report.started || report.exitCode != 0) {
      throw std::runtime_error(Format("ns (seed %u) ended with exit code %d: %s", seed, report.exitCode,
                                      report.started ? report.output.c_str() : report.startError.c_str()));
    }
    if (queues.empty()) continue;
    if (seed == sweep.ns.seeds.front()) KeepMonitorsForGraphs(doc, folder, options.title, queues);
    const std::string monitor = JoinPath(folder, MonitorTraceName(options.title, *queues[0]));
    const std::optional<double> mean = MonitorMeanSize(monitor, sweep.run.totalTime);
    if (!mean) throw std::runtime_error(monitor + " was not written by ns.");
    sum += *mean;
  }
  return sweep.ns.seeds.empty() ? 0.0 : sum / static_cast<double>(sweep.ns.seeds.size());
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

size_t VariantCount(const SweepDefinition& sweep) {
  if (sweep.axes.empty()) return 0;
  size_t count = 1;
  for (const SweepAxis& axis : sweep.axes) count *= axis.values.size();
  return count;
}

std::vector<size_t> VariantValueIndices(const SweepDefinition& sweep, size_t variant) {
  std::vector<size_t> indices(sweep.axes.size(), 0);
  for (size_t a = sweep.axes.size(); a-- > 0;) {
    const size_t n = sweep.axes[a].values.size();
    indices[a] = variant % n;
    variant /= n;
  }
  return indices;
}

std::vector<double> VariantAxisValues(const SweepDefinition& sweep, size_t variant) {
  const std::vector<size_t> indices = VariantValueIndices(sweep, variant);
  std::vector<double> values;
  for (size_t a = 0; a < indices.size(); ++a) values.push_back(sweep.axes[a].values[indices[a]]);
  return values;
}

std::string VariantFolderName(const SweepDefinition& sweep, size_t variant) {
  const int digits = std::max<int>(4, static_cast<int>(std::to_string(VariantCount(sweep) - 1).size()));
  return Format("variant-%0*zu", digits, variant);
}

std::optional<SweepShard> ParseShard(const std::string& text) {
  unsigned long index = 0, count = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%lu/%lu%n", &index, &count, &used) != 2 || used != static_cast<int>(text.size()) ||
      text.find_first_of("+- ") != std::string::npos || count == 0 || index >= count)
    return std::nullopt;
  return SweepShard{index, count};
}

std::vector<size_t> ShardVariants(const SweepDefinition& sweep, SweepShard shard) {
  std::vector<size_t> variants;
  for (size_t v = shard.index; v < VariantCount(sweep); v += shard.count) variants.push_back(v);
  return variants;
}

std::optional<std::string> ValidateSweep(const SweepDefinition& sweep, const NetworkOpener& open) {
  std::unique_ptr<CVarloDoc> doc;
  try {
    doc = open(sweep.baseNetwork);
  } catch (const std::exception& e) {
    return Format("%s: the base network %s does not open: %s", sweep.sweepFile.c_str(), sweep.baseNetwork.c_str(),
                  e.what());
  }
  if (sweep.axes.empty()) return sweep.sweepFile + ": the sweep has no axis.";
  for (size_t a = 0; a < sweep.axes.size(); ++a) {
    const SweepAxis& axis = sweep.axes[a];
    if (axis.values.empty()) return AxisLabel(sweep, a) + ": the list of values is empty.";
    for (double v : axis.values) {
      if (!std::isfinite(v)) return AxisLabel(sweep, a) + ": every value must be a finite number.";
    }
    switch (axis.kind) {
      case SweepAxisKind::kLink:
        if (MatchingLinks(*doc, axis.firstFilter, axis.secondFilter) == 0) {
          return AxisLabel(sweep, a) + Format(": no link lies between nodes matching \"%s\" and \"%s\".",
                                              axis.firstFilter.c_str(), axis.secondFilter.c_str());
        }
        break;
      case SweepAxisKind::kRates: {
        bool any = false;
        for (const auto& c : doc->GetClasses()) {
          if (c->GetType() == kTypeConstPoisson || c->GetType() == kTypeTdPoisson) any = true;
        }
        if (!any) return AxisLabel(sweep, a) + ": the network has no UDP or rate-file class to scale.";
        break;
      }
      case SweepAxisKind::kTcp:
        if (MatchingNodes(*doc, axis.firstFilter).empty())
          return AxisLabel(sweep, a) + Format(": no node matches the source filter \"%s\".", axis.firstFilter.c_str());
        if (MatchingNodes(*doc, axis.secondFilter).empty())
          return AxisLabel(sweep, a) +
                 Format(": no node matches the destination filter \"%s\".", axis.secondFilter.c_str());
        for (double v : axis.values) {
          if (v < 0 || v != std::floor(v) || v > 100000)
            return AxisLabel(sweep, a) + ": a class count must be a whole number from 0 to 100000.";
        }
        break;
    }
  }
  for (const std::string& name : sweep.ns.queues) {
    if (QueueByNames(*doc, name) == nullptr)
      return Format("%s: ns: no queue \"%s\" (from:to by node name).", sweep.sweepFile.c_str(), name.c_str());
  }
  if (std::find(kSweepFigures.begin(), kSweepFigures.end(), sweep.plotFigure) == kSweepFigures.end())
    return Format("%s: unknown figure \"%s\" to plot.", sweep.sweepFile.c_str(), sweep.plotFigure.c_str());
  return std::nullopt;
}

std::unique_ptr<CVarloDoc> BuildVariant(const SweepDefinition& sweep, size_t variant, const std::string& folder,
                                        const NetworkOpener& open) {
  std::unique_ptr<CVarloDoc> doc = open(sweep.baseNetwork);
  const std::vector<double> values = VariantAxisValues(sweep, variant);
  for (size_t a = 0; a < values.size(); ++a) ApplyAxis(*doc, sweep, a, values[a], folder);
  return doc;
}

std::string VariantKey(const SweepDefinition& sweep, size_t variant) {
  const SweepRunSettings& run = sweep.run;
  std::string key = sweep.baseNetwork;
  key += Format("|%s|%s|%s|%s|%s|%d|%s|", run.method == RunMethod::kZIteration ? "mm1k" : "metrics",
                run.model.c_str(), Exact(run.totalTime).c_str(), Exact(run.runningStep).c_str(),
                Exact(run.dumpInterval).c_str(), run.profile, Exact(run.summaryFrom).c_str());
  for (size_t a = 0; a < sweep.axes.size(); ++a) {
    const SweepAxis& axis = sweep.axes[a];
    key += Format("%d:%d:%s:%s:%u:%s:%s=", static_cast<int>(axis.kind), axis.linkModification,
                  axis.firstFilter.c_str(), axis.secondFilter.c_str(), axis.seed, Exact(axis.startTime).c_str(),
                  Exact(axis.stopTime).c_str());
    key += Exact(axis.values[VariantValueIndices(sweep, variant)[a]]) + "|";
  }
  for (std::uint32_t seed : sweep.ns.seeds) key += Format("ns%u,", seed);
  for (const std::string& q : sweep.ns.queues) key += q + ",";
  // (Settings added later go in only where they differ from their defaults, so that the results
  // of sweeps run before keep their keys.)
  if (sweep.ns.maxStartDelay != 0.0) key += "delay" + Exact(sweep.ns.maxStartDelay) + ",";
  if (sweep.ns.poissonSources) key += "poisson,";
  if (sweep.ns.varloRoutes) key += "routes,";
  return OneLine(key);
}

namespace {

void WriteResultFile(const std::string& folder, const VariantResult& result) {
  std::string text;
  text += "key=" + result.key + "\n";
  text += "status=" + result.status + "\n";
  text += "run_seconds=" + Exact(result.runSeconds) + "\n";
  text += "bottleneck=" + OneLine(result.bottleneck) + "\n";
  for (size_t i = 0; i < kSweepFigures.size() && i < result.figures.size(); ++i)
    text += kSweepFigures[i] + "=" + Exact(result.figures[i]) + "\n";
  text += "message=" + OneLine(result.message) + "\n";
  WriteText(JoinPath(folder, kResultFile), text);
}

}  // namespace

VariantResult RunVariant(const SweepDefinition& sweep, size_t variant, const std::string& folder,
                         const NetworkOpener& open, const std::atomic<bool>* cancel) {
  VariantResult result;
  result.variant = variant;
  result.key = VariantKey(sweep, variant);
  result.figures.assign(kSweepFigures.size(), 0.0);
  const auto start = std::chrono::steady_clock::now();
  try {
    fs::create_directories(folder);
    fs::remove(JoinPath(folder, kResultFile));
    std::unique_ptr<CVarloDoc> doc = BuildVariant(sweep, variant, folder, open);
    const std::string networkPath = JoinPath(folder, "network.net");
    doc->OnSaveDocument(networkPath);
    const std::optional<EvaluationModel> model = ParseEvaluationModel(sweep.run.model);
    if (!model) throw std::runtime_error("the model \"" + sweep.run.model + "\" is not available.");
    doc->totalTime = sweep.run.totalTime;
    doc->runningStep = sweep.run.runningStep;
    doc->dumpInterval = sweep.run.dumpInterval;
    doc->dumpFilePath = JoinPath(folder, "run.dmp");
    SetTcpProfile(sweep.run.profile);
    RunOptions options;
    options.cancel = cancel;
    options.model = *model;
    const RunResult run = Run(*doc, sweep.run.method, options);
    if (run.status == RunStatus::kCancelled) {
      result.status = "cancelled";
      result.message = run.message;
      return result;
    }
    if (run.status != RunStatus::kCompleted) throw std::runtime_error(run.message);
    const DumpSummary summary = SummarizeDump(*doc, doc->dumpFilePath, sweep.run.summaryFrom);
    if (const QueueSummary* b = Bottleneck(summary)) {
      result.bottleneck = b->name;
      result.figures[0] = b->meanUtilisation;
      result.figures[1] = b->maxUtilisation;
      result.figures[2] = b->averageSize;
      result.figures[3] = b->loss;
    }
    for (const ClassKindSummary& kind : summary.kinds) {
      const int slot = kind.type == kTypeConstPoisson ? 4
                       : kind.type == kTypeTCP        ? 5
                       : kind.type == kTypeTdPoisson  ? 6
                       : kind.type == kTypeTrace      ? 7
                                                      : -1;
      if (slot >= 0) result.figures[static_cast<size_t>(slot)] = kind.throughput;
    }
    result.figures[8] = summary.totalThroughput;
    if (!sweep.ns.seeds.empty()) result.figures[9] = RunNs(*doc, sweep, folder);
    result.status = "ok";
  } catch (const CFileException& e) {
    result.status = "failed";
    result.message = e.Message();
  } catch (const std::exception& e) {
    result.status = "failed";
    result.message = e.what();
  }
  result.runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  try {
    WriteResultFile(folder, result);
  } catch (const CFileException& e) {
    result.status = "failed";
    result.message = e.Message();
  }
  return result;
}

std::optional<VariantResult> ReadVariantResult(const std::string& folder, size_t variant) {
  std::string text;
  try {
    text = ReadText(JoinPath(folder, kResultFile));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  VariantResult result;
  result.variant = variant;
  result.figures.assign(kSweepFigures.size(), 0.0);
  std::istringstream lines(text);
  std::string line;
  std::set<std::string> seen;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    seen.insert(name);
    if (name == "key") result.key = value;
    else if (name == "status") result.status = value;
    else if (name == "run_seconds") result.runSeconds = std::strtod(value.c_str(), nullptr);
    else if (name == "bottleneck") result.bottleneck = value;
    else if (name == "message") result.message = value;
    else {
      auto it = std::find(kSweepFigures.begin(), kSweepFigures.end(), name);
      if (it != kSweepFigures.end())
        result.figures[static_cast<size_t>(it - kSweepFigures.begin())] = std::strtod(value.c_str(), nullptr);
    }
  }
  // The message line is written last: without it the file is not a whole result.
  if (!seen.count("status") || !seen.count("message")) return std::nullopt;
  return result;
}

bool IsCompleteResult(const SweepDefinition& sweep, const std::optional<VariantResult>& result) {
  return result && result->status == "ok" && result->key == VariantKey(sweep, result->variant);
}

std::string SweepSummaryCsv(const SweepDefinition& sweep, const std::vector<VariantResult>& results) {
  std::string text = "variant";
  for (const SweepAxis& axis : sweep.axes) text += "," + CsvField(axis.name);
  text += ",status,run_seconds,bottleneck";
  for (const std::string& figure : kSweepFigures) text += "," + figure;
  text += ",message";
  text += kTextLineEnd;
  for (const VariantResult& r : results) {
    text += std::to_string(r.variant);
    for (double v : VariantAxisValues(sweep, r.variant)) text += "," + Format("%g", v);
    text += "," + r.status + "," + Format("%.3f", r.runSeconds) + "," + CsvField(r.bottleneck);
    for (size_t i = 0; i < kSweepFigures.size(); ++i)
      text += "," + (r.status == "ok" && i < r.figures.size() ? FormatFixed6(r.figures[i]) : std::string());
    text += "," + CsvField(r.message);
    text += kTextLineEnd;
  }
  return text;
}

std::string SweepSummarySvg(const SweepDefinition& sweep, const std::vector<VariantResult>& results) {
  const size_t figure =
      static_cast<size_t>(std::find(kSweepFigures.begin(), kSweepFigures.end(), sweep.plotFigure) - kSweepFigures.begin());
  SweepChart chart;
  chart.xLabel = sweep.axes.empty() ? std::string() : sweep.axes[0].name;
  chart.yLabel = sweep.plotFigure;
  if (sweep.run.model == "refined") chart.yLabel += "  (refined model)";  // as a refined graph's caption
  // One curve per combination of the other axes' values, in variant order.
  std::map<std::vector<size_t>, size_t> curveOf;
  for (const VariantResult& r : results) {
    if (r.status != "ok" || figure >= r.figures.size()) continue;
    std::vector<size_t> indices = VariantValueIndices(sweep, r.variant);
    const double x = sweep.axes[0].values[indices[0]];
    indices.erase(indices.begin());
    auto [it, added] = curveOf.emplace(indices, chart.curves.size());
    if (added) {
      SweepChart::Curve curve;
      for (size_t a = 1; a < sweep.axes.size(); ++a) {
        if (a > 1) curve.label += ", ";
        curve.label += sweep.axes[a].name + " = " + Format("%g", sweep.axes[a].values[indices[a - 1]]);
      }
      if (curve.label.empty()) curve.label = sweep.plotFigure;
      chart.curves.push_back(curve);
    }
    chart.curves[it->second].points.emplace_back(x, r.figures[figure]);
  }
  // Beside the bottleneck's average size, what ns measured there (the first monitored queue, in
  // the variants where it is the bottleneck), dashed in the colour of the curve it goes with.
  if (sweep.plotFigure == "bottleneck_average_size" && !sweep.ns.seeds.empty() && !sweep.ns.queues.empty()) {
    std::string nsQueue = sweep.ns.queues[0];
    if (const size_t colon = nsQueue.find(':'); colon != std::string::npos) nsQueue.replace(colon, 1, "->");
    const size_t nsFigure = static_cast<size_t>(
        std::find(kSweepFigures.begin(), kSweepFigures.end(), "ns_average_size") - kSweepFigures.begin());
    std::map<size_t, size_t> companionOf;
    for (const VariantResult& r : results) {
      if (r.status != "ok" || r.bottleneck != nsQueue || nsFigure >= r.figures.size()) continue;
      std::vector<size_t> indices = VariantValueIndices(sweep, r.variant);
      const double x = sweep.axes[0].values[indices[0]];
      indices.erase(indices.begin());
      const size_t curve = curveOf.at(indices);
      auto [it, added] = companionOf.emplace(curve, chart.curves.size());
      if (added) {
        SweepChart::Curve companion;
        companion.label = "ns: " + chart.curves[curve].label;
        companion.companionOf = static_cast<int>(curve);
        chart.curves.push_back(companion);
      }
      chart.curves[it->second].points.emplace_back(x, r.figures[nsFigure]);
    }
  }
  return SweepChartSvg(chart);
}

void WriteSweepSummary(const std::string& dir, const SweepDefinition& sweep, const std::vector<VariantResult>& results) {
  WriteText(JoinPath(dir, "summary.csv"), SweepSummaryCsv(sweep, results));
  WriteText(JoinPath(dir, "summary.svg"), SweepSummarySvg(sweep, results));
}

// --- running many variants -------------------------------------------------------------------

namespace {

struct RunningVariant {
  size_t variant = 0;
  std::unique_ptr<CProcess> process;
  std::string errorPath;
};

std::string Tail(const std::string& path, size_t lines) {
  std::string text;
  try {
    text = ReadText(path);
  } catch (const std::exception&) {
    return {};
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t pos = text.size();
  for (size_t i = 0; i < lines && pos != std::string::npos && pos > 0; ++i) pos = text.rfind('\n', pos - 1);
  return OneLine(pos == std::string::npos ? text : text.substr(pos + 1));
}

}  // namespace

SweepRunOutcome RunSweep(const SweepDefinition& sweep, const std::string& dir, const SweepRunOptions& options) {
  SweepRunOutcome outcome;
  const std::vector<size_t> variants = ShardVariants(sweep, options.shard);
  const std::string variantsDir = JoinPath(dir, "variants");
  fs::create_directories(variantsDir);

  std::map<size_t, VariantResult> results;
  std::vector<size_t> pending;
  for (size_t v : variants) {
    const std::string folder = JoinPath(variantsDir, VariantFolderName(sweep, v));
    std::optional<VariantResult> earlier = ReadVariantResult(folder, v);
    if (IsCompleteResult(sweep, earlier)) {
      results[v] = *earlier;
    } else {
      pending.push_back(v);
    }
  }

  SweepProgress progress;
  progress.total = variants.size();
  progress.done = progress.skipped = results.size();
  const auto start = std::chrono::steady_clock::now();
  size_t finishedHere = 0;
  auto report = [&] {
    if (!options.progress) return;
    if (finishedHere > 0) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      progress.etaSeconds = elapsed / static_cast<double>(finishedHere) *
                            static_cast<double>(progress.total - progress.done);
    }
    options.progress(progress);
  };
  report();

  const size_t jobs = std::max<size_t>(1, options.jobs);
  std::vector<RunningVariant> running;
  size_t next = 0;
  bool interruptSent = false;
  auto cancelled = [&] { return options.cancel != nullptr && options.cancel->load(); };

  while (next < pending.size() || !running.empty()) {
    while (!cancelled() && running.size() < jobs && next < pending.size()) {
      RunningVariant r;
      r.variant = pending[next++];
      const std::string folder = JoinPath(variantsDir, VariantFolderName(sweep, r.variant));
      fs::create_directories(folder);
      r.errorPath = JoinPath(folder, "worker.err");
      ProcessLaunch launch;
      launch.arguments = options.workerArguments(r.variant);
      launch.errorOutputPath = r.errorPath;
      std::string error;
      r.process = CProcess::Start(launch, &error);
      if (!r.process) {
        VariantResult failed;
        failed.variant = r.variant;
        failed.status = "failed";
        failed.message = "the worker cannot be started: " + error;
        results[r.variant] = failed;
        ++progress.done;
        ++progress.failed;
        ++finishedHere;
        report();
        continue;
      }
      running.push_back(std::move(r));
    }
    if (cancelled() && !interruptSent) {
      // The workers may share our process group and have the terminal's SIGINT already; a second
      // one does no harm, and it reaches workers that a kill of this process alone would miss.
      for (RunningVariant& r : running) ::kill(r.process->GetPid(), SIGINT);
      interruptSent = true;
    }
    bool ended = false;
    for (size_t i = 0; i < running.size();) {
      RunningVariant& r = running[i];
      const std::optional<std::int32_t> code = r.process->Poll();
      if (!code) {
        ++i;
        continue;
      }
      ended = true;
      const std::string folder = JoinPath(variantsDir, VariantFolderName(sweep, r.variant));
      std::optional<VariantResult> result = ReadVariantResult(folder, r.variant);
      if (result && result->key == VariantKey(sweep, r.variant) && (result->status == "ok" || result->status == "failed")) {
        results[r.variant] = *result;
        if (result->status != "ok") ++progress.failed;
        ++progress.done;
        ++finishedHere;
      } else if (interruptSent) {
        outcome.interrupted = true;  // not recorded: a resume runs it again
      } else {
        VariantResult failed;
        failed.variant = r.variant;
        failed.key = VariantKey(sweep, r.variant);
        failed.status = "failed";
        const std::string tail = Tail(r.errorPath, 2);
        failed.message = Format("the worker ended with exit code %d without a result", *code) +
                         (tail.empty() ? std::string(".") : ": " + tail);
        results[r.variant] = failed;
        ++progress.failed;
        ++progress.done;
        ++finishedHere;
      }
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      report();
    }
    if (!ended && !running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (cancelled()) outcome.interrupted = true;
  for (size_t v : variants) {
    auto it = results.find(v);
    if (it == results.end()) {
      VariantResult missing;
      missing.variant = v;
      outcome.results.push_back(missing);
    } else {
      outcome.results.push_back(it->second);
      if (it->second.status != "ok") ++outcome.failed;
    }
  }
  return outcome;
}

// --- shards and collecting ---------------------------------------------------------------------

void RecordShardRun(const std::string& dir, SweepShard shard, const SweepRunOutcome& outcome) {
  const std::string shardsDir = JoinPath(dir, "shards");
  fs::create_directories(shardsDir);
  const std::string path = JoinPath(shardsDir, Format("shard-%zu-of-%zu.txt", shard.index, shard.count));
  std::string text;
  try {
    text = ReadText(path);
  } catch (const std::exception&) {
  }
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  size_t ok = 0;
  for (const VariantResult& r : outcome.results) ok += r.status == "ok" ? 1 : 0;
  text += Format("run at %lld on %s: %zu variants, %zu ok, %zu failed%s\n", static_cast<long long>(std::time(nullptr)),
                 host, outcome.results.size(), ok, outcome.failed, outcome.interrupted ? ", interrupted" : "");
  WriteText(path, text);
}

CollectReport CollectSweep(const std::string& dir, const SweepDefinition& sweep) {
  CollectReport report;
  const size_t count = VariantCount(sweep);
  for (size_t v = 0; v < count; ++v) {
    const std::string folder = JoinPath(JoinPath(dir, "variants"), VariantFolderName(sweep, v));
    std::optional<VariantResult> result = ReadVariantResult(folder, v);
    if (result && result->key == VariantKey(sweep, v) && (result->status == "ok" || result->status == "failed")) {
      if (result->status != "ok") ++report.failed;
      report.results.push_back(*result);
    } else {
      VariantResult missing;
      missing.variant = v;
      missing.message = result ? "the result was computed with other settings" : "";
      report.results.push_back(missing);
      report.missingVariants.push_back(v);
    }
  }

  // The shard records: which shardings ran, which shards of each never ran, which ran twice.
  std::map<size_t, std::map<size_t, size_t>> runsOf;  // count -> index -> runs
  const std::string shardsDir = JoinPath(dir, "shards");
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(shardsDir, ec)) {
    unsigned long index = 0, shards = 0;
    int used = 0;
    const std::string name = entry.path().filename().string();
    if (std::sscanf(name.c_str(), "shard-%lu-of-%lu.txt%n", &index, &shards, &used) != 2 ||
        used != static_cast<int>(name.size()))
      continue;
    size_t runs = 0;
    std::istringstream lines(ReadText(entry.path().string()));
    std::string line;
    while (std::getline(lines, line)) runs += line.rfind("run at", 0) == 0 ? 1 : 0;
    runsOf[shards][index] = runs;
  }
  if (runsOf.size() > 1) {
    std::string counts;
    for (const auto& [shards, indices] : runsOf) counts += (counts.empty() ? "" : ", ") + std::to_string(shards);
    report.problems.push_back("shards of different counts ran into this folder (" + counts +
                              "): their variants overlap, the latest result of each variant is kept.");
  }
  for (const auto& [shards, indices] : runsOf) {
    for (size_t i = 0; i < shards; ++i) {
      auto it = indices.find(i);
      if (it == indices.end()) {
        report.problems.push_back(Format("shard %zu/%zu is missing: it never ran.", i, shards));
      } else if (it->second > 1) {
        report.problems.push_back(
            Format("shard %zu/%zu ran %zu times: its variants are counted once, from the latest run.", i, shards,
                   it->second));
      }
    }
    for (const auto& [i, runs] : indices) {
      if (i >= shards) report.problems.push_back(Format("shard %zu/%zu is not a shard of this sweep.", i, shards));
    }
  }
  WriteSweepSummary(dir, sweep, report.results);
  return report;
}

// --- SLURM -----------------------------------------------------------------------------------

namespace {

// A word for a POSIX shell: single-quoted, single quotes closed and escaped.
std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// #SBATCH lines are not read by a shell: a value there may not hold blanks or quotes.
std::string SbatchValue(const std::string& text, const char* what) {
  if (text.find_first_of(" \t\n'\"\\") != std::string::npos)
    throw std::invalid_argument(Format("The %s \"%s\" cannot go on an #SBATCH line.", what, text.c_str()));
  return text;
}

}  // namespace

std::string SlurmScript(const SlurmScriptOptions& o) {
  const std::string logs = JoinPath(o.dir, "slurm");
  std::string s = "#!/bin/bash\n";
  s += "#SBATCH --job-name=" + SbatchValue(o.jobName, "job name") + "\n";
  s += Format("#SBATCH --array=0-%zu\n", o.shards - 1);
  s += "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
  s += "#SBATCH --output=" + SbatchValue(JoinPath(logs, "shard-%a.out"), "folder") + "\n";
  if (!o.partition.empty()) s += "#SBATCH --partition=" + SbatchValue(o.partition, "partition") + "\n";
  if (!o.timeLimit.empty()) s += "#SBATCH --time=" + SbatchValue(o.timeLimit, "time limit") + "\n";
  s += "#\n";
  s += "# A what-if sweep as a SLURM job array, one shard of the variants per array task.\n";
  s += "#   bash THIS_FILE     submits the array and a collect job that runs once every task has\n";
  s += "#                      succeeded (afterok); it prints both job ids.\n";
  s += "#   sbatch THIS_FILE   submits only the array; collect afterwards with\n";
  s += "#                      varlo-cli sweep-collect DIR\n";
  s += "# Results: DIR/variants/variant-NNNN (one folder per variant), DIR/summary.csv and\n";
  s += "# DIR/summary.svg after collecting, the tasks' logs in DIR/slurm. After failed tasks, submit\n";
  s += "# those again (sbatch --array=3,5 THIS_FILE): complete variants are skipped.\n";
  s += "set -euo pipefail\n";
  s += "VARLO=" + ShellWord(o.program) + "\n";
  s += "SWEEP=" + ShellWord(o.sweepFile) + "\n";
  s += "DIR=" + ShellWord(o.dir) + "\n";
  s += Format("SHARDS=%zu\n", o.shards);
  s += "if [ -n \"${SLURM_ARRAY_TASK_ID:-}\" ]; then\n";
  s += "  exec \"$VARLO\" sweep \"$SWEEP\" -o \"$DIR\" --shard \"$SLURM_ARRAY_TASK_ID/$SHARDS\" --jobs 1\n";
  s += "fi\n";
  s += "mkdir -p \"$DIR/slurm\"\n";
  s += "array=$(sbatch --parsable \"$0\")\n";
  s += "array=${array%%;*}\n";
  std::string collectOptions = "--job-name=" + SbatchValue(o.jobName, "job name") + "-collect";
  if (!o.partition.empty()) collectOptions += " --partition=" + o.partition;
  if (!o.timeLimit.empty()) collectOptions += " --time=" + o.timeLimit;
  s += "collect=$(sbatch --parsable " + collectOptions +
       " --dependency=afterok:\"$array\" --output=\"$DIR/slurm/collect.out\" \\\n";
  s += "  --wrap=\"$(printf '%q ' \"$VARLO\" sweep-collect \"$DIR\" --sweep \"$SWEEP\")\")\n";
  s += "collect=${collect%%;*}\n";
  s += "echo \"array job $array, collect job $collect\"\n";
  return s;
}

}  // namespace varlo
