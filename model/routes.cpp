// Least-cost routes over the directed queues with the result of the Floyd-Warshall order
// (intermediate node outermost, node-table order in every loop, ties keeping the earlier route).
//
// On networks whose costs all fit in 16 bits and whose queues all weigh at least 1 the tables come
// from one shortest-path search per source, which on sparse networks is far cheaper than the cubic
// relaxation and gives exactly its result. Why: number the nodes by node-table position. After the
// rounds k < m the relaxation holds, for every pair, the cheapest cost over paths whose
// intermediate nodes all come before m. A pair's entry changes only when its cost strictly drops,
// so its final first queue is set in the last round m that lowers it: m is the smallest number such
// that some cheapest path from i to j has no intermediate node after m. If the direct queue is
// already a cheapest path nothing ever replaces it. In round m the entry takes the first queue of
// the route i -> m as it stood then; that route was already cheapest (otherwise i -> m -> j could
// not be), so it never changes afterwards either. Hence, with d the cheapest cost from i:
//   bound(j) = min over the last hops p -> j of cheapest paths of
//              (p == i ? none : max(bound(p), position(p)))
//   first(j) = bound(j) == none ? the queue i -> j : first(node at bound(j)),
// and because every weight is positive, d(p) < d(j) and d(node at bound(j)) < d(j), so one pass in
// the order the search settles the nodes computes both. Other networks (a queue of weight 0, or
// sums that could pass 65535 and wrap when stored) use the relaxation itself over dense arrays.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "model/document.h"
#include "model/queue.h"
#include "model/traffic_class.h"
#include "platform/core/thread_pool.h"

namespace varlo {

namespace {

// Cost of "no route". Any sum involving it stays >= kNoRoute, so it never wins a comparison, while
// a real sum (at most 2 * 65535) always beats it. Real costs are kept as the 16-bit values stored.
constexpr std::uint32_t kNoRoute = 0x40000;
// Sources handed to a thread at a time in the per-source search.
constexpr size_t kSourcesPerPart = 16;

// The directed queues between distinct nodes of the table, by position: the neighbour tables with
// the queues numbered in the order they are met.
struct QueueGraph {
  size_t n = 0;
  std::vector<CQueue*> queues;
  std::vector<std::uint32_t> edgeStart;  // n + 1 offsets into the edge arrays
  std::vector<std::uint32_t> edgeTo;
  std::vector<std::uint16_t> edgeWeight;
  std::vector<std::int32_t> edgeQueue;
  // A route a node has to itself (only a damaged file can make one) is kept aside and restored.
  std::vector<std::int32_t> selfRoute;
  std::vector<std::uint16_t> selfCost;
  bool anyZeroWeight = false;
  bool uniformWeight = true;
  // Upper bound of the cost of any simple path: every node left once along its dearest queue.
  std::uint64_t simplePathBound = 0;
};

QueueGraph BuildQueueGraph(const std::vector<CGraphicNode*>& nodes) {
  QueueGraph g;
  g.n = nodes.size();
  g.edgeStart.assign(g.n + 1, 0);
  g.selfRoute.assign(g.n, -1);
  g.selfCost.assign(g.n, 0);
  std::int32_t firstWeight = -1;
  for (size_t i = 0; i < g.n; ++i) {
    g.edgeStart[i] = static_cast<std::uint32_t>(g.edgeTo.size());
    std::uint16_t dearest = 0;
    for (const CNode::Neighbour& nb : nodes[i]->GetNeighbours()) {
      const int j = nb.node->GetRouteIndex();
      if (j < 0 || static_cast<size_t>(j) >= g.n || nodes[static_cast<size_t>(j)] != nb.node) continue;
      g.queues.push_back(nb.outgoing);
      const auto q = static_cast<std::int32_t>(g.queues.size() - 1);
      const std::uint16_t w = nb.outgoing->routeWeight;
      if (static_cast<size_t>(j) == i) {
        g.selfRoute[i] = q;
        g.selfCost[i] = w;
        continue;
      }
      g.edgeTo.push_back(static_cast<std::uint32_t>(j));
      g.edgeWeight.push_back(w);
      g.edgeQueue.push_back(q);
      if (w == 0) g.anyZeroWeight = true;
      if (firstWeight < 0) firstWeight = w;
      if (w != firstWeight) g.uniformWeight = false;
      dearest = std::max(dearest, w);
    }
    g.simplePathBound += dearest;
  }
  g.edgeStart[g.n] = static_cast<std::uint32_t>(g.edgeTo.size());
  return g;
}

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

// The relaxation over all triples, for networks the search cannot stand in for.
void RelaxAllTriples(const QueueGraph& g, const std::vector<CGraphicNode*>& nodes) {
  const size_t n = g.n;
  std::vector<std::uint32_t> cost(n * n, kNoRoute);
  std::vector<std::int32_t> next(n * n, -1);
  for (size_t i = 0; i < n; ++i) {
    for (std::uint32_t e = g.edgeStart[i]; e < g.edgeStart[i + 1]; ++e) {
      cost[i * n + g.edgeTo[e]] = g.edgeWeight[e];
      next[i * n + g.edgeTo[e]] = g.edgeQueue[e];
    }
    // A node's own entry: cost 0 never loses to a sum and never lets a sum win through it, which
    // is what skipping the triples with I == J (and finding no route to itself) amounts to.
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
    std::vector<CNode::Route>& table = nodes[i]->RouteTable();
    for (size_t j = 0; j < n; ++j) {
      const std::int32_t q = next[i * n + j];
      if (j != i && q >= 0) {
        table[j] =
            CNode::Route{g.queues[static_cast<size_t>(q)], static_cast<std::uint16_t>(cost[i * n + j])};
      }
    }
  }
}

// Per-thread work space of the search, reused from source to source.
struct SearchSpace {
  std::vector<std::uint32_t> dist;
  std::vector<std::int32_t> bound;   // -1: the direct queue is a cheapest path
  std::vector<std::int32_t> first;   // first queue number
  std::vector<std::uint32_t> order;  // nodes as they were settled
  std::vector<std::uint8_t> settled;
  std::vector<std::int32_t> directQueue;
  std::priority_queue<std::pair<std::uint32_t, std::uint32_t>,
                      std::vector<std::pair<std::uint32_t, std::uint32_t>>, std::greater<>>
      heap;

