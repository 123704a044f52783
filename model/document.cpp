#include "model/document.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <utility>

#include "model/archive.h"
#include "model/document_edits.h"
#include "platform/core/file_io.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

constexpr std::int32_t kLastNodeNumber = 0xFFFF;

// Splits at the last '/' or '\\': paths written on Windows are accepted as they are.
size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

}  // namespace

// --- document ---------------------------------------------------------------------------------

CVarloDoc::CVarloDoc() {
  templateQueue.serviceRate = 1000.0;
  templateQueue.bufferSize = 5000.0;
  templateQueue.propagationDelay = 0.0;
  templateQueue.routeWeight = 1;
}

CVarloDoc::~CVarloDoc() {
  // The views are gone before their document; none is told about the teardown. Everything goes
  // at once (ClearContents), not node by node: deleting one class at a time searches the lists
  // each time, which makes closing a large network quadratic.
  views_.clear();
  ClearContents();
}

void CVarloDoc::AddView(IDocumentView* view) {
  if (view != nullptr && std::find(views_.begin(), views_.end(), view) == views_.end()) {
    views_.push_back(view);
  }
}

void CVarloDoc::RemoveView(IDocumentView* view) {
  std::erase(views_, view);
}

void CVarloDoc::UpdateAllViews(IDocumentView* sender, int hint, CPersistent* object) {
  // A copy: a view may add or remove views while it updates.
  const std::vector<IDocumentView*> views = views_;
  for (IDocumentView* view : views) view->OnUpdate(sender, hint, object);
}

void CVarloDoc::RaiseExtent(const CGraphicNode* node) {
  largestX = std::max(largestX, node->x);
  largestY = std::max(largestY, node->y);
}

void CVarloDoc::AddNode(std::unique_ptr<CGraphicNode> node) {
  if (!node) return;
  // A node already under this number goes the way DeleteNode takes it, with its links and
  // classes; replacing it silently would leave them pointing at a destroyed node.
  if (CGraphicNode* old = FindNode(node->GetNumber()); old != nullptr) DeleteNode(old);
  RaiseExtent(node.get());
  const std::uint16_t number = node->GetNumber();
  nodeTable_.SetAt(number, std::move(node));
  SetModifiedFlag();
  routesValid = false;
}

CGraphicNode* CVarloDoc::CreateNode(std::int32_t x, std::int32_t y) {
  // Numbers still held by nodes are skipped: only a damaged or hand-made file can leave the
  // counter behind them, and reusing one would replace a node.
  if (nextNodeNumber < 1) nextNodeNumber = 1;
  while (nextNodeNumber <= kLastNodeNumber &&
         nodeTable_.Contains(static_cast<std::uint16_t>(nextNodeNumber))) {
    ++nextNodeNumber;
  }
  if (nextNodeNumber > kLastNodeNumber) {
    throw std::runtime_error("No more node numbers are available in this network.");
  }
  const auto number = static_cast<std::uint16_t>(nextNodeNumber++);
  auto node = std::make_unique<CGraphicNode>(number, Format("N%d", static_cast<int>(number)), x, y);
  CGraphicNode* raw = node.get();
  AddNode(std::move(node));
  return raw;
}

void CVarloDoc::DeleteNode(CGraphicNode* node) {
  DetachNode(node);  // destroyed here, classes and links first
}

CVarloDoc::DetachedNode CVarloDoc::DetachNode(CGraphicNode* node) {
  DetachedNode detached;
  if (node == nullptr) return detached;
  const CGraphicNode* listed = FindNode(node->GetNumber());
  if (listed != node) return detached;
  detached.chainIndex = nodeTable_.ChainIndexOf(node->GetNumber());
  detached.object = nodeTable_.Remove(node->GetNumber());

  // A class from a node to itself stands twice in the list; DetachClass removes both entries.
  while (!node->GetClasses().empty()) detached.classes.push_back(DetachClass(node->GetClasses().front()));
  while (!node->GetNeighbours().empty()) {
    const CNode::Neighbour neighbour = node->GetNeighbours().front();
    CGraphicLink* link = neighbour.outgoing != nullptr ? neighbour.outgoing->owningLink : nullptr;
    const bool ours =
        std::any_of(links_.begin(), links_.end(), [link](const auto& l) { return l.get() == link; });
    if (ours) detached.links.push_back(DetachLink(link));
    // Also when the entry did not belong to that link's ends: the loop must make progress.
    node->RemoveNeighbour(neighbour.node);
  }
  // Links that reached the node without entering its neighbour table (a second link between the
  // same pair added by a caller) must not outlive it either.
  for (;;) {
    auto it = std::find_if(links_.begin(), links_.end(), [node](const auto& l) {
      return l->GetFirstNode() == node || l->GetSecondNode() == node;
    });
    if (it == links_.end()) break;
    detached.links.push_back(DetachLink(it->get()));
  }
  UpdateAllViews(nullptr, kHintNodeRemoved, node);
  SetModifiedFlag();
  routesValid = false;
  return detached;
}

