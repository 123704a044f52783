// The ns script writer: the network as a Tcl script for the ns simulator (nodes, both queues of
// every link, every traffic class with its start delay, queue monitors and the finish part), and
// the values of an ns run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/process_runner.h"

namespace varlo {

class CQueue;
class CVarloDoc;

inline constexpr const char* kNSScriptExtension = ".tcl";
inline constexpr const char* kNSErrorFileName = "tmp_out_ns";
inline constexpr const char* kNSRunFailureMessage = "Error Running ns !";

// Keeps name when it is longer than 3 characters and ends in extension (4 characters, compared
// case-sensitively); otherwise appends extension.
std::string ApplyScriptExtension(const std::string& name, const std::string& extension);
// The dialog's default script name: the title followed by ".tcl".
std::string DefaultNSScriptName(const std::string& title);

// The file a script titled title asks ns to write the monitor trace of queue into: the title and
// the script names of the queue's ends, joined by underscores, with ".tr" (the names the graph
// window's simulated companions look for when the title is the network's).
std::string MonitorTraceName(const std::string& title, const CQueue& queue);

struct NSScriptOptions {
  std::string title;                     // the document's title; names the monitor trace files
  std::string scriptPath;                // as entered; a relative path is taken from the document's folder
  double simulationLength = 15.0;        // s
  std::vector<CQueue*> monitoredQueues;  // in the order their monitors are written
  double maxStartDelay = 0.0;            // s; each class starts up to this much later
  // Seeds the process's generator; without it the tick count does.
  std::optional<std::uint32_t> seed;
  // Makes every constant-rate UDP Poisson source truly Poisson at its rate r: the script's
  // Exponential source is on/off (rate_ while on, exponential idle times), which offers about r/2
  // as first written. With this option each burst is one packet sent at once (a rate_ far above
  // any link) followed by an exponential idle time of mean 1/r. Off: the script as first written.
  bool poissonSources = false;
  // Routes every class's packets, and the acknowledgements of its TCP classes, along Varlo's least-
  // cost routes ("$ns rtproto Manual" and an add-route line for each node of each path, computing
  // the routes first if the document has none): ns's own routing breaks ties between equally cheap
  // paths its own way, so the two would otherwise load different queues. Off: the script as first
  // written, routed by ns.
  bool varloRoutes = false;
};

// The routes block that pins ns to the document's routes: every class's path from its source to
// its destination and back, one add-route line per node and destination, in class order.
std::string RouteLines(CVarloDoc& doc);

// The lines that make the Exponential source named `className` Poisson at rate packets/s.
std::string PoissonSourceLines(const std::string& className, double rate);

// The script text with "\n" line ends. Draws one start delay per class from the process's
// generator (after seeding it) when maxStartDelay > 0. Trace classes write their ".nstrace".
std::string BuildNSScript(CVarloDoc& doc, const NSScriptOptions& options);

struct NSScriptResult {
  std::string scriptPath;  // where the script was written
  // ".nstrace" files made in the script's folder, where ns looks for them, for traces that live
  // elsewhere.
  std::vector<std::string> copiedTraces;
};

// Writes the script file atomically (a temporary file renamed into place). Throws CFileException
// when it cannot be written and CScriptNameException for a file name that cannot be made inert.
// Each trace class's ".nstrace" is made in the script's folder: the script names it without a
// directory, and ns reads it relative to its working directory, which is the script's folder.
NSScriptResult WriteNSScript(CVarloDoc& doc, const NSScriptOptions& options);

// The monitors that a dialog offers: for every link in list order, the forward then the backward
// queue. SelectMonitoredQueues keeps the chosen ones in that order, each once.
std::vector<CQueue*> MonitorableQueues(const CVarloDoc& doc);
std::vector<CQueue*> SelectMonitoredQueues(const CVarloDoc& doc, const std::vector<CQueue*>& chosen);
// The queue from node number `from` to node number `to`, or nullptr when no link joins them.
CQueue* FindQueue(const CVarloDoc& doc, std::uint16_t from, std::uint16_t to);

// The run of ns on a script: the command line "ns %s", the script path one argument.
SimulatorRequest MakeNSRunRequest(const CVarloDoc& doc, const std::string& scriptPath);

}  // namespace varlo
