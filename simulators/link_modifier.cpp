#include "simulators/link_modifier.h"

#include <cmath>

#include "model/mm1k_queue.h"
#include "model/document.h"
#include "model/document_edits.h"
#include "simulators/traffic_generators.h"

namespace varlo {

const char* const kLinkModificationNames[kLinkModificationCount] = {
    "Multiply the link capacity by the parameter", "Change the link capacity to parameter",
    "Multiply the link buffer by the parameter",   "Change the link buffer to parameter",
    "Multiply the link delay by the parameter",    "Change the link delay to parameter",
};

bool LinkMatchesFilters(const std::string& firstName, const std::string& secondName,
                        const std::string& firstFilter, const std::string& secondFilter) {
  return (MatchesNodeFilter(firstName, firstFilter) && MatchesNodeFilter(secondName, secondFilter)) ||
         (MatchesNodeFilter(firstName, secondFilter) && MatchesNodeFilter(secondName, firstFilter));
}

void ApplyLinkModification(C_MM1K_Queue& queue, int type, double parameter) {
  switch (type) {
    case kMultiplyCapacity:
      queue.serviceRate *= parameter;
      break;
    case kSetCapacity:
      queue.serviceRate = parameter;
      break;
    case kMultiplyBuffer:
      // Truncated in floating point, so that products beyond the 32-bit range stay whole
      // numbers instead of wrapping.
      queue.bufferSize = std::trunc(queue.bufferSize * parameter);
      break;
    case kSetBuffer:
      queue.bufferSize = parameter;
      break;
    case kMultiplyDelay:
      queue.propagationDelay *= parameter;
      break;
    case kSetDelay:
      queue.propagationDelay = parameter;
      break;
    default:
      break;
  }
}

std::size_t ModifyLinks(CVarloDoc& doc, const std::string& firstFilter, const std::string& secondFilter,
                        int type, double parameter) {
  if (type < 0 || type >= kLinkModificationCount) return 0;
  std::size_t changed = 0;
  for (const auto& link : doc.GetLinks()) {
    if (!LinkMatchesFilters(link->GetFirstNode()->GetName(), link->GetSecondNode()->GetName(), firstFilter,
                            secondFilter)) {
      continue;
    }
    ApplyLinkModification(*link->GetForwardQueue(), type, parameter);
    ApplyLinkModification(*link->GetBackwardQueue(), type, parameter);
    ++changed;
  }
  return changed;
}

bool ModifyLinksEdit(CVarloDoc& doc, const std::string& firstFilter, const std::string& secondFilter,
                     int type, double parameter) {
  if (type < 0 || type >= kLinkModificationCount) return false;
  CChangeSet changes;
  for (const auto& link : doc.GetLinks()) {
    if (!LinkMatchesFilters(link->GetFirstNode()->GetName(), link->GetSecondNode()->GetName(), firstFilter,
                            secondFilter)) {
      continue;
    }
    // Worked out on copies of the two queues' values, so that the edit sets them and can put
    // back exactly what was there.
    LinkProperties values = PropertiesOf(*link);
    for (QueueProperties* queue : {&values.forward, &values.backward}) {
      C_MM1K_Queue scratch;
      ApplyProperties(scratch, *queue);
      ApplyLinkModification(scratch, type, parameter);
      *queue = PropertiesOf(scratch);
    }
    changes.SetLink(link.get(), values);
  }
  return edits::ChangeProperties(doc, "Modify Links", std::move(changes));
}

}  // namespace varlo
