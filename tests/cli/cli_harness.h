// What the varlo-cli tests share: a scratch folder of the test process, whole-file reads and
// writes, and one varlo-cli command run as a separate process with its exit code and both outputs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace varlo::test {

// <temp>/varlo-cli-<purpose>-<pid>, emptied when made and removed with the object (kept when
// VARLO_KEEP_SCRATCH is set, to look at after a failure).
struct Folder {
  std::filesystem::path path;
  explicit Folder(const std::string& purpose)
      : path(std::filesystem::temp_directory_path() / ("varlo-cli-" + purpose + "-" + std::to_string(::getpid()))) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    if (std::getenv("VARLO_KEEP_SCRATCH") == nullptr) std::filesystem::remove_all(path, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

// Runs COMMAND (a shell command line) in the folder, with both outputs caught.
inline Outcome RunIn(const Folder& folder, const std::string& command) {
  const std::string out = folder / "stdout.txt";
  const std::string err = folder / "stderr.txt";
  const std::string line = "cd '" + folder.path.string() + "' && " + command + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(line.c_str());
  return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
}

// Runs varlo-cli ARGUMENTS in the folder, with ENVIRONMENT ("NAME=value ...") before it.
inline Outcome Cli(const Folder& folder, const std::string& arguments, const std::string& environment = "") {
  return RunIn(folder, environment + " '" + VARLO_CLI_PATH + "' " + arguments);
}

}  // namespace varlo::test
