// Evaluation runs: one step of each run, whole runs on generated networks (routes timed apart),
// and the dump number formatter against printf.
//
// Generated networks: n nodes joined into a random spanning tree, then random extra links up to an
// average degree of 4 (2n links); 20 classes per node between random node pairs, alternately TCP
// and UDP. Links serve 1000 packets/s with buffers of 5000 packets; UDP classes send 1 to 5
// packets/s. Runs use the NS profile, which has a value everywhere.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "model/const_poisson_class.h"
#include "engine/dump_file.h"
#include "engine/run.h"
#include "model/tcp_class.h"
#include "engine/tcp_profile.h"
#include "model/document.h"

namespace varlo {
namespace {

std::unique_ptr<CVarloDoc> GenerateNetwork(int nodes, unsigned seed = 1) {
  auto doc = std::make_unique<CVarloDoc>();
  std::mt19937 random(seed);
  std::vector<CGraphicNode*> all;
  for (int i = 0; i < nodes; ++i) all.push_back(doc->CreateNode(10 * (i % 100), 10 * (i / 100)));
  auto link = [&](CGraphicNode* a, CGraphicNode* b) {
    if (a == b || doc->FindLink(a, b) != nullptr) return false;
    doc->AddLink(std::make_unique<CGraphicLink>(a, b,
                                                std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 5000.0, 0.001),
                                                std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 5000.0, 0.001)));
    return true;
  };
  for (int i = 1; i < nodes; ++i) {
    link(all[static_cast<size_t>(i)],
         all[std::uniform_int_distribution<size_t>(0, static_cast<size_t>(i) - 1)(random)]);
  }
  std::uniform_int_distribution<size_t> pick(0, all.size() - 1);
  while (doc->GetLinks().size() < 2 * static_cast<size_t>(nodes)) link(all[pick(random)], all[pick(random)]);
  std::uniform_real_distribution<double> udpRate(1.0, 5.0);
  for (int i = 0; i < 20 * nodes; ++i) {
    CGraphicNode* from = all[pick(random)];
    CGraphicNode* to = all[pick(random)];
    if (i % 2 == 0) {
      doc->AddClass(std::make_unique<CTCPClass>(from, to, 0.0, 0.0, 0.01));
    } else {
      doc->AddClass(std::make_unique<CConstPoissonClass>(from, to, 0.0, 0.0, udpRate(random)));
    }
  }
  return doc;
}

std::string DumpPath() {
  return (std::filesystem::temp_directory_path() / "varlo-engine-bench.dmp").string();
}

void BM_Routes(benchmark::State& state) {
  auto doc = GenerateNetwork(static_cast<int>(state.range(0)));
  for (auto _ : state) doc->ComputeRoutes();
}
BENCHMARK(BM_Routes)->Arg(100)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);

template <RunMethod kMethod>
void BM_Step(benchmark::State& state) {
  SetTcpProfile(kProfileNS);
  auto doc = GenerateNetwork(static_cast<int>(state.range(0)));
  doc->ComputeRoutes();
  doc->routesValid = true;
  CZIterationEngine engine(*doc, {});
  RunResult prepared;
  engine.PrepareForSteps(kMethod, prepared);
  for (auto _ : state) {
    if (kMethod == RunMethod::kComputeMetrics) {
      engine.StepComputeMetrics();
    } else {
      engine.StepZIteration();
    }
  }
  state.counters["sim_time"] = engine.GetTime();
}
BENCHMARK(BM_Step<RunMethod::kComputeMetrics>)
    ->Name("BM_ComputeMetricsStep")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<RunMethod::kZIteration>)
    ->Name("BM_ZIterationStep")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

// A whole run at the defaults (15 s, step 0.01, dump every 0.1 s) after routes, dump included.
template <RunMethod kMethod>
void BM_WholeRun(benchmark::State& state) {
  SetTcpProfile(kProfileNS);
  auto doc = GenerateNetwork(static_cast<int>(state.range(0)));
  doc->ComputeRoutes();
  doc->routesValid = true;
  doc->dumpFilePath = DumpPath();
  RunResult result;
  for (auto _ : state) result = Run(*doc, kMethod);
  state.counters["steps"] = static_cast<double>(result.steps);
  state.counters["rows"] = static_cast<double>(result.rowsWritten);
  state.counters["completed"] = result.status == RunStatus::kCompleted ? 1 : 0;
  std::filesystem::remove(DumpPath());
}
BENCHMARK(BM_WholeRun<RunMethod::kComputeMetrics>)
    ->Name("BM_WholeRunComputeMetrics")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// The Z-iteration adapts its step to the fastest queue (at most 0.05 in rho per step): on the
// generated networks that means about 9,000 steps for 15 s at 100 nodes and several times more on
// the larger ones, so those two take minutes; select them with --benchmark_filter.
BENCHMARK(BM_WholeRun<RunMethod::kZIteration>)
    ->Name("BM_WholeRunZIteration")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_FormatFixed6(benchmark::State& state) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(0.0, 1000.0);
  std::vector<double> values(4096);
  for (double& v : values) v = value(random);
  char buffer[kMaxFixed6Length];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatFixed6(values[i++ & 4095], buffer));
  }
}
BENCHMARK(BM_FormatFixed6);

void BM_SnprintfLf(benchmark::State& state) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(0.0, 1000.0);
  std::vector<double> values(4096);
  for (double& v : values) v = value(random);
  char buffer[kMaxFixed6Length];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%lf", values[i++ & 4095]));
  }
}
BENCHMARK(BM_SnprintfLf);

// The same whole runs with the refined model (its budget: 1.5 times the classic run).
template <RunMethod kMethod>
void BM_WholeRunRefined(benchmark::State& state) {
  SetTcpProfile(kProfileNS);
  auto doc = GenerateNetwork(static_cast<int>(state.range(0)));
  doc->ComputeRoutes();
  doc->routesValid = true;
  doc->dumpFilePath = DumpPath();
  RunOptions options;
  options.model = EvaluationModel::kRefined;
  RunResult result;
  for (auto _ : state) result = Run(*doc, kMethod, options);
  state.counters["steps"] = static_cast<double>(result.steps);
  state.counters["completed"] = result.status == RunStatus::kCompleted ? 1 : 0;
  std::filesystem::remove(DumpPath());
}
BENCHMARK(BM_WholeRunRefined<RunMethod::kComputeMetrics>)
    ->Name("BM_WholeRunComputeMetricsRefined")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_WholeRunRefined<RunMethod::kZIteration>)
    ->Name("BM_WholeRunZIterationRefined")
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace varlo

BENCHMARK_MAIN();
