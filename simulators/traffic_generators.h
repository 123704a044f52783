// Bulk traffic: TCP or trace classes between nodes picked by name filters, a random number of
// classes per source and a random destination per class; and the removal of all traffic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varlo {

class CNode;
class CVarloDoc;

inline constexpr const char* kEmptyIntervalMessage = "Use a non-empty interval, please.";
// A source cannot usefully hold more classes than there are node numbers; larger counts would
// only make a generation run until memory is gone.
inline constexpr std::uint32_t kMaxClassesPerSource = 65535;
inline constexpr const char* kTooManyClassesMessage = "Please enter a number between 0 and 65535.";
inline constexpr const char* kNoTraceFilesMessage = "Select at least one trace file, please.";
inline constexpr const char* kDeleteAllTrafficQuestion = "Are you sure you want to delete all the traffic?";

// A name matches a filter when the filter is empty or the name contains it (case-sensitive).
bool MatchesNodeFilter(const std::string& name, const std::string& filter);

// The dialogs' check of the class count range: the message when upper < lower, otherwise none.
std::optional<std::string> CheckCountInterval(std::uint32_t lower, std::uint32_t upper);

struct TrafficGenerationOptions {
  std::string sourceFilter;
  std::string destinationFilter;
  std::uint32_t lowerCount = 0;  // classes per source, drawn uniformly from lower..upper
  std::uint32_t upperCount = 0;
  double startTime = 0.0;     // s
  double stopTime = 10000.0;  // s
  // Seeds the process's generator; without it the tick count does.
  std::optional<std::uint32_t> seed;
};

struct TraceGenerationOptions : TrafficGenerationOptions {
  double slotSize = 0.1;  // s
  // Given to the created classes in turn, across all sources.
  std::vector<std::string> traceFiles;
};

struct GenerationResult {
  std::size_t createdCount = 0;
  // Sources that drew a count above 0 but whose only matching destination is themselves: every
  // destination draw would hit the source again, so they get no classes.
  std::vector<CNode*> skippedSources;
};

// TCP bulk classes (sink delay 0). Each is added with AddClass and announced with hint 3.
GenerationResult GenerateTCPTraffic(CVarloDoc& doc, const TrafficGenerationOptions& options);

// Trace classes, trace files in round-robin. Throws std::invalid_argument (kNoTraceFilesMessage)
// before creating anything when the list of trace files is empty; a trace file that cannot be
// read throws CFileException from the class, the classes made before it staying.
GenerationResult GenerateTraceClasses(CVarloDoc& doc, const TraceGenerationOptions& options);

// Deletes every class, first of the list first (hint 4 for each).
void DeleteAllTraffic(CVarloDoc& doc);

}  // namespace varlo
