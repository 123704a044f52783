// A progress line on standard error: rewritten in place on a terminal, one line per update
// otherwise (a log or a pipe), nothing when quiet. Messages end the line first.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace varlo::cli {

class ProgressLine {
 public:
  explicit ProgressLine(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) != 0) {}
  void Show(const std::string& text) {
    if (quiet_) return;
    if (terminal_) {
      std::fprintf(stderr, "\r%s\033[K", text.c_str());
      shown_ = true;
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
  }
  void Message(const std::string& text) {
    End();
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void End() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
  }

 private:
  bool quiet_;
  bool terminal_;
  bool shown_ = false;
};

}  // namespace varlo::cli
