// Writes the fuzzer's seed corpus: real network and traffic files from the archive writer.
// Usage: fuzz_make_seeds FOLDER
#include <cstdio>
#include <memory>
#include <string>

#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "model/document.h"
#include "model/persistent.h"

using namespace varlo;

namespace {

void Link(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b, double rate, double buffer) {
  doc.AddLink(std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, rate, buffer, 0.01),
                                             std::make_unique<C_MM1K_Queue>(b, a, rate, buffer, 0.01)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  RegisterPersistentClasses();
  const std::string folder = argv[1];

  CVarloDoc empty;
  WriteFileAtomically(folder + "/empty.net", empty.SaveToBytes("empty.net"));
  WriteFileAtomically(folder + "/empty.cls", empty.SaveTrafficToBytes("empty.cls"));

  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(10, 10);
  CGraphicNode* b = doc.CreateNode(200, 10);
  CGraphicNode* c = doc.CreateNode(100, 150);
  c->SetName(std::string(300, 'c'));
  Link(doc, a, b, 1000, 50);
  Link(doc, b, c, 500, 20);
  doc.AddClass(std::make_unique<CConstPoissonClass>(a, c, 0.0, 10.0, 120.0));
  doc.AddClass(std::make_unique<CConstPoissonClass>(c, a, 1.0, 5.0, 60.0));
  doc.AddClass(std::make_unique<CTCPClass>(a, b, 0.0, 0.0, 0.02));
  WriteFileAtomically(folder + "/chain.net", doc.SaveToBytes("chain.net"));
  WriteFileAtomically(folder + "/chain.cls", doc.SaveTrafficToBytes("chain.cls"));

  auto rates = std::make_unique<CTdPoissonClass>();
  rates->SetNodes(b, a);
  rates->rateFileName = "rates.vlr";
  doc.AddClass(std::move(rates));
  auto trace = std::make_unique<CTraceClass>();
  trace->SetNodes(a, b);
  trace->traceFileName = "missing.vlt";
  trace->slotSize = 0.5;
  trace->rateFileName = CTraceClass::DerivedRateFileName(trace->traceFileName, trace->slotSize);
  doc.AddClass(std::move(trace));
  WriteFileAtomically(folder + "/all_kinds.net", doc.SaveToBytes("all_kinds.net"));
  WriteFileAtomically(folder + "/all_kinds.cls", doc.SaveTrafficToBytes("all_kinds.cls"));
  return 0;
}
