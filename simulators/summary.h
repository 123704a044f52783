// The summary of an evaluation: the busiest queues of a dump (mean and largest utilisation, average
// size, loss) and the throughput of the traffic classes per kind, over the whole run or from a
// given time on. The command line, the desktop program and the sweeps read dumps through it.
#pragma once

#include <string>
#include <vector>

namespace varlo {

class CVarloDoc;

struct QueueSummary {
  std::string name;  // "from->to" of the node names
  int link = 0;      // position in the link list, from 0
  bool forward = true;
  double meanUtilisation = 0.0;  // fraction, mean over the rows
  double maxUtilisation = 0.0;
  double averageSize = 0.0;      // packets, mean over the rows
  double loss = 0.0;             // loss probability, mean over the rows
};

struct ClassKindSummary {
  int type = 0;       // the traffic-class type code
  std::string kind;   // "UDP", "TCP", "rate file", "trace"
  int classes = 0;
  double throughput = 0.0;  // packets/s: the kind's classes' rates summed, mean over the rows
};

struct DumpSummary {
  double from = 0.0;     // s: rows before it are left out
  int rows = 0;          // rows summarised
  double firstTime = 0.0, lastTime = 0.0;
  std::string model = "classic";        // the model that wrote the dump (its header says)
  std::vector<QueueSummary> queues;     // busiest first: mean utilisation, then largest, then link order
  std::vector<ClassKindSummary> kinds;  // kinds present in the network, in type-code order
  double totalThroughput = 0.0;         // packets/s
};

// Reads the dump written for doc's network. Throws std::runtime_error with a message naming the
// dump when it cannot be read ("Problms with the dump file !!" cases), when its header does not
// fit the network ("Bad Dump File - try to reconfigure") or when no complete row lies at or after
// from.
DumpSummary SummarizeDump(const CVarloDoc& doc, const std::string& dumpPath, double from = 0.0);

// The summary as a text table, the first top queues (all when top <= 0).
std::string SummaryTable(const DumpSummary& summary, int top);

// The summary as CSV: one line per queue (section "queue"), then one per class kind (section
// "class kind"), then the total; a refined dump's ends with "model,refined".
std::string SummaryCsv(const DumpSummary& summary);

// One CSV field; quoted when it holds a separator, a quotation mark or a line break.
std::string CsvField(const std::string& text);

// The largest-utilisation queue, or nullptr for a network without links.
const QueueSummary* Bottleneck(const DumpSummary& summary);

}  // namespace varlo
