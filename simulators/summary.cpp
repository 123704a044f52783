#include "simulators/summary.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/dump_file.h"
#include "model/mm1k_queue.h"
#include "model/traffic_class.h"
#include "platform/core/file_errors.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {
namespace {

const char* KindName(int type) {
  switch (type) {
    case kTypeConstPoisson:
      return "UDP";
    case kTypeTCP:
      return "TCP";
    case kTypeTdPoisson:
      return "rate file";
    case kTypeTrace:
      return "trace";
    default:
      return "other";
  }
}

std::string QueueName(const CQueue& queue) {
  const std::string from = queue.fromNode != nullptr ? queue.fromNode->GetName() : std::string();
  const std::string to = queue.toNode != nullptr ? queue.toNode->GetName() : std::string();
  return from + "->" + to;
}

// A value for a table or CSV cell: six decimals as the dumps have them.
std::string Number(double value) {
  return FormatFixed6(value);
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

DumpSummary SummarizeDump(const CVarloDoc& doc, const std::string& dumpPath, double from) {
  std::unique_ptr<CDumpReader> reader;
  try {
    reader = std::make_unique<CDumpReader>(dumpPath);
  } catch (const CFileException& e) {
    throw std::runtime_error(e.Message());
  }
  const size_t linkCount = doc.GetLinks().size();
  const size_t classCount = doc.GetClasses().size();
  if (!reader->Matches(linkCount, classCount)) {
    throw std::runtime_error(Format("%s: Bad Dump File - try to reconfigure", dumpPath.c_str()));
  }

  DumpSummary summary;
  summary.from = from;
  summary.model = reader->GetHeader().model;
  for (size_t k = 0; k < linkCount; ++k) {
    const CGraphicLink& link = *doc.GetLinks()[k];
    for (const CQueue* q : {static_cast<const CQueue*>(link.GetForwardQueue()),
                            static_cast<const CQueue*>(link.GetBackwardQueue())}) {
      QueueSummary queue;
      queue.name = QueueName(*q);
      queue.link = static_cast<int>(k);
      queue.forward = q == link.GetForwardQueue();
      summary.queues.push_back(queue);
    }
  }
  std::vector<int> kindOfClass;  // index into summary.kinds
  for (const auto& c : doc.GetClasses()) {
    const int type = c->GetType();
    auto it = std::find_if(summary.kinds.begin(), summary.kinds.end(),
                           [type](const ClassKindSummary& k) { return k.type == type; });
    if (it == summary.kinds.end()) {
      summary.kinds.push_back(ClassKindSummary{type, KindName(type), 0, 0.0});
      it = summary.kinds.end() - 1;
    }
    ++it->classes;
    kindOfClass.push_back(static_cast<int>(it - summary.kinds.begin()));
  }

  // Sums over the rows first; the means are taken once the row count is known.
  std::vector<double> row;
  while (reader->ReadRow(row)) {
    const double t = row[0];
    if (t < from) continue;
    if (summary.rows == 0) summary.firstTime = t;
    summary.lastTime = t;
    ++summary.rows;
    for (size_t q = 0; q < summary.queues.size(); ++q) {
      QueueSummary& queue = summary.queues[q];
      const double n = row[1 + 3 * q], u = row[2 + 3 * q], p = row[3 + 3 * q];
      queue.averageSize += n;
      queue.meanUtilisation += u;
      queue.maxUtilisation = summary.rows == 1 ? u : std::max(queue.maxUtilisation, u);
      queue.loss += p;
    }
    for (size_t c = 0; c < classCount; ++c) summary.kinds[kindOfClass[c]].throughput += row[1 + 6 * linkCount + c];
  }
  if (summary.rows == 0) {
    throw std::runtime_error(from > 0.0 ? Format("%s has no complete row at or after time %s.", dumpPath.c_str(),
                                                 Number(from).c_str())
                                        : Format("%s has no complete row.", dumpPath.c_str()));
  }
  const double rows = summary.rows;
  for (QueueSummary& queue : summary.queues) {
    queue.averageSize /= rows;
    queue.meanUtilisation /= rows;
    queue.loss /= rows;
  }
  std::sort(summary.kinds.begin(), summary.kinds.end(),
            [](const ClassKindSummary& a, const ClassKindSummary& b) { return a.type < b.type; });
  for (ClassKindSummary& kind : summary.kinds) {
    kind.throughput /= rows;
    summary.totalThroughput += kind.throughput;
  }
  std::stable_sort(summary.queues.begin(), summary.queues.end(), [](const QueueSummary& a, const QueueSummary& b) {
    if (a.meanUtilisation != b.meanUtilisation) return a.meanUtilisation > b.meanUtilisation;
    return a.maxUtilisation > b.maxUtilisation;
  });
  return summary;
}

const QueueSummary* Bottleneck(const DumpSummary& summary) {
  return summary.queues.empty() ? nullptr : &summary.queues.front();
}

std::string SummaryTable(const DumpSummary& summary, int top) {
  // A classic dump's table stays as it always was; a refined one says where it came from, as its
  // graphs do.
  std::string text = Format("%d rows from %s s to %s s%s\n\n", summary.rows, Number(summary.firstTime).c_str(),
                            Number(summary.lastTime).c_str(), summary.model == "refined" ? " (refined model)" : "");
  size_t width = 5;
  for (const QueueSummary& q : summary.queues) width = std::max(width, q.name.size());
  const int w = static_cast<int>(width);
  text += Format("%-*s  %10s  %10s  %10s  %10s\n", w, "Queue", "mean util", "max util", "avg size", "loss");
  const size_t shown = top > 0 ? std::min<size_t>(static_cast<size_t>(top), summary.queues.size())
                               : summary.queues.size();
  for (size_t i = 0; i < shown; ++i) {
    const QueueSummary& q = summary.queues[i];
    text += Format("%-*s  %10.4f  %10.4f  %10.3f  %10.6f\n", w, q.name.c_str(), q.meanUtilisation,
                   q.maxUtilisation, q.averageSize, q.loss);
  }
  if (shown < summary.queues.size()) text += Format("(%zu more queues)\n", summary.queues.size() - shown);
  text += Format("\n%-10s  %8s  %18s\n", "Class kind", "classes", "throughput (pkt/s)");
  int classes = 0;
  for (const ClassKindSummary& k : summary.kinds) {
    text += Format("%-10s  %8d  %18.3f\n", k.kind.c_str(), k.classes, k.throughput);
    classes += k.classes;
  }
  text += Format("%-10s  %8d  %18.3f\n", "total", classes, summary.totalThroughput);
  return text;
}

std::string SummaryCsv(const DumpSummary& summary) {
  std::string text = "section,name,mean utilisation,max utilisation,average size,loss,classes,throughput";
  text += kTextLineEnd;
  for (const QueueSummary& q : summary.queues) {
    text += "queue," + CsvField(q.name) + "," + Number(q.meanUtilisation) + "," + Number(q.maxUtilisation) + "," +
            Number(q.averageSize) + "," + Number(q.loss) + ",,";
    text += kTextLineEnd;
  }
  int classes = 0;
  for (const ClassKindSummary& k : summary.kinds) {
    text += "class kind," + k.kind + ",,,,," + std::to_string(k.classes) + "," + Number(k.throughput);
    text += kTextLineEnd;
    classes += k.classes;
  }
  text += "class kind,total,,,,," + std::to_string(classes) + "," + Number(summary.totalThroughput);
  text += kTextLineEnd;
  // A refined dump's summary ends by saying so; a classic one's stays as it always was.
  if (summary.model == "refined") {
    text += "model,refined,,,,,,";
    text += kTextLineEnd;
  }
  return text;
}

}  // namespace varlo