void CVarloDoc::AttachNode(DetachedNode detached) {
  if (!detached.object) return;
  CGraphicNode* node = detached.object.get();
  nodeTable_.InsertAt(node->GetNumber(), std::move(detached.object), detached.chainIndex);
  RaiseExtent(node);
  // In the reverse order of their removal, so that every list gets its order back.
  for (auto it = detached.links.rbegin(); it != detached.links.rend(); ++it)
    AttachLink(std::move(*it), false);
  std::vector<CTrafficClass*> classes;
  for (auto it = detached.classes.rbegin(); it != detached.classes.rend(); ++it) {
    classes.push_back(it->object.get());
    AttachClass(std::move(*it), false);
  }
  // The tree needs the node's entry before the entries of its classes.
  UpdateAllViews(nullptr, kHintNodeAdded, node);
  if (!detached.links.empty()) UpdateAllViews(nullptr, kHintGeneral);
  for (const auto& trafficClass : classes_) {
    if (std::find(classes.begin(), classes.end(), trafficClass.get()) != classes.end()) {
      UpdateAllViews(nullptr, kHintClassAdded, trafficClass.get());
    }
  }
  SetModifiedFlag();
  routesValid = false;
}

CGraphicNode* CVarloDoc::FindNode(std::uint16_t number) const {
  const std::unique_ptr<CGraphicNode>* node = nodeTable_.Find(number);
  return node != nullptr ? node->get() : nullptr;
}

CGraphicNode* CVarloDoc::NodeAt(std::int32_t x, std::int32_t y) const {
  CGraphicNode* found = nullptr;
  ForEachNode([&](CGraphicNode* node) {
    if (found == nullptr && node->HitTest(x, y)) found = node;
  });
  return found;
}

std::vector<CGraphicNode*> CVarloDoc::NodesInTableOrder() const {
  std::vector<CGraphicNode*> nodes;
  nodes.reserve(nodeTable_.Size());
  ForEachNode([&](CGraphicNode* node) { nodes.push_back(node); });
  return nodes;
}

void CVarloDoc::AddLink(std::unique_ptr<CGraphicLink> link) {
  if (!link) return;
  CGraphicNode* first = link->GetFirstNode();
  CGraphicNode* second = link->GetSecondNode();
  if (first != nullptr) first->AddNeighbour(second, link->GetBackwardQueue(), link->GetForwardQueue());
  if (second != nullptr) second->AddNeighbour(first, link->GetForwardQueue(), link->GetBackwardQueue());
  links_.push_back(std::move(link));
  SetModifiedFlag();
  routesValid = false;
}

void CVarloDoc::ForgetRoutes(const CGraphicLink* link) {
  std::vector<CTrafficClass*> crossing;
  for (const CQueue* queue : {static_cast<const CQueue*>(link->GetForwardQueue()),
                              static_cast<const CQueue*>(link->GetBackwardQueue())}) {
    for (const PathEntry* entry : queue->pathEntries) {
      if (std::find(crossing.begin(), crossing.end(), entry->trafficClass) == crossing.end()) {
        crossing.push_back(entry->trafficClass);
      }
    }
  }
  for (CTrafficClass* trafficClass : crossing) trafficClass->ClearPath();
  ForEachNode([](CGraphicNode* node) { node->ClearRoutes(); });
}

void CVarloDoc::DeleteLink(CGraphicLink* link) {
  DetachLink(link);  // destroyed here with its two queues
}

CVarloDoc::DetachedLink CVarloDoc::DetachLink(CGraphicLink* link) {
  DetachedLink detached;
  auto it = std::find_if(links_.begin(), links_.end(), [link](const auto& l) { return l.get() == link; });
  if (it == links_.end()) return detached;
  ForgetRoutes(link);
  CGraphicNode* first = link->GetFirstNode();
  CGraphicNode* second = link->GetSecondNode();
  if (first != nullptr) {
    detached.firstIndex = first->NeighbourIndexOf(second);
    first->RemoveNeighbour(second);
  }
  if (second != nullptr) {
    detached.secondIndex = second->NeighbourIndexOf(first);
    second->RemoveNeighbour(first);
  }
  detached.listIndex = static_cast<size_t>(it - links_.begin());
  detached.object = std::move(*it);
  links_.erase(it);
  UpdateAllViews(nullptr, kHintGeneral);
  SetModifiedFlag();
  routesValid = false;
  return detached;
}

