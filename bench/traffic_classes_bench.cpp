// The per-step work of a run for one class: the TCP throughput evaluation (both route walks and
// the profile lookup) and the rate propagation along a built path, on a chain of hops.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/object_steps.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "engine/tcp_profile.h"
#include "model/node.h"

namespace {

using namespace varlo;

// Nodes 1..n in a line, each direction a loaded queue, with full route tables.
struct Chain {
  std::vector<std::unique_ptr<CNode>> nodes;
  std::vector<std::unique_ptr<C_MM1K_Queue>> forward, backward;

  explicit Chain(int n) {
    for (int i = 0; i < n; ++i) {
      nodes.push_back(std::make_unique<CNode>(static_cast<std::uint16_t>(i + 1), "n"));
      nodes.back()->SetRouteIndex(i);
      nodes.back()->ResetRoutes(static_cast<size_t>(n));
    }
    for (int i = 0; i + 1 < n; ++i) {
      CNode* a = nodes[static_cast<size_t>(i)].get();
      CNode* b = nodes[static_cast<size_t>(i) + 1].get();
      forward.push_back(std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.01));
      backward.push_back(std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.01));
      for (C_MM1K_Queue* q : {forward.back().get(), backward.back().get()})
        q->N = 3.0, q->P = 0.001, q->U = 0.7;
    }
    for (int from = 0; from < n; ++from) {
      for (int to = 0; to < n; ++to) {
        if (from == to) continue;
        CQueue* first = to > from ? forward[static_cast<size_t>(from)].get()
                                  : static_cast<CQueue*>(backward[static_cast<size_t>(from) - 1].get());
        nodes[static_cast<size_t>(from)]->SetRoute(nodes[static_cast<size_t>(to)].get(), first, 1);
      }
    }
  }
};

void BM_TcpGetRate(benchmark::State& state) {
  const int hops = static_cast<int>(state.range(0));
  Chain chain(hops + 1);
  CTCPClass tcp(chain.nodes.front().get(), chain.nodes.back().get(), 0.0, 0.0, 0.001);
  CTcpProfiles::Instance();
  double t = 0.0;
  for (auto _ : state) {
    t += 0.001;
    benchmark::DoNotOptimize(OfferedRate(tcp, t));
  }
  state.counters["hops"] = hops;
}
BENCHMARK(BM_TcpGetRate)->Arg(4)->Arg(16)->Arg(64);

void BM_PropagateAndAdvance(benchmark::State& state) {
  const int hops = static_cast<int>(state.range(0));
  Chain chain(hops + 1);
  CTCPClass tcp(chain.nodes.front().get(), chain.nodes.back().get(), 0.0, 0.0, 0.001);
  tcp.BuildPath();
  double t = 0.0;
  for (auto _ : state) {
    t += 0.001;
    PropagateRates(tcp, t);
    AdvanceOccupancy(tcp, 0.001);
    benchmark::ClobberMemory();
  }
  state.counters["hops"] = hops;
}
BENCHMARK(BM_PropagateAndAdvance)->Arg(4)->Arg(16)->Arg(64);

void BM_QueueDerivative(benchmark::State& state) {
  C_MM1K_Queue q(nullptr, nullptr, 1000.0, static_cast<double>(state.range(0)), 0.01);
  q.rho = 0.7;
  q.arrivalRate = 650.0;
  UpdateMetrics(q);
  for (auto _ : state) {
    UpdateMetrics(q);
    benchmark::DoNotOptimize(Derivative(q, 0.0));
  }
}
BENCHMARK(BM_QueueDerivative)->Arg(50)->Arg(500);

}  // namespace

BENCHMARK_MAIN();
