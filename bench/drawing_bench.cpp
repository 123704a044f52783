// Cost of the model's drawing code on its own (a context that draws nothing) and of writing the
// whole network as a metafile, for a 2,000-node, 4,000-link network.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/wmf_writer.h"

namespace varlo {
namespace {

class NullDC : public CDrawContext {
 public:
  std::int64_t primitives = 0;

 protected:
  void DoLine(Point, Point) override { ++primitives; }
  void DoEllipse(const Rect&) override { ++primitives; }
  void DoRectangle(const Rect&) override { ++primitives; }
  void DoPolygon(std::span<const Point>) override { ++primitives; }
  void DoDrawIcon(Point, int) override { ++primitives; }
  void DoTextOut(Point, std::string_view) override { ++primitives; }
  Size DoGetTextExtent(std::string_view text) override {
    return Size{static_cast<std::int32_t>(text.size()) * 7, 16};
  }
};

struct Network {
  std::vector<std::unique_ptr<CGraphicNode>> nodes;
  std::vector<std::unique_ptr<CGraphicLink>> links;

  // A 50 x 40 grid, 60 units apart, each node linked to its right and lower neighbour (about
  // 4,000 links), queues at assorted fills so that bars are drawn.
  Network() {
    constexpr int kColumns = 50, kRows = 40;
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kColumns; ++c) {
        const auto number = static_cast<std::uint16_t>(nodes.size() + 1);
        nodes.push_back(
            std::make_unique<CGraphicNode>(number, "N" + std::to_string(number), 30 + c * 60, 30 + r * 60));
        nodes.back()->shape = static_cast<std::int32_t>(nodes.size() % 7);
      }
    auto join = [this](CGraphicNode* a, CGraphicNode* b) {
      links.push_back(
          std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 100.0, 0.0),
                                         std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 100.0, 0.0)));
      links.back()->GetForwardQueue()->N = static_cast<double>(links.size() % 101);
      links.back()->GetBackwardQueue()->N = static_cast<double>((links.size() * 7) % 101);
    };
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kColumns; ++c) {
        CGraphicNode* here = nodes[static_cast<size_t>(r * kColumns + c)].get();
        if (c + 1 < kColumns) join(here, nodes[static_cast<size_t>(r * kColumns + c + 1)].get());
        if (r + 1 < kRows) join(here, nodes[static_cast<size_t>((r + 1) * kColumns + c)].get());
      }
  }

  void Draw(CDrawContext& dc) const {
    for (const auto& link : links) link->Draw(dc);
    for (const auto& node : nodes) node->Draw(dc);
  }
};

void BM_DrawNetworkModelOnly(benchmark::State& state) {
  const Network network;
  NullDC dc;
  for (auto _ : state) network.Draw(dc);
  state.counters["links"] = static_cast<double>(network.links.size());
  state.counters["primitives/frame"] =
      static_cast<double>(dc.primitives) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DrawNetworkModelOnly)->Unit(benchmark::kMillisecond);

void BM_WriteNetworkMetafile(benchmark::State& state) {
  const Network network;
  size_t bytes = 0;
  for (auto _ : state) {
    CWmfWriter writer(nullptr, [](int, IconImage& image) {
      image.width = image.height = 32;
      image.argb.assign(32 * 32, 0xFF808080);
      return true;
    });
    writer.SelectFont(writer.CreatePointFont(10, "Arial"));
    network.Draw(writer);
    bytes = writer.Finish().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteNetworkMetafile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varlo

BENCHMARK_MAIN();
