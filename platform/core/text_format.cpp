#include "platform/core/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace varlo {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char stackBuffer[512];
  const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, args);
  va_end(args);
  std::string result;
  if (needed < 0) {
    va_end(copy);
    return result;
  }
  if (static_cast<size_t>(needed) < sizeof stackBuffer) {
    result.assign(stackBuffer, static_cast<size_t>(needed));
  } else {
    std::vector<char> heap(static_cast<size_t>(needed) + 1);
    std::vsnprintf(heap.data(), heap.size(), format, copy);
    result.assign(heap.data(), static_cast<size_t>(needed));
  }
  va_end(copy);
  return result;
}

std::string FormatMessage(const std::string& pattern, const std::string& arg1,
                          const std::string& arg2) {
  std::string out;
  out.reserve(pattern.size() + arg1.size() + arg2.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
      out += pattern[i + 1] == '1' ? arg1 : arg2;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace varlo
