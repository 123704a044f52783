// "summary": the busiest queues of a dump and the class throughput per kind, as a table or JSON.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "cli/command.h"
#include "cli/sweep_file.h"
#include "model/document.h"
#include "simulators/summary.h"

namespace varlo::cli {
namespace {

struct SummaryArguments {
  std::string dump;
  std::string network;
  int top = 10;
  bool json = false;
  double from = 0.0;
};

nlohmann::json SummaryJson(const DumpSummary& summary, int top) {
  nlohmann::json out;
  out["rows"] = summary.rows;
  out["from"] = summary.from;
  out["first_time"] = summary.firstTime;
  out["last_time"] = summary.lastTime;
  out["model"] = summary.model;
  out["queues"] = nlohmann::json::array();
  for (size_t i = 0; i < summary.queues.size() && (top <= 0 || i < static_cast<size_t>(top)); ++i) {
    const QueueSummary& q = summary.queues[i];
    out["queues"].push_back({{"queue", q.name},
                             {"link", q.link},
                             {"direction", q.forward ? "forward" : "backward"},
                             {"mean_utilisation", q.meanUtilisation},
                             {"max_utilisation", q.maxUtilisation},
                             {"average_size", q.averageSize},
                             {"loss", q.loss}});
  }
  out["class_kinds"] = nlohmann::json::array();
  for (const ClassKindSummary& k : summary.kinds)
    out["class_kinds"].push_back({{"kind", k.kind}, {"classes", k.classes}, {"throughput", k.throughput}});
  out["total_throughput"] = summary.totalThroughput;
  return out;
}

void ExecuteSummary(const SummaryArguments& args) {
  std::unique_ptr<CVarloDoc> doc = OpenAnyNetwork(args.network);
  DumpSummary summary;
  try {
    summary = SummarizeDump(*doc, args.dump, args.from);
  } catch (const std::runtime_error& e) {
    throw CommandFailure(e.what());
  }
  const std::string text = args.json ? SummaryJson(summary, args.top).dump(2) + "\n" : SummaryTable(summary, args.top);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void RegisterSummaryCommand(CLI::App& app) {
  auto args = std::make_shared<SummaryArguments>();
  auto* cmd = app.add_subcommand("summary", "Print the busiest queues and the class throughput of a dump");
  cmd->add_option("IN.dmp", args->dump, "The dump file")->required();
  cmd->add_option("--net", args->network, "The network the dump was computed for (.net or .json)")->required();
  cmd->add_option("--top", args->top, "Queues listed, busiest first (0: all; default 10)")->check(CLI::NonNegativeNumber);
  cmd->add_flag("--json", args->json, "Print JSON instead of a table");
  cmd->add_option("--from", args->from, "Leave out the rows before this time, seconds (default 0)")
      ->check(CLI::NonNegativeNumber);
  cmd->callback([args] { ExecuteSummary(*args); });
}

const CommandRegistrar registrar(RegisterSummaryCommand);

}  // namespace
}  // namespace varlo::cli