  explicit SearchSpace(size_t n)
      : dist(n, kNoRoute), bound(n, 0), first(n, -1), settled(n, 0), directQueue(n, -1) {
    order.reserve(n);
  }
};

// The routes of the source at position s, written into its route table.
void RoutesFrom(size_t s, const QueueGraph& g, CNode& source, SearchSpace& w) {
  const auto src = static_cast<std::uint32_t>(s);
  w.order.clear();
  w.dist[s] = 0;
  w.order.push_back(src);
  // Offers the last hop p -> j of cost d to j; returns true when j's cost dropped.
  auto offer = [&](std::uint32_t p, std::uint32_t j, std::uint32_t d) {
    const std::int32_t via = p == src ? -1 : std::max(w.bound[p], static_cast<std::int32_t>(p));
    if (d < w.dist[j]) {
      w.dist[j] = d;
      w.bound[j] = via;
      return true;
    }
    if (d == w.dist[j] && via < w.bound[j]) w.bound[j] = via;
    return false;
  };
  if (g.uniformWeight) {
    // Equal weights: breadth first, every node settled in order of its cost.
    for (size_t head = 0; head < w.order.size(); ++head) {
      const std::uint32_t p = w.order[head];
      for (std::uint32_t e = g.edgeStart[p]; e < g.edgeStart[p + 1]; ++e) {
        const std::uint32_t j = g.edgeTo[e];
        if (offer(p, j, w.dist[p] + g.edgeWeight[e])) w.order.push_back(j);
      }
    }
  } else {
    w.order.clear();
    w.heap.push({0, src});
    while (!w.heap.empty()) {
      const auto [d, p] = w.heap.top();
      w.heap.pop();
      if (w.settled[p] != 0 || d != w.dist[p]) continue;
      w.settled[p] = 1;
      w.order.push_back(p);
      for (std::uint32_t e = g.edgeStart[p]; e < g.edgeStart[p + 1]; ++e) {
        const std::uint32_t j = g.edgeTo[e];
        if (w.settled[j] != 0) continue;
        if (offer(p, j, d + g.edgeWeight[e])) w.heap.push({w.dist[j], j});
      }
    }
  }
  for (std::uint32_t e = g.edgeStart[s]; e < g.edgeStart[s + 1]; ++e)
    w.directQueue[g.edgeTo[e]] = g.edgeQueue[e];
  std::vector<CNode::Route>& table = source.RouteTable();
  for (size_t k = 1; k < w.order.size(); ++k) {
    const std::uint32_t j = w.order[k];
    const std::int32_t q = w.bound[j] < 0 ? w.directQueue[j] : w.first[static_cast<size_t>(w.bound[j])];
    w.first[j] = q;
    table[j] = CNode::Route{g.queues[static_cast<size_t>(q)], static_cast<std::uint16_t>(w.dist[j])};
  }
  // Leave the work space as it was found.
  for (std::uint32_t e = g.edgeStart[s]; e < g.edgeStart[s + 1]; ++e) w.directQueue[g.edgeTo[e]] = -1;
  for (const std::uint32_t j : w.order) {
    w.dist[j] = kNoRoute;
    w.settled[j] = 0;
  }
}

// The routes of the source at position s, whose only queue out leads to a node that was searched:
// that node's routes, each one queue dearer, and the queue itself to that node.
void RoutesThroughNeighbour(size_t s, const QueueGraph& g, const std::vector<CGraphicNode*>& nodes) {
  const std::uint32_t e = g.edgeStart[s];
  const size_t p = g.edgeTo[e];
  CQueue* const queue = g.queues[static_cast<size_t>(g.edgeQueue[e])];
  const std::uint32_t weight = g.edgeWeight[e];
  const std::vector<CNode::Route>& from = nodes[p]->RouteTable();
  std::vector<CNode::Route>& table = nodes[s]->RouteTable();
  for (size_t j = 0; j < g.n; ++j) {
    if (j == s || (j != p && from[j].firstQueue == nullptr)) continue;
    const std::uint32_t cost = j == p ? weight : weight + from[j].cost;
    table[j] = CNode::Route{queue, static_cast<std::uint16_t>(cost)};
  }
}

}  // namespace

void CVarloDoc::ComputeRoutes(bool notifyViews) {
  for (const auto& link : links_) link->highlighted = false;

  const std::vector<CGraphicNode*> nodes = NodesInTableOrder();
  const size_t n = nodes.size();
  for (size_t i = 0; i < n; ++i) nodes[i]->SetRouteIndex(static_cast<int>(i));
  const QueueGraph g = BuildQueueGraph(nodes);

  const std::shared_ptr<CThreadPool> pool = SharedThreadPool();
  pool->ForRanges(n, 64, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) nodes[i]->ResetRoutes(n);
  });
  if (g.anyZeroWeight || g.simplePathBound > 0xFFFF) {
    RelaxAllTriples(g, nodes);
  } else {
    // A node with a single queue out (an access node) reaches every other node through that queue's
    // far end, and a cheapest path from there never comes back through it: its table is the
    // neighbour's, one queue dearer. Those tables are copied once the others are searched.
    std::vector<std::uint8_t> throughNeighbour(n, 0);
    for (size_t s = 0; s < n; ++s) {
      throughNeighbour[s] = g.edgeStart[s + 1] - g.edgeStart[s] == 1 ? 1 : 0;
    }
    for (size_t s = 0; s < n; ++s) {
      // Two such nodes joined only to each other are searched.
      if (throughNeighbour[s] == 1 && throughNeighbour[g.edgeTo[g.edgeStart[s]]] != 0) throughNeighbour[s] = 2;
    }
    pool->ForRanges(n, kSourcesPerPart, [&](size_t begin, size_t end) {
      SearchSpace space(n);
      for (size_t s = begin; s < end; ++s) {
        if (throughNeighbour[s] != 1) RoutesFrom(s, g, *nodes[s], space);
      }
    });
    pool->ForRanges(n, kSourcesPerPart, [&](size_t begin, size_t end) {
      for (size_t s = begin; s < end; ++s) {
        if (throughNeighbour[s] == 1) RoutesThroughNeighbour(s, g, nodes);
      }
    });
  }
  for (size_t i = 0; i < n; ++i) {
    if (g.selfRoute[i] >= 0) {
      nodes[i]->RouteTable()[i] = CNode::Route{g.queues[static_cast<size_t>(g.selfRoute[i])], g.selfCost[i]};
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
