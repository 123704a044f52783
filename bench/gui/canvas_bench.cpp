// Canvas paint cost on a large network: a full paint of 2,000 nodes and 4,000 links into an
// image, and one drag step (moving a node and repainting the area before and after the move).
// The goal for a drag step is one frame, 16 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

#include "editor/varlo_view.h"
#include "model/mm1k_queue.h"
#include "platform/qt/qt_draw_context.h"

namespace varlo {
namespace {

constexpr int kColumns = 50;
constexpr int kRows = 40;     // 2,000 nodes
constexpr int kSpacing = 60;  // model units
constexpr int kLinks = 4000;

// A grid of nodes joined to their right and lower neighbours, topped up with diagonals.
void BuildNetwork(CVarloDoc& doc) {
  std::vector<CGraphicNode*> nodes;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) nodes.push_back(doc.CreateNode(40 + c * kSpacing, 40 + r * kSpacing));
  auto join = [&](CGraphicNode* a, CGraphicNode* b) {
    auto forward = std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.0);
    auto backward = std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.0);
    // Some load, so that buffer bars are drawn as after an evaluation.
    forward->N = 20.0;
    backward->N = 45.0;
    doc.AddLink(std::make_unique<CGraphicLink>(a, b, std::move(forward), std::move(backward)));
  };
  int links = 0;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      if (c + 1 < kColumns) join(nodes[r * kColumns + c], nodes[r * kColumns + c + 1]), ++links;
      if (r + 1 < kRows) join(nodes[r * kColumns + c], nodes[(r + 1) * kColumns + c]), ++links;
    }
  for (int r = 0; r + 1 < kRows && links < kLinks; ++r)
    for (int c = 0; c + 1 < kColumns && links < kLinks; c += 2)
      join(nodes[r * kColumns + c], nodes[(r + 1) * kColumns + c + 1]), ++links;
}

void BM_CanvasFullPaint(benchmark::State& state) {
  CVarloDoc doc;
  BuildNetwork(doc);
  doc.zoomFactor = 2.0;  // the whole 3,000 x 2,400 network in the picture
  CVarloView view(&doc);
  view.resize(1600, 1250);
  const QSize client = view.viewport()->size();
  QImage image(client, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    CQtDrawContext dc(painter);
    view.PaintNetwork(dc, client);
  }
  state.counters["nodes"] = static_cast<double>(doc.GetNodeCount());
  state.counters["links"] = static_cast<double>(doc.GetLinks().size());
}
BENCHMARK(BM_CanvasFullPaint)->Unit(benchmark::kMillisecond);

void BM_CanvasDragStep(benchmark::State& state) {
  CVarloDoc doc;
  BuildNetwork(doc);
  doc.zoomFactor = 2.0;
  CVarloView view(&doc);
  view.resize(1600, 1250);
  view.show();
  QApplication::processEvents();
  // A node in the middle of the grid, with four or five links.
  CGraphicNode* node = doc.NodeAt(40 + 25 * kSpacing, 40 + 20 * kSpacing);
  const QPoint home = view.ModelToWindow(QPoint(node->x, node->y));
  view.OnContextClick(home);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(home), QPointF(view.viewport()->mapToGlobal(home)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view.viewport(), &press);
  int step = 0;
  for (auto _ : state) {
    view.DragTo(home + QPoint(step % 2 ? 7 : -7, step % 3 ? 5 : -5));
    ++step;
  }
}
BENCHMARK(BM_CanvasDragStep)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varlo

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
