#include "engine/graph_creation.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

#include "engine/dump_file.h"
#include "model/archive.h"
#include "model/document.h"

namespace varlo {

namespace {

std::string NodeName(const CNode* node) {
  return node ? node->GetName() : std::string();
}

// The entry text with its first tab replaced by a blank: the legend label.
std::string LabelOf(std::string entry) {
  const size_t tab = entry.find('\t');
  if (tab != std::string::npos) entry[tab] = ' ';
  return entry;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

// A whole word that is a decimal number (sign, digits, point, exponent); words such as "-t" are not.
bool ParseNumberWord(const std::string& word, double& value) {
  if (word.empty()) return false;
  const char* begin = word.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  return end == begin + word.size();
}

}  // namespace

std::string QueueEntryText(const C_MM1K_Queue& queue) {
  return NodeName(queue.fromNode) + "\t -> " + NodeName(queue.toNode);
}

std::string ClassEntryText(const CTrafficClass& trafficClass) {
  return NodeName(trafficClass.GetSource()) + "\t - " + trafficClass.GetDescription();
}

int QueueBaseColumn(const CVarloDoc& doc, const C_MM1K_Queue* queue) {
  int k = 0;
  for (const auto& link : doc.GetLinks()) {
    if (link->GetForwardQueue() == queue) return 6 * k + 1;
    if (link->GetBackwardQueue() == queue) return 6 * k + 4;
    ++k;
  }
  return 0;
}

int ClassColumn(const CVarloDoc& doc, const CTrafficClass* trafficClass) {
  const int base = 6 * static_cast<int>(doc.GetLinks().size());
  int p = 1;
  for (const auto& c : doc.GetClasses()) {
    if (c.get() == trafficClass) return base + p;
    ++p;
  }
  return 0;
}

GraphSeries MakeQueueSeries(const CVarloDoc& doc, const C_MM1K_Queue& queue, int metric) {
  GraphSeries series;
  series.queue = &queue;
  series.metric = metric;
  series.column = QueueBaseColumn(doc, &queue) + metric;
  series.label = LabelOf(QueueEntryText(queue));
  return series;
}

GraphSeries MakeClassSeries(const CVarloDoc& doc, const CTrafficClass& trafficClass, int metric) {
  GraphSeries series;
  series.trafficClass = &trafficClass;
  series.metric = metric;
  series.column = ClassColumn(doc, &trafficClass);
  series.label = NodeName(trafficClass.GetSource()) + " - " + trafficClass.GetDescription();
  return series;
}

GraphLoadStatus LoadGraphData(CVarloDoc& doc, std::vector<GraphSeries> newSeries,
                              const std::string& dumpPath, std::string* damage) {
  if (newSeries.empty()) return GraphLoadStatus::kNothingSelected;
  std::unique_ptr<CDumpReader> reader;
  try {
    reader = std::make_unique<CDumpReader>(dumpPath);
  } catch (const CFileException&) {
    return GraphLoadStatus::kFileError;
  }
  if (!reader->Matches(doc.GetLinks().size(), doc.GetClasses().size())) return GraphLoadStatus::kBadDump;

  GraphData& graph = doc.graph;
  graph.Clear();
  graph.refinedModel = reader->GetHeader().model == "refined";
  const int announced = std::max(reader->GetHeader().nominalRows, 0);
  // Columns 1 .. 6L + S of a row; a series outside them (a queue no longer in the network) keeps 0.
  const size_t valuesPerRow = reader->ValuesPerRow() - 1;
  for (GraphSeries& series : newSeries) {
    series.values.clear();
    series.color = 0;
    graph.graphSeries.SetAt(static_cast<std::uint16_t>(series.column), std::move(series));
  }
  // Series by column, so that a row is matched in one pass in ascending column order.
  std::vector<GraphSeries*> byColumn(valuesPerRow + 1, nullptr);
  graph.graphSeries.ForEach([&](std::uint16_t key, GraphSeries& s) {
    if (key >= 1 && key <= valuesPerRow) byColumn[key] = &s;
  });

  std::vector<double> row;
  for (int i = 0; i < announced; ++i) {
    const bool complete = reader->ReadRow(row);
    if (row.empty()) break;  // the file holds fewer rows than announced
    graph.graphTimes.push_back(row[0]);
    graph.graphSeries.ForEach([](std::uint16_t, GraphSeries& s) { s.values.push_back(0.0); });
    int matched = 0;
    for (size_t j = 1; j < row.size() && j <= valuesPerRow; ++j) {
      GraphSeries* s = byColumn[j];
      if (!s) continue;
      s->values.back() = row[j];
      s->color = seriesPalette[static_cast<size_t>(matched++) % seriesPalette.size()];
    }
    if (!complete) break;
  }
  graph.graphPointCount = static_cast<int>(graph.graphTimes.size());
  if (damage != nullptr) *damage = reader->Damage();
  return GraphLoadStatus::kLoaded;
}

std::string MonitorFileName(const CVarloDoc& doc, const C_MM1K_Queue& queue) {
  const std::string from = queue.fromNode ? queue.fromNode->GetScriptName() : std::string();
  const std::string to = queue.toNode ? queue.toNode->GetScriptName() : std::string();
  return JoinFolder(doc.GetFolder(), doc.GetTitle() + "_" + from + "_" + to + ".tr");
}

bool ReadMonitorTrace(const std::string& path, const std::vector<double>& times,
                      std::vector<double>& values) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const size_t n = times.size();
  values.assign(n, std::numeric_limits<double>::quiet_NaN());
  double sum = 0.0;
  int count = 0;
  size_t i = 0;
  std::string line, word;
  while (i < n && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    double numbers[4];
    int found = 0;
    double value = 0.0;
    while (found < 4 && words >> word) {
      if (ParseNumberWord(word, value)) numbers[found++] = value;
    }
    if (found < 4) continue;    // not a monitor line
    sum += numbers[3] * 0.001;  // bytes to packets of 1000 bytes
    count += 1;
    if (numbers[0] > times[i]) {
      values[i] = sum / count;
      ++i;
      sum = 0.0;
      count = 0;
    }
  }
  if (i < n && count > 0) values[i] = sum / count;  // the run ended within this point's interval
  return !in.bad();
}

int AddSimulatedCompanions(CVarloDoc& doc) {
  GraphData& graph = doc.graph;
  std::vector<const GraphSeries*> computed;
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) {
    if (!s.simulated && s.queue && s.metric == kMetricAverageSize) computed.push_back(&s);
  });
  const size_t m = graph.graphSeries.Size();
  std::vector<GraphSeries> companions;
  size_t v = 0;
  for (const GraphSeries* s : computed) {
    GraphSeries companion;
    companion.queue = s->queue;
    companion.column = s->column;
    companion.metric = kMetricAverageSize;
    companion.label = "Sim of " + s->label;
    companion.color = seriesPalette[(m + v) % seriesPalette.size()];
    companion.simulated = 1;
    ++v;
    if (!ReadMonitorTrace(MonitorFileName(doc, *s->queue), graph.graphTimes, companion.values)) continue;
    companions.push_back(std::move(companion));
  }
  for (GraphSeries& c : companions) {
    graph.graphSeries.SetAt(static_cast<std::uint16_t>(c.column * 10), std::move(c));
  }
  return static_cast<int>(companions.size());
}

}  // namespace varlo
