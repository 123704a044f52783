// The graph data a document holds for its graph window: the time points of one dump file and the
// curves read from it (plus the queue sizes measured by ns beside them). Filled by "Create
// Graphic ...", drawn by the graph view; every view of the document sees the same series.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/core/colors.h"
#include "model/keyed_table.h"

namespace varlo {

class C_MM1K_Queue;
class CTrafficClass;

// Queue series: 0 average size (packets), 1 utilisation, 2 loss probability. Class series: 0
// throughput (packets/s).
enum GraphMetric : int { kMetricAverageSize = 0, kMetricUtilisation = 1, kMetricLoss = 2 };

// The queue and class pointers identify what a series shows; they are read only while the series
// is built (names of the ns monitor files), never when it is drawn, so a series may outlive them.
struct GraphSeries {
  const C_MM1K_Queue* queue = nullptr;          // set for queue series and their companions
  const CTrafficClass* trafficClass = nullptr;  // set for class series
  int metric = 0;
  std::vector<double> values;  // one per time point, 0 where nothing was read
  std::string label;
  ColorRef color = 0;
  int column = 0;     // 1-based value column of a dump row
  int simulated = 0;  // 1 for an ns companion; also the legend sample's pen style (0 solid, 1 dashed)
};

// Curve colours, taken by the running count of series modulo 12.
inline constexpr std::array<ColorRef, 12> seriesPalette = {
    Rgb(0, 0, 255),   Rgb(255, 0, 0),   Rgb(255, 0, 255), Rgb(0, 0, 128), Rgb(0, 128, 0),   Rgb(128, 0, 0),
    Rgb(0, 128, 128), Rgb(128, 128, 0), Rgb(128, 0, 128), Rgb(0, 255, 0), Rgb(255, 255, 0), Rgb(0, 255, 255)};

struct GraphData {
  int graphPointCount = 0;
  std::vector<double> graphTimes;  // s, increasing
  // Key: the series' column for a series read from the dump, column * 10 for its ns companion.
  // The walk order of the table is the legend order.
  CKeyedTable<GraphSeries> graphSeries;
  bool graphOpen = false;  // a graph window for this document exists
  bool refinedModel = false;  // the dump was computed with the refined model

  void Clear() {
    graphPointCount = 0;
    refinedModel = false;
    graphTimes.clear();
    graphSeries.Clear();
  }
};

}  // namespace varlo
