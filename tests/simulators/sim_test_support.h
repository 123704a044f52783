// Small networks and scratch folders for the simulator bridge tests.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "model/mm1k_queue.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"

namespace varlo::test {

// A folder of its own for one test, removed afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag = "sim") {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("varlo-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  // VARLO_KEEP_SCRATCH=1 keeps the folders for a look after a failure.
  ~ScratchFolder() {
    if (std::getenv("VARLO_KEEP_SCRATCH") != nullptr) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline CGraphicNode* AddNode(CVarloDoc& doc, std::uint16_t number, const std::string& name) {
  auto node = std::make_unique<CGraphicNode>(number, name, 10 * number, 10 * number);
  CGraphicNode* raw = node.get();
  doc.AddNode(std::move(node));
  if (doc.nextNodeNumber <= number) doc.nextNodeNumber = number + 1;
  return raw;
}

// Rates in packets/s, buffers in packets, delays in s.
inline CGraphicLink* AddLink(CVarloDoc& doc, CGraphicNode* first, CGraphicNode* second, double forwardRate,
                             double forwardBuffer, double forwardDelay, double backwardRate,
                             double backwardBuffer, double backwardDelay) {
  auto link = std::make_unique<CGraphicLink>(
      first, second, std::make_unique<C_MM1K_Queue>(first, second, forwardRate, forwardBuffer, forwardDelay),
      std::make_unique<C_MM1K_Queue>(second, first, backwardRate, backwardBuffer, backwardDelay));
  CGraphicLink* raw = link.get();
  doc.AddLink(std::move(link));
  return raw;
}

// The network of the worked examples: A (1) and B (2), A -> B at 1000 packets/s, 0.01 s, 20
// packets; B -> A at 500 packets/s, 0.02 s, 10 packets.
struct ExampleNetwork {
  CVarloDoc doc;
  CGraphicNode* a;
  CGraphicNode* b;
  CGraphicLink* link;
  ExampleNetwork() {
    // The node table walks a bucket's most recent key first: B is entered first so that the
    // walk, and the script's node lines, give A before B as in the worked example.
    b = AddNode(doc, 2, "B");
    a = AddNode(doc, 1, "A");
    link = AddLink(doc, a, b, 1000, 20, 0.01, 500, 10, 0.02);
  }
};

// Whether an executable ns is on the PATH.
inline bool NsInstalled() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && ::access((folder + "/ns").c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace varlo::test
