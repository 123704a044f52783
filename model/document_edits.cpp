#include "model/document_edits.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace varlo {

namespace {

// Bit for bit: a value set and then restored must be exactly the value before, so "unchanged"
// means the same bits (a NaN equals itself, 0.0 and -0.0 differ).
bool Same(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool Same(const QueueProperties& a, const QueueProperties& b) {
  return Same(a.serviceRate, b.serviceRate) && Same(a.bufferSize, b.bufferSize) &&
         Same(a.propagationDelay, b.propagationDelay);
}

bool Same(const LinkProperties& a, const LinkProperties& b) {
  return a.style.thickness == b.style.thickness && a.style.lineColor == b.style.lineColor &&
         a.style.bufferColor1 == b.style.bufferColor1 && a.style.bufferColor2 == b.style.bufferColor2 &&
         Same(a.forward, b.forward) && Same(a.backward, b.backward);
}

bool Same(const NodeProperties& a, const NodeProperties& b) {
  return a.name == b.name && a.shape == b.shape && a.size == b.size && a.backColor == b.backColor &&
         a.foreColor == b.foreColor && a.textColor == b.textColor;
}

void Apply(CGraphicNode& node, const NodeProperties& values) {
  node.SetName(values.name);
  node.shape = values.shape;
  node.size = values.size;
  node.backColor = values.backColor;
  node.foreColor = values.foreColor;
  node.textColor = values.textColor;
}

void Apply(CGraphicLink& link, const LinkProperties& values) {
  link.SetStyle(values.style);
  ApplyProperties(*link.GetForwardQueue(), values.forward);
  ApplyProperties(*link.GetBackwardQueue(), values.backward);
}

// --- records ---------------------------------------------------------------------------------------

class CAddNodeEdit : public CDocumentEdit {
 public:
  CAddNodeEdit(CGraphicNode* node, std::int32_t counterBefore, std::int32_t counterAfter)
      : CDocumentEdit("Add Node"), node_(node), counterBefore_(counterBefore), counterAfter_(counterAfter) {}
  void Undo(CVarloDoc& doc) override {
    detached_ = doc.DetachNode(node_);
    // The number goes back too, so that the file is as it was before the node was added.
    doc.nextNodeNumber = counterBefore_;
  }
  void Redo(CVarloDoc& doc) override {
    doc.AttachNode(std::move(detached_));
    doc.nextNodeNumber = counterAfter_;
  }

 private:
  CGraphicNode* node_;
  std::int32_t counterBefore_, counterAfter_;
  CVarloDoc::DetachedNode detached_;
};

class CMoveNodeEdit : public CDocumentEdit {
 public:
  CMoveNodeEdit(CGraphicNode* node, std::int32_t fromX, std::int32_t fromY, std::uint64_t gesture)
      : CDocumentEdit("Move Node"),
        node_(node),
        fromX_(fromX),
        fromY_(fromY),
        toX_(node->x),
        toY_(node->y),
        gesture_(gesture) {}
  void Undo(CVarloDoc& doc) override { Place(doc, fromX_, fromY_); }
  void Redo(CVarloDoc& doc) override { Place(doc, toX_, toY_); }
  bool MergeWith(const CDocumentEdit& next) override {
    const auto* move = dynamic_cast<const CMoveNodeEdit*>(&next);
    if (move == nullptr || gesture_ == 0 || move->gesture_ != gesture_ || move->node_ != node_) return false;
    toX_ = move->toX_;
    toY_ = move->toY_;
    return true;
  }
  static void Place(CVarloDoc& doc, CGraphicNode* node, std::int32_t x, std::int32_t y,
                    IDocumentView* sender) {
    node->x = x;
    node->y = y;
    // Printing maps the area up to the largest coordinates onto the page.
    doc.RaiseExtent(node);
    doc.SetModifiedFlag();
    doc.UpdateAllViews(sender, kHintNodeChanged, node);
  }

 private:
  void Place(CVarloDoc& doc, std::int32_t x, std::int32_t y) { Place(doc, node_, x, y, nullptr); }
  CGraphicNode* node_;
  std::int32_t fromX_, fromY_, toX_, toY_;
  std::uint64_t gesture_;
};

class CDeleteNodeEdit : public CDocumentEdit {
 public:
  CDeleteNodeEdit(CGraphicNode* node, CVarloDoc::DetachedNode detached)
      : CDocumentEdit("Delete Node"), node_(node), detached_(std::move(detached)) {}
  void Undo(CVarloDoc& doc) override { doc.AttachNode(std::move(detached_)); }
  void Redo(CVarloDoc& doc) override { detached_ = doc.DetachNode(node_); }

 private:
  CGraphicNode* node_;
  CVarloDoc::DetachedNode detached_;
};

class CAddLinkEdit : public CDocumentEdit {
 public:
  CAddLinkEdit(CGraphicLink* link, const QueueProperties& templateBefore,
               const QueueProperties& templateAfter)
      : CDocumentEdit("Add Link"),
        link_(link),
        templateBefore_(templateBefore),
        templateAfter_(templateAfter) {}
  void Undo(CVarloDoc& doc) override {
    detached_ = doc.DetachLink(link_);
    ApplyProperties(doc.templateQueue, templateBefore_);
  }
  void Redo(CVarloDoc& doc) override {
    ApplyProperties(doc.templateQueue, templateAfter_);
    doc.AttachLink(std::move(detached_));
  }

 private:
  CGraphicLink* link_;
  QueueProperties templateBefore_, templateAfter_;
  CVarloDoc::DetachedLink detached_;
};

class CDeleteLinkEdit : public CDocumentEdit {
 public:
  CDeleteLinkEdit(CGraphicLink* link, CVarloDoc::DetachedLink detached)
      : CDocumentEdit("Delete Link"), link_(link), detached_(std::move(detached)) {}
  void Undo(CVarloDoc& doc) override { doc.AttachLink(std::move(detached_)); }
  void Redo(CVarloDoc& doc) override { detached_ = doc.DetachLink(link_); }

 private:
  CGraphicLink* link_;
  CVarloDoc::DetachedLink detached_;
};

// Classes taken out of the list (one deleted, all deleted) and put back.
class CRemoveClassesEdit : public CDocumentEdit {
 public:
  CRemoveClassesEdit(std::string name, std::vector<CVarloDoc::DetachedClass> detached)
      : CDocumentEdit(std::move(name)), detached_(std::move(detached)) {
    for (const auto& d : detached_) classes_.push_back(d.object.get());
  }
  void Undo(CVarloDoc& doc) override { PutBack(doc, detached_); }
  void Redo(CVarloDoc& doc) override {
    for (CTrafficClass* trafficClass : classes_) detached_.push_back(doc.DetachClass(trafficClass));
  }
  // Puts classes back in the reverse order of their removal, then announces them in list order,
  // so that the class tree lists equal entries as it did.
  static void PutBack(CVarloDoc& doc, std::vector<CVarloDoc::DetachedClass>& detached) {
    std::vector<CTrafficClass*> back;
    for (auto it = detached.rbegin(); it != detached.rend(); ++it) {
      back.push_back(it->object.get());
      doc.AttachClass(std::move(*it), false);
    }
    detached.clear();
    for (const auto& trafficClass : doc.GetClasses()) {
      if (std::find(back.begin(), back.end(), trafficClass.get()) != back.end()) {
        doc.UpdateAllViews(nullptr, kHintClassAdded, trafficClass.get());
      }
    }
  }

 private:
  std::vector<CTrafficClass*> classes_;
  std::vector<CVarloDoc::DetachedClass> detached_;
};

// Classes added at the end of the list (one by hand, a traffic file, a generator).
class CAppendClassesEdit : public CDocumentEdit {
 public:
  CAppendClassesEdit(std::string name, std::vector<CTrafficClass*> classes)
      : CDocumentEdit(std::move(name)), classes_(std::move(classes)) {}
  void Undo(CVarloDoc& doc) override {
    for (auto it = classes_.rbegin(); it != classes_.rend(); ++it) detached_.push_back(doc.DetachClass(*it));
  }
  void Redo(CVarloDoc& doc) override {
    for (auto it = detached_.rbegin(); it != detached_.rend(); ++it) doc.AttachClass(std::move(*it));
    detached_.clear();
  }

 private:
  std::vector<CTrafficClass*> classes_;
  std::vector<CVarloDoc::DetachedClass> detached_;
};

}  // namespace

// --- value changes ---------------------------------------------------------------------------------

NodeProperties PropertiesOf(const CGraphicNode& node) {
  return NodeProperties{node.GetName(), node.shape,     node.size,
                        node.backColor, node.foreColor, node.textColor};
}

QueueProperties PropertiesOf(const C_MM1K_Queue& queue) {
  return QueueProperties{queue.serviceRate, queue.bufferSize, queue.propagationDelay};
}

void ApplyProperties(C_MM1K_Queue& queue, const QueueProperties& values) {
  queue.serviceRate = values.serviceRate;
  queue.bufferSize = values.bufferSize;
  queue.propagationDelay = values.propagationDelay;
}

LinkProperties PropertiesOf(const CGraphicLink& link) {
  return LinkProperties{link.GetStyle(), PropertiesOf(*link.GetForwardQueue()),
                        PropertiesOf(*link.GetBackwardQueue())};
}

void CChangeSet::SetNode(CGraphicNode* node, const NodeProperties& after) {
  if (node == nullptr) return;
  const NodeProperties before = PropertiesOf(*node);
  if (!Same(before, after)) nodes_.push_back({node, before, after});
}

void CChangeSet::SetLink(CGraphicLink* link, const LinkProperties& after) {
  if (link == nullptr) return;
  const LinkProperties before = PropertiesOf(*link);
  if (!Same(before, after)) links_.push_back({link, before, after});
}

void CChangeSet::SetClassTimes(CTrafficClass* trafficClass, double startTime, double stopTime) {
  if (trafficClass == nullptr) return;
  const Times before{trafficClass->startTime, trafficClass->stopTime};
  if (!Same(before.startTime, startTime) || !Same(before.stopTime, stopTime)) {
    classes_.push_back({trafficClass, before, Times{startTime, stopTime}});
  }
}

class CChangeEdit : public CDocumentEdit {
 public:
  CChangeEdit(std::string name, CChangeSet changes)
      : CDocumentEdit(std::move(name)), changes_(std::move(changes)) {}
  void Undo(CVarloDoc& doc) override { Apply(doc, false, nullptr); }
  void Redo(CVarloDoc& doc) override { Apply(doc, true, nullptr); }

