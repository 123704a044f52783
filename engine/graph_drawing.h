// The picture of a graph window, drawn through the drawing context so that the screen, printers,
// metafiles and the SVG/PNG/PDF exports show the same thing and tests can check every line: two
// axes with eleven labelled ticks each, an optional dotted grid, the caption of the metric, one
// solid curve per series and a legend at the top right.
#pragma once

#include <string>

#include "model/graph_data.h"
#include "platform/core/drawing_context.h"

namespace varlo {

struct GraphRanges {
  double xMin = 0.0, xMax = 0.0;  // s
  double yMin = 0.0, yMax = 0.0;  // in the unit of the metric
};

// The axis ranges of the graph data (recomputed on update hint 7): times from the first to the
// last point, the lower bounds floored to a hundredth, the value maximum ceiled to a hundredth and
// never below 0, the time maximum ceiled to a whole second. A degenerate range (one time point,
// all values equal, no points) is widened by one unit upwards; values that are not finite are
// left out.
GraphRanges ComputeGraphRanges(const GraphData& graph);

// "AvgSize(t)", "Util(t)", "LossProb(t)" or "Throughput(t)" after the first series of the map;
// empty when there is none.
std::string GraphCaption(const GraphData& graph);

// Every how many time ticks (1, 2, 5 or 10) a label is drawn so that no two labels touch, given
// the tick spacing dx in device units; the widest of the eleven labels decides.
int TimeLabelStride(CDrawContext& dc, const GraphRanges& ranges, std::int32_t dx);

// Draws the graph. On the screen and in metafiles the layout is client (the window's client area)
// under an anisotropic 1:1 mapping; when dc is printing, it is the device's page inset by 100 units.
void DrawGraph(CDrawContext& dc, const GraphData& graph, const GraphRanges& ranges, bool showGrid,
               const Rect& client);

}  // namespace varlo
