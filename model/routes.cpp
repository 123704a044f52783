// Least-cost routes over the directed queues (Floyd-Warshall order, intermediate node outermost),
// run over dense arrays indexed by node-table position. Ties keep the earlier route, so the result
// depends on node-table order exactly as the hashed formulation does.
#include <cstdint>
#include <vector>

#include "model/queue.h"
#include "model/traffic_class.h"
#include "model/document.h"

namespace varlo {

namespace {

// Cost of "no route". Any sum involving it stays >= kNoRoute, so it never wins a comparison, while
// a real sum (at most 2 * 65535) always beats it. Real costs are kept as the 16-bit values stored.
constexpr std::uint32_t kNoRoute = 0x40000;

// One relaxation row: routes of node i through k. No aliasing between the rows (i != k).
void RelaxRow(std::uint32_t costIK, std::int32_t nextIK, const std::uint32_t* __restrict costK,
              std::uint32_t* __restrict costI, std::int32_t* __restrict nextI, size_t n) {
  for (size_t j = 0; j < n; ++j) {
    const std::uint32_t sum = costIK + costK[j];
    const bool better = costI[j] > sum;
    costI[j] = better ? (sum & 0xFFFFu) : costI[j];
    nextI[j] = better ? nextIK : nextI[j];
  }
}

}  // namespace

void CVarloDoc::ComputeRoutes(bool notifyViews) {
  for (const auto& link : links_) link->highlighted = false;

  const std::vector<CGraphicNode*> nodes = NodesInTableOrder();
  const size_t n = nodes.size();
  for (size_t i = 0; i < n; ++i) nodes[i]->SetRouteIndex(static_cast<int>(i));

  // First queues are numbered in the order they are met; the tables hold those numbers.
  std::vector<CQueue*> queues;
  std::vector<std::uint32_t> cost(n * n, kNoRoute);
  std::vector<std::int32_t> next(n * n, -1);
  // A node's own entry: cost 0 never loses to a sum and never lets a sum win through it, which is
  // what skipping the triples with I == J (and finding no route from a node to itself) amounts to.
  // A route a node has to itself (only a damaged file can make one) is kept aside and restored.
  std::vector<std::int32_t> selfRoute(n, -1);
  std::vector<std::uint16_t> selfCost(n, 0);
  for (size_t i = 0; i < n; ++i) {
    for (const CNode::Neighbour& nb : nodes[i]->GetNeighbours()) {
      const int j = nb.node->GetRouteIndex();
      if (j < 0 || static_cast<size_t>(j) >= n || nodes[static_cast<size_t>(j)] != nb.node) continue;
      queues.push_back(nb.outgoing);
      const auto q = static_cast<std::int32_t>(queues.size() - 1);
      if (static_cast<size_t>(j) == i) {
        selfRoute[i] = q;
        selfCost[i] = nb.outgoing->routeWeight;
      } else {
        cost[i * n + static_cast<size_t>(j)] = nb.outgoing->routeWeight;
        next[i * n + static_cast<size_t>(j)] = q;
      }
    }
    cost[i * n + i] = 0;
  }

  for (size_t k = 0; k < n; ++k) {
    const std::uint32_t* costK = &cost[k * n];
    for (size_t i = 0; i < n; ++i) {
      if (i == k) continue;
      const std::uint32_t costIK = cost[i * n + k];
      if (costIK == kNoRoute) continue;
      RelaxRow(costIK, next[i * n + k], costK, &cost[i * n], &next[i * n], n);
    }
  }

  for (size_t i = 0; i < n; ++i) {
    CNode* node = nodes[i];
    node->ResetRoutes(n);
    auto& table = node->RouteTable();
    for (size_t j = 0; j < n; ++j) {
      if (j == i) {
        if (selfRoute[i] >= 0) table[j] = CNode::Route{queues[static_cast<size_t>(selfRoute[i])], selfCost[i]};
        continue;
      }
      const std::int32_t q = next[i * n + j];
      if (q >= 0) {
        table[j] = CNode::Route{queues[static_cast<size_t>(q)], static_cast<std::uint16_t>(cost[i * n + j])};
      }
    }
  }

  for (const auto& link : links_) {
    link->GetForwardQueue()->ClearPathEntries();
    link->GetBackwardQueue()->ClearPathEntries();
  }
  for (const auto& trafficClass : classes_) trafficClass->BuildPath();
  if (notifyViews) UpdateAllViews(nullptr, kHintGeneral);
}

}  // namespace varlo