  void Apply(CVarloDoc& doc, bool after, IDocumentView* sender) {
    for (const auto& c : changes_.links_) varlo::Apply(*c.object, after ? c.after : c.before);
    for (const auto& c : changes_.nodes_) varlo::Apply(*c.object, after ? c.after : c.before);
    for (const auto& c : changes_.classes_) {
      const CChangeSet::Times& times = after ? c.after : c.before;
      c.object->startTime = times.startTime;
      c.object->stopTime = times.stopTime;
    }
    doc.SetModifiedFlag();
    if (!changes_.links_.empty()) doc.UpdateAllViews(sender, kHintGeneral);
    for (const auto& c : changes_.nodes_) doc.UpdateAllViews(sender, kHintNodeChanged, c.object);
    for (const auto& c : changes_.classes_) doc.UpdateAllViews(sender, kHintClassChanged, c.object);
  }

 private:
  CChangeSet changes_;
};

// --- the edits -------------------------------------------------------------------------------------

namespace edits {

CGraphicNode* AddNode(CVarloDoc& doc, std::int32_t x, std::int32_t y) {
  const std::int32_t before = doc.nextNodeNumber;
  CGraphicNode* node = doc.CreateNode(x, y);
  doc.UpdateAllViews(nullptr, kHintNodeAdded, node);
  doc.RecordEdit(std::make_unique<CAddNodeEdit>(node, before, doc.nextNodeNumber));
  return node;
}

void MoveNode(CVarloDoc& doc, CGraphicNode* node, std::int32_t x, std::int32_t y, std::uint64_t gesture,
              IDocumentView* sender) {
  if (node == nullptr) return;
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (x == node->x && y == node->y) return;
  const std::int32_t fromX = node->x, fromY = node->y;
  CMoveNodeEdit::Place(doc, node, x, y, sender);
  doc.RecordEdit(std::make_unique<CMoveNodeEdit>(node, fromX, fromY, gesture));
}

void DeleteNode(CVarloDoc& doc, CGraphicNode* node) {
  if (node == nullptr || doc.FindNode(node->GetNumber()) != node) return;
  CVarloDoc::DetachedNode detached = doc.DetachNode(node);
  doc.RecordEdit(std::make_unique<CDeleteNodeEdit>(node, std::move(detached)));
}

void AddLink(CVarloDoc& doc, std::unique_ptr<CGraphicLink> link) {
  if (!link) return;
  const QueueProperties before = PropertiesOf(doc.templateQueue);
  const QueueProperties after = PropertiesOf(*link->GetForwardQueue());
  CGraphicLink* added = link.get();
  doc.AddLink(std::move(link));
  ApplyProperties(doc.templateQueue, after);
  doc.UpdateAllViews(nullptr, kHintGeneral);
  doc.RecordEdit(std::make_unique<CAddLinkEdit>(added, before, after));
}

void DeleteLink(CVarloDoc& doc, CGraphicLink* link) {
  CVarloDoc::DetachedLink detached = doc.DetachLink(link);
  if (!detached.object) return;
  doc.RecordEdit(std::make_unique<CDeleteLinkEdit>(link, std::move(detached)));
}

bool ChangeProperties(CVarloDoc& doc, const std::string& name, CChangeSet changes, IDocumentView* sender) {
  if (changes.Empty()) return false;
  auto edit = std::make_unique<CChangeEdit>(name, std::move(changes));
  edit->Apply(doc, true, sender);
  doc.RecordEdit(std::move(edit));
  return true;
}

void AddClass(CVarloDoc& doc, std::unique_ptr<CTrafficClass> trafficClass, IDocumentView* sender) {
  if (!trafficClass) return;
  CTrafficClass* added = trafficClass.get();
  doc.AddClass(std::move(trafficClass));
  doc.UpdateAllViews(sender, kHintClassAdded, added);
  doc.RecordEdit(
      std::make_unique<CAppendClassesEdit>("Add Traffic Class", std::vector<CTrafficClass*>{added}));
}

void DeleteClass(CVarloDoc& doc, CTrafficClass* trafficClass) {
  CVarloDoc::DetachedClass detached = doc.DetachClass(trafficClass);
  if (!detached.object) return;
  std::vector<CVarloDoc::DetachedClass> list;
  list.push_back(std::move(detached));
  doc.RecordEdit(std::make_unique<CRemoveClassesEdit>("Delete Traffic Entry", std::move(list)));
}

void DeleteAllTraffic(CVarloDoc& doc) {
  std::vector<CVarloDoc::DetachedClass> list;
  while (!doc.GetClasses().empty()) list.push_back(doc.DetachClass(doc.GetClasses().front().get()));
  if (list.empty()) return;
  doc.RecordEdit(std::make_unique<CRemoveClassesEdit>("Delete All Traffic", std::move(list)));
}

void AppendClasses(CVarloDoc& doc, const std::string& name, const std::function<void()>& action) {
  const size_t before = doc.GetClasses().size();
  auto record = [&] {
    std::vector<CTrafficClass*> appended;
    for (size_t i = before; i < doc.GetClasses().size(); ++i) appended.push_back(doc.GetClasses()[i].get());
    if (!appended.empty()) doc.RecordEdit(std::make_unique<CAppendClassesEdit>(name, std::move(appended)));
  };
  try {
    action();
  } catch (...) {
    record();
    throw;
  }
  record();
}

}  // namespace edits

}  // namespace varlo