void CVarloDoc::AttachLink(DetachedLink detached, bool notify) {
  if (!detached.object) return;
  CGraphicLink* link = detached.object.get();
  CGraphicNode* first = link->GetFirstNode();
  CGraphicNode* second = link->GetSecondNode();
  // The reverse of DetachLink: the second end's entry went last, so it comes back first.
  if (second != nullptr) {
    second->InsertNeighbourAt(detached.secondIndex,
                              CNode::Neighbour{first, link->GetBackwardQueue(), link->GetForwardQueue()});
  }
  if (first != nullptr) {
    first->InsertNeighbourAt(detached.firstIndex,
                             CNode::Neighbour{second, link->GetForwardQueue(), link->GetBackwardQueue()});
  }
  const size_t index = std::min(detached.listIndex, links_.size());
  links_.insert(links_.begin() + static_cast<std::ptrdiff_t>(index), std::move(detached.object));
  SetModifiedFlag();
  routesValid = false;
  if (notify) UpdateAllViews(nullptr, kHintGeneral);
}

CGraphicLink* CVarloDoc::FindLink(const CNode* a, const CNode* b) const {
  if (a == nullptr) return nullptr;
  const CQueue* queue = a->GetOutgoingQueue(b);
  return queue != nullptr ? queue->owningLink : nullptr;
}

CGraphicLink* CVarloDoc::LinkAt(std::int32_t x, std::int32_t y) const {
  for (const auto& link : links_) {
    if (link->HitTest(x, y)) return link.get();
  }
  return nullptr;
}

void CVarloDoc::AddClass(std::unique_ptr<CTrafficClass> trafficClass) {
  if (!trafficClass) return;
  if (CNode* source = trafficClass->GetSource()) source->AddClass(trafficClass.get());
  if (CNode* destination = trafficClass->GetDestination()) destination->AddClass(trafficClass.get());
  classes_.push_back(std::move(trafficClass));
  SetModifiedFlag();
}

void CVarloDoc::DeleteClass(CTrafficClass* trafficClass) {
  DetachClass(trafficClass);  // destroyed here
}

size_t CVarloDoc::IndexOfClass(const CTrafficClass* trafficClass) const {
  const auto it = std::find_if(classes_.begin(), classes_.end(),
                               [trafficClass](const auto& c) { return c.get() == trafficClass; });
  return static_cast<size_t>(it - classes_.begin());
}

CVarloDoc::DetachedClass CVarloDoc::DetachClass(CTrafficClass* trafficClass) {
  DetachedClass detached;
  const size_t index = IndexOfClass(trafficClass);
  if (index == classes_.size()) return detached;
  // The queues it crosses must not keep its path entries.
  trafficClass->ClearPath();
  if (CNode* source = trafficClass->GetSource()) {
    detached.sourceIndex = source->ClassIndexOf(trafficClass);
    source->RemoveClass(trafficClass);
  }
  if (CNode* destination = trafficClass->GetDestination()) {
    detached.destinationIndex = destination->ClassIndexOf(trafficClass);
    destination->RemoveClass(trafficClass);
  }
  detached.listIndex = index;
  detached.object = std::move(classes_[index]);
  classes_.erase(classes_.begin() + static_cast<std::ptrdiff_t>(index));
  UpdateAllViews(nullptr, kHintClassRemoved, trafficClass);
  SetModifiedFlag();
  return detached;
}

void CVarloDoc::AttachClass(DetachedClass detached, bool notify) {
  if (!detached.object) return;
  CTrafficClass* trafficClass = detached.object.get();
  // The reverse of DetachClass: the destination's entry went last, so it comes back first.
  if (CNode* destination = trafficClass->GetDestination()) {
    destination->InsertClassAt(detached.destinationIndex, trafficClass);
  }
  if (CNode* source = trafficClass->GetSource()) source->InsertClassAt(detached.sourceIndex, trafficClass);
  const size_t index = std::min(detached.listIndex, classes_.size());
  classes_.insert(classes_.begin() + static_cast<std::ptrdiff_t>(index), std::move(detached.object));
  SetModifiedFlag();
  if (notify) UpdateAllViews(nullptr, kHintClassAdded, trafficClass);
}

void CVarloDoc::RecordEdit(std::unique_ptr<CDocumentEdit> edit) {
  if (recorder_ != nullptr && edit) recorder_->Record(std::move(edit));
}

