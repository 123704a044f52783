// A plain transcription of the two evaluation runs, kept beside the tests: every loop in the order
// and every operation as the behaviour describes it, calling the queue and class operations one by
// one and printing with printf. The engine's fast paths must write the same dump, number for number.
#pragma once

#include <string>

#include "model/document.h"

namespace varlo::test {

struct ReferenceDump {
  std::string text;         // header and rows, "\n" line ends
  bool outOfTable = false;  // the run stopped at the NetBSD profile's edge
};

ReferenceDump ReferenceComputeMetrics(CVarloDoc& doc, const std::string& documentPath);
ReferenceDump ReferenceZIteration(CVarloDoc& doc, const std::string& documentPath);

}  // namespace varlo::test
