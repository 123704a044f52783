// The picture of a sweep: one figure of the variants against the values of the first axis, a
// curve per combination of the other axes, drawn through the drawing context.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/core/drawing_context.h"

namespace varlo {

struct SweepChart {
  struct Curve {
    std::string label;
    std::vector<std::pair<double, double>> points;  // (axis value, figure), drawn in ascending x
    // A companion of an earlier curve (what ns measured beside what Varlo computed): drawn dashed
    // in that curve's colour; -1 for a curve of its own.
    int companionOf = -1;
  };
  std::string xLabel;
  std::string yLabel;
  std::vector<Curve> curves;
};

// Draws the chart into the rectangle: axes with eleven ticks each, the axis names, a curve with a
// dot per variant for every curve (palette colours in the order of the curves of their own,
// companions dashed in their curve's) and the legend at the top right.
void DrawSweepChart(CDrawContext& dc, const SweepChart& chart, const Rect& area);

// The chart as an SVG document, 720 x 480 pixels.
std::string SweepChartSvg(const SweepChart& chart);

}  // namespace varlo
