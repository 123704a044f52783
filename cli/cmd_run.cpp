// Evaluation commands: "run" (the evaluation of the desktop command without its dialogs and without
// saving the network) and "dump2csv" (a dump as CSV with named columns).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/progress_line.h"
#include "engine/computation_parameters.h"
#include "engine/dump_file.h"
#include "engine/evaluation_model.h"
#include "engine/run.h"
#include "engine/tcp_profile.h"
#include "model/document.h"
#include "platform/core/text_format.h"
#include "platform/core/thread_pool.h"

namespace varlo::cli {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
  interrupted.store(true);
}

struct RunArguments {
  std::string network;
  std::string dump;
  std::string method = "metrics";
  std::string totalTime = "15";
  std::string runningStep = "0.01";
  std::string dumpInterval = "0.1";
  std::string profile = "netbsd";
  int threads = 0;  // 0: every core
  std::string model = "classic";
  bool quiet = false;
};

double CheckedNumber(const std::string& option, const std::string& text, const NumberRange& range) {
  double value = 0;
  if (auto message = CheckNumberField(text, range, value)) throw UsageError(option + ": " + *message);
  return value;
}

void ExecuteRun(const RunArguments& args) {
  const double totalTime = CheckedNumber("--total", args.totalTime, kTotalTimeRange);
  const double runningStep = CheckedNumber("--step", args.runningStep, kRunningStepRange);
  const double dumpInterval = CheckedNumber("--dump-interval", args.dumpInterval, kDumpIntervalRange);
  const RunMethod method = args.method == "mm1k" ? RunMethod::kZIteration : RunMethod::kComputeMetrics;

  const std::string networkPath = std::filesystem::absolute(args.network).lexically_normal().string();
  const std::unique_ptr<CVarloDoc> opened = OpenNetwork(networkPath);
  CVarloDoc& doc = *opened;
  doc.totalTime = totalTime;
  doc.runningStep = runningStep;
  doc.dumpInterval = dumpInterval;
  doc.dumpFilePath = ApplyDumpExtension(args.dump);
  SetTcpProfile(args.profile == "ns" ? kProfileNS : kProfileNetBSD);
  SetWorkerThreads(args.threads);

  ProgressLine progress(args.quiet);
  RunOptions options;
  options.documentPath = networkPath;
  options.model = ParseEvaluationModel(args.model).value_or(EvaluationModel::kClassic);
  options.progress = [&progress](const std::string& text, double) { progress.Show(text); };
  options.notice = [&progress](const std::string& message) { progress.Message("varlo-cli: " + message); };
  options.cancel = &interrupted;

  interrupted.store(false);
  // Ctrl-C, a kill and a closed terminal all end the run the same way: between two steps, with
  // whole rows in the dump and the message of a cancelled run.
  constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
  void (*previous[std::size(kStopSignals)])(int);
  for (size_t i = 0; i < std::size(kStopSignals); ++i) previous[i] = std::signal(kStopSignals[i], OnInterrupt);
  const auto start = std::chrono::steady_clock::now();
  const RunResult result = Run(doc, method, options);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (size_t i = 0; i < std::size(kStopSignals); ++i) std::signal(kStopSignals[i], previous[i]);
  progress.End();

  std::fprintf(stderr, "Running time(sec) : %ld (routes %.3f s, run %.3f s, %lld rows in %s)\n",
               static_cast<long>(elapsed), result.routeSeconds, result.runSeconds,
               static_cast<long long>(result.rowsWritten), doc.dumpFilePath.c_str());
  if (result.status != RunStatus::kCompleted) throw CommandFailure(result.message);
}

// One CSV field; quoted when it holds a separator, a quotation mark or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::vector<std::string> CsvHeader(const CVarloDoc& doc) {
  std::vector<std::string> names{"time"};
  for (const auto& link : doc.GetLinks()) {
    for (const CQueue* q : {static_cast<const CQueue*>(link->GetForwardQueue()),
                            static_cast<const CQueue*>(link->GetBackwardQueue())}) {
      const std::string from = q->fromNode != nullptr ? q->fromNode->GetName() : std::string();
      const std::string to = q->toNode != nullptr ? q->toNode->GetName() : std::string();
      const std::string queue = from + "->" + to;
      names.push_back(queue + " avg size");
      names.push_back(queue + " utilisation");
      names.push_back(queue + " loss");
    }
  }
  for (const auto& c : doc.GetClasses()) {
    const std::string source = c->GetSource() != nullptr ? c->GetSource()->GetName() : std::string();
    names.push_back(source + " - " + c->GetDescription());
  }
  return names;
}

