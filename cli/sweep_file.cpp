#include "cli/sweep_file.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/command.h"
#include "model/json_network.h"
#include "engine/tcp_profile.h"
#include "model/document.h"
#include "simulators/link_modifier.h"

namespace varlo::cli {
namespace {

using nlohmann::json;

// The Modify Links changes by name, in the order of LinkModification.
const char* const kLinkChanges[kLinkModificationCount] = {"multiply-capacity", "set-capacity", "multiply-buffer",
                                                          "set-buffer",        "multiply-delay", "set-delay"};

class Reader {
 public:
  explicit Reader(std::string file) : file_(std::move(file)) {}

  [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
    throw CommandFailure(file_ + ": " + where + ": " + what);
  }

  void CheckKeys(const json& object, const std::string& where, const std::set<std::string>& known) const {
    if (!object.is_object()) Fail(where, "must be an object.");
    for (const auto& [key, value] : object.items()) {
      if (!known.count(key)) Fail(where, "unknown entry \"" + key + "\".");
    }
  }

  double Number(const json& object, const std::string& key, const std::string& where, double fallback) const {
    if (!object.contains(key)) return fallback;
    if (!object[key].is_number()) Fail(where, "\"" + key + "\" must be a number.");
    return object[key].get<double>();
  }

  bool Flag(const json& object, const std::string& key, const std::string& where, bool fallback) const {
    if (!object.contains(key)) return fallback;
    if (!object[key].is_boolean()) Fail(where, "\"" + key + "\" must be true or false.");
    return object[key].get<bool>();
  }

  std::string Text(const json& object, const std::string& key, const std::string& where,
                   const std::string& fallback) const {
    if (!object.contains(key)) return fallback;
    if (!object[key].is_string()) Fail(where, "\"" + key + "\" must be a text.");
    return object[key].get<std::string>();
  }

 private:
  std::string file_;
};

std::string AxisName(const SweepAxis& axis, const std::string& change) {
  switch (axis.kind) {
    case SweepAxisKind::kLink:
      return change + " " + axis.firstFilter + "-" + axis.secondFilter;
    case SweepAxisKind::kRates:
      return "rate factor";
    case SweepAxisKind::kTcp:
      return "tcp per source " + axis.firstFilter + "-" + axis.secondFilter;
  }
  return change;
}

}  // namespace

std::unique_ptr<CVarloDoc> OpenAnyNetwork(const std::string& path) {
  const std::filesystem::path p(path);
  if (p.extension() == ".json") {
    std::ifstream file(path);
    if (!file) throw CommandFailure(path + " was not found.");
    try {
      return DocumentFromJson(file, path, std::filesystem::absolute(p).parent_path().string());
    } catch (const CJsonNetworkError& e) {
      throw CommandFailure(e.what());
    }
  }
  auto doc = std::make_unique<CVarloDoc>();
  doc->OnOpenDocument(path);
  return doc;
}

SweepDefinition ReadSweepFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw CommandFailure(path + " was not found.");
  json data;
  try {
    file >> data;
  } catch (const json::exception& e) {
    throw CommandFailure(path + " is not valid JSON: " + e.what());
  }
  Reader r(path);
  r.CheckKeys(data, "the sweep", {"network", "run", "axes", "plot", "ns"});
  SweepDefinition sweep;
  sweep.sweepFile = path;
  const std::string network = r.Text(data, "network", "the sweep", "");
  if (network.empty()) r.Fail("network", "the base network is missing.");
  const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
  sweep.baseNetwork = (folder / network).lexically_normal().string();
  if (std::filesystem::path(network).is_absolute()) sweep.baseNetwork = network;

  if (data.contains("run")) {
    const json& run = data["run"];
    r.CheckKeys(run, "run", {"method", "model", "total", "step", "dump_interval", "profile", "from"});
    const std::string method = r.Text(run, "method", "run", "metrics");
    if (method != "metrics" && method != "mm1k") r.Fail("run", "\"method\" is metrics or mm1k, not \"" + method + "\".");
    sweep.run.method = method == "mm1k" ? RunMethod::kZIteration : RunMethod::kComputeMetrics;
    sweep.run.model = r.Text(run, "model", "run", "classic");
    if (sweep.run.model != "classic" && sweep.run.model != "refined")
      r.Fail("run", "\"model\" is classic or refined, not \"" + sweep.run.model + "\".");
    sweep.run.totalTime = r.Number(run, "total", "run", 15.0);
    sweep.run.runningStep = r.Number(run, "step", "run", 0.01);
    sweep.run.dumpInterval = r.Number(run, "dump_interval", "run", 0.1);
    sweep.run.summaryFrom = r.Number(run, "from", "run", 0.0);
    if (!(sweep.run.totalTime >= 1 && sweep.run.totalTime <= 10000))
      r.Fail("run", "\"total\": Please enter a number between 1 and 10000.");
    if (!(sweep.run.runningStep >= 0.0001 && sweep.run.runningStep <= 5))
      r.Fail("run", "\"step\": Please enter a number between 0.0001 and 5.");
    if (!(sweep.run.dumpInterval >= 0.001 && sweep.run.dumpInterval <= 10))
      r.Fail("run", "\"dump_interval\": Please enter a number between 0.001 and 10.");
    const std::string profile = r.Text(run, "profile", "run", "ns");
    if (profile != "ns" && profile != "netbsd") r.Fail("run", "\"profile\" is ns or netbsd, not \"" + profile + "\".");
    sweep.run.profile = profile == "ns" ? kProfileNS : kProfileNetBSD;
  }

