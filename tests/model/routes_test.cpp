#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/document.h"
#include "platform/core/thread_pool.h"

namespace varlo {
namespace {

// Adds a link a-b with unit weights; returns it.
CGraphicLink* Connect(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b, std::uint16_t weightAB = 1,
                      std::uint16_t weightBA = 1) {
  auto forward = std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.0);
  auto backward = std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.0);
  forward->routeWeight = weightAB;
  backward->routeWeight = weightBA;
  auto link = std::make_unique<CGraphicLink>(a, b, std::move(forward), std::move(backward));
  CGraphicLink* raw = link.get();
  doc.AddLink(std::move(link));
  return raw;
}

// The route computation written the plain way: per-node tables keyed by node, every ordered
// triple with the intermediate node outermost, ties keeping the earlier route.
struct ReferenceRoutes {
  struct Entry {
    CQueue* queue;
    std::uint16_t cost;
  };
  std::map<const CNode*, std::map<const CNode*, Entry>> table;

  std::pair<CQueue*, std::uint16_t> Get(const CNode* from, const CNode* to) const {
    auto row = table.find(from);
    if (row == table.end()) return {nullptr, 0xFFFF};
    auto e = row->second.find(to);
    if (e == row->second.end()) return {nullptr, 0xFFFF};
    return {e->second.queue, e->second.cost};
  }

  explicit ReferenceRoutes(const CVarloDoc& doc) {
    const std::vector<CGraphicNode*> nodes = doc.NodesInTableOrder();
    for (CGraphicNode* node : nodes) {
      auto& row = table[node];
      for (const auto& nb : node->GetNeighbours()) row[nb.node] = Entry{nb.outgoing, nb.outgoing->routeWeight};
    }
    for (CGraphicNode* k : nodes) {
      for (CGraphicNode* i : nodes) {
        for (CGraphicNode* j : nodes) {
          if (i == j) continue;
          auto [q, cik] = Get(i, k);
          auto [r, ckj] = Get(k, j);
          auto [s, cij] = Get(i, j);
          if (q != nullptr && r != nullptr) {
            const unsigned sum = static_cast<unsigned>(cik) + static_cast<unsigned>(ckj);
            if (s == nullptr || cij > sum) table[i][j] = Entry{q, static_cast<std::uint16_t>(sum)};
          }
        }
      }
    }
  }
};

void ExpectSameAsReference(CVarloDoc& doc) {
  const ReferenceRoutes reference(doc);
  doc.ComputeRoutes();
  for (CGraphicNode* from : doc.NodesInTableOrder()) {
    for (CGraphicNode* to : doc.NodesInTableOrder()) {
      const auto expected = reference.Get(from, to);
      const auto actual = from->GetRoute(to);
      ASSERT_EQ(actual.first, expected.first) << from->GetName() << " -> " << to->GetName();
      ASSERT_EQ(actual.second, expected.second) << from->GetName() << " -> " << to->GetName();
    }
  }
}

TEST(RouteComputation, ChainRoutesThroughTheMiddleNode) {
  CVarloDoc doc;
  CGraphicNode* n1 = doc.CreateNode(0, 0);
  CGraphicNode* n2 = doc.CreateNode(100, 0);
  CGraphicNode* n3 = doc.CreateNode(200, 0);
  CGraphicLink* l12 = Connect(doc, n1, n2);
  CGraphicLink* l23 = Connect(doc, n2, n3);
  doc.ComputeRoutes();
  auto [q13, c13] = n1->GetRoute(n3);
  EXPECT_EQ(q13, l12->GetForwardQueue());
  EXPECT_EQ(c13, 2);
  auto [q31, c31] = n3->GetRoute(n1);
  EXPECT_EQ(q31, l23->GetBackwardQueue());
  EXPECT_EQ(c31, 2);
  auto [self, selfCost] = n1->GetRoute(n1);
  EXPECT_EQ(self, nullptr);
  EXPECT_EQ(selfCost, 0xFFFF);
}

TEST(RouteComputation, SquareTieKeepsTheRouteFoundFirstAndIsStable) {
  CVarloDoc doc;
  CGraphicNode* n1 = doc.CreateNode(0, 0);
  CGraphicNode* n2 = doc.CreateNode(100, 0);
  CGraphicNode* n3 = doc.CreateNode(100, 100);
  CGraphicNode* n4 = doc.CreateNode(0, 100);
  Connect(doc, n1, n2);
  Connect(doc, n2, n3);
  Connect(doc, n3, n4);
  CGraphicLink* l41 = Connect(doc, n4, n1);
  doc.ComputeRoutes();
  // Nodes 1 to 4 share the first bucket, so the table walks them 4, 3, 2, 1: the route through N4
  // is found first and the one through N2 only ties with it.
  auto [q, c] = n1->GetRoute(n3);
  EXPECT_EQ(q, l41->GetBackwardQueue());
  EXPECT_EQ(c, 2);
  doc.ComputeRoutes();
  EXPECT_EQ(n1->GetRoute(n3).first, l41->GetBackwardQueue());
  ExpectSameAsReference(doc);
}