void CVarloDoc::ClearContents() {
  // Classes first, then links, then nodes. The queues' lists of path entries are emptied
  // wholesale before the classes go, so no class has to search them for its own entries.
  for (const auto& link : links_) {
    link->GetForwardQueue()->ClearPathEntries();
    link->GetBackwardQueue()->ClearPathEntries();
  }
  for (const auto& trafficClass : classes_) trafficClass->ForgetPath();
  classes_.clear();
  links_.clear();
  nodeTable_.Clear();
  routesValid = false;
}

// --- title and folder -------------------------------------------------------------------------

std::string CVarloDoc::GetTitle() const {
  if (!title_.empty()) return title_;
  if (pathName_.empty()) return "Untitled";
  const size_t separator = LastSeparator(pathName_);
  return separator == std::string::npos ? pathName_ : pathName_.substr(separator + 1);
}

std::string CVarloDoc::GetFolder() const {
  const size_t separator = pathName_.empty() ? std::string::npos : LastSeparator(pathName_);
  if (separator == std::string::npos) {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string(".") : current.string();
  }
  if (separator == 0) return pathName_.substr(0, 1);
  return pathName_.substr(0, separator);
}

// --- network file -----------------------------------------------------------------------------

void CVarloDoc::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    Store(ar);
  } else {
    Load(ar);
  }
}

void CVarloDoc::Store(CArchive& ar) const {
  ar.WriteU32(static_cast<std::uint32_t>(nextNodeNumber));
  ar.WriteCount(static_cast<std::uint32_t>(nodeTable_.Size()));
  nodeTable_.ForEach([&](std::uint16_t number, const std::unique_ptr<CGraphicNode>& node) {
    ar.WriteU16(number);
    ar.WriteObject(node.get());
  });
  ar.WriteCount(static_cast<std::uint32_t>(links_.size()));
  for (const auto& link : links_) ar.WriteObject(link.get());
  ar.WriteCount(static_cast<std::uint32_t>(classes_.size()));
  for (const auto& trafficClass : classes_) ar.WriteObject(trafficClass.get());
  // Storing reads the queue's fields only; Serialize serves both directions.
  const_cast<C_MM1K_Queue&>(templateQueue).Serialize(ar);
}

void CVarloDoc::Load(CArchive& ar) {
  ClearContents();
  routesValid = false;

  // Everything is read aside and taken over only when the whole file is sound, so a damaged
  // file leaves the document empty. Destroyed in reverse: classes, then links, then nodes.
  CKeyedTable<std::unique_ptr<CGraphicNode>> nodes;
  std::vector<std::unique_ptr<CGraphicLink>> links;
  std::vector<std::unique_ptr<CTrafficClass>> classes;
  C_MM1K_Queue queue;

  const auto next = static_cast<std::int32_t>(ar.ReadU32());
  // Each entry is at least a 16-bit key and a 16-bit tag.
  const std::uint32_t nodeCount = ar.ReadCount(4);
  for (std::uint32_t i = 0; i < nodeCount; ++i) {
    const std::uint16_t key = ar.ReadU16();
    std::unique_ptr<CGraphicNode> node = ar.ReadObjectOf<CGraphicNode>();
    // The key must be the node's own number, once: every reference to a node goes by number.
    if (!node || node->GetNumber() != key || nodes.Contains(key)) ar.Throw(CArchiveException::kBadIndex);
    nodes.SetAt(key, std::move(node));
  }
  const std::uint32_t linkCount = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < linkCount; ++i) {
    std::unique_ptr<CGraphicLink> link = ar.ReadObjectOf<CGraphicLink>();
    if (!link) ar.Throw(CArchiveException::kBadIndex);
    links.push_back(std::move(link));
  }
  const std::uint32_t classCount = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < classCount; ++i) {
    std::unique_ptr<CTrafficClass> trafficClass = ar.ReadObjectOf<CTrafficClass>();
    if (!trafficClass) ar.Throw(CArchiveException::kBadIndex);
    classes.push_back(std::move(trafficClass));
  }
  queue.Serialize(ar);
  // The template queue is the last thing written: bytes after it mean the counts before were
  // damaged (a class count one too small leaves a class behind, read as the template queue).
  if (ar.Remaining() != 0) ar.Throw(CArchiveException::kBadIndex);

  // Links and classes must name nodes of the table, a link must join two different nodes, and at
  // most one link may join two nodes (deleting a node would otherwise leave a second link pointing
  // at it).
  std::set<std::pair<std::uint16_t, std::uint16_t>> pairs;
  for (const auto& link : links) {
    const std::uint16_t a = link->GetFirstNumber(), b = link->GetSecondNumber();
    if (!nodes.Contains(a) || !nodes.Contains(b) || a == b) ar.Throw(CArchiveException::kBadIndex);
    if (!pairs.emplace(std::min(a, b), std::max(a, b)).second) ar.Throw(CArchiveException::kBadIndex);
  }
  for (const auto& trafficClass : classes) {
    if (!nodes.Contains(trafficClass->GetSourceNumber()) ||
        !nodes.Contains(trafficClass->GetDestinationNumber())) {
      ar.Throw(CArchiveException::kBadIndex);
    }
  }

  nextNodeNumber = next;
  nodeTable_ = std::move(nodes);
  links_ = std::move(links);
  classes_ = std::move(classes);
  templateQueue.serviceRate = queue.serviceRate;
  templateQueue.propagationDelay = queue.propagationDelay;
  templateQueue.routeWeight = queue.routeWeight;
  templateQueue.bufferSize = queue.bufferSize;
  ResolveAfterLoad();
}

