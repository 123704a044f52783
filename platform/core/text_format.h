// printf-style formatting into std::string. The file formats and script texts of the program are
// defined by printf formats ("%lf", "%4.1lf", "%x", ...), so they are produced with the C library's
// own formatter to keep every character identical.
#pragma once

#include <string>

namespace varlo {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...);

// Replaces the first "%1" and "%2" of a message template (the framework's message style).
std::string FormatMessage(const std::string& pattern, const std::string& arg1,
                          const std::string& arg2 = std::string());

}  // namespace varlo
