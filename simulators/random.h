// The program's pseudo-random generator: a 32-bit linear congruential generator giving 15-bit
// values. One instance serves the whole process; each command that draws from it (script start
// delays, traffic generators) seeds it when it starts, from the millisecond tick count unless a
// seed is given (tests and varlo-cli --seed).
#pragma once

#include <cstdint>
#include <optional>

namespace varlo {

class CRandom {
 public:
  static constexpr std::uint32_t kMultiplier = 214013;
  static constexpr std::uint32_t kIncrement = 2531011;
  // Draws keep the low 14 bits, so fractions come in steps of 1/16384.
  static constexpr std::uint32_t kFractionMask = 0x3FFF;
  static constexpr double kFractionSteps = 16384.0;

  explicit CRandom(std::uint32_t seed = 1) : state_(seed) {}

  void Seed(std::uint32_t seed) { state_ = seed; }
  std::uint32_t GetState() const { return state_; }

  // The next 15-bit value, 0 to 32767.
  std::uint32_t Next() {
    state_ = state_ * kMultiplier + kIncrement;  // wraps modulo 2^32
    return (state_ >> 16) & 0x7FFF;
  }
  // The low 14 bits of the next value, 0 to 16383.
  std::uint32_t Next14() { return Next() & kFractionMask; }

 private:
  std::uint32_t state_;
};

// The process's generator.
CRandom& ProcessRandom();

// Milliseconds since an arbitrary start, wrapping at 2^32 like a system tick count.
std::uint32_t TickCount();

// Seeds the process's generator with seed, or with the tick count when there is none, and
// returns it. Commands call this once when they start.
CRandom& SeedProcessRandom(std::optional<std::uint32_t> seed);

}  // namespace varlo
