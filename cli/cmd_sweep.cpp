// What-if sweeps: "sweep" runs the variants of a sweep file on all cores (or one shard of them, or
// writes a SLURM batch script for a job array), "sweep-collect" merges the results of shards.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/command.h"
#include "cli/progress_line.h"
#include "cli/sweep_file.h"
#include "platform/core/file_io.h"
#include "platform/core/text_format.h"
#include "simulators/sweep.h"

namespace varlo::cli {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> interrupted{false};

extern "C" void OnSweepInterrupt(int) {
  interrupted.store(true);
}

// Installs the Ctrl-C handler for the life of a command and restores the previous one.
class InterruptScope {
 public:
  InterruptScope() {
    interrupted.store(false);
    previous_ = std::signal(SIGINT, OnSweepInterrupt);
    previousTerm_ = std::signal(SIGTERM, OnSweepInterrupt);
  }
  ~InterruptScope() {
    std::signal(SIGINT, previous_);
    std::signal(SIGTERM, previousTerm_);
  }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  void (*previous_)(int);
  void (*previousTerm_)(int);
};

struct SweepArguments {
  std::string sweepFile;
  std::string dir;
  size_t jobs = 0;
  std::string shard;
  std::string slurmScript;
  size_t shards = 0;
  std::string partition;
  std::string timeLimit;
  long variant = -1;
  bool quiet = false;
};

constexpr const char* kSweepFileRecord = "sweep-file.txt";

std::string ThisProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw CommandFailure("The path of varlo-cli itself cannot be read: " + ec.message());
  return self.string();
}

std::string Absolute(const std::string& path) {
  return fs::absolute(path).lexically_normal().string();
}

