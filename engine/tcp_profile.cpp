#include "engine/tcp_profile.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace varlo {

namespace {

std::atomic<int> g_profile{kProfileNetBSD};

// NetBSD 1.2 throughput surface: T = b_i * m^-(a_i + 0.00001 i j) for loss row i.
struct Coefficient {
  double a;
  double b;
};
constexpr Coefficient kNetBSD[41] = {
    {1.1, 25.0},     {1.06, 13.5},   {1.027, 8.1},   {1.0135, 6.6},  {1.005, 5.7},   {0.998, 5.13},
    {0.991, 4.75},   {0.983, 4.38},  {0.976, 4.05},  {0.9685, 3.73}, {0.9607, 3.43}, {0.9535, 3.18},
    {0.9445, 2.955}, {0.9357, 2.73}, {0.9267, 2.52}, {0.9174, 2.34}, {0.91, 2.16},   {0.9022, 1.97},
    {0.8941, 1.8},   {0.8865, 1.65}, {0.88, 1.53},   {0.8732, 1.42}, {0.8667, 1.34}, {0.858, 1.26},
    {0.849, 1.19},   {0.84, 1.12},   {0.83, 1.09},   {0.82, 1.04},   {0.81, 1.02},   {0.8, 0.99},
    {0.79, 0.97},    {0.78, 0.95},   {0.77, 0.93},   {0.76, 0.91},   {0.75, 0.9},    {0.74, 0.89},
    {0.73, 0.88},    {0.72, 0.87},   {0.71, 0.86},   {0.7, 0.855},   {0.69, 0.85},
};

// The NS surface changes exponent at 1430 ms.
constexpr int kNSKneeColumn = 143;

}  // namespace

int GetTcpProfile() {
  return g_profile.load(std::memory_order_relaxed);
}

void SetTcpProfile(int index) {
  if (index == kProfileNetBSD || index == kProfileNS) g_profile.store(index, std::memory_order_relaxed);
}

const CTcpProfiles& CTcpProfiles::Instance() {
  static const CTcpProfiles profiles;
  return profiles;
}

CTcpProfiles::CTcpProfiles() {
  constexpr std::size_t kCells = static_cast<std::size_t>(kRows) * kColumns;
  constexpr std::size_t kBlocks = static_cast<std::size_t>(kRows) * kBlocksPerRow;
  for (int profile : {kProfileNetBSD, kProfileNS}) {
    // Cells are written before their block is marked ready, so they need no initial value.
    tables_[profile] = std::make_unique_for_overwrite<double[]>(kCells);
    ready_[profile] = std::make_unique<std::atomic<std::uint8_t>[]>(kBlocks);
  }
}

void CTcpProfiles::FillBlock(int profile, int i, int block) const {
  const std::lock_guard<std::mutex> lock(fillMutex_);
  std::atomic<std::uint8_t>& ready =
      ready_[profile][static_cast<std::size_t>(i) * kBlocksPerRow + static_cast<std::size_t>(block)];
  if (ready.load(std::memory_order_relaxed) != 0) return;
  double* row = tables_[profile].get() + static_cast<std::size_t>(i) * kColumns;
  const int first = block * kBlockColumns;
  const int last = std::min(first + kBlockColumns, static_cast<int>(kColumns));
  for (int j = std::max(first, 1); j < last; ++j) {
    const double m = 10.0 * j;  // round-trip time, ms
    if (profile == kProfileNetBSD) {
      row[j] = kNetBSD[i].b * std::pow(m, -(kNetBSD[i].a + 0.00001 * i * j));
    } else {
      row[j] = j < kNSKneeColumn ? 7.0 * std::pow(m, -0.85) / (1.0 + 0.4 * i)
                                 : 18.0 * std::pow(m, -0.98) / (1.0 + 0.4 * i);
    }
  }
  // Column 0 stands for 0 ms, where both surfaces are infinite; it takes the 10 ms value so that
  // round trips under 10 ms interpolate towards a finite throughput.
  if (first == 0) row[0] = row[1];
  ready.store(1, std::memory_order_release);
}

double CTcpProfiles::Lookup(int profile, double roundTripTime, double loss) const {
  if (roundTripTime == 0.0) roundTripTime = 0.05;
  const double rms = 1000.0 * roundTripTime;
  const double g = std::floor(100.0 * loss);
  const double l = std::floor(rms / 10.0);
  // Decided on the reals, before any conversion to an index, so that huge or NaN inputs cannot
  // reach the table.
  const bool inside = g >= 0.0 && l >= 0.0 && l < kColumns - 1 && g < kRows - 1;
  if (!inside) {
    if (profile == kProfileNS) return 18.0 * std::pow(rms, -0.98) / (1.0 + 40.0 * loss);
    throw CProfileOutOfTableException();
  }
  return Bilinear(profile, static_cast<int>(g), static_cast<int>(l), 100.0 * (loss - 0.01 * g),
                  (rms - 10.0 * l) / 10.0);
}

double CTcpProfiles::Bilinear(int profile, int row, int column, double f, double e) const {
  const double p = At(profile, row, column) + f * (At(profile, row + 1, column) - At(profile, row, column));
  const double q =
      At(profile, row, column + 1) + f * (At(profile, row + 1, column + 1) - At(profile, row, column + 1));
  return p + e * (q - p);
}

double CTcpProfiles::LookupBeyondTable(int profile, double roundTripTime, double loss) const {
  constexpr double kLastLoss = 0.01 * (kRows - 1);             // 0.39
  constexpr double kLastRoundTrip = 10.0 * (kColumns - 1);     // 49,990 ms
  // (An infinite round trip is a path through a link that sends nothing: its flow sends nothing.)
  if (profile == kProfileNS || !(loss >= 0.0) || !(roundTripTime >= 0.0)) return Lookup(profile, roundTripTime, loss);
  if (roundTripTime == 0.0) roundTripTime = 0.05;
  const double rms = 1000.0 * roundTripTime;
  // (Inside by Lookup's own test, so that the two never disagree on a point next to the edge.)
  if (std::floor(100.0 * loss) < kRows - 1 && std::floor(rms / 10.0) < kColumns - 1)
    return Lookup(profile, roundTripTime, loss);
  // The edge point, interpolated with the last row and column taken as the upper ends.
  const double edgeLoss = std::min(loss, kLastLoss);
  const double edgeRms = std::min(rms, kLastRoundTrip);
  const int row = std::min(static_cast<int>(std::floor(100.0 * edgeLoss)), kRows - 2);
  const int column = std::min(static_cast<int>(std::floor(edgeRms / 10.0)), kColumns - 2);
  const double edge = Bilinear(profile, row, column, std::min(100.0 * edgeLoss - row, 1.0),
                               std::min(edgeRms / 10.0 - column, 1.0));
  return edge * (1.0 + 40.0 * edgeLoss) / (1.0 + 40.0 * loss) * std::pow(edgeRms / rms, 0.98);
}

}  // namespace varlo
