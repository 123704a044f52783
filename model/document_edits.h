// The edits a user makes to a network, one function each. Every function makes its change
// through the document, marks the document modified, notifies the views with the hints of the
// document's operations, and hands the document's edit recorder a record that undoes and redoes
// the change exactly: elements come back at their places in the node table, link list and class
// lists, and values come back bit for bit. Views express intent only and call these.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/graphic_link.h"
#include "platform/core/colors.h"

namespace varlo {

// One recorded edit. Undo runs on the document as the edit left it, Redo on the document as it
// was before; the undo stack keeps that order.
class CDocumentEdit {
 public:
  explicit CDocumentEdit(std::string name) : name_(std::move(name)) {}
  virtual ~CDocumentEdit() = default;
  CDocumentEdit(const CDocumentEdit&) = delete;
  CDocumentEdit& operator=(const CDocumentEdit&) = delete;

  // The user's name for the edit, shown after "Undo" and "Redo" ("Move Node").
  const std::string& Name() const { return name_; }
  virtual void Undo(CVarloDoc& doc) = 0;
  virtual void Redo(CVarloDoc& doc) = 0;
  // Takes in the edit that follows when it continues this one (the moves of one drag).
  virtual bool MergeWith(const CDocumentEdit& next) {
    (void)next;
    return false;
  }

 private:
  std::string name_;
};

// The values the node dialog edits.
struct NodeProperties {
  std::string name;
  std::int32_t shape = 0;
  std::int32_t size = 0;
  ColorRef backColor = 0;
  ColorRef foreColor = 0;
  ColorRef textColor = 0;
};
NodeProperties PropertiesOf(const CGraphicNode& node);

// The values of a queue that the link dialog and Modify Links change.
struct QueueProperties {
  double serviceRate = 0.0;       // packets/s
  double bufferSize = 0.0;        // packets
  double propagationDelay = 0.0;  // s
};
QueueProperties PropertiesOf(const C_MM1K_Queue& queue);
void ApplyProperties(C_MM1K_Queue& queue, const QueueProperties& values);

// The values the link dialog edits.
struct LinkProperties {
  LinkStyle style;
  QueueProperties forward;
  QueueProperties backward;
};
LinkProperties PropertiesOf(const CGraphicLink& link);

// New values for elements already in the document, made and undone as one edit. Values equal
// (bit for bit) to the current ones are no change.
class CChangeSet {
 public:
  void SetNode(CGraphicNode* node, const NodeProperties& after);
  void SetLink(CGraphicLink* link, const LinkProperties& after);
  void SetClassTimes(CTrafficClass* trafficClass, double startTime, double stopTime);  // s
  bool Empty() const { return nodes_.empty() && links_.empty() && classes_.empty(); }

 private:
  friend class CChangeEdit;
  template <class T, class V>
  struct Change {
    T* object;
    V before;
    V after;
  };
  struct Times {
    double startTime;
    double stopTime;
  };
  std::vector<Change<CGraphicNode, NodeProperties>> nodes_;
  std::vector<Change<CGraphicLink, LinkProperties>> links_;
  std::vector<Change<CTrafficClass, Times>> classes_;
};

namespace edits {

// "Add Node": the next node number, named "N%d", at the model point; hint 1. Throws
// std::runtime_error when no unused node number is left.
CGraphicNode* AddNode(CVarloDoc& doc, std::int32_t x, std::int32_t y);

// "Move Node": the node's centre to the model point, kept at x, y >= 0 so that no node leaves the
// drawable area; hint 5 with the node, from sender. Moves with the same non-zero gesture number
// (one drag) are undone as one.
void MoveNode(CVarloDoc& doc, CGraphicNode* node, std::int32_t x, std::int32_t y, std::uint64_t gesture = 0,
              IDocumentView* sender = nullptr);

// "Delete Node": its classes (hint 4 each), its links (hint 0 each), then hint 2.
void DeleteNode(CVarloDoc& doc, CGraphicNode* node);

// "Add Link": a confirmed new link; the template queue takes the forward queue's service rate,
// buffer size and propagation delay (offered for the next link); hint 0.
void AddLink(CVarloDoc& doc, std::unique_ptr<CGraphicLink> link);

// "Delete Link": hint 0.
void DeleteLink(CVarloDoc& doc, CGraphicLink* link);

// Value changes under the given name ("Properties", "Paste Style", "Class Times", "Modify Links"):
// hint 0 when a link changed, then hint 5 for each changed node, then hint 8 for each changed
// class. Returns false (and records nothing) when nothing changes.
bool ChangeProperties(CVarloDoc& doc, const std::string& name, CChangeSet changes,
                      IDocumentView* sender = nullptr);

// "Add Traffic Class": hint 3 from sender.
void AddClass(CVarloDoc& doc, std::unique_ptr<CTrafficClass> trafficClass, IDocumentView* sender = nullptr);

// "Delete Traffic Entry": hint 4.
void DeleteClass(CVarloDoc& doc, CTrafficClass* trafficClass);

// "Delete All Traffic": every class, first of the list first, hint 4 each.
void DeleteAllTraffic(CVarloDoc& doc);

// Runs an action that appends classes to the document's class list (loading a traffic file,
// the traffic generators) and records the classes it appended as one edit under the name. An
// exception from the action is passed on after what was appended before it is recorded.
void AppendClasses(CVarloDoc& doc, const std::string& name, const std::function<void()>& action);

}  // namespace edits

}  // namespace varlo