TEST(RouteComputation, NetworkWithoutLinksHasNoRoutes) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(10, 0);
  doc.ComputeRoutes();
  EXPECT_EQ(a->GetRoute(b).first, nullptr);
  EXPECT_EQ(a->GetRoute(b).second, 0xFFFF);
}

TEST(RouteComputation, ClearsLinkHighlightsAndBuildsEachPathOnce) {
  CVarloDoc doc;
  CGraphicNode* n1 = doc.CreateNode(0, 0);
  CGraphicNode* n2 = doc.CreateNode(100, 0);
  CGraphicNode* n3 = doc.CreateNode(200, 0);
  CGraphicLink* l12 = Connect(doc, n1, n2);
  CGraphicLink* l23 = Connect(doc, n2, n3);
  l12->highlighted = true;
  doc.AddClass(std::make_unique<CConstPoissonClass>(n1, n3, 0.0, 10.0, 5.0));
  doc.ComputeRoutes();
  doc.ComputeRoutes();
  EXPECT_FALSE(l12->highlighted);
  const auto& path = doc.GetClasses()[0]->GetPath();
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path[0]->queue, l12->GetForwardQueue());
  EXPECT_EQ(path[1]->queue, l23->GetForwardQueue());
  EXPECT_EQ(path[2]->queue, nullptr);
  EXPECT_EQ(l12->GetForwardQueue()->pathEntries.size(), 1u);
  EXPECT_EQ(l23->GetForwardQueue()->pathEntries.size(), 1u);
  EXPECT_TRUE(l12->GetBackwardQueue()->pathEntries.empty());
}

TEST(RouteComputation, NodeAddedAfterComputationHasNoRouteEntries) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(10, 0);
  Connect(doc, a, b);
  doc.ComputeRoutes();
  CGraphicNode* c = doc.CreateNode(20, 0);
  EXPECT_EQ(a->GetRoute(c).first, nullptr);
  EXPECT_EQ(c->GetRoute(a).first, nullptr);
  EXPECT_NE(a->GetRoute(b).first, nullptr);
}

// The dense computation must equal the plain one on random graphs, ties and 16-bit cost
// truncation included.
TEST(RouteComputation, DenseEqualsPlainOnRandomGraphs) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 30; ++round) {
    CVarloDoc doc;
    const int nodeCount = 2 + static_cast<int>(rng() % 40);
    std::vector<CGraphicNode*> nodes;
    for (int i = 0; i < nodeCount; ++i) {
      // Skipping numbers now and then mixes the buckets of the node table.
      if (rng() % 3 == 0) doc.nextNodeNumber += static_cast<int>(rng() % 20);
      nodes.push_back(doc.CreateNode(static_cast<int>(rng() % 1000), static_cast<int>(rng() % 1000)));
    }
    const int linkCount = static_cast<int>(rng() % static_cast<unsigned>(nodeCount * 3));
    for (int l = 0; l < linkCount; ++l) {
      CGraphicNode* a = nodes[rng() % nodes.size()];
      CGraphicNode* b = nodes[rng() % nodes.size()];
      if (a == b || doc.FindLink(a, b) != nullptr) continue;
      // Mostly unit weights (many ties); some rounds use huge weights so sums pass 65535.
      auto weight = [&]() -> std::uint16_t {
        if (round % 5 == 4) return static_cast<std::uint16_t>(30000 + rng() % 35536);
        return static_cast<std::uint16_t>(1 + rng() % 3);
      };
      Connect(doc, a, b, weight(), weight());
    }
    ExpectSameAsReference(doc);
  }
}

// The relaxation of every ordered triple written out over plain arrays indexed by node-table
// position, for networks too large for the keyed reference.
struct ArrayReference {
  size_t n;
  std::vector<CQueue*> queue;
  std::vector<std::uint32_t> cost;  // 0x40000: no route

  explicit ArrayReference(const CVarloDoc& doc) {
    const std::vector<CGraphicNode*> nodes = doc.NodesInTableOrder();
    n = nodes.size();
    std::map<const CNode*, size_t> position;
    for (size_t i = 0; i < n; ++i) position[nodes[i]] = i;
    queue.assign(n * n, nullptr);
    cost.assign(n * n, 0x40000);
    for (size_t i = 0; i < n; ++i) {
      for (const auto& nb : nodes[i]->GetNeighbours()) {
        queue[i * n + position.at(nb.node)] = nb.outgoing;
        cost[i * n + position.at(nb.node)] = nb.outgoing->routeWeight;
      }
    }
    for (size_t k = 0; k < n; ++k) {
      for (size_t i = 0; i < n; ++i) {
        if (queue[i * n + k] == nullptr) continue;
        for (size_t j = 0; j < n; ++j) {
          if (i == j || queue[k * n + j] == nullptr) continue;
          const std::uint32_t sum = cost[i * n + k] + cost[k * n + j];
          if (queue[i * n + j] == nullptr || cost[i * n + j] > sum) {
            queue[i * n + j] = queue[i * n + k];
            cost[i * n + j] = sum & 0xFFFF;
          }
        }
      }
    }
  }
};

