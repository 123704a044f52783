// The logic of "Create Graphic ...": the entries of the dialog's lists, the series built from a
// selection, reading the chosen columns of a dump file into the document's graph data, and the
// queue sizes measured by ns beside the computed ones. Standard library only; the dialog and the
// command handler sit on top of it.
#pragma once

#include <string>
#include <vector>

#include "model/graph_data.h"

namespace varlo {

class CVarloDoc;

inline constexpr const char* kBadDumpFileMessage = "Bad Dump File - try to reconfigure";
inline constexpr const char* kDumpFileProblemMessage = "Problms with the dump file !!";

// List entries: "from\t -> to" for a queue, "source\t - description" for a class.
std::string QueueEntryText(const C_MM1K_Queue& queue);
std::string ClassEntryText(const CTrafficClass& trafficClass);

// 6k + 1 for the forward queue of link k, 6k + 4 for its backward queue; 0 when not in the document.
int QueueBaseColumn(const CVarloDoc& doc, const C_MM1K_Queue* queue);
// 6L + p for the class at position p (from 1); 0 when not in the document.
int ClassColumn(const CVarloDoc& doc, const CTrafficClass* trafficClass);

GraphSeries MakeQueueSeries(const CVarloDoc& doc, const C_MM1K_Queue& queue, int metric);
GraphSeries MakeClassSeries(const CVarloDoc& doc, const CTrafficClass& trafficClass, int metric);

enum class GraphLoadStatus {
  kLoaded,
  kNothingSelected,  // no series asked for: nothing read, the graph is unchanged
  kBadDump,          // the header's counts do not match the network: the graph is unchanged
  kFileError,        // the file cannot be opened: the graph is unchanged
};

// Reads the columns of newSeries from the dump into doc.graph, replacing what it held, and colours
// the series by ascending column from seriesPalette. The time points are the rows actually present,
// at most as many as the header announces: a short file gives a shorter graph, a file without rows
// an empty one. A damaged row ends the graph before it; damage (when given) then names the row.
GraphLoadStatus LoadGraphData(CVarloDoc& doc, std::vector<GraphSeries> newSeries,
                              const std::string& dumpPath, std::string* damage = nullptr);

// "%s_%s_%s.tr" of the title and the script names of the queue's two nodes, in the document's
// folder (where ns runs the generated script).
std::string MonitorFileName(const CVarloDoc& doc, const C_MM1K_Queue& queue);

// Averages an ns queue monitor trace onto the time points: each line's numbers are taken in order,
// words skipped (ns writes "q -t 0.0667 -s 0 -d 0 -l 1040 -p 1"); the first is the time, the fourth
// the queue length in bytes. A point closes with the first line later than its time, that line
// included; the lines after the last closed point, up to the end of the file, make the next one.
// Points that no line reaches (an ns run shorter than the dump) have no value, NaN, so that the
// graph ends the curve there instead of showing an empty queue. False when the file cannot be read.
bool ReadMonitorTrace(const std::string& path, const std::vector<double>& times, std::vector<double>& values);

// Adds an ns companion (key column * 10, dashed legend sample) for every queue series read from
// the dump, when they show the average size; a companion whose trace cannot be read is left out.
// Returns how many were added.
int AddSimulatedCompanions(CVarloDoc& doc);

}  // namespace varlo
