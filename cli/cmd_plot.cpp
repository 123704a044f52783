// "plot": the picture a graph window shows, drawn from a dump without windows. SVG is written by
// the core's own SVG context; PNG and PDF through cli/raster_picture.h.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/raster_picture.h"
#include "cli/sweep_file.h"
#include "model/mm1k_queue.h"
#include "model/traffic_class.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/node.h"
#include "platform/core/file_io.h"
#include "platform/core/svg_draw_context.h"
#include "engine/graph_creation.h"
#include "engine/graph_drawing.h"
#include "simulators/summary.h"


namespace varlo::cli {
namespace {

namespace fs = std::filesystem;

struct PlotArguments {
  std::string dump;
  std::string network;
  std::vector<std::string> queues;
  std::vector<int> classes;
  std::string metric = "size";
  bool simulated = false;
  std::string output;
  int width = 800;
  int height = 500;
  bool noGrid = false;
};

void ExecutePlot(const PlotArguments& args) {
  const std::string extension = fs::path(args.output).extension().string();
  if (extension != ".svg" && extension != ".png" && extension != ".pdf")
    throw UsageError("-o: the picture's name ends in .svg, .png or .pdf.");
  if (extension != ".svg") {
    if (const std::string problem = RasterPicturesUnavailable(); !problem.empty()) throw CommandFailure(problem);
  }
  std::unique_ptr<CVarloDoc> doc = OpenAnyNetwork(args.network);
  std::vector<GraphSeries> series;
  if (args.metric == "rate") {
    if (!args.queues.empty()) throw UsageError("--queue goes with the metrics size, utilisation and loss.");
    std::vector<int> classes = args.classes;
    if (classes.empty()) {
      for (size_t p = 1; p <= doc->GetClasses().size(); ++p) classes.push_back(static_cast<int>(p));
    }
    for (int p : classes) {
      if (p < 1 || static_cast<size_t>(p) > doc->GetClasses().size())
        throw UsageError("--class: the network has classes 1 to " + std::to_string(doc->GetClasses().size()) + ".");
      series.push_back(MakeClassSeries(*doc, *doc->GetClasses()[static_cast<size_t>(p - 1)], 0));
    }
  } else {
    if (!args.classes.empty()) throw UsageError("--class goes with the metric rate.");
    const int metric = args.metric == "size" ? kMetricAverageSize
                       : args.metric == "utilisation" ? kMetricUtilisation
                                                      : kMetricLoss;
    std::vector<const C_MM1K_Queue*> queues;
    for (const std::string& text : args.queues) queues.push_back(FindQueueByText(*doc, text, "--queue"));
    if (queues.empty()) {
      // The busiest queue of the run.
      DumpSummary summary;
      try {
        summary = SummarizeDump(*doc, args.dump);
      } catch (const std::runtime_error& e) {
        throw CommandFailure(e.what());
      }
      const QueueSummary* b = Bottleneck(summary);
      if (b == nullptr) throw CommandFailure("The network has no queue to plot.");
      const auto& link = doc->GetLinks()[static_cast<size_t>(b->link)];
      queues.push_back(b->forward ? link->GetForwardQueue() : link->GetBackwardQueue());
    }
    for (const C_MM1K_Queue* q : queues) series.push_back(MakeQueueSeries(*doc, *q, metric));
  }
  switch (LoadGraphData(*doc, std::move(series), args.dump)) {
    case GraphLoadStatus::kLoaded:
    case GraphLoadStatus::kNothingSelected:
      break;
    case GraphLoadStatus::kBadDump:
      throw CommandFailure(args.dump + ": " + kBadDumpFileMessage);
    case GraphLoadStatus::kFileError:
      throw CommandFailure(args.dump + ": " + kDumpFileProblemMessage);
  }
  if (args.simulated) {
    if (args.metric != "size") throw UsageError("--simulated goes with the metric size.");
    if (AddSimulatedCompanions(*doc) == 0)
      std::fprintf(stderr, "varlo-cli: no ns queue monitor file was found beside %s.\n", args.network.c_str());
  }
  const GraphRanges ranges = ComputeGraphRanges(doc->graph);
  const Rect client{0, 0, args.width, args.height};
  auto draw = [&](CDrawContext& dc) { DrawGraph(dc, doc->graph, ranges, !args.noGrid, client); };
  if (extension == ".svg") {
    CSvgDrawContext dc(args.width, args.height, GraphCaption(doc->graph));
    draw(dc);
    const std::string svg = dc.Svg();
    WriteFileAtomically(args.output, std::vector<std::uint8_t>(svg.begin(), svg.end()));
    return;
  }
  if (!WriteRasterPicture(args.output, args.width, args.height, draw))
    throw CommandFailure(args.output + " cannot be written.");
}

void RegisterPlotCommand(CLI::App& app) {
  auto args = std::make_shared<PlotArguments>();
  auto* cmd = app.add_subcommand("plot", "Draw curves of a dump as the graph window does, into SVG, PNG or PDF");
  cmd->add_option("IN.dmp", args->dump, "The dump file")->required();
  cmd->add_option("--net", args->network, "The network the dump was computed for (.net or .json)")->required();
  cmd->add_option("--queue", args->queues, "A queue FROM:TO by node numbers or names (repeatable; default: the busiest)");
  cmd->add_option("--class", args->classes, "A class by its position in the class list, from 1 (repeatable)");
  cmd->add_option("--metric", args->metric, "size, utilisation or loss of queues; rate of classes")
      ->check(CLI::IsMember({"size", "utilisation", "loss", "rate"}));
  cmd->add_flag("--simulated", args->simulated, "Add the queue sizes ns measured (its monitor files beside the network)");
  cmd->add_option("-o,--output", args->output, "The picture: .svg, .png or .pdf")->required();
  cmd->add_option("--width", args->width, "Width in pixels (default 800)")->check(CLI::Range(200, 8000));
  cmd->add_option("--height", args->height, "Height in pixels (default 500)")->check(CLI::Range(150, 8000));
  cmd->add_flag("--no-grid", args->noGrid, "Leave out the dotted grid");
  cmd->callback([args] { ExecutePlot(*args); });
}

const CommandRegistrar registrar(RegisterPlotCommand);

}  // namespace
}  // namespace varlo::cli
