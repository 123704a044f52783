#include "cli/command.h"

#include <cstdlib>

#include "model/document.h"
#include "model/graphic_link.h"
#include "model/mm1k_queue.h"
#include "model/node.h"

namespace varlo::cli {

std::unique_ptr<CVarloDoc> OpenNetwork(const std::string& path) {
  auto doc = std::make_unique<CVarloDoc>();
  doc->OnOpenDocument(path);
  return doc;
}

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

C_MM1K_Queue* FindQueueByText(const CVarloDoc& doc, const std::string& text, const std::string& option) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) throw UsageError(option + ": give FROM:TO, not \"" + text + "\".");
  const std::string from = text.substr(0, colon), to = text.substr(colon + 1);
  const bool numbers = AllDigits(from) && AllDigits(to);
  const unsigned long fromNumber = numbers ? std::strtoul(from.c_str(), nullptr, 10) : 0;
  const unsigned long toNumber = numbers ? std::strtoul(to.c_str(), nullptr, 10) : 0;
  for (const auto& link : doc.GetLinks()) {
    for (C_MM1K_Queue* q : {link->GetForwardQueue(), link->GetBackwardQueue()}) {
      if (q->fromNode == nullptr || q->toNode == nullptr) continue;
      const bool match = numbers ? q->fromNode->GetNumber() == fromNumber && q->toNode->GetNumber() == toNumber
                                 : q->fromNode->GetName() == from && q->toNode->GetName() == to;
      if (match) return q;
    }
  }
  throw CommandFailure("No link joins " + from + " to " + to + " in " + doc.GetPathName() + ".");
}

}  // namespace varlo::cli
