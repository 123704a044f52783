// Colours are 32-bit values laid out 0x00BBGGRR (red in the low byte), as stored in files.
#pragma once

#include <cstdint>

namespace varlo {

using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(unsigned red, unsigned green, unsigned blue) {
  return (red & 0xFFu) | ((green & 0xFFu) << 8) | ((blue & 0xFFu) << 16);
}
constexpr unsigned RedOf(ColorRef c) { return c & 0xFFu; }
constexpr unsigned GreenOf(ColorRef c) { return (c >> 8) & 0xFFu; }
constexpr unsigned BlueOf(ColorRef c) { return (c >> 16) & 0xFFu; }

}  // namespace varlo
