// Bulk change of one queue parameter on every link between nodes picked by two name filters.
#pragma once

#include <cstddef>
#include <string>

namespace varlo {

class C_MM1K_Queue;
class CVarloDoc;

// The entries of the type list, in the dialog's order.
enum LinkModification : int {
  kMultiplyCapacity = 0,
  kSetCapacity = 1,
  kMultiplyBuffer = 2,
  kSetBuffer = 3,
  kMultiplyDelay = 4,
  kSetDelay = 5,
};
inline constexpr int kLinkModificationCount = 6;
extern const char* const kLinkModificationNames[kLinkModificationCount];

// A link is selected when its first end matches the first filter and its second end the second,
// or the other way round.
bool LinkMatchesFilters(const std::string& firstName, const std::string& secondName,
                        const std::string& firstFilter, const std::string& secondFilter);

// Applies one modification to one queue. A multiplied buffer is truncated toward zero to a
// whole number of packets; a set buffer is taken exactly.
void ApplyLinkModification(C_MM1K_Queue& queue, int type, double parameter);

// Applies the modification to both queues of every selected link, forward queue first, links in
// list order. Neither marks the document modified nor notifies views. Returns the number of
// links changed. A type outside 0..5 changes nothing.
std::size_t ModifyLinks(CVarloDoc& doc, const std::string& firstFilter, const std::string& secondFilter,
                        int type, double parameter);

// The same as one undoable edit of the document (model/document_edits.h): marks it modified and
// sends hint 0. Returns whether any value changed.
bool ModifyLinksEdit(CVarloDoc& doc, const std::string& firstFilter, const std::string& secondFilter, int type,
                     double parameter);

}  // namespace varlo
