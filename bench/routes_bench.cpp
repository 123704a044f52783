// Route computation on generated connected networks (a ring plus random chords, average degree 4).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "model/mm1k_queue.h"
#include "model/document.h"
#include "platform/core/thread_pool.h"

namespace {

using namespace varlo;

std::unique_ptr<CVarloDoc> MakeNetwork(int nodeCount) {
  auto doc = std::make_unique<CVarloDoc>();
  std::mt19937 rng(7);
  std::vector<CGraphicNode*> nodes;
  for (int i = 0; i < nodeCount; ++i) nodes.push_back(doc->CreateNode(i % 100 * 30, i / 100 * 30));
  auto connect = [&](CGraphicNode* a, CGraphicNode* b) {
    if (a == b || doc->FindLink(a, b) != nullptr) return;
    doc->AddLink(std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.01),
                                                std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.01)));
  };
  for (int i = 0; i < nodeCount; ++i) connect(nodes[static_cast<size_t>(i)], nodes[static_cast<size_t>((i + 1) % nodeCount)]);
  for (int i = 0; i < nodeCount; ++i) connect(nodes[rng() % nodes.size()], nodes[rng() % nodes.size()]);
  return doc;
}

// Arguments: nodes, threads (0: every core). The route tables of 10,000 nodes take 1.6 GB.
void BM_ComputeRoutes(benchmark::State& state) {
  auto doc = MakeNetwork(static_cast<int>(state.range(0)));
  SetWorkerThreads(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    doc->ComputeRoutes();
    benchmark::ClobberMemory();
  }
  SetWorkerThreads(0);
  state.counters["nodes"] = static_cast<double>(state.range(0));
  state.counters["threads"] = static_cast<double>(EffectiveWorkerThreads());
}
BENCHMARK(BM_ComputeRoutes)
    ->Args({500, 1})
    ->Args({1000, 1})
    ->Args({2000, 1})
    ->Args({2000, 0})
    ->Args({10000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