void CVarloDoc::ResolveAfterLoad() {
  for (const auto& link : links_) {
    CGraphicNode* first = FindNode(link->GetFirstNumber());
    CGraphicNode* second = FindNode(link->GetSecondNumber());
    link->SetNodes(first, second);
    first->AddNeighbour(second, link->GetBackwardQueue(), link->GetForwardQueue());
    second->AddNeighbour(first, link->GetForwardQueue(), link->GetBackwardQueue());
  }
  for (const auto& trafficClass : classes_) {
    CGraphicNode* source = FindNode(trafficClass->GetSourceNumber());
    CGraphicNode* destination = FindNode(trafficClass->GetDestinationNumber());
    trafficClass->SetNodes(source, destination);
    source->AddClass(trafficClass.get());
    destination->AddClass(trafficClass.get());
  }
}

std::vector<std::uint8_t> CVarloDoc::SaveToBytes(const std::string& fileNameForMessages) const {
  CArchive ar(fileNameForMessages);
  Store(ar);
  return ar.Bytes();
}

void CVarloDoc::OnOpenDocument(const std::string& path) {
  std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  CArchive ar(std::move(bytes), path);
  try {
    Load(ar);
  } catch (...) {
    ClearContents();
    throw;
  }
  SetPathName(path);
  SetModifiedFlag(false);
}

void CVarloDoc::OnSaveDocument(const std::string& path) {
  WriteFileAtomically(path, SaveToBytes(path));
  SetPathName(path);
  SetModifiedFlag(false);
}

// --- traffic file -----------------------------------------------------------------------------

std::vector<std::uint8_t> CVarloDoc::SaveTrafficToBytes(const std::string& fileName) const {
  CArchive ar(fileName);
  ar.WriteCount(static_cast<std::uint32_t>(classes_.size()));
  for (const auto& trafficClass : classes_) ar.WriteObject(trafficClass.get());
  return ar.Bytes();
}

void CVarloDoc::SaveTraffic(const std::string& path) const {
  WriteFileAtomically(path, SaveTrafficToBytes(path));
}

std::vector<std::unique_ptr<CTrafficClass>> CVarloDoc::ReadTraffic(CArchive& ar) {
  std::vector<std::unique_ptr<CTrafficClass>> classes;
  const std::uint32_t count = ar.ReadCount(2);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<CTrafficClass> trafficClass = ar.ReadObjectOf<CTrafficClass>();
    if (!trafficClass) ar.Throw(CArchiveException::kBadIndex);
    classes.push_back(std::move(trafficClass));
  }
  if (ar.Remaining() != 0) ar.Throw(CArchiveException::kBadIndex);
  return classes;
}

bool CVarloDoc::LoadTraffic(CArchive& ar) {
  std::vector<std::unique_ptr<CTrafficClass>> loaded = ReadTraffic(ar);
  for (auto& trafficClass : loaded) {
    CGraphicNode* source = FindNode(trafficClass->GetSourceNumber());
    CGraphicNode* destination = FindNode(trafficClass->GetDestinationNumber());
    // The classes from here on are discarded; those before stay.
    if (source == nullptr || destination == nullptr) return false;
    trafficClass->SetNodes(source, destination);
    CTrafficClass* raw = trafficClass.get();
    AddClass(std::move(trafficClass));
    UpdateAllViews(nullptr, kHintClassAdded, raw);
  }
  return true;
}

bool CVarloDoc::LoadTraffic(const std::string& path) {
  CArchive ar(ReadWholeFile(path), path);
  return LoadTraffic(ar);
}

}  // namespace varlo
