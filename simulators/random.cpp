#include "simulators/random.h"

#include <chrono>

namespace varlo {

CRandom& ProcessRandom() {
  static CRandom generator;
  return generator;
}

std::uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

CRandom& SeedProcessRandom(std::optional<std::uint32_t> seed) {
  CRandom& generator = ProcessRandom();
  generator.Seed(seed.value_or(TickCount()));
  return generator;
}

}  // namespace varlo