void WriteCsvLine(std::ostream& out, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out << ',';
    out << CsvField(fields[i]);
  }
  out << kTextLineEnd;
}

void ExecuteDumpToCsv(const std::string& dumpPath, const std::string& networkPath,
                      const std::string& outPath) {
  const std::unique_ptr<CVarloDoc> opened = OpenNetwork(networkPath);
  CVarloDoc& doc = *opened;
  CDumpReader reader(dumpPath);
  if (!reader.Matches(doc.GetLinks().size(), doc.GetClasses().size())) {
    throw CommandFailure("Bad Dump File - try to reconfigure");
  }
  std::ofstream file;
  if (!outPath.empty()) {
    file.open(outPath, std::ios::binary | std::ios::trunc);
    if (!file) throw CommandFailure(Format("%s cannot be created.", outPath.c_str()));
  }
  std::ostream& out = outPath.empty() ? std::cout : file;
  WriteCsvLine(out, CsvHeader(doc));
  // The numbers keep the dump's text; a short last row (a run that was stopped while writing) is
  // left out.
  std::vector<std::string> words;
  while (reader.ReadRowWords(words)) WriteCsvLine(out, words);
  out.flush();
  // The rows before a damaged one are written; the command still fails, naming the row.
  if (!reader.Damage().empty()) throw CommandFailure(reader.Damage());
  if (!out)
    throw CommandFailure(
        Format("%s could not be written.", outPath.empty() ? "standard output" : outPath.c_str()));
}

void RegisterRunCommands(CLI::App& app) {
  {
    auto args = std::make_shared<RunArguments>();
    auto* cmd = app.add_subcommand("run", "Evaluate a network over time and write its dump file");
    cmd->add_option("IN.net", args->network, "The network file")->required()->check(CLI::ExistingFile);
    cmd->add_option("--dump", args->dump, "The dump file (\".dmp\" is appended unless the name ends with it)")
        ->required();
    cmd->add_option("--method", args->method,
                    "metrics: Compute Metrics (fixed steps); mm1k: M/M/1/K Z-iteration (adaptive steps)")
        ->check(CLI::IsMember({"metrics", "mm1k"}));
    cmd->add_option("--total", args->totalTime, "Total time, seconds (1 to 10000; default 15)");
    cmd->add_option("--step", args->runningStep, "Running step, seconds (0.0001 to 5; default 0.01)");
    cmd->add_option("--dump-interval", args->dumpInterval,
                    "Dump interval, seconds (0.001 to 10; default 0.1)");
    cmd->add_option("--profile", args->profile, "TCP throughput profile: netbsd (NetBSD 1.2) or ns")
        ->check(CLI::IsMember({"netbsd", "ns"}));
    cmd->add_option("--threads", args->threads,
                    "Threads of the evaluation and route computation (default: every core); results do not "
                    "depend on it")
        ->check(CLI::Range(1, 1024));
    cmd->add_option("--model", args->model,
                    "Queue and TCP formulas: classic (as first described, the default) or refined "
                    "(consistent with M/M/1/K; TCP classes share their bottlenecks)")
        ->check(CLI::IsMember({"classic", "refined"}));
    cmd->add_flag("--quiet", args->quiet, "No progress on standard error");
    cmd->callback([args] { ExecuteRun(*args); });
  }
  {
    auto dump = std::make_shared<std::string>();
    auto net = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("dump2csv", "Write a dump file as CSV with a named column per value");
    cmd->add_option("IN.dmp", *dump, "The dump file")->required();
    cmd->add_option("--net", *net, "The network the dump was computed for")->required();
    cmd->add_option("-o,--output", *out, "The CSV file to write (standard output when absent)");
    cmd->callback([dump, net, out] { ExecuteDumpToCsv(*dump, *net, *out); });
  }
}

const CommandRegistrar registrar(RegisterRunCommands);

}  // namespace
}  // namespace varlo::cli
