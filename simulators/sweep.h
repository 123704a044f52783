// What-if sweeps: a base network, the run settings and one or more axes, each a list of values for
// one change made with the existing tools (Modify Links, the rates of the UDP and rate-file classes,
// generated TCP classes). The variants are the cartesian product of the axes, numbered from 0 with
// the last axis changing fastest (as nested loops with the first axis outermost). Each variant runs
// in a folder of its own; its result file makes it complete, so a second call redoes only the rest.
// Shards split the variants round-robin (variant v belongs to shard v mod N) for cluster job arrays.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run.h"

namespace varlo {

class CVarloDoc;

enum class SweepAxisKind {
  kLink,   // one Modify Links change on the links between two name filters
  kRates,  // the rates of the UDP Poisson classes and the rate-file classes scaled by the value
  kTcp,    // the value is the number of TCP classes generated per source between two name filters
};

struct SweepAxis {
  SweepAxisKind kind = SweepAxisKind::kLink;
  std::string name;             // the column heading in summary.csv
  int linkModification = 0;     // kLink: a LinkModification
  std::string firstFilter;      // kLink: one end; kTcp: the sources
  std::string secondFilter;     // kLink: the other end; kTcp: the destinations
  std::uint32_t seed = 1;       // kTcp: the generator's seed, the same for every value
  double startTime = 0.0;       // kTcp: s
  double stopTime = 10000.0;    // kTcp: s
  std::vector<double> values;
};

struct SweepRunSettings {
  RunMethod method = RunMethod::kComputeMetrics;
  std::string model = "classic";
  double totalTime = 15.0;     // s
  double runningStep = 0.01;   // s
  double dumpInterval = 0.1;   // s
  int profile = 1;             // TcpProfileIndex
  double summaryFrom = 0.0;    // s: the figures leave out the rows before it
};

// ns beside every variant, once per seed, its queue monitors on the given queues ("from:to" by
// node name); the first monitored queue's measured average size becomes a figure.
struct SweepNsSettings {
  std::vector<std::uint32_t> seeds;
  std::vector<std::string> queues;
  std::string program = "ns";
  double maxStartDelay = 0.0;  // s
  // The ns script's options (NSScriptOptions): UDP sources truly Poisson at their rates, and ns
  // routed along Varlo's routes. Both off by default, as in the ns script dialog.
  bool poissonSources = false;
  bool varloRoutes = false;
};

struct SweepDefinition {
  std::string sweepFile;    // for messages
  std::string baseNetwork;  // absolute path of the .net or .json network
  SweepRunSettings run;
  std::vector<SweepAxis> axes;
  std::string plotFigure = "total_throughput";
  SweepNsSettings ns;
};

// Opens a network by path (.net or its JSON form); throws std::exception with a message.
using NetworkOpener = std::function<std::unique_ptr<CVarloDoc>(const std::string& path)>;

// The figures of a variant, in summary.csv's column order.
extern const std::vector<std::string> kSweepFigures;

size_t VariantCount(const SweepDefinition& sweep);
// The value index on every axis of a variant.
std::vector<size_t> VariantValueIndices(const SweepDefinition& sweep, size_t variant);
std::vector<double> VariantAxisValues(const SweepDefinition& sweep, size_t variant);
// "variant-0007": four digits at least, more when the sweep has more variants.
std::string VariantFolderName(const SweepDefinition& sweep, size_t variant);

struct SweepShard {
  size_t index = 0;
  size_t count = 1;
};
// Parses "I/N" with 0 <= I < N; none when the text is not of that form.
std::optional<SweepShard> ParseShard(const std::string& text);
std::vector<size_t> ShardVariants(const SweepDefinition& sweep, SweepShard shard);

// Checks what can be checked before any variant runs: the base network opens, every filter
// matches, every axis has something to change, the figure exists. The message names the element.
std::optional<std::string> ValidateSweep(const SweepDefinition& sweep, const NetworkOpener& open);

// The base network with the changes of one variant applied, axis by axis in axis order. Rate
// files are scaled into copies in folder.
std::unique_ptr<CVarloDoc> BuildVariant(const SweepDefinition& sweep, size_t variant, const std::string& folder,
                                        const NetworkOpener& open);

struct VariantResult {
  size_t variant = 0;
  std::string status = "missing";  // "ok", "failed", "missing"
  std::string key;                 // what the variant was run with; a resume reuses only a match
  double runSeconds = 0.0;
  std::string bottleneck;
  std::vector<double> figures;  // kSweepFigures, in order
  std::string message;
};

// The text that identifies what a variant runs: settings, base network and the variant's values.
std::string VariantKey(const SweepDefinition& sweep, size_t variant);

// Runs one variant in this process: writes folder/network.net, folder/run.dmp (and the ns files)
// and, last, folder/result.txt. A cancelled run writes no result file.
VariantResult RunVariant(const SweepDefinition& sweep, size_t variant, const std::string& folder,
                         const NetworkOpener& open, const std::atomic<bool>* cancel);

// The result file of a variant folder; none when absent or unreadable.
std::optional<VariantResult> ReadVariantResult(const std::string& folder, size_t variant);
// Whether a resume may keep it: complete, successful and run with the same settings and values.
bool IsCompleteResult(const SweepDefinition& sweep, const std::optional<VariantResult>& result);

// summary.csv: one row per variant in variant order.
std::string SweepSummaryCsv(const SweepDefinition& sweep, const std::vector<VariantResult>& results);
// summary.svg: the plot figure of the successful variants against the first axis, one curve per
// combination of the other axes.
std::string SweepSummarySvg(const SweepDefinition& sweep, const std::vector<VariantResult>& results);
// Writes both into dir (each atomically); throws CFileException on failure.
void WriteSweepSummary(const std::string& dir, const SweepDefinition& sweep,
                       const std::vector<VariantResult>& results);

// --- running many variants -----------------------------------------------------------------

struct SweepProgress {
  size_t total = 0;
  size_t done = 0;     // finished now, or complete from an earlier call
  size_t failed = 0;
  size_t skipped = 0;  // complete from an earlier call
  double etaSeconds = -1.0;  // -1 while unknown
};

struct SweepRunOptions {
  size_t jobs = 1;
  SweepShard shard;
  // The command line of the process that runs one variant (it must call RunVariant).
  std::function<std::vector<std::string>(size_t variant)> workerArguments;
  std::function<void(const SweepProgress&)> progress;
  // Raised to stop: no new variant starts, running ones are interrupted (SIGINT) and waited for.
  const std::atomic<bool>* cancel = nullptr;
};

struct SweepRunOutcome {
  std::vector<VariantResult> results;  // the shard's variants, in variant order
  size_t failed = 0;
  bool interrupted = false;
};

// Runs the shard's variants in up to jobs worker processes at once, skipping complete ones.
// Folders are made under dir/variants; a worker that ends without a result file is recorded as
// failed with its exit code and the end of its error output.
SweepRunOutcome RunSweep(const SweepDefinition& sweep, const std::string& dir, const SweepRunOptions& options);

// --- shards and collecting -------------------------------------------------------------------

// dir/shards/shard-I-of-N.txt, appended after every run of the shard: a line with the time and
// the variants it finished.
void RecordShardRun(const std::string& dir, SweepShard shard, const SweepRunOutcome& outcome);

struct CollectReport {
  std::vector<VariantResult> results;  // every variant; missing ones with status "missing"
  std::vector<size_t> missingVariants;
  std::vector<std::string> problems;   // missing and duplicate shards, mixed shard counts
  size_t failed = 0;
};

// Reads every variant's result and the shard records of dir, writes summary.csv and summary.svg.
CollectReport CollectSweep(const std::string& dir, const SweepDefinition& sweep);

// --- SLURM -----------------------------------------------------------------------------------

struct SlurmScriptOptions {
  std::string program;    // absolute path of varlo-cli
  std::string sweepFile;  // absolute
  std::string dir;        // absolute
  size_t shards = 1;
  std::string partition;
  std::string timeLimit;
  std::string jobName = "varlo-sweep";
};

// A batch script: run by sbatch it is the job array (one shard per task); run by a shell outside
// SLURM it submits itself as the array and then the collect job that waits for it (afterok).
std::string SlurmScript(const SlurmScriptOptions& options);

}  // namespace varlo
