// Small networks built through the document's operations, for the run and dump tests.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "engine/run.h"
#include "engine/tcp_profile.h"
#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "model/document.h"

namespace varlo::test {

struct NetBuilder {
  std::unique_ptr<CVarloDoc> doc = std::make_unique<CVarloDoc>();

  CGraphicNode* Node(const std::string& name) {
    CGraphicNode* node = doc->CreateNode(static_cast<std::int32_t>(20 * doc->GetNodeCount()), 10);
    node->SetName(name);
    return node;
  }
  CGraphicLink* Link(CGraphicNode* a, CGraphicNode* b, double mu, double buffer, double delay) {
    auto link = std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, mu, buffer, delay),
                                               std::make_unique<C_MM1K_Queue>(b, a, mu, buffer, delay));
    CGraphicLink* raw = link.get();
    doc->AddLink(std::move(link));
    return raw;
  }
  CConstPoissonClass* Udp(CGraphicNode* from, CGraphicNode* to, double rate, double start = 0,
                          double stop = 0) {
    auto c = std::make_unique<CConstPoissonClass>(from, to, start, stop, rate);
    CConstPoissonClass* raw = c.get();
    doc->AddClass(std::move(c));
    return raw;
  }
  CTCPClass* Tcp(CGraphicNode* from, CGraphicNode* to, double sinkDelay, double start = 0, double stop = 0) {
    auto c = std::make_unique<CTCPClass>(from, to, start, stop, sinkDelay);
    CTCPClass* raw = c.get();
    doc->AddClass(std::move(c));
    return raw;
  }
  CTdPoissonClass* RateFile(CGraphicNode* from, CGraphicNode* to, const std::string& file, double start = 0,
                            double stop = 0) {
    auto c = std::make_unique<CTdPoissonClass>(from, to, start, stop, file);
    CTdPoissonClass* raw = c.get();
    doc->AddClass(std::move(c));
    return raw;
  }
  CTraceClass* Trace(CGraphicNode* from, CGraphicNode* to, const std::string& file, double slot) {
    auto c = std::make_unique<CTraceClass>(from, to, 0, 0, file, slot);
    CTraceClass* raw = c.get();
    doc->AddClass(std::move(c));
    return raw;
  }
};

// A fresh folder under the system's temporary folder, removed with the object.
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    path = std::filesystem::temp_directory_path() /
           ("varlo-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  static int& counter() {
    static int n = 0;
    return n;
  }
};

// One link A -> B (100 packets/s, a buffer of 10, 10 ms) carrying a UDP class of 50 packets/s,
// evaluated for 1 s.
inline void OneLinkWithUdp(NetBuilder& net) {
  auto* a = net.Node("A");
  auto* b = net.Node("B");
  net.Link(a, b, 100, 10, 0.01);
  net.Udp(a, b, 50);
  net.doc->totalTime = 1;
}

// Keeps the program-wide profile setting as a test found it.
struct ProfileGuard {
  int saved = GetTcpProfile();
  explicit ProfileGuard(int profile) { SetTcpProfile(profile); }
  ~ProfileGuard() { SetTcpProfile(saved); }
};

// Runs body(method, folder) for Compute Metrics and the Z-iteration in turn, each in the NS profile
// with a folder of its own; a failure names the run.
template <class Body>
void ForBothRuns(Body&& body) {
  for (const RunMethod method : {RunMethod::kComputeMetrics, RunMethod::kZIteration}) {
    SCOPED_TRACE(method == RunMethod::kComputeMetrics ? "Compute Metrics" : "Z-iteration");
    const ProfileGuard guard(kProfileNS);
    TempFolder folder;
    body(method, folder);
  }
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace varlo::test