// A random network of nodeCount nodes: a random spanning tree (when connected) plus extra links up
// to the given count, node numbers skipping now and then so that the table's buckets mix.
void BuildRandomNetwork(CVarloDoc& doc, std::mt19937& rng, int nodeCount, int linkCount, bool connected,
                        const std::function<std::uint16_t()>& weight) {
  std::vector<CGraphicNode*> nodes;
  for (int i = 0; i < nodeCount; ++i) {
    if (rng() % 4 == 0) doc.nextNodeNumber += static_cast<int>(rng() % 30);
    nodes.push_back(doc.CreateNode(static_cast<int>(rng() % 1000), static_cast<int>(rng() % 1000)));
  }
  int links = 0;
  if (connected) {
    for (size_t i = 1; i < nodes.size(); ++i, ++links) Connect(doc, nodes[i], nodes[rng() % i], weight(), weight());
  }
  for (int attempt = 0; links < linkCount && attempt < 20 * linkCount; ++attempt) {
    CGraphicNode* a = nodes[rng() % nodes.size()];
    CGraphicNode* b = nodes[rng() % nodes.size()];
    if (a == b || doc.FindLink(a, b) != nullptr) continue;
    Connect(doc, a, b, weight(), weight());
    ++links;
  }
}

void ExpectSameAsArrayReference(CVarloDoc& doc) {
  const ArrayReference reference(doc);
  doc.ComputeRoutes();
  const std::vector<CGraphicNode*> nodes = doc.NodesInTableOrder();
  for (size_t i = 0; i < nodes.size(); ++i) {
    for (size_t j = 0; j < nodes.size(); ++j) {
      const auto [queue, cost] = nodes[i]->GetRoute(nodes[j]);
      const size_t at = i * nodes.size() + j;
      ASSERT_EQ(queue, reference.queue[at]) << nodes[i]->GetName() << " -> " << nodes[j]->GetName();
      if (queue != nullptr) {
        ASSERT_EQ(cost, reference.cost[at]) << nodes[i]->GetName() << " -> " << nodes[j]->GetName();
      }
    }
  }
}

// Larger networks, sparse and dense, connected or in pieces, with weights that make many ties
// (all 1, or 1 to 3), weights 0 and weights whose sums pass 65535. VARLO_ROUTES_LARGE=1 adds
// networks of 2,000 nodes.
TEST(RouteComputation, EqualsTheRelaxationOnLargerRandomNetworks) {
  std::mt19937 rng(7151);
  std::vector<int> sizes{60, 150, 300};
  if (const char* large = std::getenv("VARLO_ROUTES_LARGE"); large != nullptr && *large == '1') {
    sizes.push_back(1000);
    sizes.push_back(2000);
  }
  for (const int nodeCount : sizes) {
    for (int variant = 0; variant < 6; ++variant) {
      CVarloDoc doc;
      std::function<std::uint16_t()> weight = [] { return std::uint16_t{1}; };
      if (variant == 1 || variant == 4) weight = [&rng] { return static_cast<std::uint16_t>(1 + rng() % 3); };
      if (variant == 2) weight = [&rng] { return static_cast<std::uint16_t>(rng() % 3); };
      if (variant == 3) weight = [&rng] { return static_cast<std::uint16_t>(200 + rng() % 800); };
      const int linkCount = variant == 4 ? nodeCount * 8 : variant == 5 ? nodeCount / 2 : nodeCount * 2;
      BuildRandomNetwork(doc, rng, nodeCount, linkCount, variant != 5, weight);
      SCOPED_TRACE(testing::Message() << nodeCount << " nodes, variant " << variant);
      ExpectSameAsArrayReference(doc);
    }
  }
}

TEST(RouteComputation, RoutesDoNotDependOnTheThreadCount) {
  std::mt19937 rng(99);
  CVarloDoc doc;
  BuildRandomNetwork(doc, rng, 400, 900, true, [&rng] { return static_cast<std::uint16_t>(1 + rng() % 2); });
  const int saved = GetWorkerThreads();
  SetWorkerThreads(1);
  doc.ComputeRoutes();
  std::vector<CNode::Route> single;
  for (CGraphicNode* node : doc.NodesInTableOrder()) {
    single.insert(single.end(), node->RouteTable().begin(), node->RouteTable().end());
  }
  SetWorkerThreads(5);
  doc.ComputeRoutes();
  SetWorkerThreads(saved);
  size_t at = 0;
  for (CGraphicNode* node : doc.NodesInTableOrder()) {
    for (const CNode::Route& route : node->RouteTable()) {
      ASSERT_EQ(route.firstQueue, single[at].firstQueue);
      ASSERT_EQ(route.cost, single[at].cost);
      ++at;
    }
  }
}

}  // namespace
}  // namespace varlo