std::string Clock(double seconds) {
  if (seconds < 0) return "--:--";
  const long s = static_cast<long>(seconds + 0.5);
  return s >= 3600 ? Format("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60) : Format("%ld:%02ld", s / 60, s % 60);
}

// "[#########...........]  45/100 done, 2 failed, 0:42 left", in place on a terminal, one line per
// change otherwise.
class ProgressBar {
 public:
  explicit ProgressBar(bool quiet) : line_(quiet) {}
  void Show(const SweepProgress& p) {
    constexpr size_t kWidth = 30;
    const size_t filled = p.total == 0 ? kWidth : p.done * kWidth / p.total;
    const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
    std::string text = Format("[%s] %zu/%zu done, %zu failed, %s left", bar.c_str(), p.done, p.total, p.failed,
                              Clock(p.done == p.total ? 0.0 : p.etaSeconds).c_str());
    if (p.skipped > 0) text += Format(" (%zu complete before)", p.skipped);
    line_.Show(text);
  }
  void End() { line_.End(); }

 private:
  ProgressLine line_;
};

SweepDefinition ReadAndValidate(const std::string& path) {
  SweepDefinition sweep = ReadSweepFile(path);
  if (auto problem = ValidateSweep(sweep, OpenAnyNetwork)) throw CommandFailure(*problem);
  return sweep;
}

void RunWorker(const SweepArguments& args, const SweepDefinition& sweep) {
  if (args.variant < 0 || static_cast<size_t>(args.variant) >= VariantCount(sweep))
    throw UsageError(Format("--variant: the sweep has variants 0 to %zu.", VariantCount(sweep) - 1));
  const size_t v = static_cast<size_t>(args.variant);
  const std::string folder = (fs::path(args.dir) / "variants" / VariantFolderName(sweep, v)).string();
  InterruptScope scope;
  const VariantResult result = RunVariant(sweep, v, folder, OpenAnyNetwork, &interrupted);
  if (result.status == "cancelled") throw CommandFailure("variant " + std::to_string(v) + " was interrupted.");
  if (result.status != "ok") throw CommandFailure("variant " + std::to_string(v) + ": " + result.message);
}

void WriteSlurmScript(const SweepArguments& args, const SweepDefinition& sweep) {
  const size_t variants = VariantCount(sweep);
  const size_t shards = args.shards == 0 ? variants : std::min(args.shards, variants);
  SlurmScriptOptions options;
  options.program = ThisProgram();
  options.sweepFile = Absolute(args.sweepFile);
  options.dir = Absolute(args.dir);
  options.shards = shards;
  options.partition = args.partition;
  options.timeLimit = args.timeLimit;
  std::string script;
  try {
    script = SlurmScript(options);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  fs::create_directories(fs::path(options.dir) / "slurm");
  const std::string record = options.sweepFile + "\n";
  WriteFileAtomically((fs::path(options.dir) / kSweepFileRecord).string(),
                      std::vector<std::uint8_t>(record.begin(), record.end()));
  WriteFileAtomically(args.slurmScript, std::vector<std::uint8_t>(script.begin(), script.end()));
  fs::permissions(args.slurmScript, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add);
  std::printf("%s: %zu variants in %zu array tasks.\n", args.slurmScript.c_str(), variants, shards);
  std::printf("Submit the array and its collect job:  bash %s\n", args.slurmScript.c_str());
  std::printf("Or the array alone:  sbatch %s   then  varlo-cli sweep-collect %s\n", args.slurmScript.c_str(),
              options.dir.c_str());
}

void ExecuteSweep(const SweepArguments& args) {
  const SweepDefinition sweep = ReadAndValidate(args.sweepFile);
  if (args.variant >= 0) {
    RunWorker(args, sweep);
    return;
  }
  if (!args.slurmScript.empty()) {
    WriteSlurmScript(args, sweep);
    return;
  }
  SweepShard shard;
  if (!args.shard.empty()) {
    const std::optional<SweepShard> parsed = ParseShard(args.shard);
    if (!parsed) throw UsageError("--shard: give I/N with 0 <= I < N, not \"" + args.shard + "\".");
    shard = *parsed;
  }
  const std::string dir = Absolute(args.dir);
  fs::create_directories(dir);
  const std::string sweepFile = Absolute(args.sweepFile);
  const std::string record = sweepFile + "\n";
  WriteFileAtomically((fs::path(dir) / kSweepFileRecord).string(),
                      std::vector<std::uint8_t>(record.begin(), record.end()));

  SweepRunOptions options;
  options.jobs = args.jobs > 0 ? args.jobs : std::max(1u, std::thread::hardware_concurrency());
  options.shard = shard;
  const std::string program = ThisProgram();
  options.workerArguments = [&](size_t v) {
    return std::vector<std::string>{program, "sweep", sweepFile, "-o", dir, "--variant", std::to_string(v)};
  };
  ProgressBar bar(args.quiet);
  options.progress = [&bar](const SweepProgress& p) { bar.Show(p); };
  options.cancel = &interrupted;

  SweepRunOutcome outcome;
  {
    InterruptScope scope;
    outcome = RunSweep(sweep, dir, options);
  }
  bar.End();
  const bool sharded = !args.shard.empty();
  if (sharded) {
    RecordShardRun(dir, shard, outcome);
  } else {
    WriteSweepSummary(dir, sweep, outcome.results);
  }
  size_t ok = 0;
  for (const VariantResult& r : outcome.results) ok += r.status == "ok" ? 1 : 0;
  if (!args.quiet) {
    for (const VariantResult& r : outcome.results) {
      if (r.status == "failed") std::fprintf(stderr, "variant %zu failed: %s\n", r.variant, r.message.c_str());
    }
    if (sharded) {
      std::printf("shard %zu/%zu: %zu of %zu variants ok; collect with: varlo-cli sweep-collect %s\n", shard.index,
                  shard.count, ok, outcome.results.size(), dir.c_str());
    } else {
      std::printf("%zu of %zu variants ok; %s/summary.csv and %s/summary.svg\n", ok, outcome.results.size(),
                  dir.c_str(), dir.c_str());
    }
  }
  if (outcome.interrupted) {
    throw CommandFailure(Format("interrupted with %zu of %zu variants complete; the same command resumes.", ok,
                                outcome.results.size()));
  }
  // A shard records its failures for the collect step; only a whole sweep reports them in its code.
  if (!sharded && outcome.failed > 0)
    throw CommandFailure(Format("%zu of %zu variants failed (see summary.csv).", outcome.failed, outcome.results.size()));
}

void ExecuteCollect(const std::string& dirArgument, std::string sweepFile) {
  const std::string dir = Absolute(dirArgument);
  if (sweepFile.empty()) {
    try {
      const std::vector<std::uint8_t> bytes = ReadWholeFile((fs::path(dir) / kSweepFileRecord).string());
      sweepFile.assign(bytes.begin(), bytes.end());
      while (!sweepFile.empty() && (sweepFile.back() == '\n' || sweepFile.back() == '\r')) sweepFile.pop_back();
    } catch (const std::exception&) {
      throw CommandFailure(dir + " holds no sweep (no " + kSweepFileRecord + "); give the sweep file with --sweep.");
    }
  }
  const SweepDefinition sweep = ReadAndValidate(sweepFile);
  const CollectReport report = CollectSweep(dir, sweep);
  for (const std::string& problem : report.problems) std::fprintf(stderr, "varlo-cli: %s\n", problem.c_str());
  if (!report.missingVariants.empty()) {
    std::string list;
    for (size_t i = 0; i < report.missingVariants.size(); ++i) {
      if (i == 20) {
        list += Format(" and %zu more", report.missingVariants.size() - 20);
        break;
      }
      list += (i > 0 ? ", " : "") + std::to_string(report.missingVariants[i]);
    }
    std::fprintf(stderr, "varlo-cli: missing variants: %s\n", list.c_str());
  }
  const size_t ok = report.results.size() - report.failed - report.missingVariants.size();
  std::printf("%zu of %zu variants ok, %zu failed, %zu missing; %s/summary.csv and %s/summary.svg\n", ok,
              report.results.size(), report.failed, report.missingVariants.size(), dir.c_str(), dir.c_str());
  if (!report.missingVariants.empty() || report.failed > 0)
    throw CommandFailure("the sweep is not complete; run the missing shards again (complete variants are kept).");
}

void RegisterSweepCommands(CLI::App& app) {
  {
    auto args = std::make_shared<SweepArguments>();
    auto* cmd = app.add_subcommand("sweep", "Run every variant of a what-if sweep and summarise them");
    cmd->add_option("SWEEP.json", args->sweepFile, "The sweep file")->required()->check(CLI::ExistingFile);
    cmd->add_option("-o,--output", args->dir, "The folder of the results")->required();
    cmd->add_option("--jobs", args->jobs, "Variants run at once (default: one per core)")->check(CLI::Range(1, 1024));
    cmd->add_option("--shard", args->shard, "Run only shard I of N (variants v with v mod N = I)");
    cmd->add_option("--slurm-script", args->slurmScript, "Write a SLURM job-array batch script instead of running");
    cmd->add_option("--shards", args->shards, "Array tasks of the SLURM script (default: one per variant)")
        ->check(CLI::Range(1, 100000));
    cmd->add_option("--partition", args->partition, "SLURM partition of the script");
    cmd->add_option("--time", args->timeLimit, "SLURM time limit of each array task (e.g. 0:30:00)");
    cmd->add_option("--variant", args->variant, "Run one variant in this process (what the workers do)")
        ->group("");
    cmd->add_flag("--quiet", args->quiet, "No progress bar");
    cmd->callback([args] {
      if ((!args->partition.empty() || !args->timeLimit.empty() || args->shards != 0) && args->slurmScript.empty())
        throw UsageError("--partition, --time and --shards go with --slurm-script.");
      if (!args->slurmScript.empty() && !args->shard.empty())
        throw UsageError("--shard and --slurm-script exclude each other.");
      ExecuteSweep(*args);
    });
  }
  {
    auto dir = std::make_shared<std::string>();
    auto sweepFile = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("sweep-collect", "Merge the results of a sweep's shards into its summary");
    cmd->add_option("DIR", *dir, "The sweep's result folder")->required()->check(CLI::ExistingDirectory);
    cmd->add_option("--sweep", *sweepFile, "The sweep file (default: the one the folder was made with)");
    cmd->callback([dir, sweepFile] { ExecuteCollect(*dir, *sweepFile); });
  }
}

const CommandRegistrar registrar(RegisterSweepCommands);

}  // namespace
}  // namespace varlo::cli
