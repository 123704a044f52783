// Simulator and traffic-tool commands: ns-script, qns-script (each with --run), generate-tcp,
// generate-trace, delete-traffic, modify-links.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "model/mm1k_queue.h"
#include "model/queue.h"
#include "model/document.h"
#include "platform/core/process_runner.h"
#include "platform/core/text_format.h"
#include "simulators/link_modifier.h"
#include "simulators/ns_script.h"
#include "simulators/qns_script.h"
#include "simulators/traffic_generators.h"

namespace varlo::cli {
namespace {

// CLI11's ranges let NaN through (every comparison with NaN is false); this one also refuses NaN
// and the infinities.
CLI::Validator FiniteRange(double least, double most) {
  return CLI::Validator(
      [least, most](std::string& text) -> std::string {
        double value = 0.0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value < least || value > most) {
          return "Value " + text + " not in range [" + CLI::detail::to_string(least) + " - " +
                 CLI::detail::to_string(most) + "]";
        }
        return std::string();
      },
      "FLOAT in [" + CLI::detail::to_string(least) + " - " + CLI::detail::to_string(most) + "]");
}

std::string AbsolutePath(const std::string& path) {
  return std::filesystem::absolute(path).string();
}

std::vector<CQueue*> MonitoredQueues(const CVarloDoc& doc, const std::vector<std::string>& texts) {
  std::vector<CQueue*> chosen;
  for (const auto& t : texts) chosen.push_back(FindQueueByText(doc, t, "--monitor"));
  // As the dialog collects them: list order, each once.
  return SelectMonitoredQueues(doc, chosen);
}

// Prints the run report and fails when the simulator could not be started or did not end well.
void ReportRun(const SimulatorReport& report, const char* simulatorLabel, const char* exitLabel) {
  if (!report.started) {
    // No exit code to report: the simulator never ran. Saying "error code: 0" would contradict
    // the failure this command ends with.
    std::fprintf(stderr, "%s (%s)\n", report.failureMessage.c_str(), report.startError.c_str());
    throw CommandFailure(report.failureMessage);
  }
  std::printf("%s %ld\n", exitLabel, static_cast<long>(report.exitCode));
  std::printf("Running Time was (sec) %ld\n", report.runningTime);
  std::printf("%s\n%s", simulatorLabel, report.outputLines.c_str());
  std::fflush(stdout);
  if (!report.started) throw CommandFailure(report.failureMessage);
  if (report.exitCode != 0) {
    throw CommandFailure(Format("%s ended with error code %ld", report.arguments.front().c_str(),
                                static_cast<long>(report.exitCode)));
  }
}

void RegisterNSScript(CLI::App& app) {
  auto* cmd = app.add_subcommand("ns-script", "Write the network as an ns script (and run ns on it)");
  struct Args {
    std::string in, out;
    std::optional<double> length;
    std::vector<std::string> monitors;
    double maxStartDelay = 0.0;
    std::optional<std::uint32_t> seed;
    bool run = false;
    bool poisson = false;
    bool varloRoutes = false;
  };
  auto a = std::make_shared<Args>();
  cmd->add_option("IN.net", a->in, "The network file")->required();
  cmd->add_option("-o,--output", a->out,
                  "The script (default: the network's file name followed by .tcl, "
                  "beside the network)");
  cmd->add_option("--length", a->length, "Simulation length in seconds (default: the total time, 15)")
      ->check(FiniteRange(1.0, 100000.0));
  cmd->add_option("--monitor", a->monitors, "Monitor the queue from node FROM to node TO (FROM:TO, by node numbers or names)");
  cmd->add_option("--max-start-delay", a->maxStartDelay,
                  "Random delay of each class's start, up to D seconds")
      ->check(FiniteRange(0.0, 1000000.0));
  cmd->add_option("--seed", a->seed, "Seed of the random start delays (default: the tick count)");
  cmd->add_flag("--run", a->run, "Run ns on the script and print its report");
  cmd->add_flag("--poisson", a->poisson,
                "Make the UDP Poisson sources truly Poisson at their rate (one-packet bursts, "
                "exponential idle times of mean 1/rate)");
  cmd->add_flag("--varlo-routes", a->varloRoutes,
                "Route the classes' packets and acknowledgements along Varlo's least-cost routes "
                "instead of ns's own (which may break ties between equally cheap paths otherwise)");
  cmd->callback([a] {
    auto doc = OpenNetwork(a->in);
    NSScriptOptions options;
    options.poissonSources = a->poisson;
    options.varloRoutes = a->varloRoutes;
    options.title = FileNamePart(a->in);
    options.scriptPath = a->out.empty() ? DefaultNSScriptName(options.title)
                                        : AbsolutePath(ApplyScriptExtension(a->out, kNSScriptExtension));
    options.simulationLength = a->length.value_or(doc->totalTime);
    options.monitoredQueues = MonitoredQueues(*doc, a->monitors);
    options.maxStartDelay = a->maxStartDelay;
    options.seed = a->seed;
    WriteNSScript(*doc, options);
    if (a->run) {
      ReportRun(RunSimulator(MakeNSRunRequest(*doc, options.scriptPath)), "NS Output",
                "NS Exit with error code");
    }
  });
}

void RegisterQNSScript(CLI::App& app) {
  auto* cmd = app.add_subcommand("qns-script", "Write the network as a qns script (and run qns on it)");
  struct Args {
    std::string in, out;
    std::optional<double> length;
    int simulations = 1;
    double resolution = 0.1;
    int linkService = 3;
    std::vector<std::string> monitors;
    bool run = false;
  };
  auto a = std::make_shared<Args>();
  cmd->add_option("IN.net", a->in, "The network file")->required();
  cmd->add_option("-o,--output", a->out,
                  "The script (default: the network's file name followed by .qns, "
                  "beside the network)");
  cmd->add_option("--length", a->length, "Simulation length in seconds (default: the total time, 15)")
      ->check(FiniteRange(0.0, 1e17));
  cmd->add_option("--simulations", a->simulations, "Number of simulations")->check(CLI::Range(1, 2147483647));
  cmd->add_option("--resolution", a->resolution, "Dump resolution in seconds")
      ->check(FiniteRange(1e-11, 1e10));
  cmd->add_option("--link-service", a->linkService, "Link service, 2 or 3")->check(CLI::Range(2, 3));
  cmd->add_option("--monitor", a->monitors, "Dump the queue from node FROM to node TO (FROM:TO, by node numbers or names)");
  cmd->add_flag("--run", a->run, "Run qns on the script and print its report");
  cmd->callback([a] {
    auto doc = OpenNetwork(a->in);
    QNSScriptOptions options;
    options.title = FileNamePart(a->in);
    options.scriptPath = a->out.empty() ? DefaultQNSScriptName(options.title)
                                        : AbsolutePath(ApplyScriptExtension(a->out, kQNSScriptExtension));
    options.simulationLength = a->length.value_or(doc->totalTime);
    options.simulationCount = a->simulations;
    options.dumpResolution = a->resolution;
    options.linkService = a->linkService;
    options.monitoredQueues = MonitoredQueues(*doc, a->monitors);
    const QNSScriptResult result = WriteQNSScript(*doc, options);
    if (result.status == QNSScriptStatus::kUnsupportedClass) {
      throw CommandFailure(std::string(kQNSUnsupportedClassMessage) + " (" + result.scriptPath +
                           " holds the records before that class)");
    }
    if (a->run) {
      ReportRun(RunSimulator(MakeQNSRunRequest(*doc, options)), "QNS output", "QNS Exit with error code:");
    }
  });
}

struct GeneratorArgs {
  std::string in, out;
  std::string from, to;
  std::uint32_t lower = 0, upper = 0;
  double start = 0.0;
  double stop = 10000.0;
  std::optional<std::uint32_t> seed;
};

void AddGeneratorOptions(CLI::App* cmd, GeneratorArgs& a) {
  cmd->add_option("IN.net", a.in, "The network file")->required();
  cmd->add_option("-o,--output", a.out, "The .net file to write")->required();
  cmd->add_option("--from", a.from, "Sources: nodes whose names contain TEXT (default: all)");
  cmd->add_option("--to", a.to, "Destinations: nodes whose names contain TEXT (default: all)");
  cmd->add_option("--min", a.lower, "Fewest classes per source")->required();
  cmd->add_option("--max", a.upper, "Most classes per source")->required();
  cmd->add_option("--seed", a.seed, "Seed of the random draws (default: the tick count)");
}

void FillGeneratorOptions(const GeneratorArgs& a, TrafficGenerationOptions& options) {
  if (auto message = CheckCountInterval(a.lower, a.upper)) throw UsageError(*message);
  options.sourceFilter = a.from;
  options.destinationFilter = a.to;
  options.lowerCount = a.lower;
  options.upperCount = a.upper;
  options.startTime = a.start;
  options.stopTime = a.stop;
  options.seed = a.seed;
}

void ReportSkipped(const GenerationResult& result) {
  for (const CNode* source : result.skippedSources) {
    std::fprintf(stderr, "varlo-cli: %s gets no classes: the only destination its filter allows is itself\n",
                 source->GetName().c_str());
  }
}

void RegisterGenerators(CLI::App& app) {
  {
    auto* cmd = app.add_subcommand("generate-tcp", "Add TCP classes between nodes picked by name");
    auto a = std::make_shared<GeneratorArgs>();
    AddGeneratorOptions(cmd, *a);
    cmd->add_option("--start", a->start, "Start time of the classes, s")->check(FiniteRange(0.0, 1000000.0));
    cmd->add_option("--stop", a->stop, "Stop time of the classes, s (default 10000)")
        ->check(FiniteRange(0.0, 1000000.0));
    cmd->callback([a] {
      TrafficGenerationOptions options;
      FillGeneratorOptions(*a, options);
      auto doc = OpenNetwork(a->in);
      const GenerationResult result = GenerateTCPTraffic(*doc, options);
      ReportSkipped(result);
      doc->OnSaveDocument(a->out);
    });
  }
  {
    auto* cmd = app.add_subcommand("generate-trace", "Add trace classes between nodes picked by name");
    auto a = std::make_shared<GeneratorArgs>();
    a->stop = 0.0;
    auto slot = std::make_shared<double>(0.1);
    auto traces = std::make_shared<std::vector<std::string>>();
    AddGeneratorOptions(cmd, *a);
    cmd->add_option("--slot", *slot, "Slot size of the derived rate files, s")
        ->required()
        ->check(FiniteRange(1e-10, 1e9));
    cmd->add_option("--trace", *traces, "Trace files, used in turn")->required();
    cmd->add_option("--start", a->start, "Start time of the classes, s")->check(FiniteRange(0.0, 1000000.0));
    cmd->add_option("--stop", a->stop, "Stop time of the classes, s (default 0: always active)")
        ->check(FiniteRange(0.0, 1000000.0));
    cmd->callback([a, slot, traces] {
      TraceGenerationOptions options;
      FillGeneratorOptions(*a, options);
      options.slotSize = *slot;
      for (const auto& t : *traces) options.traceFiles.push_back(AbsolutePath(t));
      auto doc = OpenNetwork(a->in);
      const GenerationResult result = GenerateTraceClasses(*doc, options);
      ReportSkipped(result);
      doc->OnSaveDocument(a->out);
    });
  }
  {
    auto* cmd = app.add_subcommand("delete-traffic", "Delete every traffic class");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN.net", *in, "The network file")->required();
    cmd->add_option("-o,--output", *out, "The .net file to write")->required();
    cmd->callback([in, out] {
      auto doc = OpenNetwork(*in);
      DeleteAllTraffic(*doc);
      doc->OnSaveDocument(*out);
    });
  }
  {
    auto* cmd = app.add_subcommand("modify-links", "Change one queue parameter of links picked by end names");
    struct Args {
      std::string in, out, between, with;
      int type = 0;
      double parameter = 0.0;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("IN.net", a->in, "The network file")->required();
    cmd->add_option("-o,--output", a->out, "The .net file to write")->required();
    cmd->add_option("--between", a->between, "One end's name contains TEXT (default: any)");
    cmd->add_option("--and", a->with, "The other end's name contains TEXT (default: any)");
    cmd->add_option("--type", a->type,
                    "0 multiply capacity, 1 set capacity, 2 multiply buffer, 3 set buffer, 4 multiply "
                    "delay, 5 set delay")
        ->required()
        ->check(CLI::Range(0, kLinkModificationCount - 1));
    cmd->add_option("--parameter", a->parameter, "Factor or value")->required()->check(FiniteRange(0.0, 1e9));
    cmd->callback([a] {
      // A buffer must hold at least the packet in service.
      if (a->type == kSetBuffer && a->parameter < kLeastBufferSize) {
        throw UsageError("--parameter: a buffer must hold at least 1 packet");
      }
      auto doc = OpenNetwork(a->in);
      ModifyLinks(*doc, a->between, a->with, a->type, a->parameter);
      for (const auto& link : doc->GetLinks()) {
        for (const C_MM1K_Queue* q : {link->GetForwardQueue(), link->GetBackwardQueue()}) {
          if (!(q->bufferSize >= kLeastBufferSize) || !std::isfinite(q->bufferSize) || !std::isfinite(q->serviceRate) ||
              !std::isfinite(q->propagationDelay)) {
            throw CommandFailure(Format("the change leaves the queue %s -> %s with a buffer below 1 packet or a value "
                                        "that is not finite; %s was not written",
                                        q->fromNode->GetName().c_str(), q->toNode->GetName().c_str(), a->out.c_str()));
          }
        }
      }
      doc->OnSaveDocument(a->out);
    });
  }
}

void RegisterSimulatorCommands(CLI::App& app) {
  RegisterNSScript(app);
  RegisterQNSScript(app);
  RegisterGenerators(app);
}

const CommandRegistrar registrar(RegisterSimulatorCommands);

}  // namespace
}  // namespace varlo::cli