  if (!data.contains("axes") || !data["axes"].is_array() || data["axes"].empty())
    r.Fail("axes", "a list of at least one axis is needed.");
  size_t number = 0;
  for (const json& a : data["axes"]) {
    const std::string where = "axis " + std::to_string(++number);
    if (!a.is_object()) r.Fail(where, "must be an object.");
    const std::string vary = r.Text(a, "vary", where, "");
    SweepAxis axis;
    std::string change;
    if (vary == "link") {
      r.CheckKeys(a, where, {"vary", "change", "between", "values", "name"});
      axis.kind = SweepAxisKind::kLink;
      change = r.Text(a, "change", where, "");
      int type = -1;
      for (int i = 0; i < kLinkModificationCount; ++i) {
        if (change == kLinkChanges[i]) type = i;
      }
      if (type < 0) {
        r.Fail(where, "unknown link change \"" + change +
                          "\" (multiply-capacity, set-capacity, multiply-buffer, set-buffer, multiply-delay, "
                          "set-delay).");
      }
      axis.linkModification = type;
      if (a.contains("between")) {
        const json& between = a["between"];
        if (!between.is_array() || between.size() != 2 || !between[0].is_string() || !between[1].is_string())
          r.Fail(where, "\"between\" is a list of two node-name filters.");
        axis.firstFilter = between[0].get<std::string>();
        axis.secondFilter = between[1].get<std::string>();
      }
    } else if (vary == "rates") {
      r.CheckKeys(a, where, {"vary", "values", "name"});
      axis.kind = SweepAxisKind::kRates;
    } else if (vary == "tcp") {
      r.CheckKeys(a, where, {"vary", "from", "to", "seed", "start", "stop", "values", "name"});
      axis.kind = SweepAxisKind::kTcp;
      axis.firstFilter = r.Text(a, "from", where, "");
      axis.secondFilter = r.Text(a, "to", where, "");
      const double seed = r.Number(a, "seed", where, 1);
      if (seed < 0 || seed > 4294967295.0 || seed != static_cast<double>(static_cast<std::uint32_t>(seed)))
        r.Fail(where, "\"seed\" is a whole number from 0 to 4294967295.");
      axis.seed = static_cast<std::uint32_t>(seed);
      axis.startTime = r.Number(a, "start", where, 0.0);
      axis.stopTime = r.Number(a, "stop", where, 10000.0);
    } else {
      r.Fail(where, "unknown variation \"" + vary + "\" (\"vary\" is link, rates or tcp).");
    }
    if (!a.contains("values") || !a["values"].is_array()) r.Fail(where, "\"values\" must be a list of numbers.");
    if (a["values"].empty()) r.Fail(where, "the list of values is empty.");
    for (const json& v : a["values"]) {
      if (!v.is_number()) r.Fail(where, "\"values\" must be a list of numbers.");
      axis.values.push_back(v.get<double>());
    }
    axis.name = r.Text(a, "name", where, AxisName(axis, change));
    sweep.axes.push_back(std::move(axis));
  }

  if (data.contains("plot")) {
    r.CheckKeys(data["plot"], "plot", {"figure"});
    sweep.plotFigure = r.Text(data["plot"], "figure", "plot", sweep.plotFigure);
  }
  if (data.contains("ns")) {
    const json& ns = data["ns"];
    r.CheckKeys(ns, "ns", {"seeds", "queues", "program", "max_start_delay", "poisson", "varlo_routes"});
    if (!ns.contains("seeds") || !ns["seeds"].is_array() || ns["seeds"].empty())
      r.Fail("ns", "\"seeds\" must be a list of whole numbers.");
    for (const json& s : ns["seeds"]) {
      if (!s.is_number_unsigned() || s.get<std::uint64_t>() > 4294967295ULL)
        r.Fail("ns", "\"seeds\" must be a list of whole numbers.");
      sweep.ns.seeds.push_back(static_cast<std::uint32_t>(s.get<std::uint64_t>()));
    }
    if (ns.contains("queues")) {
      if (!ns["queues"].is_array()) r.Fail("ns", "\"queues\" must be a list of \"from:to\" texts.");
      for (const json& q : ns["queues"]) {
        if (!q.is_string()) r.Fail("ns", "\"queues\" must be a list of \"from:to\" texts.");
        sweep.ns.queues.push_back(q.get<std::string>());
      }
    }
    sweep.ns.program = r.Text(ns, "program", "ns", "ns");
    sweep.ns.maxStartDelay = r.Number(ns, "max_start_delay", "ns", 0.0);
    sweep.ns.poissonSources = r.Flag(ns, "poisson", "ns", false);
    sweep.ns.varloRoutes = r.Flag(ns, "varlo_routes", "ns", false);
  }
  return sweep;
}

}  // namespace varlo::cli
